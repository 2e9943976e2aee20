// The drive table: drive letters mapped to volume sources (block devices and images).
// C: is the device holding "/", other block devices follow in kernel order, then the
// drive map (profile file "drives" and QUENVAR_DRIVES), which wins over auto letters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

private:
    std::vector<DriveSource> m_drives;
};

// Bytes of a block device or regular file; nullopt when it cannot be opened.
std::optional<uint64_t> SourceSize(const std::string& source);

}  // namespace platform
