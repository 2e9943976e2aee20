#include "fslib/ntfs/ClusterMap.h"

#include <bit>

uint64_t ClusterMap::CountUsed(uint64_t first, uint64_t count) const {
    uint64_t bits = Bits();
    if (first >= bits) return 0;
    uint64_t end = (count > bits - first) ? bits : first + count;
    uint64_t used = 0;
    uint64_t c = first;
    while (c < end && (c & 7)) used += IsUsed(c++);
    while (c + 8 <= end) {
        used += static_cast<uint64_t>(std::popcount(static_cast<unsigned>(m_bytes[c >> 3])));
        c += 8;
    }
    while (c < end) used += IsUsed(c++);
    return used;
}
