// exFAT allocation bitmap: one bit per heap cluster, set while a live file or folder
// holds it. Deleted data is safe where its clusters' bits are still clear.
#pragma once

#include <cstdint>
#include <vector>

#include "fslib/core/ByteView.h"
#include "fslib/exfat/ExFatTable.h"

namespace exfat {

class Bitmap {
public:
    // Takes a copy of the bitmap's bytes for a heap of `clusterCount` clusters; clusters
    // the bytes do not cover count as free.
    void Load(ByteView bytes, uint32_t clusterCount);
    bool Loaded() const { return !m_words.empty(); }
    bool IsAllocated(uint64_t cluster) const;
    // Allocated clusters among the runs; clusters outside the heap are not counted. Each
    // run costs a constant time, whatever its length.
    uint64_t CountAllocated(const std::vector<ClusterRun>& runs) const;

private:
    // Allocated clusters among [first, first + count) of the heap's bit numbering.
    uint64_t CountRange(uint64_t first, uint64_t count) const;

    std::vector<uint64_t> m_words;  // the bits, 64 clusters a word
    std::vector<uint32_t> m_rank;   // allocated clusters before each word
    uint32_t m_dwClusterCount = 0;
};

}  // namespace exfat
