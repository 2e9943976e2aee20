#include "fslib/core/TempFolder.h"

#include "common/runtime/RuntimeLibrary.h"
#include "platform/Files.h"

std::string PreparePrivateTempFolder() {
    std::string base = runtime::QueryTempFilesFolder();
    if (base.empty()) base = platform::GetTempPath();
    std::string folder = platform::JoinPath(base, "kqz_temp");
    platform::CreateDirectory(folder);  // an existing folder is fine
    return folder;
}
