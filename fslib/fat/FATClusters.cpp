// Cluster chains of the FAT copy in memory: contiguous runs, run lists, whole chains,
// and reading the clusters of an opened record.
#include <unordered_set>

#include "common/logger/Logger.h"
#include "fslib/fat/FATParser.h"

uint32_t CFATParser::GetContiguousRun(uint32_t startCluster, uint32_t* next) const {
    const ByteView fat = FatTable();
    const ByteView second = SecondFatTable();
    const bool twoCopies = m_bFsType == FS_FAT32 && m_pSecondFat != m_pFatTable;
    uint32_t count = 1;
    // Each step moves to c + 1, so the loop ends within the cluster limit.
    for (uint32_t c = startCluster; c < m_dwClusterLimit;) {
        uint32_t value = GetFATEntry(fat, c);
        if (twoCopies) {
            uint32_t other = GetFATEntry(second, c);
            if (other != value) {
                g_Logger.Error("THE DIFFERENCE BETWEEN FAT TABLES FOUND");
                if (other == m_dwClusterLimit || other == c + 1) value = other;
            }
        }
        if (value == c) value = 0;  // a cluster pointing at itself counts as free
        if (next) *next = value;
        if (value > m_dwFatEntryCount || value == 0 || value != c + 1 || value >= m_dwClusterLimit) break;
        ++count;
        c = value;
    }
    return count;
}

int CFATParser::BuildRunList(uint32_t firstCluster, std::vector<ClusterRun>* runs, uint32_t* runCount,
                             uint64_t* clusterCount) const {
    std::vector<ClusterRun> local;
    std::vector<ClusterRun>& out = runs ? *runs : local;
    out.clear();
    if (!m_pFatTable) {
        out.push_back({1, firstCluster});
        if (runCount) *runCount = 1;
        if (clusterCount) *clusterCount = 1;
        return 0;
    }
    uint64_t total = 0;
    // The run starts follow from one another, so a chain that loops repeats a start.
    std::unordered_set<uint32_t> starts;
    uint32_t c = firstCluster;
    uint32_t next = 0;
    while (c <= m_dwFatEntryCount) {
        if (!starts.insert(c).second) break;
        uint32_t count = GetContiguousRun(c, &next);
        out.push_back({count, c});
        total += count;
        const int32_t bytes = static_cast<int32_t>(static_cast<uint32_t>(out.size() * m_dwClusterSize));
        if (bytes < 0 || static_cast<uint32_t>(bytes) == 0xFFFFFFFFu) break;
        // End of chain, a free or reserved value, or no progress.
        if (next == 0 || next < 2 || next == c || next >= m_dwClusterLimit) break;
        if (total > m_dwFatEntryCount) break;
        c = next;
    }
    if (runCount) *runCount = static_cast<uint32_t>(out.size());
    if (clusterCount) *clusterCount = total;
    return 0;
}

void CFATParser::GetClusterChain(uint32_t firstCluster, std::vector<uint32_t>& list) const {
    if (firstCluster < 2 || firstCluster > m_dwClusterLimit) return;
    list.clear();
    list.push_back(firstCluster);
    if (m_dwClusterSize == 0) return;
    // Clusters in 4 GiB, and never more than the FAT holds: a longer chain loops.
    uint64_t stepLimit = 0xFFFFFFFEull / m_boot.bSectorsPerCluster / m_boot.wBytesPerSector;
    stepLimit = std::min<uint64_t>(stepLimit, m_dwFatEntryCount);
    const ByteView fat = FatTable();
    uint32_t current = firstCluster;
    for (uint64_t steps = 0;; ++steps) {
        if (current >= m_dwClusterLimit) break;
        uint32_t next = GetFATEntry(fat, current);
        if (next == current || next >= m_dwClusterLimit || steps >= stepLimit || next <= 2) break;
        list.push_back(next);
        current = next;
    }
}

void CFATParser::GetFileClusters(uint32_t firstCluster, uint64_t size, std::vector<uint32_t>& list) const {
    list.clear();
    GetClusterChain(firstCluster, list);
    if (list.empty()) list.push_back(firstCluster);
    if (m_dwClusterSize == 0 || firstCluster < 2) return;
    const uint64_t needed = (size + m_dwClusterSize - 1) / m_dwClusterSize;
    while (list.size() < needed) {
        const uint32_t next = list.back() + 1;
        if (next > m_dwLastCluster || next >= m_dwClusterLimit) break;
        list.push_back(next);
    }
}

