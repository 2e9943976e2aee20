// FILETIME (100-ns ticks since 1601-01-01 UTC) and the DOS date/time pairs of FAT,
// with local time taken from the C library (TZ honoured).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/Win32.h"

namespace platform {

constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;  // 1970-01-01 in FILETIME ticks

FILETIME UnixToFileTime(int64_t seconds, uint32_t nanoseconds = 0);
// Seconds since 1970 (floored); false for 0 (unknown).
bool FileTimeToUnix(FILETIME ft, int64_t* seconds, uint32_t* nanoseconds = nullptr);
FILETIME CurrentFileTime();

// DOS date and time as local time -> local FILETIME. FALSE for an impossible date.
BOOL DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, FILETIME* out);
BOOL LocalFileTimeToFileTime(FILETIME local, FILETIME* utc);
BOOL FileTimeToLocalFileTime(FILETIME utc, FILETIME* local);

// Calendar fields of a FILETIME read as UTC (what FileTimeToSystemTime gives).
struct SYSTEMTIME {
    int wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
BOOL FileTimeToSystemTime(FILETIME ft, SYSTEMTIME* out);

// "YYYY-MM-DDTHH:MM:SSZ", or "" for 0.
std::string FileTimeToIso8601(FILETIME ft);
// The same text into out (room for kIso8601Room bytes, no terminator); gives its length,
// 0 for 0 or a value with the top bit set.
constexpr size_t kIso8601Room = 24;
size_t FormatIso8601(FILETIME ft, char* out);

}  // namespace platform
