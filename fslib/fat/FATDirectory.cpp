// FAT directory enumeration: the find context over a directory's data held in memory,
// find data of an entry, opening entries by reference, reading directory data.
#include "common/logger/Logger.h"
#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATParser.h"
#include "platform/Text.h"
#include "platform/Time.h"

using fatdir::kEntrySize;

namespace {
// The context stores the entry's offset plus one, so that 0 still means "no entry".
size_t Offset(const FindContext& ctx) { return ctx.dwPosition - 1; }
void SetOffset(FindContext* ctx, size_t offset) { ctx->dwPosition = static_cast<uint32_t>(offset + 1); }

FILETIME DosToUtcUncached(uint16_t date, uint16_t time) {
    FILETIME local = 0, utc = 0;
    if (!platform::DosDateTimeToFileTime(date, time, &local) || !platform::LocalFileTimeToFileTime(local, &utc))
        return 0;
    return utc;
}

std::string HexEntry(ByteView entry) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < entry.Size(); ++i) {
        if (i) s.push_back(' ');
        s.push_back(kDigits[entry.U8(i) >> 4]);
        s.push_back(kDigits[entry.U8(i) & 15]);
    }
    return s;
}
}  // namespace

ByteView CFATParser::DirectoryData(uint32_t hDirectory) {
    CFATHandle* h = GetFATHandle(hDirectory);
    if (!h) return {};
    return ByteView(h->data.data(), h->data.size());
}

int64_t CFATParser::ShortEntryOffset(ByteView data, size_t offset) {
    if (!data.Has(offset, kEntrySize)) return -1;
    if (fatdir::IsLongNameEntry(data.Sub(offset, kEntrySize))) {
        uint32_t count = 0;
        if (!fatdir::ReadLongName(nullptr, data, offset, &count)) return -1;
        offset += size_t{count} * kEntrySize;
    }
    return data.Has(offset, kEntrySize) ? static_cast<int64_t>(offset) : -1;
}

BOOL CFATParser::MoveFirstFile(uint32_t hDirectory, FindContext* ctx, int /*skip*/) {
    try {
        CFATHandle* h = GetFATHandle(hDirectory);
        if (!h || !ctx) return FALSE;
        if (!h->bHasData) {
            g_Logger.Error("CFATParser::MoveFirstFile() - this is not a directory!");
            return FALSE;
        }
        if (h->data.size() < kEntrySize) {
            g_Logger.Error("CFATParser::MoveFirstFile() - directory size less than 32 bytes, return FALSE");
            return FALSE;
        }
        ctx->hDirectory = hDirectory;
        ctx->dwExtra = 0;
        SetOffset(ctx, 0);
        ByteView data = DirectoryData(hDirectory);
        size_t shortEntry = 0;
        if (fatdir::IsLongNameEntry(data.Sub(0, kEntrySize))) {
            uint32_t count = 0;
            if (fatdir::ReadLongName(nullptr, data, 0, &count)) {
                shortEntry = size_t{count} * kEntrySize;
            } else {
                g_Logger.Error("CFATParser::MoveFirstFile() - error reading long name, skip folder");
                shortEntry = kEntrySize;
                SetOffset(ctx, kEntrySize);
            }
        }
        if (fatdir::IsDeleted(data.Sub(shortEntry, kEntrySize)) && m_dwOptionFlag == 0) return MoveNextFile(ctx, 0);
        return data.Has(Offset(*ctx), kEntrySize) ? TRUE : FALSE;
    } catch (...) {
        g_Logger.Error("CFATParser::MoveFirstFile() - handled exception, return FALSE");
        return FALSE;
    }
}

