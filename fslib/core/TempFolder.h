// Temporary folders of the parsers: the private "kqz_temp" folder (decompressed copies),
// and the process-wide folder in which the name checks create their test files.
#pragma once

#include <string>

// "kqz_temp" under the runtime library's temporary-files folder, or under the system
// temporary folder when that is unavailable. Created when missing; no trailing '/'.
std::string PreparePrivateTempFolder();

// The process-wide temporary folder: the system temporary folder unless the application
// set another.
std::string ProcessTempFolder();
void SetProcessTempFolder(const std::string& folder);
bool HasProcessTempFolder();
