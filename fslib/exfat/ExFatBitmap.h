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
    bool Loaded() const { return !m_bits.empty(); }
    bool IsAllocated(uint64_t cluster) const;
    // Allocated clusters among the runs; clusters outside the heap are not counted.
    uint64_t CountAllocated(const std::vector<ClusterRun>& runs) const;

private:
    std::vector<uint8_t> m_bits;
    uint32_t m_dwClusterCount = 0;
};

}  // namespace exfat
