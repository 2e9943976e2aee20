// The drive table: drive letters mapped to volume sources (block devices and images).
// C: is the device holding "/", other block devices follow in kernel order, then the
// drive map (profile file "drives" and QUENVAR_DRIVES), which wins over auto letters.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/BlockDevices.h"

namespace platform {

struct DriveSource {
    // Spelled out so that a source is still written {letter, source, isBlockDevice, mapped}.
    DriveSource(char letter_ = 0, std::string source_ = {}, bool isBlockDevice_ = false, bool mapped_ = false)
        : letter(letter_), source(std::move(source_)), isBlockDevice(isBlockDevice_), mapped(mapped_) {}

    char letter = 0;     // 'C'..'Z' (upper case)
    std::string source;  // /dev/sda1 or /path/to/image
    bool isBlockDevice = false;
    bool mapped = false;  // from the drive map rather than found automatically
    // A partition of a disk whose table we read ourselves: a window over the disk's
    // source. partition 0 is the whole source.
    uint32_t partition = 0;    // 1, 2, ... in table order
    uint64_t firstSector = 0;  // 512-byte sectors from the start of the source
    uint64_t sectorCount = 0;
    char diskLetter = 0;        // the letter of the whole disk
    std::string partitionType;  // "0x07 NTFS/exFAT", "Basic data", ...

    // "source" for a whole source, "source@N" for a partition.
    std::string DisplayName() const;
};

// One partition of a disk, as the partition lister reports it.
struct PartitionWindow {
    uint32_t number = 0;
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
    std::string type;
};

// Reads the partition table of a source (an image, or a whole disk the kernel did not
// split): none when it holds a volume of its own, no table, or a table it refused.
// The drive table sits below the table readers, so the program installs one.
using PartitionLister = std::vector<PartitionWindow> (*)(const std::string& source);
void SetPartitionLister(PartitionLister lister);

class DriveTable {
public:
    // The process-wide table, built on first use.
    static DriveTable& Instance();

    void Reload();
    const std::vector<DriveSource>& Drives() const { return m_drives; }
    std::optional<DriveSource> Find(char letter) const;
    // Letter already mapped to this source, or a new one under the next free letter.
    // 0 when every letter is taken.
    char AddSource(const std::string& source);
    // The letter of partition `number` of that source; 0 when it has none such.
    char FindPartition(const std::string& source, uint32_t number) const;
    // The partitions of the disk under that letter, in table order.
    std::vector<DriveSource> PartitionsOf(char diskLetter) const;
    // Adds the partitions of every whole source that has some and lacks them, each
    // under the next free letters after its disk's (tests call it on their own table).
    static void AddPartitions(std::vector<DriveSource>* drives);
    // Replaces the table (tests).
    void SetForTesting(std::vector<DriveSource> drives);

    // Parses "E=/a.img;F=/dev/sdc1" (env) or lines "E=/a.img" (profile).
    static std::vector<DriveSource> ParseDriveMap(const std::string& text, char separator);
    // C: for the device holding "/", then D:, E:, ... for the other volumes in order.
    static std::vector<DriveSource> AutoDrives(const std::vector<BlockDevice>& volumes, std::optional<dev_t> root);
    // The drive map over the automatic letters: a mapped source drops its automatic
    // entry; an automatic entry whose letter is mapped moves to the next free letter
    // (it is dropped only when none is left). Later map entries win for a letter.
    static std::vector<DriveSource> ApplyDriveMap(std::vector<DriveSource> autoDrives,
                                                  const std::vector<DriveSource>& map);

private:
    char AddSourceLocked(const std::string& source);

    mutable std::mutex m_lock;
    std::vector<DriveSource> m_drives;
    std::vector<std::string> m_added;  // AddSource calls, kept across Reload
};

// The profile file of the drive map ("drives" in the configuration folder).
std::string DriveMapPath();

// Bytes of a block device or regular file; nullopt when it cannot be opened.
std::optional<uint64_t> SourceSize(const std::string& source);

}  // namespace platform
