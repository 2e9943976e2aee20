// Loader and call wrappers of the runtime library (libmvcmn.so). Three ways of loading:
// kept loaded for the life of the process (by bare name), one-shot folder queries (from
// the executable's own folder), and the logger's own profile read.
#pragma once

#include <string>

namespace runtime {

// One-shot queries: load from the executable's folder, call, unload. Empty on any failure.
std::string QueryTempFilesFolder();
std::string QueryLogFilesFolder();

}  // namespace runtime
