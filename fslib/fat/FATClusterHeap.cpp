// The data area's clusters for the search by content: cluster 2 starts the data area; a
// FAT entry of 0 marks a cluster free.
#include "fslib/fat/FATParser.h"

bool CFATParser::GetClusterHeap(ClusterHeap* out) {
    if (!m_pFatTable || m_dwClusterSize == 0 || m_dwLastCluster < 2) return false;
    out->firstByte = uint64_t{m_dwFirstSector} * kSectorSize;
    out->firstCluster = 2;
    out->clusterCount = uint64_t{m_dwLastCluster} - 1;
    out->clusterBytes = m_dwClusterSize;
    return true;
}
