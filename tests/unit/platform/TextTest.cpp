#include <gtest/gtest.h>

#include "platform/Text.h"

using platform::Cp437ToUtf8;
using platform::UpperCaseUtf8;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

TEST(Utf16Length, CountsWhatTheConversionWouldMake) {
    const char* samples[] = {"",
                             "plain",
                             "\xC3\xA9t\xC3\xA9",
                             "\xE2\x82\xAC",
                             "\xF0\x9F\x98\x80x",
                             "\xED\xA0\x80",
                             "\xFF\xFE",
                             "\xC3",
                             "\xF0\x9F\x98",
                             "\xE0\x80\x80",
                             "a\x80"
                             "b"};
    for (const char* s : samples) EXPECT_EQ(platform::Utf16Length(s), Utf8ToUtf16(s).size()) << s;
}

TEST(Utf16ToUtf8, EncodesEachRangeAndPairs) {
    struct Case {
        const char* what;
        std::u16string in;
        std::string out;
    } cases[] = {
        {"ascii", u"Read Me.txt", "Read Me.txt"},
        {"two bytes", u"\u00e9t\u00e9", "\xC3\xA9t\xC3\xA9"},
        {"three bytes", u"\u20ac", "\xE2\x82\xAC"},
        {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"lone high surrogate", std::u16string(1, char16_t(0xD800)), "\xED\xA0\x80"},
        {"lone low surrogate", std::u16string(1, char16_t(0xDC00)), "\xED\xB0\x80"},
        {"high then ascii", std::u16string{char16_t(0xD83D), u'a'},
         "\xED\xA0\xBD"
         "a"},
        {"reversed pair", std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, "\xED\xB8\x80\xED\xA0\xBD"},
        {"ascii then a pair", u"ab\U0001F600c",
         "ab\xF0\x9F\x98\x80"
         "c"},
        {"embedded nul", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf16ToUtf8(c.in), c.out) << c.what;
}

TEST(Utf8ToUtf16, UnpairedSurrogatesRoundTrip) {
    const std::u16string names[] = {
        std::u16string{u'x', char16_t(0xD800), u'y'},
        std::u16string{char16_t(0xDFFF)},
        std::u16string{char16_t(0xDBFF), char16_t(0xDBFF)},
        u"\U0010FFFF\u00e4",
    };
    for (const auto& name : names) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(name)), name);
}

TEST(Utf8ToUtf16, MalformedBytesBecomeReplacementCharacters) {
    struct Case {
        const char* what;
        std::string in;
        std::u16string out;
    } cases[] = {
        {"stray continuation",
         "a\x80"
         "b",
         u"a\uFFFDb"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"truncated at end", "ok\xE2\x82", u"ok\uFFFD\uFFFD"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"invalid lead", "\xFF", u"\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.what;
}

TEST(Cp437ToUtf8, HighBytesMapToTheOemTable) {
    struct Case {
        unsigned char byte;
        char16_t code;
    } cases[] = {
        {0x80, 0x00C7}, {0x81, 0x00FC}, {0x8E, 0x00C4}, {0x99, 0x00D6}, {0x9E, 0x20A7}, {0x9F, 0x0192},
        {0xA8, 0x00BF}, {0xB0, 0x2591}, {0xC5, 0x253C}, {0xDB, 0x2588}, {0xE1, 0x00DF}, {0xE5, 0x03C3},
        {0xE6, 0x00B5}, {0xF8, 0x00B0}, {0xFD, 0x00B2}, {0xFE, 0x25A0}, {0xFF, 0x00A0},
    };
    for (const auto& c : cases) {
        const std::string utf8 = Cp437ToUtf8(std::string(1, static_cast<char>(c.byte)));
        EXPECT_EQ(Utf8ToUtf16(utf8), std::u16string(1, c.code)) << std::hex << int(c.byte);
    }
}

TEST(Cp437ToUtf8, EveryByteIsOneDistinctCharacter) {
    std::u16string seen;
    for (int b = 0; b < 256; ++b) {
        const std::u16string one = Utf8ToUtf16(Cp437ToUtf8(std::string(1, static_cast<char>(b))));
        ASSERT_EQ(one.size(), 1u) << b;
        EXPECT_EQ(seen.find(one[0]), std::u16string::npos) << "byte " << b << " repeats a character";
        seen += one;
    }
    EXPECT_EQ(Cp437ToUtf8("README  TXT"), "README  TXT");
}

TEST(UpperCaseUtf8, UpperCasesBeyondAscii) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"report.doc", "REPORT.DOC"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"},  // été
        {"\xC3\xBF", "\xC5\xB8"},                    // ÿ -> Ÿ (grows)
        {"stra\xC3\x9F"
         "e",
         "STRA\xC3\x9F"
         "E"},                                                                     // ß has no single upper case
        {"\xCE\xB1\xCE\xB2\xCF\x82", "\xCE\x91\xCE\x92\xCE\xA3"},                  // αβς
        {"\xD0\xBF\xD1\x80\xD0\xB8\xD1\x91", "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x81"},  // приё -> ПРИЁ
        {"\xC4\x9F", "\xC4\x9E"},                                                  // ğ
        {"123 _-~", "123 _-~"},
    };
    for (const auto& c : cases) EXPECT_EQ(UpperCaseUtf8(c.in), c.out) << c.in;
}

TEST(UpperCaseUtf8, LeavesUndecodableBytesAndSurrogatesAlone) {
    EXPECT_EQ(UpperCaseUtf8("a\xFF"
                            "b"),
              "A\xFF"
              "B");
    EXPECT_EQ(UpperCaseUtf8("x\xED\xA0\x80y"), "X\xED\xA0\x80Y");
    EXPECT_EQ(UpperCaseUtf8("\xC3"), "\xC3");
}
