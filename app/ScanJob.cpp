#include "app/ScanJob.h"

#include <cstring>
#include <vector>

#include "common/logger/Logger.h"
#include "fslib/exfat/ExFatParser.h"
#include "fslib/fat/FATParser.h"
#include "fslib/ntfs/NTFSParser.h"

namespace {
// exFAT keeps a copy of its boot region from its sector 12: a card whose first sector was
// wiped is still recognised from the copy (tried for each sector size exFAT allows).
uint8_t DetectExFatBackup(CDiskDrive* drive, uint8_t bootSector[512]) {
    constexpr uint64_t kBackupBootSector = 12;
    constexpr size_t kBytesPerSectorShift = 108;
    for (unsigned shift = 9; shift <= 12; ++shift) {
        uint8_t backup[512] = {};
        uint32_t read = 0;
        if (drive->ReadSectors((kBackupBootSector << shift) / 512, backup, 1, &read) == 0 || read != 1) continue;
        if (IsExFatBootSector(backup, sizeof backup) && backup[kBytesPerSectorShift] == shift) {
            g_Logger.Error("The boot sector is not recognised; the backup exFAT boot sector is used");
            std::memcpy(bootSector, backup, sizeof backup);
            return FS_EXFAT;
        }
    }
    return FS_UNKNOWN;
}
}  // namespace

uint8_t DetectDriveFileSystem(CDiskDrive* drive, uint8_t bootSector[512]) {
    std::memset(bootSector, 0, 512);
    uint32_t read = 0;
    if (drive->ReadSectors(0, bootSector, 1, &read) == 0 || read != 1) return FS_UNKNOWN;
    uint8_t type = DetectFileSystem(bootSector, 512);
    if (type == FS_UNKNOWN) type = DetectExFatBackup(drive, bootSector);
    return type;
}

std::unique_ptr<CFileSystemParser> MakeParserOfType(uint8_t type, CDiskDrive* drive, const uint8_t* boot) {
    switch (type) {
        case FS_NTFS: return std::make_unique<CNTFSParser>(drive, boot);
        case FS_FAT12: return std::make_unique<CFAT12Parser>(drive, boot);
        case FS_FAT16: return std::make_unique<CFAT16Parser>(drive, boot);
        case FS_FAT32: return std::make_unique<CFAT32Parser>(drive, boot, 0);
        case FS_EXFAT: return std::make_unique<CExFATParser>(drive, boot);
        default: return nullptr;
    }
}

CDiskDrive* OpenDrive(char letter) {
    CDiskDrive* drive = nullptr;
    if (CreateDiskDrive(DISK_LOGICAL, &drive) != 0 || !drive) return nullptr;
    if (drive->Open(static_cast<uint8_t>(letter)) != 0) {
        delete drive;
        return nullptr;
    }
    return drive;
}

std::unique_ptr<CFileSystemParser> OpenParser(char letter, int* error) {
    CDiskDrive* drive = OpenDrive(letter);
    if (!drive) {
        if (error) *error = -1;
        return nullptr;
    }
    uint8_t boot[512];
    uint8_t type = DetectDriveFileSystem(drive, boot);
    if (type == FS_UNKNOWN) {
        delete drive;
        if (error) *error = -2;
        return nullptr;
    }
    if (error) *error = 0;
    return MakeParserOfType(type, drive, boot);
}

