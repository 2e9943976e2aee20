// The drive table: drive letters mapped to volume sources (block devices and images).
// C: is the device holding "/", other block devices follow in kernel order, then the
// drive map (profile file "drives" and QUENVAR_DRIVES), which wins over auto letters.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/BlockDevices.h"

namespace platform {

struct DriveSource {
    char letter = 0;            // 'C'..'Z' (upper case)
    std::string source;         // /dev/sda1 or /path/to/image
    bool isBlockDevice = false;
    bool mapped = false;        // from the drive map rather than found automatically
};

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
