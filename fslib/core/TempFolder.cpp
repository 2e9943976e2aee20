#include "fslib/core/TempFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "common/runtime/RuntimeLibrary.h"
#include "platform/Files.h"

namespace {
std::mutex g_lock;
std::string g_processTempFolder;

bool UsableFolder(const std::string& folder) {
    platform::CreateDirectory(folder);  // an existing folder is fine
    return platform::DirectoryExists(folder) && access(folder.c_str(), W_OK | X_OK) == 0;
}
}  // namespace

std::string PreparePrivateTempFolder() {
    std::string base = runtime::QueryTempFilesFolder();
    if (base.empty()) base = platform::GetTempPath();
    std::string folder = platform::JoinPath(base, "kqz_temp");
    platform::CreateDirectory(folder);
    return folder;
}

std::string ProcessTempFolder() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_processTempFolder.empty() ? platform::GetTempPath() : g_processTempFolder;
}

void SetProcessTempFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_processTempFolder = folder;
}

bool HasProcessTempFolder() {
    std::lock_guard<std::mutex> lock(g_lock);
    return !g_processTempFolder.empty();
}

std::string ChooseScratchFolder() {
    const std::string user = std::to_string(getuid());
    if (const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR"); runtimeDir && *runtimeDir == '/') {
        std::string folder = platform::JoinPath(runtimeDir, "quenvar");
        if (UsableFolder(folder)) return folder;
    }
    std::string shm = "/dev/shm/quenvar-" + user;
    if (UsableFolder(shm)) return shm;
    return platform::GetTempPath();
}
