#include <gtest/gtest.h>

#include <ctime>

#include "TempDir.h"
#include "platform/Time.h"

using namespace platform;

namespace {

constexpr uint64_t kTicks = 10000000ull;

uint16_t DosDate(int year, int month, int day) {
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
uint16_t DosTime(int hour, int minute, int second) {
    return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

// Sets TZ for one test and re-reads it; the old zone comes back afterwards.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) : m_env("TZ", zone) { tzset(); }
    ~ScopedZone() { tzset(); }

private:
    ScopedEnv m_env;
};

}  // namespace

TEST(FileTimeUnix, ConvertsBothWaysAndKeepsSubSeconds) {
    EXPECT_EQ(UnixToFileTime(0), kFileTimeUnixEpoch);
    const FILETIME ft = UnixToFileTime(1700000000, 123456700);
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
    ASSERT_TRUE(FileTimeToUnix(ft, &seconds, &nanoseconds));
    EXPECT_EQ(seconds, 1700000000);
    EXPECT_EQ(nanoseconds, 123456700u);
    // Before 1970 the seconds are floored, the remainder stays positive.
    ASSERT_TRUE(FileTimeToUnix(kFileTimeUnixEpoch - 5, &seconds, &nanoseconds));
    EXPECT_EQ(seconds, -1);
    EXPECT_EQ(nanoseconds, 999999500u);
    EXPECT_FALSE(FileTimeToUnix(0, &seconds));
    EXPECT_EQ(UnixToFileTime(-20000000000), 0u) << "before 1601 there is no FILETIME";
}

TEST(DosDateTimeToFileTime, DecodesTheBitFields) {
    struct Case {
        const char* what;
        uint16_t date, time;
        const char* iso;
    } cases[] = {
        {"first DOS day", DosDate(1980, 1, 1), 0, "1980-01-01T00:00:00Z"},
        {"ordinary stamp", DosDate(2023, 6, 15), DosTime(13, 45, 58), "2023-06-15T13:45:58Z"},
        {"leap day", DosDate(2000, 2, 29), DosTime(23, 59, 58), "2000-02-29T23:59:58Z"},
        {"last DOS day", DosDate(2107, 12, 31), DosTime(23, 59, 58), "2107-12-31T23:59:58Z"},
    };
    for (const auto& c : cases) {
        FILETIME ft = 0;
        ASSERT_TRUE(DosDateTimeToFileTime(c.date, c.time, &ft)) << c.what;
        EXPECT_EQ(FileTimeToIso8601(ft), c.iso) << c.what;
    }
}

TEST(DosDateTimeToFileTime, RefusesImpossibleDates) {
    struct Case {
        const char* what;
        uint16_t date, time;
    } cases[] = {
        {"zero date and time", 0, 0},
        {"zero day", DosDate(1999, 3, 0), 0},
        {"month 0", static_cast<uint16_t>((19 << 9) | 1), 0},
        {"month 13", DosDate(1999, 13, 1), 0},
        {"29 February of a common year", DosDate(2001, 2, 29), 0},
        {"31 April", DosDate(2001, 4, 31), 0},
        {"hour 24", DosDate(2001, 4, 1), DosTime(24, 0, 0)},
        {"minute 60", DosDate(2001, 4, 1), DosTime(1, 60, 0)},
        {"second 60", DosDate(2001, 4, 1), DosTime(1, 1, 60)},
    };
    for (const auto& c : cases) {
        FILETIME ft = 77;
        EXPECT_FALSE(DosDateTimeToFileTime(c.date, c.time, &ft)) << c.what;
        EXPECT_EQ(ft, 77u) << c.what << ": output written on failure";
    }
}

TEST(DosDateTimeToFileTime, IgnoresTheTimeZone) {
    FILETIME inUtc = 0, inBerlin = 0;
    {
        ScopedZone zone("UTC0");
        ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2010, 7, 1), DosTime(8, 0, 0), &inUtc));
    }
    {
        ScopedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2010, 7, 1), DosTime(8, 0, 0), &inBerlin));
    }
    EXPECT_EQ(inUtc, inBerlin);
}

TEST(LocalFileTime, UsesTheOffsetInForceAtThatDate) {
    ScopedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        const char* what;
        uint16_t date, time;
        const char* utc;
    } cases[] = {
        {"winter, one hour", DosDate(2023, 1, 15), DosTime(12, 0, 0), "2023-01-15T11:00:00Z"},
        {"summer, two hours", DosDate(2023, 7, 1), DosTime(12, 0, 0), "2023-07-01T10:00:00Z"},
        {"across midnight", DosDate(2023, 7, 1), DosTime(1, 0, 0), "2023-06-30T23:00:00Z"},
    };
    for (const auto& c : cases) {
        FILETIME local = 0, utc = 0, back = 0;
        ASSERT_TRUE(DosDateTimeToFileTime(c.date, c.time, &local));
        ASSERT_TRUE(LocalFileTimeToFileTime(local, &utc)) << c.what;
        EXPECT_EQ(FileTimeToIso8601(utc), c.utc) << c.what;
        ASSERT_TRUE(FileTimeToLocalFileTime(utc, &back)) << c.what;
        EXPECT_EQ(back, local) << c.what;
    }
}

TEST(LocalFileTime, KeepsTicksAndZero) {
    ScopedZone zone("EST5");
    FILETIME utc = 0, local = 0;
    const FILETIME withTicks = UnixToFileTime(1000000000) + 1234567;
    ASSERT_TRUE(FileTimeToLocalFileTime(withTicks, &local));
    EXPECT_EQ(withTicks - local, 5 * 3600 * kTicks);
    ASSERT_TRUE(LocalFileTimeToFileTime(local, &utc));
    EXPECT_EQ(utc, withTicks);
    ASSERT_TRUE(LocalFileTimeToFileTime(0, &utc));
    EXPECT_EQ(utc, 0u);
}

TEST(FileTimeToSystemTime, SplitsCalendarFields) {
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(0, &st));
    EXPECT_EQ(st.wYear, 1601);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 1) << "1601-01-01 was a Monday";

    // 2024-02-29 12:34:56.789 UTC, a Thursday.
    const FILETIME leap = UnixToFileTime(1709210096, 789000000);
    ASSERT_TRUE(FileTimeToSystemTime(leap, &st));
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wDayOfWeek, 4);
    EXPECT_EQ(st.wHour, 12);
    EXPECT_EQ(st.wMinute, 34);
    EXPECT_EQ(st.wSecond, 56);
    EXPECT_EQ(st.wMilliseconds, 789);

    EXPECT_FALSE(FileTimeToSystemTime(0x8000000000000000ull, &st));
    EXPECT_EQ(FileTimeToIso8601(0), "");
    EXPECT_EQ(FileTimeToIso8601(kFileTimeUnixEpoch), "1970-01-01T00:00:00Z");
    // The ends of the range: the first tick, and the largest value a volume can hold.
    EXPECT_EQ(FileTimeToIso8601(1), "1601-01-01T00:00:00Z");
    EXPECT_EQ(FileTimeToIso8601(0x7FFFFFFFFFFFFFFFull), "30828-09-14T02:48:05Z");
    EXPECT_EQ(FileTimeToIso8601(0x8000000000000000ull), "");
}
