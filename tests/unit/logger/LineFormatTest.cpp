// The log line formatter against the C library's vsnprintf: the same text and the same
// length for every form it takes, and a refusal (so vsnprintf is used) for the others.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <string>

#include "common/logger/LineFormat.h"

namespace {

struct Result {
    int length;
    std::string text;
};

Result Ours(size_t size, const char* fmt, ...) {
    std::string buf(size + 1, '\x7f');
    va_list args;
    va_start(args, fmt);
    const int n = logline::Format(buf.data(), size, fmt, args);
    va_end(args);
    return {n, size ? std::string(buf.c_str()) : std::string()};
}

Result Libc(size_t size, const char* fmt, ...) {
    std::string buf(size + 1, '\x7f');
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buf.data(), size, fmt, args);
    va_end(args);
    return {n, size ? std::string(buf.c_str()) : std::string()};
}

#define EXPECT_SAME(size, ...)                                                   \
    do {                                                                         \
        const Result ours = Ours(size, __VA_ARGS__);                             \
        const Result libc = Libc(size, __VA_ARGS__);                             \
        EXPECT_EQ(ours.length, libc.length) << #__VA_ARGS__ << " size " << size; \
        EXPECT_EQ(ours.text, libc.text) << #__VA_ARGS__ << " size " << size;     \
    } while (0)

TEST(LineFormatTest, TheFormsOfTheProgramsLogLines) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{7}, size_t{256}}) {
        EXPECT_SAME(size, "CNTFSParser: record %ld of %s read, flags 0x%04x", 123456L, "$MFT", 3u);
        EXPECT_SAME(size, "Entry set at disk offset %llu fails its checksum (%s)", 18446744073709551615ull, "changed");
        EXPECT_SAME(size, "%s [%ld]", "Recovering", LONG_MIN);
        EXPECT_SAME(size, "GetLastError() = 0x%08x, %s", 0x80070005u, "Access is denied.");
        EXPECT_SAME(size, "%d%% done, %c%c, %5s|%-5s|%.3s|%.*s|%*d|%-*d|", 50, 'o', 'k', "ab", "cd", "abcdef", 2, "xyz",
                    6, -42, 4, 7);
        EXPECT_SAME(size, "%zu %zd %hhu %hd %lx %llX %#x %#X %#x %+d % d %05d %-05d|", size_t{99}, ptrdiff_t{-3}, 300,
                    70000, 0xdeadbeefUL, 0xabcULL, 255u, 255u, 0u, 5, 5, -5, -5);
        EXPECT_SAME(size, "%i %u %d %d", INT_MIN, UINT_MAX, INT_MAX, 0);
        EXPECT_SAME(size, "null %s and %p and %p", static_cast<const char*>(nullptr), static_cast<void*>(nullptr),
                    reinterpret_cast<void*>(0x1234abcdULL));
        EXPECT_SAME(size, "%-12p|%12p|", reinterpret_cast<void*>(0xfeedULL), reinterpret_cast<void*>(0xfeedULL));
        EXPECT_SAME(size, "no conversions at all");
        EXPECT_SAME(size, "");
    }
}

TEST(LineFormatTest, FormsItDoesNotTakeAreLeftToTheLibrary) {
    char buf[64];
    auto refuses = [&](const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        const int n = logline::Format(buf, sizeof buf, fmt, args);
        va_end(args);
        return n == -1;
    };
    EXPECT_TRUE(refuses("%f", 1.5));
    EXPECT_TRUE(refuses("%.3d", 7));
    EXPECT_TRUE(refuses("%lc", 65));
    EXPECT_TRUE(refuses("%ls", L"x"));
    EXPECT_TRUE(refuses("%o", 8u));
    EXPECT_TRUE(refuses("ends with %"));
    EXPECT_TRUE(refuses("%.3s", static_cast<const char*>(nullptr)));
}

// Single conversions built at random from the flags, widths, precisions and lengths the
// formatter takes, each against the library with a value of the matching type.
TEST(LineFormatTest, RandomConversionsMatchTheLibrary) {
    std::mt19937_64 rng(20261208);
    const char* flagSet = "-0+ #";
    const char* strings[] = {"", "a", "some text", "Ünïcødé 日本語", "$MFT"};
    int compared = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string fmt = "<";
        fmt += '%';
        for (int f = 0; f < 5; ++f)
            if (rng() % 4 == 0) fmt += flagSet[f];
        if (rng() % 2) fmt += std::to_string(rng() % 25);
        const int kind = static_cast<int>(rng() % 9);
        const int64_t raw = static_cast<int64_t>(rng());
        const int64_t value = rng() % 3 == 0 ? raw : raw % 1000;
        const size_t size = rng() % 5 == 0 ? rng() % 12 : 128;
        Result ours{}, libc{};
        auto both = [&](auto arg) {
            ours = Ours(size, fmt.c_str(), arg);
            libc = Libc(size, fmt.c_str(), arg);
        };
        switch (kind) {
            case 0:
                fmt += "d>";
                both(static_cast<int>(value));
                break;
            case 1:
                fmt += "ld>";
                both(static_cast<long>(value));
                break;
            case 2:
                fmt += "llu>";
                both(static_cast<unsigned long long>(value));
                break;
            case 3:
                fmt += "x>";
                both(static_cast<unsigned>(value));
                break;
            case 4:
                fmt += "lX>";
                both(static_cast<unsigned long>(value));
                break;
            case 5:
                fmt += "hd>";
                both(static_cast<int>(value));
                break;
            case 6:
                fmt += "zu>";
                both(static_cast<size_t>(value));
                break;
            case 7: {
                if (fmt.find('#') != std::string::npos || fmt.find('0') != std::string::npos) continue;
                if (rng() % 2) fmt += "." + std::to_string(rng() % 8);
                fmt += "s>";
                both(strings[rng() % 5]);
                break;
            }
            default:
                if (fmt.find('#') != std::string::npos || fmt.find('0') != std::string::npos) continue;
                fmt += "c>";
                both(static_cast<int>('A' + rng() % 26));
                break;
        }
        ASSERT_EQ(ours.length, libc.length) << fmt << " size " << size;
        ASSERT_EQ(ours.text, libc.text) << fmt << " size " << size;
        ++compared;
    }
    EXPECT_GT(compared, 15000);
}

}  // namespace
