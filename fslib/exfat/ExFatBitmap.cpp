// exFAT allocation bitmap: one bit per heap cluster, set while a live file or folder
// holds it. Deleted data is safe where its clusters' bits are still clear.
#include "fslib/exfat/ExFatBitmap.h"

#include <algorithm>
#include <bit>

namespace exfat {

void Bitmap::Load(ByteView bytes, uint32_t clusterCount) {
    m_dwClusterCount = clusterCount;
    const size_t words = (size_t{clusterCount} + 63) / 64;
    m_words.assign(words, 0);
    for (size_t i = 0; i < bytes.Size() && i / 8 < words; ++i) m_words[i / 8] |= uint64_t{bytes.U8(i)} << (8 * (i % 8));
    // Bits past the last cluster mean nothing.
    if (clusterCount % 64) m_words.back() &= (uint64_t{1} << (clusterCount % 64)) - 1;
    m_rank.assign(words + 1, 0);
    for (size_t i = 0; i < words; ++i) m_rank[i + 1] = m_rank[i] + static_cast<uint32_t>(std::popcount(m_words[i]));
}

bool Bitmap::IsAllocated(uint64_t cluster) const {
    // Bit 0 stands for the first heap cluster, number 2.
    if (cluster < 2 || cluster - 2 >= m_dwClusterCount) return false;
    const uint64_t bit = cluster - 2;
    return (m_words[bit / 64] >> (bit % 64)) & 1;
}

uint64_t Bitmap::CountRange(uint64_t first, uint64_t count) const {
    // Allocated bits below `end`, by word ranks and the part of one word.
    auto below = [this](uint64_t end) -> uint64_t {
        const uint64_t word = end / 64, bits = end % 64;
        uint64_t n = m_rank[word];
        if (bits) n += std::popcount(m_words[word] & ((uint64_t{1} << bits) - 1));
        return n;
    };
    return below(first + count) - below(first);
}

uint64_t Bitmap::CountAllocated(const std::vector<ClusterRun>& runs) const {
    if (m_words.empty()) return 0;
    uint64_t used = 0;
    for (const ClusterRun& r : runs) {
        uint64_t first = r.dwFirst, end = uint64_t{r.dwFirst} + r.dwCount;
        first = std::max<uint64_t>(first, 2);
        end = std::min<uint64_t>(end, uint64_t{m_dwClusterCount} + 2);
        if (first < end) used += CountRange(first - 2, end - first);
    }
    return used;
}

}  // namespace exfat
