// Directory handles: the root directory opened at construction, the index entries of a
// directory loaded into one flat buffer, and the directory-walking slots over it.
#include <algorithm>
#include <memory>

#include "common/logger/Logger.h"
#include "fslib/ntfs/IndexEntries.h"
#include "fslib/ntfs/NTFSHandle.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"
#include "platform/Text.h"

namespace {
// An index allocation larger than this is damage (directories of millions of entries
// stay far below it).
constexpr uint64_t kMaxIndexBytes = 256ull * 1024 * 1024;
}  // namespace

CNTFSHandle* CNTFSParser::NtfsHandle(uint32_t handle) { return dynamic_cast<CNTFSHandle*>(GetHandleObject(handle)); }

int CNTFSParser::ReadIndexRoot(CMFTRecord* record, int attrOffset, std::vector<uint8_t>* buffer) {
    try {
        CollectIndexRoot(record->ResidentValue(attrOffset), buffer);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    return 0;
}

int CNTFSParser::ReadIndexAllocation(CMFTRecord* record, int attrOffset, std::vector<uint8_t>* buffer) {
    ByteView runList = record->RunListView(attrOffset);
    uint64_t clusters = 0;
    record->CalcDataRunsLength(attrOffset, nullptr, &clusters);
    if (clusters == 0) return 0;
    const uint64_t clusterBytes = ClusterBytes();
    if (clusterBytes == 0 || clusters > TotalClusters() || clusters > kMaxIndexBytes / clusterBytes) return kNoMemory;
    try {
        std::vector<uint8_t> data(clusters * clusterBytes);
        uint64_t done = 0;
        record->ReadNonResident(data.data(), clusters, &done, runList);
        CollectIndexBlocks(data.data(), data.size(), record->IndexBlockSize(), 512, buffer);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    return 0;
}

uint32_t CNTFSParser::OpenRootDirectory() {
    m_bRootUnreadable = 0;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[ntfs::kMaxRecordSize]());
    if (ReadMFTRecord(ntfs::kRootRecord, buffer.get()) == -1) {
        m_bRootUnreadable = 1;
        return INVALID_HANDLE;
    }
    auto record = std::make_unique<CMFTRecord>(buffer.release(), ntfs::kRootRecord, true, this);
    if (record->LocateRecordAttributes(0) != 0) {
        g_Logger.Info("Trying to delete CMFTRecord");
        record.reset();
        g_Logger.Info("CMFTRecord was successfully deleted");
        m_bRootUnreadable = 1;
        return INVALID_HANDLE;
    }
    auto handle = std::make_unique<CNTFSHandle>();
    handle->bIsDirectory = 1;
    handle->bHasData = TRUE;
    g_Logger.Info("Start of parsing CMFTRecord");
    if (record->IndexRootAttribute() >= 0) {
        g_Logger.Info("Try to read Index Root");
        ReadIndexRoot(record.get(), record->IndexRootAttribute(), &handle->data);
        g_Logger.Info("Index Root was read");
    }
    if (record->IndexAllocationAttribute() >= 0) {
        g_Logger.Info("Try to read Index Allocation");
        ReadIndexAllocation(record.get(), record->IndexAllocationAttribute(), &handle->data);
        g_Logger.Info("Index Allocation was read");
    }
    if (handle->data.empty()) {
        m_bRootUnreadable = 1;
        return INVALID_HANDLE;
    }
    handle->record = std::move(record);
    g_Logger.Info("CMFTRecord was parsed. Try to insert file record");
    return InsertHandle(handle.release());
}

int CNTFSParser::ReadDirectoryData(uint32_t handle) {
    CNTFSHandle* h = NtfsHandle(handle);
    if (!h || !h->record) return -1;
    if (!h->record->IsDirectory()) return -1;
    if (h->bHasData) return 0;
    CMFTRecord* record = h->record.get();
    int rc = 0;
    if (record->IndexRootAttribute() >= 0) rc = ReadIndexRoot(record, record->IndexRootAttribute(), &h->data);
    if (rc == 0 && record->IndexAllocationAttribute() >= 0)
        rc = ReadIndexAllocation(record, record->IndexAllocationAttribute(), &h->data);
    if (rc == kNoMemory) return 3;
    h->bIsDirectory = 1;
    h->bHasData = TRUE;
    return 0;
}

void CNTFSParser::CloseFile(uint32_t handle) { ReleaseCountedHandle(handle); }

void CNTFSParser::LogDirDataSize(uint32_t handle) {
    CHandleObject* h = GetHandleObject(handle);
    g_Logger.InfoF("dir data size: %u", h ? static_cast<uint32_t>(h->data.size()) : 0u);
}

ByteView CNTFSParser::CurrentEntry(const FindContext& ctx) {
    CHandleObject* h = GetHandleObject(ctx.hDirectory);
    if (!h || ctx.dwPosition == 0) return ByteView();
    ByteView data(h->data.data(), h->data.size());
    size_t off = ctx.dwPosition - 1;
    return data.Sub(off, data.U16(off + ntfs::kIeLength));
}

BOOL CNTFSParser::MoveFirstFile(uint32_t hDirectory, FindContext* ctx, int skip) {
    if (!ctx) return FALSE;
    CHandleObject* h = GetHandleObject(hDirectory);
    if (!h || h->data.empty()) return FALSE;
    ctx->hDirectory = hDirectory;
    ctx->dwPosition = 1;
    ctx->dwExtra = 0;
    // With skip, a DOS-namespace entry duplicates the long name of the same file.
    if (skip && IndexEntryView{CurrentEntry(*ctx)}.NameSpace() == ntfs::kNamespaceDos) return MoveNextFile(ctx, skip);
    return TRUE;
}

BOOL CNTFSParser::MoveNextFile(FindContext* ctx, int skip) {
    if (!ctx) return FALSE;
    CHandleObject* h = GetHandleObject(ctx->hDirectory);
    if (!h || ctx->dwPosition == 0) return FALSE;
    ByteView data(h->data.data(), h->data.size());
    size_t off = ctx->dwPosition - 1;
    while (true) {
        uint16_t length = data.U16(off + ntfs::kIeLength);
        if (length == 0) return FALSE;
        off += length;
        if (!data.Has(off, ntfs::kIeMinimum)) {
            ctx->dwPosition = 0;
            return FALSE;
        }
        ctx->dwPosition = static_cast<uint32_t>(off + 1);
        if (!skip || IndexEntryView{CurrentEntry(*ctx)}.NameSpace() != ntfs::kNamespaceDos) return TRUE;
    }
}

int CNTFSParser::CloseFindContext(const FindContext& /*ctx*/) { return 0; }

BOOL CNTFSParser::IsDirectory(const FindContext& ctx) {
    ByteView entry = CurrentEntry(ctx);
    return !entry.Empty() && IndexEntryView{entry}.IsDirectory();
}

int CNTFSParser::ReadFindFileData(FindContext* ctx, FindData* out) {
    if (!ctx || !out) return -1;
    ByteView entry = CurrentEntry(*ctx);
    if (entry.Empty()) return -1;
    IndexEntryView e{entry};
    ByteView key = e.Key();
    *out = FindData();
    out->dwFileAttributes = e.IsDirectory() ? FILE_ATTRIBUTE_DIRECTORY : 0;
    out->ftCreationTime = key.U64(ntfs::kFnCreationTime);
    out->ftLastWriteTime = key.U64(ntfs::kFnModificationTime);
    out->ftLastAccessTime = key.U64(ntfs::kFnAccessTime);
    uint64_t size = key.U64(ntfs::kFnDataSize);
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
    out->wFileName = e.Name();
    out->cFileName = platform::Utf16ToUtf8(out->wFileName);
    return 0;
}

BOOL CNTFSParser::GetFindFileName(const FindContext& ctx, std::string* out) {
    ByteView entry = CurrentEntry(ctx);
    if (entry.Empty() || !out) return FALSE;
    *out = platform::Utf16ToUtf8(IndexEntryView{entry}.Name());
    return !out->empty();
}

int CNTFSParser::GetFindShortName(const FindContext& /*ctx*/, std::string* /*out*/) { return 1; }

uint32_t CNTFSParser::OpenDirectory(uint32_t hParent, const char* name) { return FindFile(hParent, name, TRUE); }

uint32_t CNTFSParser::OpenFileByRef(FindContext* ctx) {
    if (!ctx) return INVALID_HANDLE;
    ByteView entry = CurrentEntry(*ctx);
    if (entry.Empty()) return INVALID_HANDLE;
    return OpenRecord(IndexEntryView{entry}.Record());
}
