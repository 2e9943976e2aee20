#include "platform/Time.h"

#include <cstdio>

namespace platform {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ull;
constexpr int64_t kSecondsPerDay = 86400;
// Day number of 1970-01-01 counted from 1601-01-01.
constexpr int64_t kEpochDays1601 = 134774;

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2);
}

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(int64_t year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Splits a FILETIME into whole seconds since 1601 and the remaining ticks.
void SplitTicks(FILETIME ft, int64_t* seconds1601, uint32_t* ticks) {
    *seconds1601 = static_cast<int64_t>(ft / kTicksPerSecond);
    *ticks = static_cast<uint32_t>(ft % kTicksPerSecond);
}

// Seconds since 1970 of a FILETIME, with the sub-second ticks. FILETIMEs are unsigned,
// so this never needs to floor a negative tick count.
int64_t UnixSeconds(FILETIME ft, uint32_t* ticks) {
    int64_t seconds1601 = 0;
    SplitTicks(ft, &seconds1601, ticks);
    return seconds1601 - kEpochDays1601 * kSecondsPerDay;
}

bool FromUnixSeconds(int64_t seconds, uint32_t ticks, FILETIME* out) {
    const int64_t seconds1601 = seconds + kEpochDays1601 * kSecondsPerDay;
    if (seconds1601 < 0) return false;
    if (static_cast<uint64_t>(seconds1601) > (UINT64_MAX - ticks) / kTicksPerSecond) return false;
    *out = static_cast<uint64_t>(seconds1601) * kTicksPerSecond + ticks;
    return true;
}

}  // namespace

FILETIME UnixToFileTime(int64_t seconds, uint32_t nanoseconds) {
    FILETIME ft = 0;
    if (nanoseconds >= 1000000000u) {
        seconds += nanoseconds / 1000000000u;
        nanoseconds %= 1000000000u;
    }
    return FromUnixSeconds(seconds, nanoseconds / 100, &ft) ? ft : 0;
}

bool FileTimeToUnix(FILETIME ft, int64_t* seconds, uint32_t* nanoseconds) {
    if (ft == 0) return false;
    uint32_t ticks = 0;
    const int64_t s = UnixSeconds(ft, &ticks);
    if (seconds) *seconds = s;
    if (nanoseconds) *nanoseconds = ticks * 100;
    return true;
}

FILETIME CurrentFileTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return UnixToFileTime(now.tv_sec, static_cast<uint32_t>(now.tv_nsec));
}

BOOL DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, FILETIME* out) {
    const unsigned day = dosDate & 0x1F;                  // bits 0-4
    const unsigned month = (dosDate >> 5) & 0x0F;         // bits 5-8
    const int64_t year = 1980 + ((dosDate >> 9) & 0x7F);  // bits 9-15, from 1980
    const unsigned second = (dosTime & 0x1F) * 2;         // bits 0-4, two-second units
    const unsigned minute = (dosTime >> 5) & 0x3F;        // bits 5-10
    const unsigned hour = (dosTime >> 11) & 0x1F;         // bits 11-15
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int64_t seconds =
        DaysFromCivil(year, month, day) * kSecondsPerDay + int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
    FILETIME ft = 0;
    if (!FromUnixSeconds(seconds, 0, &ft) || out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *out = ft;
    return TRUE;
}

// The offset of the zone is the one in force at that local time (not today's), so a
// summer time stamp read in winter converts right.
BOOL LocalFileTimeToFileTime(FILETIME local, FILETIME* utc) {
    if (utc == nullptr) return FALSE;
    if (local == 0) {
        *utc = 0;
        return TRUE;
    }
    uint32_t ticks = 0;
    const int64_t localSeconds = UnixSeconds(local, &ticks);
    const int64_t days =
        localSeconds >= 0 ? localSeconds / kSecondsPerDay : -((-localSeconds + kSecondsPerDay - 1) / kSecondsPerDay);
    const int64_t secondOfDay = localSeconds - days * kSecondsPerDay;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);

    tm fields{};
    fields.tm_year = static_cast<int>(year - 1900);
    fields.tm_mon = static_cast<int>(month) - 1;
    fields.tm_mday = static_cast<int>(day);
    fields.tm_hour = static_cast<int>(secondOfDay / 3600);
    fields.tm_min = static_cast<int>(secondOfDay / 60 % 60);
    fields.tm_sec = static_cast<int>(secondOfDay % 60);
    fields.tm_isdst = -1;
    const time_t seconds = mktime(&fields);
    if (seconds == static_cast<time_t>(-1) && fields.tm_year != 69) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FILETIME ft = 0;
    if (!FromUnixSeconds(seconds, ticks, &ft)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *utc = ft;
    return TRUE;
}

BOOL FileTimeToLocalFileTime(FILETIME utc, FILETIME* local) {
    if (local == nullptr) return FALSE;
    if (utc == 0) {
        *local = 0;
        return TRUE;
    }
    uint32_t ticks = 0;
    const time_t seconds = UnixSeconds(utc, &ticks);
    tm fields{};
    if (localtime_r(&seconds, &fields) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FILETIME ft = 0;
    if (!FromUnixSeconds(seconds + fields.tm_gmtoff, ticks, &ft)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *local = ft;
    return TRUE;
}

BOOL FileTimeToSystemTime(FILETIME ft, SYSTEMTIME* out) {
    // Values with the top bit set are refused, as the system call does.
    if (out == nullptr || (ft >> 63) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t seconds1601 = 0;
    uint32_t ticks = 0;
    SplitTicks(ft, &seconds1601, &ticks);
    const int64_t days1601 = seconds1601 / kSecondsPerDay;
    const int64_t secondOfDay = seconds1601 % kSecondsPerDay;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days1601 - kEpochDays1601, &year, &month, &day);
    out->wYear = static_cast<int>(year);
    out->wMonth = static_cast<int>(month);
    out->wDay = static_cast<int>(day);
    out->wDayOfWeek = static_cast<int>((days1601 + 1) % 7);  // 1601-01-01 was a Monday
    out->wHour = static_cast<int>(secondOfDay / 3600);
    out->wMinute = static_cast<int>(secondOfDay / 60 % 60);
    out->wSecond = static_cast<int>(secondOfDay % 60);
    out->wMilliseconds = static_cast<int>(ticks / 10000);
    return TRUE;
}

size_t FormatIso8601(FILETIME ft, char* out) {
    SYSTEMTIME st{};
    if (ft == 0 || !FileTimeToSystemTime(ft, &st)) return 0;
    // Written by hand: a scan prints one of these per entry. Years stay below 60000.
    char* p = out;
    auto two = [&p](int v) {
        *p++ = static_cast<char>('0' + v / 10);
        *p++ = static_cast<char>('0' + v % 10);
    };
    if (st.wYear >= 10000) *p++ = static_cast<char>('0' + st.wYear / 10000);
    two(st.wYear / 100 % 100);
    two(st.wYear % 100);
    *p++ = '-';
    two(st.wMonth);
    *p++ = '-';
    two(st.wDay);
    *p++ = 'T';
    two(st.wHour);
    *p++ = ':';
    two(st.wMinute);
    *p++ = ':';
    two(st.wSecond);
    *p++ = 'Z';
    return static_cast<size_t>(p - out);
}

std::string FileTimeToIso8601(FILETIME ft) {
    char text[kIso8601Room];
    return std::string(text, FormatIso8601(ft, text));
}

}  // namespace platform
