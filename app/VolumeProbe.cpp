#include "app/VolumeProbe.h"

#include <sys/stat.h>

#include <cstring>

#include "common/logger/Logger.h"
#include "fslib/exfat/ExFatParser.h"
#include "fslib/fat/FATParser.h"
#include "fslib/ntfs/NTFSParser.h"
#include "platform/RawVolume.h"

namespace {

constexpr const char* kNotDeviceOrImage = "not a block device or an image file";
constexpr size_t kBootSignatureOffset = 510;
constexpr size_t kGptHeaderOffset = 512;  // "EFI PART" opens sector 1

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

bool ReadBootSector(CDiskDrive* drive, uint8_t bootSector[512]) {
    std::memset(bootSector, 0, 512);
    uint32_t read = 0;
    return drive->ReadSectors(0, bootSector, 1, &read) != 0 && read == 1;
}

uint8_t RecogniseBootSector(CDiskDrive* drive, uint8_t bootSector[512]) {
    const uint8_t type = DetectFileSystem(bootSector, 512);
    return type != FS_UNKNOWN ? type : DetectExFatBackup(drive, bootSector);
}

// A source looked at before anyone asked to scan it leaves nothing in the log; a letter
// the table lacks is not even tried.
std::unique_ptr<CDiskDrive> OpenForProbe(char letter, bool quiet) {
    if (!quiet) return OpenDrive(letter);
    if (!platform::DriveTable::Instance().Find(letter)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto drive = std::make_unique<CLogicalDrive>();
    drive->SetQuiet(true);
    if (drive->Open(static_cast<uint8_t>(letter)) != 0) return nullptr;
    return drive;
}

uint8_t FileSystemOf(char letter, bool quiet) {
    const std::unique_ptr<CDiskDrive> drive = OpenForProbe(letter, quiet);
    if (!drive) return FS_UNKNOWN;
    uint8_t boot[kSectorSize];
    return DetectDriveFileSystem(drive.get(), boot);
}

}  // namespace

uint8_t DetectDriveFileSystem(CDiskDrive* drive, uint8_t bootSector[512]) {
    if (!ReadBootSector(drive, bootSector)) return FS_UNKNOWN;
    return RecogniseBootSector(drive, bootSector);
}

std::unique_ptr<CFileSystemParser> MakeParserOfType(uint8_t type, std::unique_ptr<CDiskDrive> drive,
                                                    const uint8_t* boot) {
    switch (type) {
        case FS_NTFS: return std::make_unique<CNTFSParser>(drive.release(), boot);
        case FS_FAT12: return std::make_unique<CFAT12Parser>(drive.release(), boot);
        case FS_FAT16: return std::make_unique<CFAT16Parser>(drive.release(), boot);
        case FS_FAT32: return std::make_unique<CFAT32Parser>(drive.release(), boot, 0);
        case FS_EXFAT: return std::make_unique<CExFATParser>(drive.release(), boot);
        default: return nullptr;
    }
}

std::unique_ptr<CDiskDrive> OpenDrive(char letter) {
    CDiskDrive* created = nullptr;
    if (CreateDiskDrive(DISK_LOGICAL, &created) != 0 || !created) return nullptr;
    std::unique_ptr<CDiskDrive> drive(created);
    if (drive->Open(static_cast<uint8_t>(letter)) != 0) return nullptr;
    return drive;
}

std::unique_ptr<CFileSystemParser> OpenParser(char letter, int* error) {
    std::unique_ptr<CDiskDrive> drive = OpenDrive(letter);
    if (!drive) {
        if (error) *error = -1;
        return nullptr;
    }
    uint8_t boot[kSectorSize];
    const uint8_t type = DetectDriveFileSystem(drive.get(), boot);
    if (type == FS_UNKNOWN) {
        if (error) *error = -2;
        return nullptr;
    }
    if (error) *error = 0;
    return MakeParserOfType(type, std::move(drive), boot);
}

VolumeProbe ProbeVolume(char letter, const ProbeScope& scope) {
    VolumeProbe probe;
    const auto source = platform::DriveTable::Instance().Find(letter);
    const bool whole = source && source->partition == 0;
    // The partitions are the drive table's, whatever became of the disk's own opening.
    if (scope.partitions && whole) {
        for (const platform::DriveSource& part : platform::DriveTable::Instance().PartitionsOf(letter))
            probe.partitions.push_back({part, FileSystemOf(part.letter, scope.quiet)});
    }
    const std::unique_ptr<CDiskDrive> drive = OpenForProbe(letter, scope.quiet);
    if (!drive) {
        probe.openError = GetLastError();
        // A letter the table lacks opened no source: an older failure's reason is not its.
        if (source) probe.openFailure = platform::RawSourceOpenFailure();
        // The drive refuses a folder or a character device as "access denied", as a volume
        // path to a folder is refused on Windows: the user lacks no rights then.
        struct stat st {};
        if (source && ::stat(source->source.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
            probe.openError = ERROR_INVALID_PARAMETER;
            probe.openFailure = kNotDeviceOrImage;
        }
        return probe;
    }
    probe.opened = true;
    uint8_t boot[kSectorSize];
    probe.firstSectorRead = ReadBootSector(drive.get(), boot);
    if (probe.firstSectorRead) probe.fileSystem = RecogniseBootSector(drive.get(), boot);
    // A volume recognised at the start wins over anything that looks like a table there.
    if (scope.layout && whole && probe.fileSystem == FS_UNKNOWN) probe.table = ReadPartitionTable(drive.get());
    return probe;
}

std::string VolumeProbe::OpenCause() const {
    if (!openFailure.empty()) return openFailure;
    const char* text = platform::Win32ErrorText(openError);
    return text ? text : "";
}

std::vector<char> VolumeProbe::ScannablePartitions() const {
    std::vector<char> letters;
    for (const PartitionProbe& p : partitions)
        if (p.fileSystem != FS_UNKNOWN) letters.push_back(p.drive.letter);
    return letters;
}

AddedSource AddVolumeSource(const std::string& path) {
    AddedSource added;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        platform::SetLastErrorFromErrno();
        added.reason = platform::Win32ErrorText(GetLastError());
        return added;
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        added.reason = kNotDeviceOrImage;
        return added;
    }
    if (S_ISREG(st.st_mode)) {
        const int fd = platform::OpenRawSource(path);
        if (fd < 0) {
            const std::string why = platform::RawSourceOpenFailure();
            added.reason = why.empty() ? platform::Win32ErrorText(GetLastError()) : why;
            return added;
        }
        platform::CloseRawSource(fd);
    }
    added.letter = platform::DriveTable::Instance().AddSource(path);
    if (!added.letter) added.reason = "no free drive letter is left";
    return added;
}

bool NamesVolume(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    if (S_ISBLK(st.st_mode)) return true;
    if (!S_ISREG(st.st_mode) || st.st_size < 512) return false;
    // The failure text is set only for containers and split sets, never for a plain file.
    const int fd = platform::OpenRawSource(path);
    if (fd < 0) return !platform::RawSourceOpenFailure().empty();
    uint8_t head[1024] = {};
    size_t got = 0;
    platform::RawRead(fd, head, sizeof head, 0, &got);
    platform::CloseRawSource(fd);
    if (got < 512) return false;
    if (DetectFileSystem(head, 512) != FS_UNKNOWN) return true;
    if (head[kBootSignatureOffset] == 0x55 && head[kBootSignatureOffset + 1] == 0xAA) return true;
    return got >= 520 && std::memcmp(head + kGptHeaderOffset, "EFI PART", 8) == 0;
}
