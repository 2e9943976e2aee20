// The parsers' private temporary folder: "kqz_temp" under the runtime library's
// temporary-files folder, or under the system temporary folder when that is unavailable.
#pragma once

#include <string>

// Creates the folder when missing and returns its path (without a trailing '/').
std::string PreparePrivateTempFolder();
