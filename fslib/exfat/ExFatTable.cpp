// exFAT file allocation table: one 32-bit entry per cluster of the heap, read from the
// active FAT in blocks as chains ask for them, and the runs of clusters a chain makes.
#include "fslib/exfat/ExFatTable.h"

#include <unordered_set>

#include "fslib/core/ByteView.h"

namespace exfat {

uint64_t RunClusters(const std::vector<ClusterRun>& runs) {
    uint64_t total = 0;
    for (const ClusterRun& r : runs) total += r.dwCount;
    return total;
}

void AppendCluster(std::vector<ClusterRun>* runs, uint32_t cluster) {
    if (!runs->empty()) {
        ClusterRun& last = runs->back();
        if (uint64_t{last.dwFirst} + last.dwCount == cluster && last.dwCount != 0xFFFFFFFFu) {
            ++last.dwCount;
            return;
        }
    }
    runs->push_back({cluster, 1});
}

void FatTable::Attach(uint32_t clusterCount, FatBytesReader reader) {
    m_dwClusterCount = clusterCount;
    m_reader = std::move(reader);
    m_blocks.clear();
}

const uint8_t* FatTable::Block(uint64_t index) {
    auto it = m_blocks.find(index);
    if (it != m_blocks.end()) return it->second.data();
    // Chains are local: a small set of blocks serves a scan; when it is full it starts over.
    if (m_blocks.size() >= kMaxBlocks) m_blocks.clear();
    std::vector<uint8_t> block(kBlockBytes, 0);
    if (m_reader) m_reader(index * kBlockBytes, block.data(), block.size());
    return m_blocks.emplace(index, std::move(block)).first->second.data();
}

uint32_t FatTable::Entry(uint32_t cluster) {
    if (!InHeap(cluster)) return 0;
    ++m_nSteps;
    const uint64_t offset = uint64_t{cluster} * 4;
    ByteView block(Block(offset / kBlockBytes), kBlockBytes);
    return block.U32(static_cast<size_t>(offset % kBlockBytes));
}

bool FatTable::FollowChain(uint32_t first, uint64_t wanted, std::vector<ClusterRun>* runs) {
    runs->clear();
    if (wanted == 0 || wanted > m_dwClusterCount || !InHeap(first)) return false;
    uint32_t c = first;
    // Each step moves to a heap cluster, and the chain must end after exactly `wanted`
    // steps, so a loop can never pass.
    for (uint64_t n = 1;; ++n) {
        AppendCluster(runs, c);
        const uint32_t next = Entry(c);
        if (n == wanted) {
            if (next == kFatEndOfChain) return true;
            runs->clear();
            return false;
        }
        if (!InHeap(next)) {
            runs->clear();
            return false;
        }
        c = next;
    }
}

void FatTable::ReadChain(uint32_t first, uint64_t limit, std::vector<ClusterRun>* runs) {
    runs->clear();
    if (!InHeap(first)) return;
    std::unordered_set<uint32_t> seen;
    uint32_t c = first;
    for (uint64_t n = 0; n < limit && InHeap(c) && seen.insert(c).second; ++n) {
        AppendCluster(runs, c);
        c = Entry(c);
    }
}

}  // namespace exfat
