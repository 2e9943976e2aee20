#include "platform/BlockDevices.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

bool ReadFirstLine(const std::string& path, std::string* line) {
    std::ifstream in(path);
    if (!in) return false;
    std::getline(in, *line);
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::optional<dev_t> ParseDevNumbers(const std::string& text) {
    unsigned major = 0, minor = 0;
    char colon = 0;
    std::istringstream in(text);
    if (!(in >> major >> colon >> minor) || colon != ':') return std::nullopt;
    return makedev(major, minor);
}

// DEVNAME from uevent names the node under /dev; sysfs spells '/' in names as '!'.
std::string DeviceNodePath(const std::string& entry, const std::string& name) {
    std::ifstream in(entry + "/uevent");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("DEVNAME=", 0) == 0 && line.size() > 8) return "/dev/" + line.substr(8);
    }
    std::string node = name;
    std::replace(node.begin(), node.end(), '!', '/');
    return "/dev/" + node;
}

bool HasPartitionChild(const std::string& entry) {
    DIR* dir = ::opendir(entry.c_str());
    if (dir == nullptr) return false;
    bool found = false;
    while (dirent* child = ::readdir(dir)) {
        const std::string childName = child->d_name;
        if (childName == "." || childName == "..") continue;
        if (Exists(entry + "/" + childName + "/partition")) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// "/" as mounted: the fifth field of its mountinfo line is the mount point, the field
// after " - " and the type is the source.
std::optional<dev_t> RootFromMountInfo() {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    std::optional<dev_t> found;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint) || mountPoint != "/") continue;
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type, source;
        if (!(tail >> type >> source)) continue;
        struct stat st {};
        // The last "/" mount is the one in force.
        if (::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            found = st.st_rdev;
        else
            found.reset();
    }
    return found;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j]));
        if (digitA && digitB) {
            size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
            // Compare the runs without their leading zeros: first by length, then by digits.
            size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            const size_t lengthA = endA - startA, lengthB = endB - startB;
            if (lengthA != lengthB) return lengthA < lengthB;
            const int order = a.compare(startA, lengthA, b, startB, lengthB);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<BlockDevice> ListBlockDevices(const std::string& sysClassBlock) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(sysClassBlock.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), NaturalLess);

    std::vector<BlockDevice> devices;
    for (const auto& name : names) {
        const std::string entry = sysClassBlock + "/" + name;
        std::string devText, sizeText;
        if (!ReadFirstLine(entry + "/dev", &devText) || !ReadFirstLine(entry + "/size", &sizeText)) continue;
        const auto numbers = ParseDevNumbers(devText);
        if (!numbers) continue;
        BlockDevice device;
        device.name = name;
        device.path = DeviceNodePath(entry, name);
        device.device = *numbers;
        try {
            device.sectors = std::stoull(sizeText);
        } catch (...) {
            continue;
        }
        device.partition = Exists(entry + "/partition");
        device.hasPartitions = !device.partition && HasPartitionChild(entry);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::optional<dev_t> RootDevice() {
    struct stat st {};
    // Anonymous devices (major 0: btrfs, overlay) say nothing; mountinfo may still.
    if (::stat("/", &st) == 0 && major(st.st_dev) != 0) return st.st_dev;
    return RootFromMountInfo();
}

std::vector<BlockDevice> VolumeDevices(const std::vector<BlockDevice>& devices) {
    std::vector<BlockDevice> volumes;
    for (const auto& device : devices) {
        if (device.sectors == 0 || device.hasPartitions) continue;
        volumes.push_back(device);
    }
    return volumes;
}

bool IsUnsplitWholeDisk(dev_t device, const std::string& sysDevBlock) {
    const std::string entry = sysDevBlock + "/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    if (!Exists(entry + "/dev")) return false;
    return !Exists(entry + "/partition") && !HasPartitionChild(entry);
}

}  // namespace platform
