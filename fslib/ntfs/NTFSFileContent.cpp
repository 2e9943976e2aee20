// File content: opening a record as a file, reading resident, non-resident, sparse and
// compressed data, and the decompressed temporary copy of a compressed file.
#include <algorithm>
#include <cstring>
#include <memory>

#include "common/logger/Logger.h"
#include "fslib/ntfs/Lznt1.h"
#include "fslib/ntfs/NTFSHandle.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"

namespace {
constexpr uint64_t kUnitClusters = 16;
constexpr uint32_t kMaxSectorsPerRead = 2048;  // 1 MiB per device call
}  // namespace

uint32_t CNTFSParser::OpenFileByTreeRef(NodeEntry* node) {
    if (!node) return INVALID_HANDLE;
    return OpenRecord(node->key);
}

uint32_t CNTFSParser::OpenRecord(uint32_t recordNumber, bool wholeCopy) {
    uint8_t* buffer = new (std::nothrow) uint8_t[ntfs::kMaxRecordSize]();
    if (!buffer) {
        g_Logger.Error("Unable to allocate memory for opening the file by tree ref");
        return 0;
    }
    g_Logger.Info("Try read mft record..");
    int rc = ReadMFTRecord(recordNumber, buffer);
    g_Logger.Info("End of read mft record..");
    if (rc == -1) {
        delete[] buffer;
        return INVALID_HANDLE;
    }
    g_Logger.Info("Try to open file by mft record");
    return OpenRecordObject(new CMFTRecord(buffer, recordNumber, true, this), wholeCopy);
}

uint32_t CNTFSParser::OpenRecordObject(CMFTRecord* recordPtr, bool wholeCopy) {
    std::unique_ptr<CMFTRecord> record(recordPtr);
    g_Logger.Info("Try to locate record attributes");
    if (record->LocateRecordAttributes(0) != 0) {
        g_Logger.Error("Unable to read file attributes");
        return INVALID_HANDLE;
    }
    g_Logger.Info("Record attributes were successfully located");
    CMFTRecord::ReadState& rs = record->m_read;
    rs = CMFTRecord::ReadState();
    int data = record->DataAttribute();
    bool haveRuns = false;
    if (data >= 0) {
        ByteView a = record->AttributeView(data);
        if (a.U8(ntfs::kAttrNonResident)) {
            g_Logger.Info("Try to extract run list");
            record->ExtractRunList(data, &rs.runs);
            g_Logger.Info("End of extract run list");
            rs.size = a.U64(ntfs::kAttrDataSize);
            rs.initialized = a.U64(ntfs::kAttrInitializedSize);
            haveRuns = true;
        } else {
            rs.resident = record->ResidentValue(data);
            rs.hasResident = true;
            rs.size = rs.resident.Size();
        }
    } else if (record->AttributeListAttribute() >= 0) {
        g_Logger.Info("Try to extract attribute list");
        uint64_t allocated = 0;
        record->ExtractAttrFromAttrList(ntfs::kAttrData, &rs.runs, &rs.size, &allocated, &rs.initialized);
        if (!rs.extensionResident.empty()) {
            rs.resident = ByteView(rs.extensionResident.data(), rs.extensionResident.size());
            rs.hasResident = true;
            rs.size = rs.resident.Size();
        } else {
            haveRuns = true;
        }
        g_Logger.Info("End of extract attribute list");
    }
    if (haveRuns) {
        // A data size past what the runs describe cannot be read; callers loop on it.
        uint64_t runBytes = TotalRunClusters(rs.runs);
        runBytes =
            runBytes > ~uint64_t{0} / std::max<uint64_t>(ClusterBytes(), 1) ? ~uint64_t{0} : runBytes * ClusterBytes();
        if (rs.size > runBytes) rs.size = runBytes;
        if (rs.initialized > rs.size) rs.initialized = rs.size;
    } else {
        rs.initialized = rs.size;
    }
    if (wholeCopy && record->IsCompressed() && !rs.runs.empty()) {
        std::string path;
        if (platform::GetTempFileName(m_szTempPath, "___", 0, &path)) {
            if (UncompressFile(record.get(), path) == platform::INVALID_FILE_HANDLE) {
                platform::DeleteFile(path);
                rs.tempPath.clear();
            }
        }
    }
    auto handle = std::make_unique<CNTFSHandle>();
    handle->bIsDirectory = record->IsDirectory() ? 1 : 0;
    handle->record = std::move(record);
    g_Logger.Info("Try to insert file record");
    uint32_t h = InsertHandle(handle.release());
    g_Logger.Info("File record was inserted");
    return h;
}

