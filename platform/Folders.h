// Where the program keeps its files, following the XDG base-directory rules: profile
// (config), log (state) and temporary files (cache), each in a "quenvar" subfolder.
#pragma once

#include <string>

namespace platform {

// ${XDG_CONFIG_HOME:-$HOME/.config}/quenvar; not created.
std::string ConfigFolder();
// ${XDG_STATE_HOME:-$HOME/.local/state}/quenvar, the log folder; created when missing
// (best effort: the path is returned even when it cannot be made).
std::string StateFolder();
// ${XDG_CACHE_HOME:-$HOME/.cache}/quenvar, created when missing; "/tmp" when it cannot be.
std::string CacheFolder();
// $HOME, else the user's home from the password database, else "/tmp". The default
// folder for what the user writes out (recovered files, MFT dumps).
std::string HomeFolder();
// Folder of the running executable, or "" when /proc/self/exe cannot be read.
std::string ExecutableFolder();

// Creates path and its missing parents (mode 0700 for new ones); true when it exists
// as a folder afterwards.
bool MakeFolders(const std::string& path);

}  // namespace platform
