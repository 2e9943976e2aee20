// exFAT allocation bitmap: one bit per heap cluster, set while a live file or folder
// holds it. Deleted data is safe where its clusters' bits are still clear.
#include "fslib/exfat/ExFatBitmap.h"

namespace exfat {

void Bitmap::Load(ByteView bytes, uint32_t clusterCount) {
    m_dwClusterCount = clusterCount;
    const size_t needed = (size_t{clusterCount} + 7) / 8;
    m_bits.assign(needed, 0);
    for (size_t i = 0; i < needed && i < bytes.Size(); ++i) m_bits[i] = bytes.U8(i);
}

bool Bitmap::IsAllocated(uint64_t cluster) const {
    // Bit 0 of byte 0 stands for the first heap cluster, number 2.
    if (cluster < 2 || cluster - 2 >= m_dwClusterCount) return false;
    const uint64_t bit = cluster - 2;
    return (m_bits[bit / 8] >> (bit % 8)) & 1;
}

uint64_t Bitmap::CountAllocated(const std::vector<ClusterRun>& runs) const {
    uint64_t used = 0;
    for (const ClusterRun& r : runs)
        for (uint64_t c = r.dwFirst; c < uint64_t{r.dwFirst} + r.dwCount; ++c)
            if (IsAllocated(c)) ++used;
    return used;
}

}  // namespace exfat
