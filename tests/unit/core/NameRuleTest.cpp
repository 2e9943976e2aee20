// The scan's name rule: the characters of IsValidFileNameA and at most 255 UTF-16 units,
// over generated names as the FAT walk sees them (UTF-16 long names converted to UTF-8).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "common/logger/Logger.h"
#include "fslib/core/FileSystemParser.h"
#include "platform/Text.h"

namespace {

bool Storable(const std::u16string& name) {
    return CFileSystemParser::IsStorableFileNameA(platform::Utf16ToUtf8(name).c_str());
}

// One character of each UTF-8 width, a pair, and both lone surrogates.
const std::vector<std::u16string> kPieces = {
    u"a", u"\u00e9", u"\u3042", u"\U0001F600", std::u16string(1, char16_t(0xD800)), std::u16string(1, char16_t(0xDC00)),
};

TEST(NameRule, LengthsAroundTheLimitInEveryWidth) {
    for (const std::u16string& piece : kPieces) {
        for (size_t target = 240; target <= 270; ++target) {
            std::u16string name;
            while (name.size() + piece.size() <= target) name += piece;
            while (name.size() < target) name += u'b';
            SCOPED_TRACE(testing::Message()
                         << "piece units " << piece.size() << " first " << int(piece[0]) << " length " << target);
            EXPECT_EQ(Storable(name), target <= 255);
        }
    }
}

TEST(NameRule, GeneratedMixturesAreJudgedByTheirUtf16Length) {
    std::mt19937 random(12345);
    int accepted = 0, refused = 0;
    for (int i = 0; i < 5000; ++i) {
        std::u16string name;
        const size_t target = 200 + random() % 100;
        while (name.size() < target) name += kPieces[random() % kPieces.size()];
        // A lone high surrogate followed by a lone low one reads as a pair: the units stay.
        const bool expected = name.size() <= 255;
        ASSERT_EQ(Storable(name), expected) << "length " << name.size() << " case " << i;
        (expected ? accepted : refused)++;
    }
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(refused, 1000);
}

TEST(NameRule, EveryReservedCharacterAnywhereIsRefused) {
    std::vector<char16_t> reserved = {u'\\', u'/', u'|', u':', u'<', u'>', u'?', u'*', u'"'};
    for (char16_t c = 1; c < 32; ++c) reserved.push_back(c);
    std::mt19937 random(7);
    for (char16_t c : reserved) {
        for (int i = 0; i < 50; ++i) {
            std::u16string name = u"name \u3042\U0001F600 of a file.txt";
            name.insert(name.begin() + static_cast<long>(random() % (name.size() + 1)), c);
            EXPECT_FALSE(Storable(name)) << "character " << int(c) << " at case " << i;
        }
    }
    for (const char* name : {"", ".", ".."}) EXPECT_FALSE(CFileSystemParser::IsStorableFileNameA(name)) << name;
    EXPECT_TRUE(CFileSystemParser::IsStorableFileNameA("..."));
    EXPECT_TRUE(CFileSystemParser::IsStorableFileNameA("RECYCLED"));
}

TEST(NameRule, ANameTooLongIsLoggedAsTheTestFileFailureWas) {
    char folder[] = "/tmp/qvr-namelog-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string log = std::string(folder) + "/log.txt";
    g_Logger.Open(log.c_str());
    EXPECT_FALSE(CFileSystemParser::IsStorableFileNameA(std::string(256, 'x').c_str()));
    EXPECT_TRUE(CFileSystemParser::IsStorableFileNameA(std::string(255, 'x').c_str()));
    g_Logger.Close();
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::smatch m;
    EXPECT_TRUE(std::regex_search(text, m, std::regex(R"((^|\n) ERROR [0-9:]* \| ERROR WHILE CREATING TEMP FILE \n)")))
        << text;
    EXPECT_EQ(text.find("ERROR WHILE CREATING TEMP FILE"), text.rfind("ERROR WHILE CREATING TEMP FILE"));
    std::filesystem::remove_all(folder);
}

}  // namespace
