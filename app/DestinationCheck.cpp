#include "app/DestinationCheck.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "fslib/core/MountInfo.h"

namespace {

// The folder itself, or the nearest folder above it that exists: a destination may be
// created by the writer after it was checked.
std::string NearestExisting(std::string path) {
    struct stat st;
    while (!path.empty() && ::stat(path.c_str(), &st) != 0) {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) return ".";
        path.erase(slash == 0 ? 1 : slash);
    }
    return path.empty() ? "." : path;
}

}  // namespace

bool DestinationOnScannedDevice(const std::string& source, const std::string& destination) {
    const std::vector<mountinfo::MountEntry> table = mountinfo::ReadMountTable();
    const std::string folder = NearestExisting(destination);
    std::vector<dev_t> scanned;
    if (auto device = mountinfo::BlockDeviceNumber(source)) {
        scanned.push_back(*device);
    } else {
        scanned = mountinfo::LoopDevicesBackedBy(source);
        struct stat st;
        if (::stat(folder.c_str(), &st) == 0)
            for (const mountinfo::MountEntry& m : table)
                if (m.device == st.st_dev && mountinfo::SourceIsImage(m, source)) return true;
    }
    if (scanned.empty()) return false;
    for (dev_t d : mountinfo::DevicesHoldingPath(folder, table))
        if (std::find(scanned.begin(), scanned.end(), d) != scanned.end()) return true;
    return false;
}
