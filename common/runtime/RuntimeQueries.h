// One-shot questions to the runtime library: load it from the executable's own folder,
// initialise it, ask, unload. Every failure on the way answers 0, and the caller falls
// back (the system temporary folder, or an empty log folder).
#pragma once

#include <string>

namespace runtime {

// Non-zero on success; the buffer (cleared first) then holds the folder path, ending in '/'.
int GetLogFilesFolder(char* buffer, int size);
int GetTempFilesFolder(char* buffer, int size);

// The same as strings; "" on failure.
std::string QueryLogFilesFolder();
std::string QueryTempFilesFolder();

// Where the one-shot queries load the library from.
std::string RuntimeLibraryPath();

}  // namespace runtime