BOOL CNTFSParser::IsEncrypted(uint32_t handle) {
    CNTFSHandle* h = NtfsHandle(handle);
    return h && h->record && h->record->HasLoggedUtilityStream();
}

uint32_t CNTFSParser::GetFileSize(uint32_t handle, uint32_t* high) {
    CNTFSHandle* h = NtfsHandle(handle);
    uint64_t size = (h && h->record) ? h->record->m_read.size : 0;
    if (static_cast<int64_t>(size) < 0) g_Logger.Error("CNTFSParser::GetFileSize () - Not Correct File Size...");
    if (high) *high = static_cast<uint32_t>(size >> 32);
    return static_cast<uint32_t>(size);
}

uint32_t CNTFSParser::SetFilePointer(uint32_t handle, LONG distanceLow, LONG* distanceHigh, int method) {
    CNTFSHandle* h = NtfsHandle(handle);
    if (!h || !h->record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    CMFTRecord::ReadState& rs = h->record->m_read;
    int64_t distance =
        distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) | static_cast<uint32_t>(distanceLow) : distanceLow;
    int64_t base = method == 1 ? static_cast<int64_t>(rs.position) : 0;
    int64_t target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0xFFFFFFFF;
    }
    rs.position = std::min<uint64_t>(static_cast<uint64_t>(target), rs.size);
    if (rs.hTempCopy != platform::INVALID_FILE_HANDLE)
        platform::SetFilePointer(rs.hTempCopy, static_cast<int64_t>(rs.position), SEEK_SET);
    // Find the run that holds the new position.
    rs.runIndex = 0;
    rs.runOffset = rs.position;
    while (rs.runIndex < rs.runs.size()) {
        uint64_t runBytes = rs.runs[rs.runIndex].length * ClusterBytes();
        if (rs.runOffset < runBytes) break;
        rs.runOffset -= runBytes;
        ++rs.runIndex;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(rs.position >> 32);
    return static_cast<uint32_t>(rs.position);
}

BOOL CNTFSParser::ReadFile(uint32_t handle, void* buffer, uint32_t count, uint32_t* read) {
    if (read) *read = 0;
    CNTFSHandle* h = NtfsHandle(handle);
    if (!h || !h->record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    CMFTRecord* record = h->record.get();
    CMFTRecord::ReadState& rs = record->m_read;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    if (record->IsCompressed() && !rs.hasResident && !rs.runs.empty()) {
        if (rs.hTempCopy == platform::INVALID_FILE_HANDLE) return FALSE;
        uint64_t left = rs.size - std::min(rs.position, rs.size);
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(count, left));
        uint32_t got = 0;
        BOOL ok = platform::ReadFile(rs.hTempCopy, out, want, &got);
        // A read over a unit that could not be read fails as an unreadable sector does:
        // what lies before it arrives, the position moves past the whole request.
        const uint64_t from = rs.position, to = rs.position + got;
        for (const auto& [first, last] : rs.unreadableUnits) {
            if (first < to && last > from) {
                got = static_cast<uint32_t>(std::max(first, from) - from);
                ok = FALSE;
                break;
            }
        }
        rs.position = to;
        if (read) *read = got;
        return ok;
    }
    if (rs.runs.empty() && !rs.hasResident) return FALSE;
    uint64_t left = rs.size - std::min(rs.position, rs.size);
    if (count > left) count = static_cast<uint32_t>(left);
    if (rs.hasResident) {
        std::memcpy(out, rs.resident.Data() + rs.position, count);
        rs.position += count;
        if (read) *read = count;
        return TRUE;
    }
    try {
        BOOL ok = ReadNonResidentData(record, out, count);
        if (read) *read = ok ? count : 0;
        return ok;
    } catch (...) {
        g_Logger.Error("CNTFSParser::ReadFile() - unhandled exception in CMFTRecord::ReadFile()!");
        return FALSE;
    }
}

