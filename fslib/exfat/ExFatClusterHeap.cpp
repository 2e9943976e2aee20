// The cluster heap for the search by content: the allocation bitmap says which clusters
// are in use.
#include "fslib/exfat/ExFatParser.h"

bool CExFATParser::GetClusterHeap(ClusterHeap* out) {
    if (!m_bitmap.Loaded() || m_boot.dwClusterCount == 0) return false;
    out->firstByte = uint64_t{m_dwFirstSector} * kSectorSize + m_boot.ClusterByteOffset(exfat::kFirstCluster);
    out->firstCluster = exfat::kFirstCluster;
    out->clusterCount = m_boot.dwClusterCount;
    out->clusterBytes = m_boot.ClusterBytes();
    return true;
}
