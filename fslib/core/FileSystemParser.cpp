#include "fslib/core/FileSystemParser.h"

#include <cstring>
#include <new>

#include "common/logger/Logger.h"
#include "fslib/core/TempFolder.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {
constexpr size_t kBytesPerSectorOffset = 11;     // u16 in the BIOS parameter block
constexpr size_t kSectorsPerClusterOffset = 13;  // u8
}  // namespace

CFileSystemParser::CFileSystemParser(CDiskDrive* drive, const uint8_t* bootSector) : m_pDiskDrive(drive) {
    m_szTempPath = PreparePrivateTempFolder();
    if (bootSector) {
        std::memcpy(m_bootSector, bootSector, sizeof(m_bootSector));
        m_wBytesPerSector =
            static_cast<uint16_t>(m_bootSector[kBytesPerSectorOffset] | (m_bootSector[kBytesPerSectorOffset + 1] << 8));
        m_dwSectorsPerCluster = m_bootSector[kSectorsPerClusterOffset];
    }
}

CFileSystemParser::~CFileSystemParser() {
    m_rootNode.Destroy();
    m_handles.clear();
    CloseDisk();
}

void CFileSystemParser::OpenRootAndLog() {
    uint32_t root = OpenRootDirectory();
    m_hRootDirectory = m_hCurrentDirectory = root;
    if (root == INVALID_HANDLE)
        g_Logger.Info("Root directory handle is -1");
    else
        g_Logger.InfoNumber("Root directory handle is ->", static_cast<long>(root));
}

int CFileSystemParser::CloseDisk() {
    if (m_pDiskDrive) {
        m_pDiskDrive->Close();
        delete m_pDiskDrive;
        m_pDiskDrive = nullptr;
    }
    return 1;
}

int CFileSystemParser::ClearTree() {
    // Destroy() also frees the root's own strings; the root has none, so only its
    // children go.
    m_rootNode.Destroy();
    return 1;
}

CHandleObject* CFileSystemParser::GetHandleObject(uint32_t handle) {
    if (handle >= m_handles.size()) return nullptr;
    return m_handles[handle].get();
}

uint32_t CFileSystemParser::InsertHandle(CHandleObject* object) {
    if (!object) return 0;
    try {
        for (size_t i = 0; i < m_handles.size(); ++i) {
            if (!m_handles[i]) {
                m_handles[i].reset(object);
                return static_cast<uint32_t>(i);
            }
        }
        m_handles.emplace_back(object);
        return static_cast<uint32_t>(m_handles.size() - 1);
    } catch (...) {
        g_Logger.Error("EXCEPTION WHILE INSERTING FILE RECORD");
        delete object;
        return 0;
    }
}

uint32_t CFileSystemParser::OpenNodeFile(NodeEntry* node) {
    bool slotZeroTaken = GetHandleObject(0) != nullptr;
    uint32_t h = OpenFileByTreeRef(node);
    if (h == 0 && (slotZeroTaken || !GetHandleObject(0))) return INVALID_HANDLE;
    return h;
}

void CFileSystemParser::FreeHandle(uint32_t handle) {
    if (handle < m_handles.size()) m_handles[handle].reset();
}

void CFileSystemParser::ReleaseCountedHandle(uint32_t handle) {
    CHandleObject* h = GetHandleObject(handle);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return;
    }
    if (h->dwRefCount > 1) {
        --h->dwRefCount;
        return;
    }
    FreeHandle(handle);
}

NodeEntry* CFileSystemParser::FindNodeByKey(NodeEntry* folder, uint32_t key) {
    if (!folder) return nullptr;
    for (NodeEntry* c : folder->Children())
        if (c->key == key) return c;
    return nullptr;
}

NodeEntry* CFileSystemParser::FirstOfList(NodeEntry* folder) { return folder ? folder->FirstChild() : nullptr; }

