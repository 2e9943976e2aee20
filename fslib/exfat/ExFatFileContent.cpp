// exFAT file content through handles: opening a tree node or a directory entry set, and
// reading its clusters, with the bytes past the valid data length read as zeros.
#include <algorithm>
#include <cstring>
#include <memory>

#include "common/logger/Logger.h"
#include "fslib/exfat/ExFatHandle.h"
#include "fslib/exfat/ExFatParser.h"

uint32_t CExFATParser::OpenInfo(const ExFatFileInfo& info) {
    auto h = std::make_unique<CExFATHandle>();
    h->info = info;
    bool viaChain = false;
    FileRuns(info, &h->runs, &viaChain, true);
    return InsertHandle(h.release());
}

uint32_t CExFATParser::OpenFileByTreeRef(NodeEntry* node) {
    const ExFatFileInfo* info = FileInfoOfNode(node);
    if (!info) return INVALID_HANDLE;
    return OpenInfo(*info);
}

uint32_t CExFATParser::SetFilePointer(uint32_t handle, LONG distanceLow, LONG* distanceHigh, int method) {
    auto* h = dynamic_cast<CExFATHandle*>(GetHandleObject(handle));
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    const int64_t distance =
        distanceHigh ? static_cast<int64_t>((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distanceLow))
                     : distanceLow;
    int64_t base = 0;
    if (method == 1) base = static_cast<int64_t>(h->nPosition);
    if (method == 2) base = static_cast<int64_t>(h->info.nDataLength);
    const int64_t target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0xFFFFFFFF;
    }
    h->nPosition = std::min<uint64_t>(static_cast<uint64_t>(target), h->info.nDataLength);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(h->nPosition >> 32);
    return static_cast<uint32_t>(h->nPosition);
}

BOOL CExFATParser::ReadFile(uint32_t handle, void* buffer, uint32_t count, uint32_t* read) {
    if (read) *read = 0;
    auto* h = dynamic_cast<CExFATHandle*>(GetHandleObject(handle));
    if (!h || !buffer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    const uint64_t size = h->info.nDataLength;
    const uint64_t want = std::min<uint64_t>(count, size - std::min(size, h->nPosition));
    std::memset(out, 0, static_cast<size_t>(want));
    // Bytes past the valid data length were never written: they read as zeros.
    const uint64_t validEnd = std::min(h->info.nValidDataLength, size);
    const uint64_t clusterBytes = m_boot.ClusterBytes();
    bool ok = true;
    uint64_t runStart = 0;  // file offset of the current run's first byte
    for (const exfat::ClusterRun& r : h->runs) {
        const uint64_t runBytes = uint64_t{r.dwCount} * clusterBytes;
        const uint64_t from = std::max(runStart, h->nPosition);
        const uint64_t to = std::min({runStart + runBytes, h->nPosition + want, validEnd});
        if (from < to) {
            const uint64_t disk = m_boot.ClusterByteOffset(r.dwFirst) + (from - runStart);
            if (!ReadBytes(disk, out + (from - h->nPosition), static_cast<size_t>(to - from))) ok = false;
        }
        runStart += runBytes;
        if (runStart >= h->nPosition + want) break;
    }
    // Data the runs do not reach (clusters past the heap's end) is lost.
    if (runStart < std::min(h->nPosition + want, validEnd)) ok = false;
    h->nPosition += want;
    if (read) *read = static_cast<uint32_t>(want);
    return ok ? TRUE : FALSE;
}

uint32_t CExFATParser::GetFileSize(uint32_t handle, uint32_t* high) {
    auto* h = dynamic_cast<CExFATHandle*>(GetHandleObject(handle));
    const uint64_t size = h ? h->info.nDataLength : 0;
    if (high) *high = static_cast<uint32_t>(size >> 32);
    return static_cast<uint32_t>(size);
}

void CExFATParser::CloseFile(uint32_t handle) { ReleaseCountedHandle(handle); }

float CExFATParser::EstimateDamageLevel(uint32_t handle) {
    auto* h = dynamic_cast<CExFATHandle*>(GetHandleObject(handle));
    return h ? DamageOf(h->info) : 0.0f;
}
