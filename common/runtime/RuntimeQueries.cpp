#include "common/runtime/RuntimeQueries.h"

#include <cstring>

#include "common/runtime/RuntimeLibrary.h"
#include "mvcmn/MvcmnApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/Folders.h"

namespace runtime {

namespace {

constexpr int kFolderBufferSize = 4096;

using FolderProc = int (*)(char* buffer, int size);

int QueryFolder(const char* function, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    const std::string path = RuntimeLibraryPath();
    if (path.empty()) return 0;
    platform::DynamicLibrary library(path);
    auto query = library.GetProc<FolderProc>(function);
    auto initialize = library.GetProc<MvInitializeProc>("Initialize");
    if (!query || !initialize) return 0;
    initialize(kProductCode + kMvcmnProductBase);
    std::memset(buffer, 0, static_cast<size_t>(size));
    const int result = query(buffer, size);
    // Whatever the library wrote, the caller gets a terminated string.
    buffer[size - 1] = '\0';
    return result;
}

std::string QueryFolder(const char* function) {
    char buffer[kFolderBufferSize];
    return QueryFolder(function, buffer, sizeof(buffer)) ? std::string(buffer) : std::string();
}

}  // namespace

std::string RuntimeLibraryPath() {
    std::string name = platform::DynamicLibrary::RuntimeLibraryName();
    if (name.find('/') != std::string::npos) return name;
    const std::string folder = platform::ExecutableFolder();
    if (folder.empty()) return {};
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

int GetLogFilesFolder(char* buffer, int size) { return QueryFolder("GetLogFilesFolder", buffer, size); }
int GetTempFilesFolder(char* buffer, int size) { return QueryFolder("GetTempFilesFolder", buffer, size); }
std::string QueryLogFilesFolder() { return QueryFolder("GetLogFilesFolder"); }
std::string QueryTempFilesFolder() { return QueryFolder("GetTempFilesFolder"); }

}  // namespace runtime
