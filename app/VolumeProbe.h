// Volumes found, opened and probed in one place: a source entered by its path, a drive
// opened with its file system recognised and its parser made, and a letter probed for
// what the front ends tell the user about it. The front ends only put the answers into
// words; nothing above this file opens or reads a raw source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fslib/core/FileSystemParser.h"
#include "fslib/disk/DiskDrive.h"
#include "fslib/disk/PartitionTable.h"
#include "platform/DriveTable.h"

// The file systems a scan knows, as messages name them.
constexpr const char* kScannedFileSystems = "NTFS, FAT12, FAT16, FAT32 or exFAT";

struct AddedSource {
    char letter = 0;     // 0 when the source was not added
    std::string reason;  // why not: the container's own reason, the system's, or no letter left
};

// Enters a block device or an image file into the drive table under the letter it has
// already or the next free one. An image container or split set that cannot be read is
// refused with its reason before it takes a letter, rather than listed as a drive that
// fails later without one.
AddedSource AddVolumeSource(const std::string& path);

// A block device, or a file whose first sectors hold a recognised boot sector, a boot
// signature or a GPT header (read through the source layer, so a disk inside an image
// container counts). An image container or split set that cannot be read is an image
// too: it must never be taken for any other kind of file.
bool NamesVolume(const std::string& path);

struct ProbeScope {
    // A whole source without a volume of its own: read its partition table.
    bool layout = false;
    // Recognise the file system of each partition the drive table holds for the source.
    bool partitions = false;
    // Leave the openings out of the log, for a source nobody asked to scan yet.
    bool quiet = false;
};

struct PartitionProbe {
    platform::DriveSource drive;
    uint8_t fileSystem = FS_UNKNOWN;
};

struct VolumeProbe {
    bool opened = false;
    DWORD openError = ERROR_SUCCESS;  // why it did not open (ERROR_ACCESS_DENIED, ...)
    std::string openFailure;          // a container's own reason, when it gave one
    bool firstSectorRead = false;
    uint8_t fileSystem = FS_UNKNOWN;         // of the letter's own volume
    PartitionTable table;                    // with ProbeScope::layout
    std::vector<PartitionProbe> partitions;  // with ProbeScope::partitions, in table order

    bool Scannable() const { return fileSystem != FS_UNKNOWN; }
    // The container's reason when it gave one, else the system's text for openError.
    std::string OpenCause() const;
    std::vector<char> ScannablePartitions() const;
};

VolumeProbe ProbeVolume(char letter, const ProbeScope& scope = {});

// Creates and opens a logical-volume drive for the letter, logged as a scan's opening;
// null on failure, with the last error set.
std::unique_ptr<CDiskDrive> OpenDrive(char letter);

// Reads sector 0 of an open drive and recognises it; FS_UNKNOWN when unreadable.
uint8_t DetectDriveFileSystem(CDiskDrive* drive, uint8_t bootSector[512]);

// The parser the detection names, over the drive and its boot sector (the parser owns
// the drive from then on); nullptr for FS_UNKNOWN.
std::unique_ptr<CFileSystemParser> MakeParserOfType(uint8_t type, std::unique_ptr<CDiskDrive> drive,
                                                    const uint8_t* boot);

// Opens the letter's volume and builds its parser without scanning. *error: 0, -1 the
// volume cannot be opened, -2 unknown file system.
std::unique_ptr<CFileSystemParser> OpenParser(char letter, int* error);
