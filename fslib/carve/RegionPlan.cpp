#include "fslib/carve/ContentSearch.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/disk/DiskDrive.h"

namespace carve {

namespace {
// Free runs are handed out in pieces of at most this many clusters, so one huge run never
// needs a long scan of the map before reading starts.
constexpr uint64_t kMaxRunClusters = 1u << 16;
}  // namespace

RegionPlan::RegionPlan(CDiskDrive* drive, CFileSystemParser* parser, bool allClusters) {
    m_nDriveBytes = drive ? drive->TotalSectors() * kSectorSize : 0;
    ClusterHeap heap;
    if (parser && !allClusters && parser->GetClusterHeap(&heap) && heap.clusterBytes % kSectorSize == 0 &&
        heap.clusterBytes != 0 && heap.firstByte % kSectorSize == 0 && heap.firstByte < m_nDriveBytes) {
        m_pParser = parser;
        m_nFirstByte = heap.firstByte;
        m_nFirstCluster = heap.firstCluster;
        m_nClusterBytes = heap.clusterBytes;
        // Clusters the drive does not hold are not searched.
        uint64_t room = (m_nDriveBytes - heap.firstByte) / heap.clusterBytes;
        m_nClusterCount = heap.clusterCount < room ? heap.clusterCount : room;
    }
}

uint64_t RegionPlan::TotalBytes() {
    if (!m_pParser) return m_nDriveBytes;
    uint64_t saved = m_nCursor, total = 0;
    m_nCursor = 0;
    SearchRegion r;
    while (Next(&r)) total += r.length;
    m_nCursor = saved;
    return total;
}

bool RegionPlan::Next(SearchRegion* out) {
    if (!m_pParser) {
        if (m_nCursor > 0 || m_nDriveBytes == 0) return false;
        m_nCursor = 1;
        *out = {0, m_nDriveBytes};
        return true;
    }
    while (m_nCursor < m_nClusterCount && m_pParser->IsClusterInUse(m_nFirstCluster + m_nCursor)) ++m_nCursor;
    if (m_nCursor >= m_nClusterCount) return false;
    uint64_t first = m_nCursor;
    while (m_nCursor < m_nClusterCount && m_nCursor - first < kMaxRunClusters &&
           !m_pParser->IsClusterInUse(m_nFirstCluster + m_nCursor))
        ++m_nCursor;
    *out = {m_nFirstByte + first * m_nClusterBytes, (m_nCursor - first) * m_nClusterBytes};
    return true;
}

}  // namespace carve
