#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/logger/Logger.h"
#include "tests/unit/logger/LogTestUtil.h"

namespace {

TEST(HexLine, LayoutOfDigitsAndTextColumn) {
    std::vector<uint8_t> bytes(16);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x41 + i);
    const std::string line = CLogger::HexLine(bytes.data(), bytes.size());
    ASSERT_EQ(line.size(), 127u);
    EXPECT_EQ(line.substr(0, 48), "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ");
    EXPECT_EQ(line.substr(48, 2), "  ");
    EXPECT_EQ(line.substr(50, 16), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(line.substr(66), std::string(127 - 66, ' '));
}

TEST(HexLine, TextColumnShowsBytesFrom0x14To0x7F) {
    struct Case {
        uint8_t byte;
        char shown;
        const char* digits;
    } cases[] = {{0x14, '\x14', "14"}, {0x13, '.', "13"}, {0x80, '.', "80"}, {0x7F, '\x7F', "7F"},
                 {0x00, '.', "00"},    {0xFF, '.', "FF"}, {0x20, ' ', "20"}, {'z', 'z', "7A"}};
    for (const auto& c : cases) {
        const std::string line = CLogger::HexLine(&c.byte, 1);
        ASSERT_EQ(line.size(), 127u);
        EXPECT_EQ(line.substr(0, 3), std::string(c.digits) + " ") << int(c.byte);
        EXPECT_EQ(line[50], c.shown) << int(c.byte);
    }
}

class HexDump : public ::testing::Test {
protected:
    std::vector<std::string> Dump(const void* data, size_t count) {
        CLogger log(-1, LOG_ALL);
        log.Open(m_dir.File("dump.txt").c_str());
        log.InfoBinary(data, count);
        log.Info("after");
        log.Close();
        return logtest::LinesAfterBanner(logtest::ReadAll(m_dir.File("dump.txt")));
    }
    logtest::ScratchFolder m_dir;
};

TEST_F(HexDump, TwentyBytesGiveOneFullRowAndARowOfFour) {
    std::vector<uint8_t> bytes(20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x30 + i);
    const auto lines = Dump(bytes.data(), bytes.size());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "  INFO  | binary data starts...");
    EXPECT_EQ(lines[1], "  00000000 " + CLogger::HexLine(bytes.data(), 16));
    EXPECT_EQ(lines[2], "  00000010 " + CLogger::HexLine(bytes.data() + 16, 4));
    EXPECT_EQ(lines[2].substr(11, 12), "40 41 42 43 ");
    EXPECT_EQ(lines[3], "  INFO  | binary data ends.");
    EXPECT_EQ(lines[4], "") << "the end text carries its own line feed";
    EXPECT_EQ(lines[5], "  INFO  | after ");
}

TEST_F(HexDump, RowCountsAndOffsets) {
    struct Case {
        size_t count;
        size_t rows;
        const char* lastOffset;
    } cases[] = {
        {0, 0, nullptr}, {1, 1, "00000000"}, {16, 1, "00000000"}, {17, 2, "00000010"}, {4096, 256, "00000FF0"}};
    std::vector<uint8_t> bytes(4096, 0xAA);
    for (const auto& c : cases) {
        const auto lines = Dump(bytes.data(), c.count);
        ASSERT_EQ(lines.size(), c.rows + 4) << c.count;
        if (c.lastOffset) {
            EXPECT_EQ(lines[c.rows].substr(0, 10), std::string("  ") + c.lastOffset) << c.count;
        }
    }
}

TEST_F(HexDump, UnreadableMemoryIsReportedNotRead) {
    const auto lines = Dump(reinterpret_cast<const void*>(0x10), 20);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "The binary data here seems to be an invalid memory block");
    EXPECT_EQ(lines[2], "There is no way to show it, the pointer was 0x00000010");
    const auto nullLines = Dump(nullptr, 1);
    EXPECT_EQ(nullLines[1], "The binary data here seems to be an invalid memory block");
}

}  // namespace
