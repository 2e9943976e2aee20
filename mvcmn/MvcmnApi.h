// The C interface of the runtime library libmvcmn.so: the signatures of its seven
// exports, as the programs that load it look them up by name, and the menu record that
// InsertToolboxMenu fills.
#pragma once

// Product code given to Initialize is the program's own code plus this.
constexpr int kMvcmnProductBase = 256;

// The "menu handle" handed to InsertToolboxMenu. The library adds its entries through
// AddItem; a null AddItem (or a null menu) only records nothing.
struct MvToolboxMenu {
    void* pContext;
    void (*AddItem)(void* context, unsigned commandId, const char* caption);
};

// First command identifier of the toolbox entries; entries are numbered up from it.
constexpr unsigned kToolboxFirstCommand = 0xE200;

extern "C" {
using MvInitializeProc = void (*)(int productCode);
// Non-zero on success; the buffer then holds the folder path ending in '/'.
using MvGetLogFilesFolderProc = int (*)(char* buffer, int size);
using MvGetTempFilesFolderProc = int (*)(char* buffer, int size);
// Returns the length of the value written into buffer (the value, or the default).
using MvReadProfileStringProc = int (*)(const char* section, const char* key, const char* defaultValue, char* buffer,
                                        int size, int flag);
using MvInsertToolboxMenuProc = void (*)(void* menu, const char* commonDataFolder);
using MvOnToolboxProductsProc = void (*)(unsigned commandId);
// Non-zero when the archive was written.
using MvDiagProc = int (*)(const char* archivePath, int withLog, int reserved, const char* caller, int flags);
}
