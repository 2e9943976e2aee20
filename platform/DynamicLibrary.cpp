#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <atomic>
#include <utility>

#include "platform/Folders.h"

namespace platform {

namespace {
constexpr const char* kRuntimeLibraryName = "libmvcmn.so";
std::atomic<const char*> g_pszRuntimeNameOverride{nullptr};
}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& nameOrPath) {
    if (nameOrPath.empty()) {
        m_szLoadError = "empty library name";
        return;
    }
    // RTLD_LOCAL keeps the library's own symbols from resolving anybody else's.
    m_hModule = ::dlopen(nameOrPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_hModule) {
        const char* message = ::dlerror();
        m_szLoadError = message ? message : "dlopen failed";
        // The run path of the executable ($ORIGIN) is its own folder. When dlopen is
        // intercepted (sanitizer runtimes), the loader sees the interceptor as the
        // caller and skips that run path, so the folder is tried by hand.
        const std::string folder = nameOrPath.find('/') == std::string::npos ? ExecutableFolder() : std::string();
        if (!folder.empty()) m_hModule = ::dlopen((folder + "/" + nameOrPath).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_hModule) m_szLoadError.clear();
    }
}

DynamicLibrary::~DynamicLibrary() { Free(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_hModule(std::exchange(other.m_hModule, nullptr)),
      m_bKeep(other.m_bKeep),
      m_szLoadError(std::move(other.m_szLoadError)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        m_hModule = std::exchange(other.m_hModule, nullptr);
        m_bKeep = other.m_bKeep;
        m_szLoadError = std::move(other.m_szLoadError);
    }
    return *this;
}

void* DynamicLibrary::GetProc(const char* name) const {
    if (!m_hModule || !name) return nullptr;
    return ::dlsym(m_hModule, name);
}

void DynamicLibrary::Free() {
    if (m_hModule && !m_bKeep) ::dlclose(m_hModule);
    m_hModule = nullptr;
}

const char* DynamicLibrary::RuntimeLibraryName() {
    const char* name = g_pszRuntimeNameOverride.load();
    return name ? name : kRuntimeLibraryName;
}

void DynamicLibrary::SetRuntimeLibraryNameForTesting(const char* name) { g_pszRuntimeNameOverride.store(name); }

}  // namespace platform
