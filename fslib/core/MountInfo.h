// The mount table of this process (/proc/self/mountinfo): which folder shows which
// device, and which device holds a given path.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace mountinfo {

struct MountEntry {
    dev_t device = 0;  // the major:minor field (st_dev of files under the mount)
    std::string root;  // the part of the file system mounted there ("/" for all of it)
    std::string mountPoint;
    std::string fsType;
    std::string source;  // /dev/sda1, an image path for FUSE mounts, "none", ...
};

// Parses mountinfo text; malformed lines are skipped. Octal escapes (\040) are decoded.
std::vector<MountEntry> ParseMountInfo(const std::string& text);
std::vector<MountEntry> ReadMountTable();

// Folder where the whole of a volume is mounted: the block device source by its device
// number, an image file by the path a FUSE mount names or by a loop device backed by it.
// Empty when it is not mounted.
std::string FindMountPoint(const std::string& source, const std::vector<MountEntry>& table);

// Block devices the data written under `path` lands on: the file system's device, the
// block device its mount names (file systems on anonymous devices), and every device
// below those (the whole disk of a partition, the members of a mapped device).
std::vector<dev_t> DevicesHoldingPath(const std::string& path, const std::vector<MountEntry>& table);

// Loop devices whose backing file is the image at `image` (however the path is spelled).
std::vector<dev_t> LoopDevicesBackedBy(const std::string& image);

// Whether a mount's source names the image at `image` (FUSE mounts of an image file).
bool SourceIsImage(const MountEntry& mount, const std::string& image);

// Device number of a block device path; nullopt for anything else.
std::optional<dev_t> BlockDeviceNumber(const std::string& path);

}  // namespace mountinfo