BOOL CNTFSParser::ReadNonResidentData(CMFTRecord* record, uint8_t* out, uint32_t count) {
    CMFTRecord::ReadState& rs = record->m_read;
    const uint64_t clusterBytes = ClusterBytes();
    const uint64_t spc = m_dwSectorsPerCluster;
    uint64_t remaining = count;
    bool failed = false;
    while (remaining > 0 && rs.runIndex < rs.runs.size()) {
        const DataRun& run = rs.runs[rs.runIndex];
        uint64_t runBytes = run.length * clusterBytes;
        if (rs.runOffset >= runBytes) {
            ++rs.runIndex;
            rs.runOffset = 0;
            continue;
        }
        if (rs.runOffset % 512 != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        uint64_t take = std::min(runBytes - rs.runOffset, remaining);
        // Bytes past the initialized size were never written: NTFS reads them as zeros,
        // whatever their clusters hold.
        const uint64_t valid = rs.position < rs.initialized ? std::min(take, rs.initialized - rs.position) : 0;
        if (run.IsSparse() || valid == 0) {
            std::memset(out, 0, take);
        } else if (failed) {
            std::memset(out, 0, take);
        } else {
            uint64_t sector = run.firstCluster * spc + rs.runOffset / 512;
            // Only the initialized part is read: the rest may never have been written.
            const uint64_t readBytes = std::min(take, (valid + 511) / 512 * 512);
            uint64_t whole = readBytes / 512;
            uint8_t* p = out;
            while (whole > 0 && !failed) {
                uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(whole, kMaxSectorsPerRead));
                uint32_t got = 0;
                if (ReadVolumeSectors(sector, p, n, &got) != TRUE || got != n) failed = true;
                sector += n;
                p += size_t{n} * 512;
                whole -= n;
            }
            uint64_t tail = readBytes % 512;
            if (tail && !failed) {
                uint8_t bounce[512];
                uint32_t got = 0;
                if (ReadVolumeSectors(sector, bounce, 1, &got) != TRUE || got != 1)
                    failed = true;
                else
                    std::memcpy(p, bounce, tail);
            }
            if (failed)
                std::memset(out, 0, take);
            else if (valid < take)
                std::memset(out + valid, 0, take - valid);
        }
        out += take;
        remaining -= take;
        rs.position += take;
        rs.runOffset += take;
    }
    return !failed && remaining == 0;
}