uint32_t CFileSystemParser::FindFile(uint32_t hDirectory, const char* name, BOOL wantDirectory) {
    g_Logger.Info("CFileSystemParser::FindFile() - IN");
    if (!GetHandleObject(hDirectory)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE;
    }
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE;
    }
    const std::string wanted = platform::UpperCaseUtf8(name);
    FindContext ctx;
    if (!MoveFirstFile(hDirectory, &ctx, 0)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE;
    }
    // A directory holds at most 2^32 entries; the bound keeps a looping walk finite.
    for (uint64_t steps = 0; steps < 0x100000000ull; ++steps) {
        if ((IsDirectory(ctx) != 0) == (wantDirectory != 0)) {
            std::string entryName;
            if (GetFindFileName(ctx, &entryName)) {
                bool match = platform::UpperCaseUtf8(entryName) == wanted;
                std::string shortName;
                if (!match && GetFindShortName(ctx, &shortName) == 0)
                    match = platform::UpperCaseUtf8(shortName) == wanted;
                if (match) {
                    uint32_t h = wantDirectory ? OpenDirectoryByRef(&ctx) : OpenFileByRef(&ctx);
                    if (h == INVALID_HANDLE) SetLastError(ERROR_FILE_NOT_FOUND);
                    return h;
                }
            }
        }
        if (!MoveNextFile(&ctx, 0)) break;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE;
}

FindContext* CFileSystemParser::FindFirstByHandle(uint32_t hDirectory, FindData* out) {
    auto* ctx = new (std::nothrow) FindContext;
    if (!ctx) return nullptr;
    if (MoveFirstFile(hDirectory, ctx, 1) && ReadFindFileData(ctx, out) == 0) {
        if (CHandleObject* h = GetHandleObject(hDirectory)) ++h->dwRefCount;
        return ctx;
    }
    delete ctx;
    return nullptr;
}

BOOL CFileSystemParser::FindNextFile(FindContext* ctx, FindData* out) {
    if (!ctx) return FALSE;
    try {
        // An entry that cannot be read is passed over; the walk ends when the slots say so.
        for (uint64_t steps = 0; steps < 0x100000000ull; ++steps) {
            if (!MoveNextFile(ctx, 1)) return FALSE;
            if (ctx->dwPosition != 0 && ReadFindFileData(ctx, out) == 0) return TRUE;
        }
    } catch (...) {
        g_Logger.Error("CFileSystemParser::FindNextFile() - ERROR");
    }
    return FALSE;
}

void CFileSystemParser::FindClose(FindContext* ctx) {
    if (!ctx) return;
    if (ctx->hDirectory != INVALID_HANDLE && GetHandleObject(ctx->hDirectory)) CloseFile(ctx->hDirectory);
    delete ctx;
}

uint32_t CFileSystemParser::OpenDirectoryByRef(FindContext* ctx) {
    uint32_t h = OpenFileByRef(ctx);
    if (h == INVALID_HANDLE) return h;
    g_Logger.Info("OpenDirectoryByRef - Memory for directory was allocated");
    int rc = ReadDirectoryData(h);
    if (rc == 0) {
        g_Logger.Info("OpenDirectoryByRef - Directory content was successfully readed");
        if (CHandleObject* o = GetHandleObject(h)) ++o->dwRefCount;
        return h;
    }
    if (rc != 3) CloseFile(h);
    return INVALID_HANDLE;
}

int CFileSystemParser::ReadVolumeSectors(uint64_t sector, void* buffer, uint32_t count, uint32_t* read) {
    if (!m_pDiskDrive) return kSeekFailed;
    return m_pDiskDrive->ReadSectors(m_dwFirstSector + sector, buffer, count, read);
}

int CFileSystemParser::ReadVolumeSectorsSafe(uint64_t sector, void* buffer, uint32_t count, uint32_t* read) {
    if (!m_pDiskDrive) return kSeekFailed;
    return m_pDiskDrive->ReadSectorsSafe(m_dwFirstSector + sector, buffer, count, read);
}

int CFileSystemParser::ReadVolumeClusters(uint64_t cluster, void* buffer, uint32_t count, uint32_t* read) {
    if (!m_pDiskDrive || m_dwSectorsPerCluster == 0) return kSeekFailed;
    const uint64_t spc = m_dwSectorsPerCluster;
    uint32_t bad = 0;
    int rc = m_pDiskDrive->ReadSectorsSafe(m_dwFirstSector + cluster * spc, buffer, static_cast<uint32_t>(count * spc),
                                           &bad);
    if (read) *read = (rc == 1) ? count : 0;
    return rc;
}

int CFileSystemParser::GetValidFileNameA(uint32_t /*handle*/, const FindData* fd, std::string* out, int mode) {
    if (!fd) return 1;
    const std::string& candidate = !fd->cFileName.empty() ? fd->cFileName : fd->cAlternateFileName;
    if (candidate.empty()) return 1;
    bool accepted = mode ? IsValidFileNameA(candidate.c_str()) : IsStorableFileNameA(candidate.c_str());
    if (!accepted) return 1;
    if (out) *out = candidate;
    return 0;
}
