// The seven entry points of the runtime library, looked up by name by the programs that
// load it. Everything else in the library stays hidden.
#include <atomic>
#include <cstring>
#include <string>

#include "mvcmn/Diagnostics.h"
#include "mvcmn/MvcmnApi.h"
#include "mvcmn/Profile.h"
#include "mvcmn/Toolbox.h"
#include "platform/Folders.h"

#define MVCMN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<int> g_nProductCode{0};

// Copies a folder path with its trailing '/' into the caller's buffer; 0 when it does
// not fit or the folder is missing.
int CopyFolder(const std::string& folder, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    if (folder.empty() || !platform::MakeFolders(folder)) return 0;
    std::string path = folder;
    if (path.back() != '/') path += '/';
    if (path.size() + 1 > static_cast<size_t>(size)) return 0;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return 1;
}

}  // namespace

MVCMN_EXPORT void Initialize(int productCode) { g_nProductCode.store(productCode); }

MVCMN_EXPORT int GetLogFilesFolder(char* buffer, int size) { return CopyFolder(platform::StateFolder(), buffer, size); }

MVCMN_EXPORT int GetTempFilesFolder(char* buffer, int size) {
    return CopyFolder(platform::CacheFolder(), buffer, size);
}

MVCMN_EXPORT int ReadProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                                   int size, int flag) {
    (void)flag;  // start-up and logger reads see the same values
    if (!buffer || size <= 0) return 0;
    std::string value = defaultValue ? defaultValue : "";
    if (key && *key) {
        const CProfile profile = CProfile::Load(CProfile::DefaultPath());
        if (auto found = profile.Find(section ? section : "", key)) value = *found;
    }
    const size_t n = value.size() < static_cast<size_t>(size - 1) ? value.size() : static_cast<size_t>(size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

MVCMN_EXPORT void InsertToolboxMenu(void* menu, const char* commonDataFolder) {
    (void)commonDataFolder;  // the entries need nothing stored there
    CToolbox::Fill(static_cast<MvToolboxMenu*>(menu));
}

MVCMN_EXPORT void OnToolboxProducts(unsigned commandId) { CToolbox::Choose(commandId); }

MVCMN_EXPORT int MVdiag(const char* archivePath, int withLog, int reserved, const char* caller, int flags) {
    (void)reserved;
    (void)flags;
    std::string path = archivePath ? archivePath : "";
    if (path.empty()) {
        char folder[4096];
        if (!GetTempFilesFolder(folder, sizeof(folder))) return 0;
        path = std::string(folder) + "mvdiag.zip";
    }
    return CDiagnostics::WriteArchive(path, withLog != 0, g_nProductCode.load(), caller, nullptr) ? 1 : 0;
}

// The exported names must keep the signatures their callers look them up with.
static_assert(std::is_same_v<decltype(&Initialize), MvInitializeProc>);
static_assert(std::is_same_v<decltype(&GetLogFilesFolder), MvGetLogFilesFolderProc>);
static_assert(std::is_same_v<decltype(&GetTempFilesFolder), MvGetTempFilesFolderProc>);
static_assert(std::is_same_v<decltype(&ReadProfileString), MvReadProfileStringProc>);
static_assert(std::is_same_v<decltype(&InsertToolboxMenu), MvInsertToolboxMenuProc>);
static_assert(std::is_same_v<decltype(&OnToolboxProducts), MvOnToolboxProductsProc>);
static_assert(std::is_same_v<decltype(&MVdiag), MvDiagProc>);
