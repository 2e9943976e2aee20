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

// Command identifiers of the toolbox entries the program routes to OnToolboxProducts.
constexpr unsigned kToolboxFirstCommand = 2000;
constexpr unsigned kToolboxLastCommand = 2100;
// The toolbox entry that opens the program's own help page on the toolbox; the program
// handles it, not the library.
constexpr unsigned kToolboxHelpCommand = 32800;

// A program may export this C function to tell the library which operations log it
// writes (a log chosen for one scan included); the diagnostics archive then holds that
// file instead of the default log of the log folder.
constexpr const char* kOperationsLogPathExport = "QvrOperationsLogPath";

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
// The program's export named kOperationsLogPathExport: the log file in use, "" for none.
using MvOperationsLogPathProc = const char* (*)();
}