platform::FileHandle CNTFSParser::UncompressFile(CMFTRecord* record, const std::string& path) {
    CMFTRecord::ReadState& rs = record->m_read;
    platform::FileHandle file =
        platform::CreateFile(path, platform::kRead | platform::kWrite, platform::CreateMode::CreateAlways);
    if (file == platform::INVALID_FILE_HANDLE) return file;
    rs.hTempCopy = file;
    rs.tempPath = path;
    const uint64_t clusterBytes = ClusterBytes();
    const size_t unitBytes = static_cast<size_t>(clusterBytes * kUnitClusters);
    std::vector<uint8_t> compressed(unitBytes), output(unitBytes);
    if (unitBytes == 0) return rs.hTempCopy;

    uint64_t written = 0;
    size_t runIndex = 0;
    uint64_t runUsed = 0;  // clusters of runs[runIndex] already given to units
    while (written < rs.size && runIndex < rs.runs.size()) {
        // Whole units inside a sparse run are holes of the copy: skipped, not written, so
        // a huge sparse file costs neither time nor disk.
        const DataRun& head = rs.runs[runIndex];
        if (head.IsSparse() && head.length - runUsed >= kUnitClusters) {
            uint64_t units = (head.length - runUsed) / kUnitClusters;
            uint64_t bytes = std::min<uint64_t>(units * unitBytes, rs.size - written);
            written += bytes;
            platform::SetFilePointer(file, static_cast<int64_t>(written), SEEK_SET);
            runUsed += units * kUnitClusters;
            if (runUsed >= head.length) {
                ++runIndex;
                runUsed = 0;
            }
            continue;
        }
        bool readable = DecodeCompressionUnit(rs.runs, &runIndex, &runUsed, compressed, output);
        uint32_t toWrite = static_cast<uint32_t>(std::min<uint64_t>(unitBytes, rs.size - written));
        if (toWrite == 0) break;
        if (!readable) rs.unreadableUnits.emplace_back(written, written + toWrite);
        // A unit past the initialized size reads as zeros, as uncompressed data does.
        if (written + toWrite > rs.initialized) {
            uint64_t keep = rs.initialized > written ? rs.initialized - written : 0;
            std::fill(output.begin() + static_cast<long>(keep), output.end(), 0);
        }
        uint32_t done = 0;
        if (!platform::WriteFile(file, output.data(), toWrite, &done) || done != toWrite) {
            platform::CloseFile(file);
            rs.hTempCopy = platform::INVALID_FILE_HANDLE;
            return platform::INVALID_FILE_HANDLE;
        }
        written += toWrite;
    }
    // A hole at the end still counts in the copy's length.
    if (written > 0 && platform::GetFileSize(file) < static_cast<int64_t>(written)) {
        uint8_t zero = 0;
        uint32_t done = 0;
        platform::SetFilePointer(file, static_cast<int64_t>(written) - 1, SEEK_SET);
        platform::WriteFile(file, &zero, 1, &done);
    }
    platform::SetFilePointer(file, 0, SEEK_SET);
    return file;
}

bool CNTFSParser::DecodeCompressionUnit(const std::vector<DataRun>& runs, size_t* runIndexPtr, uint64_t* runUsedPtr,
                                        std::vector<uint8_t>& compressed, std::vector<uint8_t>& output) {
    const uint64_t clusterBytes = ClusterBytes();
    const size_t unitBytes = output.size();
    size_t& runIndex = *runIndexPtr;
    uint64_t& runUsed = *runUsedPtr;
    // Gather one unit: its stored clusters back to back, and whether a sparse tail
    // (the mark of a compressed unit) completes it.
    uint64_t unitClusters = 0, dataClusters = 0;
    bool sparseTail = false, readable = true;
    while (unitClusters < kUnitClusters && runIndex < runs.size()) {
        const DataRun& run = runs[runIndex];
        uint64_t take = std::min(run.length - runUsed, kUnitClusters - unitClusters);
        if (run.IsSparse()) {
            sparseTail = true;
        } else if (!sparseTail) {
            // Unreadable clusters give zeros, not the previous unit's bytes.
            uint8_t* piece = compressed.data() + dataClusters * clusterBytes;
            std::memset(piece, 0, take * clusterBytes);
            uint32_t got = 0;
            if (ReadVolumeClusters(run.firstCluster + runUsed, piece, static_cast<uint32_t>(take), &got) != 1)
                readable = false;
            dataClusters += take;
        }
        unitClusters += take;
        runUsed += take;
        if (runUsed >= run.length) {
            ++runIndex;
            runUsed = 0;
        }
    }
    // A compressed unit with a hole in its stream decodes to garbage: the unit is lost,
    // and says so, rather than passing for data.
    if (dataClusters == 0 || !readable) {
        std::fill(output.begin(), output.end(), 0);
    } else if (dataClusters >= kUnitClusters || !sparseTail) {
        std::memcpy(output.data(), compressed.data(), dataClusters * clusterBytes);
        std::fill(output.begin() + static_cast<long>(dataClusters * clusterBytes), output.end(), 0);
    } else {
        std::fill(output.begin(), output.end(), 0);
        DecompressLznt1(output.data(), unitBytes, compressed.data(), dataClusters * clusterBytes);
    }
    return readable;
}

