// The block devices the kernel lists under /sys/class/block, and the one that holds
// the root file system: the automatic part of the drive table.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct BlockDevice {
    std::string name;      // kernel name ("sda1", "nvme0n1p2")
    std::string path;      // device node ("/dev/sda1")
    dev_t device = 0;      // major:minor
    uint64_t sectors = 0;  // size in 512-byte sectors
    bool partition = false;
    bool hasPartitions = false;  // a whole disk with partitions listed below it
};

// Order of kernel names with digit runs compared as numbers (sda2 < sda10, loop9 < loop10).
bool NaturalLess(const std::string& a, const std::string& b);

// The devices of a sysfs block class folder in natural order; unreadable entries are
// skipped.
std::vector<BlockDevice> ListBlockDevices(const std::string& sysClassBlock = "/sys/class/block");

// The device holding "/" (st_dev of "/", else the source of "/" in mountinfo).
std::optional<dev_t> RootDevice();

// Devices that can be volumes, in the order of devices: partitions, and whole disks
// without partitions, leaving out empty ones (unused loop and ram devices).
std::vector<BlockDevice> VolumeDevices(const std::vector<BlockDevice>& devices);

// True for a whole disk the kernel lists no partitions of (a partition, or a disk
// with partitions listed below it, answers false): its own table is ours to read.
bool IsUnsplitWholeDisk(dev_t device, const std::string& sysDevBlock = "/sys/dev/block");

}  // namespace platform