BOOL CFATParser::MoveNextFile(FindContext* ctx, int /*skip*/) {
    try {
        if (!ctx) return FALSE;
        CFATHandle* h = GetFATHandle(ctx->hDirectory);
        if (!h) return FALSE;
        if (!h->bHasData) {
            g_Logger.Error("CFATParser::MoveNextFile() - this is not a directory");
            uint32_t count = 0;
            ValidateDirectoryData(ctx->hDirectory, &count);
            if (count == 0) {
                g_Logger.Error("MoveNextFile - is not a directory");
                return FALSE;
            }
            h->bHasData = TRUE;
        }
        if (ctx->dwPosition == 0) return FALSE;
        ByteView data = DirectoryData(ctx->hDirectory);
        size_t p = Offset(*ctx);
        // Every pass moves p forward by at least one entry.
        for (;;) {
            if (!data.Has(p, kEntrySize) || data.U8(p) == fatdir::kEndMark) return FALSE;
            ByteView entry = data.Sub(p, kEntrySize);
            if (fatdir::IsLongNameEntry(entry) && !fatdir::IsDeleted(entry)) {
                uint32_t count = 0;
                if (fatdir::ReadLongName(nullptr, data, p, &count)) {
                    p += size_t{count} * kEntrySize;
                } else {
                    g_Logger.ErrorValue("CFATParser::MoveNextFile() - error reading long name, skip folder - %s",
                                        HexEntry(entry).c_str());
                    p += kEntrySize;
                }
            }
            if (!data.Has(p, kEntrySize)) return FALSE;
            p += kEntrySize;
            if (!data.Has(p, 1) || data.U8(p) == fatdir::kEndMark) return FALSE;
            SetOffset(ctx, p);
            size_t tested = p;
            ByteView found = data.Sub(p, kEntrySize);
            if (fatdir::IsLongNameEntry(found) && !fatdir::IsDeleted(found)) {
                uint32_t count = 0;
                if (fatdir::ReadLongName(nullptr, data, p, &count)) {
                    size_t s = p + size_t{count} * kEntrySize;
                    if (fatdir::IsDeleted(data.Sub(s, kEntrySize))) tested = s;
                } else {
                    g_Logger.ErrorValue("CFATParser::MoveNextFile() - error reading long name, skip folder - %s",
                                        HexEntry(found).c_str());
                }
            }
            if (!data.Has(p, 1)) return FALSE;
            if (!fatdir::IsDeleted(data.Sub(tested, kEntrySize)) || m_dwOptionFlag != 0) return TRUE;
        }
    } catch (...) {
        g_Logger.Error("CFATParser::MoveNextFile() - handled exception, return FALSE");
        return FALSE;
    }
}

FILETIME CFATParser::DosToUtc(uint16_t date, uint16_t time) {
    // Both zero, or no such day: the time of the scan stands in.
    if (date == 0 && time == 0) return platform::CurrentFileTime();
    // Entries written together share their stamps; the local-time conversion is the
    // costly part, so each stamp is converted once per scan.
    const uint32_t key = (uint32_t{date} << 16) | time;
    auto it = m_timeCache.find(key);
    FILETIME utc = it != m_timeCache.end() ? it->second : DosToUtcUncached(date, time);
    if (it == m_timeCache.end() && m_timeCache.size() < kTimeCacheLimit) m_timeCache.emplace(key, utc);
    return utc ? utc : platform::CurrentFileTime();
}

int CFATParser::ReadFindFileData(FindContext* ctx, FindData* out) { return ReadFindEntry(ctx, out, true); }

int CFATParser::ReadFindEntry(FindContext* ctx, FindData* out, bool withTimes) {
    if (!ctx || !out || ctx->dwPosition == 0) return -1;
    ByteView data = DirectoryData(ctx->hDirectory);
    size_t p = Offset(*ctx);
    *out = FindData();
    std::u16string longName;
    bool longNameDeleted = false;
    const size_t setStart = p;
    uint32_t setCount = 0;
    ByteView first = data.Sub(p, kEntrySize);
    m_lastDeletedSet.reset();
    if (fatdir::IsLongNameEntry(first)) {
        if (!fatdir::ReadLongName(&longName, data, p, &setCount)) {
            g_Logger.Error("CFATParser::ReadFindFileData() - error reading long name, return -1");
            return -1;
        }
        longNameDeleted = fatdir::IsDeleted(first);
        p += size_t{setCount} * kEntrySize;
        SetOffset(ctx, p);
    }
    ByteView entry = data.Sub(p, kEntrySize);
    if (entry.Empty()) return -1;
    // A deleted long name in front of a live entry belongs to an earlier file whose short
    // entry was reused: the live entry keeps its own name.
    if (longNameDeleted && !fatdir::IsDeleted(entry)) longName.clear();
    if (longNameDeleted && !longName.empty()) {
        // Deletion overwrote only the order bytes: the whole name is there when the set
        // really belongs to this short entry.
        m_lastDeletedSet = fatdir::CheckDeletedSet(data, setStart, setCount, longName);
        if (*m_lastDeletedSet == fatdir::DeletedSetCheck::Inconsistent) longName[0] = u'_';
    }

    out->cAlternateFileName = fatdir::ShortNameToUtf8(entry);
    out->wAlternateFileName = platform::Utf8ToUtf16(out->cAlternateFileName);
    if (!longName.empty()) {
        out->cFileName = platform::Utf16ToUtf8(longName);
        out->wFileName = longName;
    } else {
        out->cFileName = out->cAlternateFileName;
        out->wFileName = out->wAlternateFileName;
    }
    constexpr uint8_t kPassed = fatdir::kAttrDirectory | fatdir::kAttrArchive | fatdir::kAttrHidden |
                                fatdir::kAttrReadOnly | fatdir::kAttrSystem;
    out->dwFileAttributes = entry.U8(fatdir::kAttributes) & kPassed;
    if (withTimes) {
        out->ftLastWriteTime = DosToUtc(entry.U16(fatdir::kWriteDate), entry.U16(fatdir::kWriteTime));
        out->ftCreationTime = DosToUtc(entry.U16(fatdir::kCreationDate), entry.U16(fatdir::kCreationTime));
        out->ftLastAccessTime = DosToUtc(entry.U16(fatdir::kAccessDate), 0);
    }
    out->nFileSizeLow = entry.U32(fatdir::kFileSize);
    return 0;
}