bool CNTFSParser::ReadNodeBytes(NodeEntry* node, const NodeRead& request, std::vector<uint8_t>* out) {
    // A read that must see every sector goes through the file handles, which refuse a
    // compressed file rather than decode a unit with a hole in it.
    if (request.unreadable == UnreadableSectors::Fail) return CFileSystemParser::ReadNodeBytes(node, request, out);
    out->clear();
    if (!node || node->IsDirectory()) return false;
    bool slotZeroTaken = GetHandleObject(0) != nullptr;
    uint32_t h = OpenRecord(node->key, false);
    // 0 is also the "no memory" answer (see OpenNodeFile).
    if (h == INVALID_HANDLE || (h == 0 && (slotZeroTaken || !GetHandleObject(0)))) return false;
    CNTFSHandle* handle = NtfsHandle(h);
    if (!handle || !handle->record) return false;
    CMFTRecord* record = handle->record.get();
    CMFTRecord::ReadState& rs = record->m_read;
    const uint64_t end = RequestEnd(request);
    if ((request.wholeFile && rs.size > end) || request.offset >= rs.size) {
        CloseFile(h);
        return !request.wholeFile || rs.size <= end;
    }
    const auto want = static_cast<size_t>(std::min<uint64_t>(rs.size - request.offset, request.length));
    if (record->IsCompressed() && !rs.hasResident && !rs.runs.empty()) {
        ReadCompressedRange(rs, request.offset, want, out);
    } else {
        out->assign(want, 0);
        if (request.offset != 0) {
            LONG distanceHigh = static_cast<LONG>(request.offset >> 32);
            SetFilePointer(h, static_cast<LONG>(static_cast<uint32_t>(request.offset)), &distanceHigh, 0);
        }
        uint32_t got = 0;
        ReadFile(h, out->data(), static_cast<uint32_t>(want), &got);
    }
    CloseFile(h);
    return true;
}

void CNTFSParser::ReadCompressedRange(const CMFTRecord::ReadState& rs, uint64_t offset, size_t want,
                                      std::vector<uint8_t>* out) {
    const size_t unitBytes = static_cast<size_t>(ClusterBytes() * kUnitClusters);
    if (unitBytes == 0) return;
    std::vector<uint8_t> compressed(unitBytes), output(unitBytes);
    size_t runIndex = 0;
    uint64_t runUsed = 0;
    // Whole units before the offset are stepped over without reading them.
    for (uint64_t skip = offset / unitBytes * kUnitClusters; skip > 0 && runIndex < rs.runs.size();) {
        uint64_t take = std::min(rs.runs[runIndex].length - runUsed, skip);
        runUsed += take;
        skip -= take;
        if (runUsed >= rs.runs[runIndex].length) {
            ++runIndex;
            runUsed = 0;
        }
    }
    size_t from = static_cast<size_t>(offset % unitBytes);
    // Units until the range is covered: one unit for any head up to 64 KiB of 4 KiB clusters.
    while (out->size() < want) {
        if (runIndex >= rs.runs.size()) {
            out->resize(want, 0);
            break;
        }
        DecodeCompressionUnit(rs.runs, &runIndex, &runUsed, compressed, output);
        size_t take = std::min(unitBytes - from, want - out->size());
        out->insert(out->end(), output.begin() + static_cast<long>(from),
                    output.begin() + static_cast<long>(from + take));
        from = 0;
    }
    // Past the initialized size the data reads as zeros.
    if (rs.initialized < offset + out->size()) {
        size_t keep = rs.initialized > offset ? static_cast<size_t>(rs.initialized - offset) : 0;
        std::fill(out->begin() + static_cast<long>(keep), out->end(), 0);
    }
}
