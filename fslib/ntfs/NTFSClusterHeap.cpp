// The volume's clusters for the search by content: LCN 0 is the volume's first sector,
// $Bitmap says which are in use.
#include "fslib/ntfs/NTFSParser.h"

bool CNTFSParser::GetClusterHeap(ClusterHeap* out) {
    if (m_clusterMap.Empty() && ReadClusterMap() != 0) return false;
    if (m_clusterMap.Empty() || m_dwSectorsPerCluster == 0) return false;
    out->firstByte = uint64_t{m_dwFirstSector} * kSectorSize;
    out->firstCluster = 0;
    out->clusterCount = TotalClusters();
    out->clusterBytes = uint64_t{m_dwSectorsPerCluster} * kSectorSize;
    return true;
}
