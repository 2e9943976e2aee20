#include "fslib/core/TempFolder.h"

#include <mutex>

#include "common/runtime/RuntimeLibrary.h"
#include "platform/Files.h"

namespace {
std::mutex g_lock;
std::string g_processTempFolder;

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