BOOL CFATParser::IsDirectory(const FindContext& ctx) {
    if (ctx.dwPosition == 0) return FALSE;
    ByteView data = DirectoryData(ctx.hDirectory);
    int64_t s = ShortEntryOffset(data, Offset(ctx));
    if (s < 0) return FALSE;
    return (data.U8(static_cast<size_t>(s) + fatdir::kAttributes) & fatdir::kAttrDirectory) ? TRUE : FALSE;
}

BOOL CFATParser::GetFindFileName(const FindContext& ctx, std::string* out) {
    FindContext copy = ctx;
    FindData fd;
    if (ReadFindFileData(&copy, &fd) != 0 || fd.cFileName.empty()) return FALSE;
    if (out) *out = fd.cFileName;
    return TRUE;
}

int CFATParser::GetFindShortName(const FindContext& ctx, std::string* out) {
    if (ctx.dwPosition == 0) return 1;
    ByteView data = DirectoryData(ctx.hDirectory);
    int64_t s = ShortEntryOffset(data, Offset(ctx));
    if (s < 0) return 1;
    std::string name = fatdir::ShortNameToUtf8(data.Sub(static_cast<size_t>(s), kEntrySize));
    if (name.empty()) return 1;
    if (out) *out = name;
    return 0;
}

int CFATParser::ReadDirectoryData(uint32_t handle) {
    CFATHandle* h = GetFATHandle(handle);
    if (!h) return -1;
    FATFileRecord* record = h->pRecord.get();
    if (record && record->nAllocatedSize > kFatMaxDirectoryBytes) return -1;
    if (record && record->IsDirectory() && !record->runs.empty()) {
        g_Logger.Info("ReadDirectoryData - IsDirectory verified");
        if (ReadDataStream(*record, &h->data) == FAT_STATUS_NO_DATA) return 3;
        h->bHasData = TRUE;
    }
    g_Logger.Info("ReadDirectoryData - not a directory");
    return h->data.empty() ? -1 : 0;
}

uint32_t CFATParser::OpenFileByRef(FindContext* ctx) {
    if (!ctx || ctx->dwPosition == 0) return INVALID_HANDLE;
    try {
        g_Logger.Info("OpenFileByRef - Start opening file by ref");
        ByteView data = DirectoryData(ctx->hDirectory);
        size_t p = Offset(*ctx);
        std::u16string longName;
        if (fatdir::IsLongNameEntry(data.Sub(p, kEntrySize))) {
            uint32_t count = 0;
            if (!fatdir::ReadLongName(&longName, data, p, &count)) {
                g_Logger.Error("CFATParser::OpenFileByRef() - error reading long name, skip file");
                return INVALID_HANDLE;
            }
            p += size_t{count} * kEntrySize;
        }
        g_Logger.Info("CFATParser::OpenFileByRef() - Long name was successfully checked");
        g_Logger.Info("OpenFileByRef - Before creating rec object");
        if (!data.Has(p, kEntrySize)) {
            g_Logger.Info("OpenFileByRef - Main_entry pointer check failed");
            return INVALID_HANDLE;
        }
        ByteView entry = data.Sub(p, kEntrySize);
        if (entry.U8(0) == fatdir::kEndMark) {
            g_Logger.Info("OpenFileByRef - Main_entry first symbol check failed");
            return INVALID_HANDLE;
        }
        auto record = std::make_unique<FATFileRecord>();
        record->pParser = this;
        std::copy_n(entry.Data(), kEntrySize, record->entry);
        record->szName = platform::Utf16ToUtf8(longName);
        g_Logger.Info("OpenFileByRef - After creating rec object");
        g_Logger.Info("OpenFileByRef - Allocating clusters");
        uint64_t clusters = 0;
        BuildRunList(GetFirstCluster(entry), &record->runs, nullptr, &clusters);
        g_Logger.InfoNumber("OpenFileByRef - Clusters were successfully allocated. Clusters count ",
                            static_cast<long>(clusters));
        record->nAllocatedSize = clusters * m_dwClusterSize;
        auto handle = std::make_unique<CFATHandle>();
        handle->bHasData = record->IsDirectory() ? TRUE : FALSE;
        handle->pRecord = std::move(record);
        g_Logger.Info("OpenFileByRef - Trying to insert file record");
        return AppendHandle(std::move(handle));
    } catch (...) {
        g_Logger.Error("OpenFileByRef - ERROR IN OPENENING FILE BY REF");
        return INVALID_HANDLE;
    }
}
