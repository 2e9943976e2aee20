#include "platform/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

constexpr const char* kAppFolder = "quenvar";

// The variable when it holds an absolute path (relative ones are invalid and ignored),
// else the home-relative default.
std::string BaseFolder(const char* variable, const char* homeRelative) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    return HomeFolder() + "/" + homeRelative;
}

std::string AppFolder(const std::string& base) {
    if (!base.empty() && base.back() == '/') return base + kAppFolder;
    return base + "/" + kAppFolder;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

bool MakeFolders(const std::string& path) {
    if (path.empty()) return false;
    if (IsFolder(path)) return true;
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        const std::string part = pos == std::string::npos ? path : path.substr(0, pos);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (pos == std::string::npos) break;
    }
    return IsFolder(path);
}

std::string ConfigFolder() { return AppFolder(BaseFolder("XDG_CONFIG_HOME", ".config")); }

std::string StateFolder() {
    std::string folder = AppFolder(BaseFolder("XDG_STATE_HOME", ".local/state"));
    MakeFolders(folder);
    return folder;
}

std::string CacheFolder() {
    std::string folder = AppFolder(BaseFolder("XDG_CACHE_HOME", ".cache"));
    if (MakeFolders(folder)) return folder;
    return "/tmp";
}

std::string ExecutableFolder() {
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    std::string path(buffer.data(), static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace platform
