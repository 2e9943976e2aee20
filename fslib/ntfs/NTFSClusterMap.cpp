// The cluster map of the live volume, read from $Bitmap, and the damage estimate of deleted
// files against it: the share of their clusters that the live file system has allocated again.
#include <cstdint>
#include <new>
#include <vector>

#include "common/logger/Logger.h"
#include "fslib/ntfs/NTFSHandle.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"

int CNTFSParser::ReadClusterMap() {
    uint32_t handle = OpenRecord(ntfs::kBitmapRecord);
    if (handle == INVALID_HANDLE || !NtfsHandle(handle)) return -1;
    m_clusterMap.Clear();
    uint32_t high = 0;
    uint64_t size = GetFileSize(handle, &high);
    size |= uint64_t{high} << 32;
    // The bitmap holds one bit per cluster, padded to 8 bytes.
    const uint64_t cap = TotalClusters() / 8 + 8;
    if (size > cap) size = cap;
    if (size == 0) {
        CloseFile(handle);
        return 0;
    }
    g_Logger.Info("Try to allocate memory for data buffer");
    g_Logger.InfoF("Size value is %d", static_cast<int>(size));
    std::vector<uint8_t> data;
    try {
        data.resize(size);
    } catch (const std::bad_alloc&) {
        CloseFile(handle);
        return -1;
    }
    g_Logger.Info("data buffer was successfully alocated");
    uint32_t read = 0;
    ReadFile(handle, data.data(), static_cast<uint32_t>(size), &read);
    m_clusterMap.Assign(data.data(), data.size());
    g_Logger.Info("data buffer deleting");
    data.clear();
    data.shrink_to_fit();
    g_Logger.Info("data buffer was deleted");
    CloseFile(handle);
    return 0;
}

float CNTFSParser::EstimateDamageLevel(uint32_t handle) {
    CNTFSHandle* h = NtfsHandle(handle);
    if (!h || !h->record) return 0.0f;
    return static_cast<float>(EstimateDamageLevel(h->record.get()));
}

double CNTFSParser::EstimateDamageLevel(CMFTRecord* record) {
    int data = record->DataAttribute();
    if (data < 0 || !record->AttributeView(data).U8(ntfs::kAttrNonResident)) return 0.0;
    g_Logger.Error("EstimateDamageLevel - trying to extract run list");
    std::vector<DataRun> runs;
    record->ExtractRunList(data, &runs);
    g_Logger.Error("EstimateDamageLevel - run list was successfully extracted");
    if (runs.empty()) {
        g_Logger.Error("EstimateDamageLevel - lpDataRunList is equal to null");
        return 0.0;
    }
    return DamageOfRuns(runs);
}

double CNTFSParser::DamageOfRuns(const std::vector<DataRun>& runs) const {
    // Holes of a sparse file hold no clusters that could have been overwritten.
    uint64_t total = 0, used = 0;
    for (const DataRun& run : runs) {
        if (run.IsSparse()) continue;
        total += run.length;
        used += m_clusterMap.CountUsed(run.firstCluster, run.length);
    }
    if (total == 0) return 0.0;
    return static_cast<double>(used) / static_cast<double>(total);
}
