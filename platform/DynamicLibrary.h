// Run-time loading of shared libraries (LoadLibrary/GetProcAddress/FreeLibrary) and the
// name under which the runtime library is found.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    // A name without '/' goes through the loader's search order (the caller's run path
    // included); a path is loaded as it stands.
    explicit DynamicLibrary(const std::string& nameOrPath);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

    bool IsLoaded() const { return m_hModule != nullptr; }
    // Null when the library is not loaded or lacks the symbol.
    void* GetProc(const char* name) const;
    template <class F>
    F GetProc(const char* name) const {
        return reinterpret_cast<F>(GetProc(name));
    }
    // Unloads now (when loaded and not kept).
    void Free();
    // Keeps the library mapped for the life of the process: the destructor no longer
    // unloads it, so function pointers taken from it stay valid.
    void KeepLoaded() { m_bKeep = true; }
    // The loader's message of the failed load, "" after success.
    const std::string& LoadError() const { return m_szLoadError; }

    // File name of the runtime library, "libmvcmn.so" unless a test replaced it.
    static const char* RuntimeLibraryName();
    // Tests point the runtime library at a missing or incomplete file; nullptr restores
    // the real name. The string must outlive its use.
    static void SetRuntimeLibraryNameForTesting(const char* name);

private:
    void* m_hModule = nullptr;
    bool m_bKeep = false;
    std::string m_szLoadError;
};

}  // namespace platform
