// File operations with the meanings and last-error codes of their Win32 counterparts,
// over POSIX calls. Handles are file descriptors; INVALID_HANDLE is -1.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32.h"

namespace platform {

using FileHandle = int;
constexpr FileHandle INVALID_FILE_HANDLE = -1;

enum class CreateMode { CreateNew, CreateAlways, OpenExisting, OpenAlways };
enum Access : unsigned { kRead = 1, kWrite = 2 };

// Sets the last error on failure (80 exists, 2 not found, 3 path not found, ...).
FileHandle CreateFile(const std::string& path, unsigned access, CreateMode mode);
// An existing folder, for setting its times (what backup semantics give on Windows).
FileHandle OpenDirectory(const std::string& path);
BOOL CloseFile(FileHandle h);
BOOL ReadFile(FileHandle h, void* buffer, uint32_t count, uint32_t* read);
// Short writes are retried; ENOSPC gives last error 112.
BOOL WriteFile(FileHandle h, const void* buffer, uint32_t count, uint32_t* written);
// Returns the new position, or -1 with the last error set.
int64_t SetFilePointer(FileHandle h, int64_t distance, int whence);
int64_t GetFileSize(FileHandle h);
BOOL SetFileTime(FileHandle h, const FILETIME* created, const FILETIME* accessed, const FILETIME* written);
BOOL DeleteFile(const std::string& path);
BOOL CreateDirectory(const std::string& path);
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
// Unique name "<dir>/<prefix><hex>.tmp" created empty, as GetTempFileName does with
// unique 0; with a nonzero unique the name is built from it and not created.
// Returns 0 on failure with the last error set.
unsigned GetTempFileName(const std::string& dir, const std::string& prefix, unsigned unique, std::string* out);
// $TMPDIR or /tmp, with a trailing '/'.
std::string GetTempPath();
BOOL GetDiskFreeSpaceEx(const std::string& path, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree);

// Joins with exactly one '/' between.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace platform