uint32_t CFATParser::ReadDataStream(const FATFileRecord& record, std::vector<uint8_t>* out) {
    if (!out || m_dwClusterSize == 0) return FAT_STATUS_NO_DATA;
    uint64_t total = 0;
    for (const ClusterRun& r : record.runs) total += r.nClusterCount * m_dwClusterSize;
    // Nothing on the volume is larger than the volume.
    if (total == 0 || total > m_nVolumeSize || total > 0xFFFFFFFFull) return FAT_STATUS_NO_DATA;
    try {
        out->assign(total, 0);
    } catch (...) {
        return FAT_STATUS_NO_DATA;
    }
    g_Logger.InfoNumber("ReadDataStream - Memory was allocated. Memory size - ", static_cast<long>(total));
    uint64_t offset = 0;
    for (const ClusterRun& r : record.runs) {
        // Clusters outside the data area stay zero.
        if (r.nFirstCluster >= 2 && r.nFirstCluster + r.nClusterCount <= m_dwClusterLimit)
            ReadClusters(static_cast<uint32_t>(r.nFirstCluster), static_cast<uint32_t>(r.nClusterCount),
                         out->data() + offset);
        offset += r.nClusterCount * m_dwClusterSize;
    }
    g_Logger.Info("ReadDataStream - Cluster content was successfully read");
    return 0;
}

// File content through a handle, for callers of the generic file slots.

uint32_t CFATParser::GetFileSize(uint32_t handle, uint32_t* high) {
    CFATHandle* h = GetFATHandle(handle);
    if (high) *high = 0;
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE;
    }
    if (h->pRecord && !h->pRecord->IsDirectory()) return h->pRecord->FileSize();
    return static_cast<uint32_t>(h->data.size());
}

uint32_t CFATParser::SetFilePointer(uint32_t handle, LONG distanceLow, LONG* distanceHigh, int method) {
    CFATHandle* h = GetFATHandle(handle);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE;
    }
    int64_t distance =
        distanceHigh ? ((int64_t{*distanceHigh} << 32) | static_cast<uint32_t>(distanceLow)) : int64_t{distanceLow};
    int64_t base = method == 1 ? int64_t{h->dwExtra} : 0;
    int64_t pos = base + distance;
    if (method < 0 || method > 1 || pos < 0 || pos > 0xFFFFFFFFll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE;
    }
    h->dwExtra = static_cast<uint32_t>(pos);
    if (distanceHigh) *distanceHigh = 0;
    return h->dwExtra;
}

BOOL CFATParser::ReadFile(uint32_t handle, void* buffer, uint32_t count, uint32_t* read) {
    if (read) *read = 0;
    CFATHandle* h = GetFATHandle(handle);
    if (!h || (!buffer && count)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    uint8_t* dst = static_cast<uint8_t*>(buffer);
    const uint64_t size = GetFileSize(handle, nullptr);
    uint64_t pos = h->dwExtra;
    uint64_t want = pos < size ? std::min<uint64_t>(count, size - pos) : 0;
    uint32_t done = 0;
    if (h->bHasData || !h->pRecord) {
        if (pos < h->data.size()) {
            done = static_cast<uint32_t>(std::min<uint64_t>(want, h->data.size() - pos));
            std::copy_n(h->data.data() + pos, done, dst);
        }
    } else if (m_dwClusterSize != 0) {
        std::vector<uint8_t> cluster(m_dwClusterSize);
        uint64_t runStart = 0;
        for (const ClusterRun& r : h->pRecord->runs) {
            const uint64_t runBytes = r.nClusterCount * m_dwClusterSize;
            while (done < want && pos + done < runStart + runBytes) {
                const uint64_t at = pos + done - runStart;
                const uint64_t index = at / m_dwClusterSize;
                std::fill(cluster.begin(), cluster.end(), 0);
                if (r.nFirstCluster + index < m_dwClusterLimit)
                    ReadClusters(static_cast<uint32_t>(r.nFirstCluster + index), 1, cluster.data());
                const uint64_t inCluster = at % m_dwClusterSize;
                const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m_dwClusterSize - inCluster, want - done));
                std::copy_n(cluster.data() + inCluster, n, dst + done);
                done += n;
            }
            runStart += runBytes;
            if (done >= want) break;
        }
    }
    h->dwExtra = static_cast<uint32_t>(pos + done);
    if (read) *read = done;
    return TRUE;
}
