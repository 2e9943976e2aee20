#include "common/runtime/RuntimeLibrary.h"

#include "common/logger/Logger.h"

namespace runtime {

namespace {
constexpr int kLoadFailed = -1;
}  // namespace

void CRuntimeLibrary::LoadMvcmn() {
    if (IsLoaded()) return;
    platform::DynamicLibrary library(platform::DynamicLibrary::RuntimeLibraryName());
    if (!library.IsLoaded()) {
        g_Logger.ErrorValue("LoadMvcmn()-> load failed:", library.LoadError().c_str());
        throw kLoadFailed;
    }
    auto initialize = library.GetProc<MvInitializeProc>("Initialize");
    if (!initialize) {
        g_Logger.Error("LoadMvcmn()-> Initialize proc address failed");
        throw kLoadFailed;
    }
    initialize(kProductCode + kMvcmnProductBase);
    auto insertToolboxMenu = library.GetProc<MvInsertToolboxMenuProc>("InsertToolboxMenu");
    auto onToolboxProducts = library.GetProc<MvOnToolboxProductsProc>("OnToolboxProducts");
    auto readProfileString = library.GetProc<MvReadProfileStringProc>("ReadProfileString");
    auto diag = library.GetProc<MvDiagProc>("MVdiag");
    if (!diag) throw kLoadFailed;

    // From here the library stays mapped until the process ends.
    library.KeepLoaded();
    m_hLibrary = std::move(library);
    m_pfnInitialize = initialize;
    m_pfnInsertToolboxMenu = insertToolboxMenu;
    m_pfnOnToolboxProducts = onToolboxProducts;
    m_pfnReadProfileString = readProfileString;
    m_pfnMVdiag = diag;
}

std::string CRuntimeLibrary::ReadProfileString(const char* section, const char* key, const char* defaultValue,
                                               int flag) const {
    const char* fallback = defaultValue ? defaultValue : "";
    if (!m_pfnReadProfileString) return fallback;
    char buffer[kProfileBufferSize] = {};
    m_pfnReadProfileString(section ? section : "", key, fallback, buffer, kProfileBufferSize - 1, flag);
    buffer[kProfileBufferSize - 1] = '\0';
    return buffer;
}

void CRuntimeLibrary::InsertToolboxMenu(MvToolboxMenu* menu, const char* commonDataFolder) const {
    if (m_pfnInsertToolboxMenu) m_pfnInsertToolboxMenu(menu, commonDataFolder ? commonDataFolder : "");
}

bool CRuntimeLibrary::OnToolboxProducts(unsigned commandId) const {
    if (!m_pfnOnToolboxProducts) return false;
    m_pfnOnToolboxProducts(commandId);
    return true;
}

bool CRuntimeLibrary::MVdiag(const char* archivePath) const {
    if (!m_pfnMVdiag) return false;
    return m_pfnMVdiag(archivePath, 1, 0, "GUI", 0) != 0;
}

}  // namespace runtime
