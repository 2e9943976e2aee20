// The runtime library kept loaded for the life of the process: loaded by bare name at
// main-window start-up, its entry points looked up once and never released.
#pragma once

#include <string>

#include "common/runtime/RuntimeQueries.h"
#include "mvcmn/MvcmnApi.h"
#include "platform/DynamicLibrary.h"

namespace runtime {

// This program's product code; the library is initialised with it plus 256.
constexpr int kProductCode = 12;

class CRuntimeLibrary {
public:
    CRuntimeLibrary() = default;
    CRuntimeLibrary(const CRuntimeLibrary&) = delete;
    CRuntimeLibrary& operator=(const CRuntimeLibrary&) = delete;

    // Loads the library through the search order and initialises it. Throws the int -1
    // when it cannot be loaded or lacks Initialize or MVdiag (the start-up failure
    // "Could not load MVCMN.DLL or incorrect DLL version"). Loading twice does nothing.
    void LoadMvcmn();
    bool IsLoaded() const { return m_pfnInitialize != nullptr; }

    // Profile value of the product, or the default when the library is not loaded.
    std::string ReadProfileString(const char* section, const char* key, const char* defaultValue = "",
                                  int flag = 1) const;
    // Adds the toolbox entries to the menu; nothing when the function is missing.
    void InsertToolboxMenu(MvToolboxMenu* menu, const char* commonDataFolder) const;
    // False when the library offers no toolbox.
    bool OnToolboxProducts(unsigned commandId) const;
    // Writes the diagnostics archive; false when it could not.
    bool MVdiag(const char* archivePath) const;

    // Size of the buffers the start-up profile values are read into.
    static constexpr int kProfileBufferSize = 256;

private:
    platform::DynamicLibrary m_hLibrary;
    MvInitializeProc m_pfnInitialize = nullptr;
    MvInsertToolboxMenuProc m_pfnInsertToolboxMenu = nullptr;
    MvOnToolboxProductsProc m_pfnOnToolboxProducts = nullptr;
    MvReadProfileStringProc m_pfnReadProfileString = nullptr;
    MvDiagProc m_pfnMVdiag = nullptr;
};

}  // namespace runtime