int ScanDrive(DriveEntry* entry, const ScanOptions& options) {
    if (!entry) return -1;
    entry->scanStatus = 0;
    // An NTFS parser is kept and scanned again; any other drive gets a new parser.
    if (!entry->parser || entry->parser->GetFileSystemType() != FS_NTFS) {
        CDiskDrive* drive = OpenDrive(entry->letter);
        if (!drive) {
            if (options.showError) options.showError("Can`t open disk");
            g_Logger.Error("Can`t open disk");
            return -1;
        }
        uint8_t boot[512];
        uint8_t type = DetectDriveFileSystem(drive, boot);
        if (type == FS_UNKNOWN) {
            delete drive;
            return -1;
        }
        entry->listedNodes.clear();
        entry->parser = MakeParserOfType(type, drive, boot);
    }
    CFileSystemParser* parser = entry->parser.get();
    parser->m_dwOptionFlag = 1;
    int status = 0;

    if (parser->GetFileSystemType() == FS_NTFS) {
        auto* ntfs = static_cast<CNTFSParser*>(parser);
        g_Logger.Info(" ----------< Scanning MFT Structure.");
        if (!IsUserBreak()) {
            ntfs->m_bAttachOrphans = options.attachOrphans ? 1 : 0;
            status = ntfs->PrepareDirTree(100);
        }
        g_Logger.Info(" ----------> Scanning MFT Structure accomplished.");
    } else if (parser->GetFileSystemType() == FS_EXFAT) {
        if (!IsUserBreak()) status = parser->PrepareDirTree(100);
        g_Logger.Info(" ----------- Logical disk scanning accomplished.");
    } else {
        auto* fat = static_cast<CFATParser*>(parser);
        if (status == 0 && !IsUserBreak()) status = fat->ProcessRootDirectory();
        g_Logger.Info(" ----------- Directory and files tree prepared.");
        g_Logger.Info(" ");
        g_Logger.Info(" ----------- Trying to find orphaned folders to the directory tree.");
        g_Logger.Info(" ----------- Actual Build: Function disabled.");
        g_Logger.Info(" ");
        g_Logger.Info(" ----------- Logical disk scanning accomplished.");
    }

    g_Logger.Info(" ----------- Start directory tree modifing process.");
    MarkFoldersWithDeletedContent(parser->GetRoot());
    g_Logger.Info(" ----------- Successfully accomplished.");

    entry->scanStatus = status;
    if (status != 0) {
        g_Logger.ErrorF("PrepareDirectoryTree() returns %d", status);
        return -1;
    }
    return 0;
}

BOOL IsDriveSupported(char letter) {
    CDiskDrive* drive = OpenDrive(letter);
    if (!drive) return FALSE;
    uint8_t boot[512];
    uint8_t type = DetectDriveFileSystem(drive, boot);
    delete drive;
    return type != FS_UNKNOWN;
}

void ReleaseTree(DriveEntry* entry) {
    if (!entry || !entry->parser) return;
    entry->listedNodes.clear();
    CFileSystemParser* parser = entry->parser.get();
    NodeEntry* root = parser->GetRoot();
    std::vector<NodeEntry*> children;
    for (NodeEntry* child : root->Children()) children.push_back(child);
    root->DetachChildren();
    for (NodeEntry* child : children) delete child;
    parser->m_pCurrentFolder = parser->m_pUpFolder = root;
    parser->m_dwDeletedCount = 0;
}

BOOL MarkFoldersWithDeletedContent(NodeEntry* folder) {
    if (!folder) return FALSE;
    // Post-order over an explicit stack: a hostile volume can nest deeper than the stack.
    struct Frame {
        NodeEntry* node;
        NodeEntry* next;  // child to visit next
        bool result;
    };
    std::vector<Frame> stack;
    stack.push_back({folder, folder->FirstChild(), false});
    BOOL top = FALSE;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next) {
            NodeEntry* child = f.next;
            f.next = child->NextSibling();
            if (child->IsDirectory()) {
                // The child's own deleted byte is read after its pass has rewritten it.
                stack.push_back({child, child->FirstChild(), false});
                continue;
            }
            child->scanDeleted = child->isDeleted;
            if (child->isDeleted) f.result = true;
            continue;
        }
        NodeEntry* done = f.node;
        bool result = f.result;
        done->scanDeleted = done->isDeleted;
        done->isDeleted = result ? 1 : 0;
        stack.pop_back();
        if (stack.empty()) {
            top = result ? TRUE : FALSE;
        } else if (result) {
            stack.back().result = true;
        }
    }
    return top;
}
