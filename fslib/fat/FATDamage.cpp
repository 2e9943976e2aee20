// How much of a deleted FAT file is still there: the share of the clusters recovery
// would read that the live FAT has handed out again.
#include <algorithm>

#include "fslib/fat/FATParser.h"

namespace {

// Clusters per block of the allocation summary: a range costs at most two partial blocks
// of FAT reads however long it is.
constexpr uint32_t kSummaryBlock = 4096;
// Chain steps followed per file. A deleted file whose first cluster lies in another
// file's chain is overwritten from its start; past this many steps the rest of the chain
// is taken as in use rather than walked once per such entry.
constexpr uint64_t kMaxChainSteps = 4096;

}  // namespace

// End of the clusters whose entries the FAT in memory holds (a FAT12 entry, the smallest,
// takes 1.5 bytes): past it every entry reads as free, so nothing there needs counting,
// however many clusters a damaged boot sector claims.
uint64_t CFATParser::AllocationTableEnd() const {
    return std::min<uint64_t>(uint64_t{m_dwLastCluster} + 1, uint64_t{FatTable().Size()} * 2 / 3 + 2);
}

void CFATParser::BuildAllocationSummary() const {
    m_allocatedBefore.clear();
    const ByteView fat = FatTable();
    const uint64_t end = AllocationTableEnd();
    m_allocatedBefore.reserve(static_cast<size_t>(end / kSummaryBlock + 2));
    uint32_t total = 0;
    m_allocatedBefore.push_back(0);
    for (uint64_t block = 0; block < end; block += kSummaryBlock) {
        const uint64_t stop = std::min<uint64_t>(end, block + kSummaryBlock);
        for (uint64_t c = std::max<uint64_t>(block, 2); c < stop; ++c)
            total += GetFATEntry(fat, static_cast<uint32_t>(c)) != 0;
        m_allocatedBefore.push_back(total);
    }
}

uint64_t CFATParser::CountAllocatedClusters(uint64_t first, uint64_t count) const {
    if (count == 0) return 0;
    if (m_allocatedBefore.empty()) BuildAllocationSummary();
    const uint64_t end = uint64_t{m_dwLastCluster} + 1;
    // Clusters outside the data area hold nothing of the file: they count as lost.
    uint64_t lost = 0;
    if (first < 2) {
        const uint64_t below = std::min<uint64_t>(count, 2 - first);
        lost += below;
        first += below;
        count -= below;
    }
    if (first + count > end) {
        const uint64_t past = first + count - std::max(first, end);
        lost += past;
        count -= past;
    }
    if (count == 0) return lost;
    const ByteView fat = FatTable();
    auto countRange = [&](uint64_t from, uint64_t to) {
        uint64_t n = 0;
        for (uint64_t c = from; c < to; ++c) n += GetFATEntry(fat, static_cast<uint32_t>(c)) != 0;
        return n;
    };
    const uint64_t last = std::min(first + count, AllocationTableEnd());
    if (first >= last) return lost;
    const uint64_t firstFull = (first + kSummaryBlock - 1) / kSummaryBlock;
    const uint64_t lastFull = last / kSummaryBlock;
    if (firstFull >= lastFull) return lost + countRange(first, last);
    return lost + countRange(first, firstFull * kSummaryBlock) +
           (m_allocatedBefore[lastFull] - m_allocatedBefore[firstFull]) + countRange(lastFull * kSummaryBlock, last);
}

float CFATParser::EstimateFileDamage(uint32_t firstCluster, uint64_t size) const {
    if (!m_pFatTable || m_dwClusterSize == 0 || size == 0) return 0.0f;
    const uint64_t needed = (size + m_dwClusterSize - 1) / m_dwClusterSize;
    // The rule recovery reads by (RecoverFileClusters): the FAT chain from the first
    // cluster, then the clusters after its last one.
    const ByteView fat = FatTable();
    uint64_t used = 0;
    uint64_t walked = 0;
    uint64_t current = firstCluster;
    if (firstCluster >= 2 && firstCluster <= m_dwClusterLimit) {
        while (walked < needed) {
            ++walked;
            const uint32_t next = current < m_dwClusterLimit ? GetFATEntry(fat, static_cast<uint32_t>(current)) : 0;
            // Same ends as GetClusterChain: this cluster is the chain's last.
            if (next == current || next >= m_dwClusterLimit || next <= 2 || walked >= needed) {
                used += current <= m_dwLastCluster ? (next != 0) : 1;
                break;
            }
            // A cluster whose entry links on is in use.
            ++used;
            if (walked >= kMaxChainSteps) {
                used += needed - walked;
                walked = needed;
                break;
            }
            current = next;
        }
    } else {
        walked = 1;
        used = 1;  // no cluster of the data area: nothing of the file can be read
    }
    if (walked < needed) used += CountAllocatedClusters(current + 1, needed - walked);
    return static_cast<float>(static_cast<double>(std::min(used, needed)) / static_cast<double>(needed));
}
