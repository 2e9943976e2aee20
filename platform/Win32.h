// Win32 vocabulary shared by every layer: the integer types, FILETIME, the handful of
// error codes the recovery and parser code tests, and the thread's last-error value.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONGLONG = uint64_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// 100-ns ticks since 1601-01-01 UTC; 0 means "unknown".
using FILETIME = uint64_t;

constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr int MAX_PATH = 260;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;

namespace platform {

void SetLastError(DWORD code);
DWORD GetLastError();

// errno -> the Win32 code above; anything unknown maps to itself plus 0x10000 so it
// stays nonzero and distinct.
DWORD ErrnoToWin32(int err);
// SetLastError(ErrnoToWin32(errno)).
void SetLastErrorFromErrno();

// System message text of a Win32 code (what FormatMessage would give), without a line break.
const char* Win32ErrorText(DWORD code);

// Windows family switch: the high bit set means the 9x family. Tests flip it.
DWORD GetVersion();
void SetWin9xFamilyForTesting(bool win9x);

}  // namespace platform

using platform::GetLastError;
using platform::SetLastError;
