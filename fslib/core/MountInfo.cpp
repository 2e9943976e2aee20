#include "fslib/core/MountInfo.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <dirent.h>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace mountinfo {

namespace {

// Stacked devices (partition -> disk, mapper -> members) are rarely more than a few deep.
constexpr int kMaxStackDepth = 16;

std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool ParseDevice(const std::string& text, dev_t* out) {
    unsigned major = 0, minor = 0;
    char colon = 0;
    std::istringstream in(text);
    if (!(in >> major >> colon >> minor) || colon != ':') return false;
    *out = makedev(major, minor);
    return true;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer)) return path;
    return buffer;
}

std::string SysfsFolder(dev_t device) {
    return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

void AddWithLowerDevices(dev_t device, std::vector<dev_t>* out, int depth) {
    for (dev_t d : *out)
        if (d == device) return;
    out->push_back(device);
    if (depth >= kMaxStackDepth) return;
    std::string folder = SysfsFolder(device);
    struct stat st;
    dev_t lower = 0;
    if (::stat((folder + "/partition").c_str(), &st) == 0 && ParseDevice(ReadFirstLine(folder + "/../dev"), &lower))
        AddWithLowerDevices(lower, out, depth + 1);
    if (DIR* dir = ::opendir((folder + "/slaves").c_str())) {
        while (dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            if (ParseDevice(ReadFirstLine(folder + "/slaves/" + e->d_name + "/dev"), &lower))
                AddWithLowerDevices(lower, out, depth + 1);
        }
        ::closedir(dir);
    }
}

std::string MountPointOfDevice(dev_t device, const std::vector<MountEntry>& table) {
    for (const MountEntry& m : table)
        if (m.device == device && m.root == "/") return m.mountPoint;
    return {};
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
    std::vector<MountEntry> table;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::vector<std::string> fields;
        std::string f;
        while (in >> f) fields.push_back(f);
        // id, parent, major:minor, root, mount point, options, optional fields..., "-", type, source
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (fields.size() < 7 || dash + 2 >= fields.size()) continue;
        MountEntry m;
        if (!ParseDevice(fields[2], &m.device)) continue;
        m.root = Unescape(fields[3]);
        m.mountPoint = Unescape(fields[4]);
        m.fsType = fields[dash + 1];
        m.source = Unescape(fields[dash + 2]);
        table.push_back(std::move(m));
    }
    return table;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

std::optional<dev_t> BlockDeviceNumber(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return st.st_rdev;
}

std::vector<dev_t> LoopDevicesBackedBy(const std::string& image) {
    std::vector<dev_t> loops;
    const std::string wanted = RealPath(image);
    DIR* dir = ::opendir("/sys/block");
    if (!dir) return loops;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.compare(0, 4, "loop") != 0) continue;
        std::string backing = ReadFirstLine("/sys/block/" + name + "/loop/backing_file");
        dev_t loop = 0;
        if (backing.empty() || RealPath(backing) != wanted) continue;
        if (ParseDevice(ReadFirstLine("/sys/block/" + name + "/dev"), &loop)) loops.push_back(loop);
    }
    ::closedir(dir);
    return loops;
}

bool SourceIsImage(const MountEntry& mount, const std::string& image) {
    return !mount.source.empty() && mount.source[0] == '/' && RealPath(mount.source) == RealPath(image);
}

std::string FindMountPoint(const std::string& source, const std::vector<MountEntry>& table) {
    if (auto device = BlockDeviceNumber(source)) return MountPointOfDevice(*device, table);
    for (const MountEntry& m : table)
        if (m.root == "/" && SourceIsImage(m, source)) return m.mountPoint;
    for (dev_t loop : LoopDevicesBackedBy(source)) {
        std::string found = MountPointOfDevice(loop, table);
        if (!found.empty()) return found;
    }
    return {};
}

std::vector<dev_t> DevicesHoldingPath(const std::string& path, const std::vector<MountEntry>& table) {
    std::vector<dev_t> devices;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return devices;
    AddWithLowerDevices(st.st_dev, &devices, 0);
    for (const MountEntry& m : table) {
        if (m.device != st.st_dev) continue;
        if (auto device = BlockDeviceNumber(m.source)) AddWithLowerDevices(*device, &devices, 0);
    }
    return devices;
}

}  // namespace mountinfo
