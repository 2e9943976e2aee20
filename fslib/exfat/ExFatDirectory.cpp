// exFAT directory handles: the root and folders opened by their entry sets, and the walk
// over a folder's entry sets (live and deleted) that the shared directory search uses.
#include <memory>

#include "common/logger/Logger.h"
#include "fslib/exfat/ExFatHandle.h"
#include "fslib/exfat/ExFatParser.h"
#include "fslib/exfat/ExFatTime.h"
#include "platform/Text.h"

namespace {
// The attribute bits that mean the same as Win32's (read-only .. archive).
constexpr uint16_t kWin32AttributeMask = 0x37;
}  // namespace

uint32_t CExFATParser::OpenRootDirectory() {
    if (!m_bVolumeUsable || m_rootRuns.empty()) {
        g_Logger.Error("error reading root directory, return -1");
        return INVALID_HANDLE;
    }
    auto h = std::make_unique<CExFATHandle>();
    h->info.dwFirstCluster = m_boot.dwRootCluster;
    h->info.bDirectory = 1;
    h->info.nDataLength = h->info.nValidDataLength = m_rootData.size();
    h->runs = m_rootRuns;
    h->data = m_rootData;
    h->bHasData = TRUE;
    return InsertHandle(h.release());
}

uint32_t CExFATParser::OpenDirectory(uint32_t hParent, const char* name) { return FindFile(hParent, name, TRUE); }

ByteView CExFATParser::DirectoryData(uint32_t hDirectory) {
    CHandleObject* h = GetHandleObject(hDirectory);
    if (!h || !h->bHasData) return ByteView();
    return ByteView(h->data.data(), h->data.size());
}

bool CExFATParser::SetAt(const FindContext& ctx, exfat::EntrySet* set) {
    if (ctx.dwPosition == 0) return false;
    return exfat::ReadEntrySet(DirectoryData(ctx.hDirectory), ctx.dwPosition - 1, m_upcase, set);
}

BOOL CExFATParser::MoveFirstFile(uint32_t hDirectory, FindContext* ctx, int skip) {
    if (!ctx) return FALSE;
    ctx->hDirectory = hDirectory;
    ctx->dwPosition = 0;
    ctx->dwExtra = 0;
    return MoveNextFile(ctx, skip);
}

BOOL CExFATParser::MoveNextFile(FindContext* ctx, int /*skip*/) {
    if (!ctx) return FALSE;
    ByteView data = DirectoryData(ctx->hDirectory);
    size_t off = 0;
    exfat::EntrySet set;
    if (ctx->dwPosition != 0) {
        off = ctx->dwPosition - 1;
        off += SetAt(*ctx, &set) ? size_t{set.nEntries} * exfat::kEntrySize : exfat::kEntrySize;
    }
    for (; data.Has(off, exfat::kEntrySize) && off < 0xFFFFFFFFu; off += exfat::kEntrySize) {
        const uint8_t type = exfat::EntryType(data, off);
        if (type == exfat::kTypeEndOfDirectory) break;
        if (exfat::IsFileEntry(type)) {
            ctx->dwPosition = static_cast<uint32_t>(off + 1);
            ctx->dwExtra = (type & exfat::kTypeInUse) ? 0 : 1;
            return TRUE;
        }
    }
    ctx->dwPosition = 0;
    return FALSE;
}

int CExFATParser::CloseFindContext(const FindContext&) { return 0; }

BOOL CExFATParser::IsDirectory(const FindContext& ctx) {
    exfat::EntrySet set;
    return SetAt(ctx, &set) && set.IsDirectory() ? TRUE : FALSE;
}

int CExFATParser::ReadFindFileData(FindContext* ctx, FindData* out) {
    exfat::EntrySet set;
    if (!ctx || !out || !SetAt(*ctx, &set) || !set.bHasStream || set.name.empty()) return 1;
    *out = FindData();
    out->dwFileAttributes = set.wAttributes & kWin32AttributeMask;
    out->ftCreationTime = exfat::StampToFileTime(set.dwCreated, set.bCreated10ms, set.bCreatedUtc);
    out->ftLastWriteTime = exfat::StampToFileTime(set.dwModified, set.bModified10ms, set.bModifiedUtc);
    out->nFileSizeHigh = static_cast<DWORD>(set.nDataLength >> 32);
    out->nFileSizeLow = static_cast<DWORD>(set.nDataLength);
    out->wFileName = set.name;
    out->cFileName = platform::Utf16ToUtf8(set.name);
    return 0;
}

BOOL CExFATParser::GetFindFileName(const FindContext& ctx, std::string* out) {
    exfat::EntrySet set;
    if (!SetAt(ctx, &set) || set.name.empty()) return FALSE;
    if (out) *out = platform::Utf16ToUtf8(set.name);
    return TRUE;
}

// exFAT keeps no short names.
int CExFATParser::GetFindShortName(const FindContext&, std::string*) { return 1; }

uint32_t CExFATParser::OpenFileByRef(FindContext* ctx) {
    exfat::EntrySet set;
    if (!ctx || !SetAt(*ctx, &set) || !set.bHasStream) return INVALID_HANDLE;
    ExFatFileInfo info;
    info.dwFirstCluster = set.dwFirstCluster;
    info.nDataLength = set.nDataLength;
    info.nValidDataLength = std::min(set.nValidDataLength, set.nDataLength);
    info.bStreamFlags = set.bStreamFlags;
    info.bDirectory = set.IsDirectory() ? 1 : 0;
    return OpenInfo(info);
}

int CExFATParser::ReadDirectoryData(uint32_t handle) {
    auto* h = dynamic_cast<CExFATHandle*>(GetHandleObject(handle));
    if (!h || !h->info.bDirectory) return 1;
    const uint64_t length = std::min(h->info.nDataLength, kExFatMaxDirectoryBytes);
    std::vector<uint8_t> data;
    ReadRuns(h->runs, std::min(length, exfat::RunClusters(h->runs) * m_boot.ClusterBytes()), &data);
    h->data = std::move(data);
    h->bHasData = TRUE;
    return 0;
}
