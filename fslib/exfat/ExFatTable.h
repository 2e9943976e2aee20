// exFAT file allocation table: one 32-bit entry per cluster of the heap, read from the
// active FAT in blocks as chains ask for them, and the runs of clusters a chain makes.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace exfat {

constexpr uint32_t kFatBadCluster = 0xFFFFFFF7;
constexpr uint32_t kFatEndOfChain = 0xFFFFFFFF;

// Consecutive clusters [first, first + count).
struct ClusterRun {
    uint32_t dwFirst = 0;
    uint32_t dwCount = 0;
};
uint64_t RunClusters(const std::vector<ClusterRun>& runs);

// Fills `length` bytes from `offset` in the FAT; false when some could not be read (they
// are then zeros).
using FatBytesReader = std::function<bool(uint64_t offset, uint8_t* out, size_t length)>;

class FatTable {
public:
    void Attach(uint32_t clusterCount, FatBytesReader reader);
    // The entry of a heap cluster; 0 (free) outside the heap or where unreadable.
    uint32_t Entry(uint32_t cluster);
    // The chain from `first` as runs, when it holds exactly `wanted` clusters, each inside
    // the heap, and ends there; false for a chain that stops short, runs on, loops, or
    // leaves the heap.
    bool FollowChain(uint32_t first, uint64_t wanted, std::vector<ClusterRun>* runs);
    // The chain from `first` up to its end or `limit` clusters, whichever comes first,
    // stopping at an entry outside the heap or at a cluster met before (a directory, whose
    // size the chain alone gives).
    void ReadChain(uint32_t first, uint64_t limit, std::vector<ClusterRun>* runs);
    // Entries read so far, for callers that bound the work a volume can ask for.
    uint64_t Steps() const { return m_nSteps; }

private:
    // Small blocks: a chain that jumps all over the FAT costs one small read per step.
    static constexpr size_t kBlockBytes = 4 * 1024;
    static constexpr size_t kMaxBlocks = 4096;
    const uint8_t* Block(uint64_t index);
    bool InHeap(uint64_t c) const { return c >= 2 && c < uint64_t{m_dwClusterCount} + 2; }

    uint32_t m_dwClusterCount = 0;
    uint64_t m_nSteps = 0;
    FatBytesReader m_reader;
    std::unordered_map<uint64_t, std::vector<uint8_t>> m_blocks;
};

// Appends a cluster to a run list, extending the last run when it follows it.
void AppendCluster(std::vector<ClusterRun>* runs, uint32_t cluster);

}  // namespace exfat
