#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/logger/LLFile.h"
#include "common/logger/Logger.h"
#include "tests/unit/logger/LogTestUtil.h"

namespace {

using logtest::ScratchFolder;

// LLFile reports through g_Logger; each test points it at a file of its own.
class LLFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_nOldLevel = g_Logger.GetMinLevel();
        g_Logger.SetMinLevel(LOG_ALL);
        g_Logger.Open(m_dir.File("log.txt").c_str());
    }
    void TearDown() override {
        g_Logger.Close();
        g_Logger.SetMinLevel(m_nOldLevel);
    }
    // Logged lines without the level, stamp and trailing blank.
    std::vector<std::string> Messages() {
        g_Logger.Close();
        std::vector<std::string> out;
        for (const auto& line : logtest::LinesAfterBanner(logtest::ReadAll(m_dir.File("log.txt")))) {
            const size_t bar = line.find(" | ");
            out.push_back(line.substr(0, 6) + ":" + line.substr(bar + 3, line.size() - bar - 4));
        }
        return out;
    }
    template <class F>
    int CodeOf(F&& f) {
        try {
            f();
        } catch (int code) {
            return code;
        }
        return 0;
    }
    std::string MakeFile(const std::string& name, const std::string& data) {
        logtest::WriteAll(m_dir.File(name), data);
        return m_dir.File(name);
    }
    std::string MakeSparse(const std::string& name, off_t size) {
        const std::string path = m_dir.File(name);
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(ftruncate(fd, size), 0);
        close(fd);
        return path;
    }

    ScratchFolder m_dir;
    int m_nOldLevel = 0;
};

TEST_F(LLFileTest, MissingFileThrows2AfterLoggingItsName) {
    const std::string path = m_dir.File("absent.bin");
    EXPECT_EQ(CodeOf([&] { LLFile file(path.c_str()); }), LLFile::kOpenFailed);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"  INFO:LLFile: File to open: [" + path + "]"}));
}

TEST_F(LLFileTest, FolderAndBadNamesThrow2) {
    EXPECT_EQ(CodeOf([&] { LLFile file(m_dir.Path().c_str()); }), LLFile::kOpenFailed);
    EXPECT_EQ(CodeOf([&] { LLFile file(nullptr); }), LLFile::kOpenFailed);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].rfind(" ERROR:A.F. String invalid [name] File [", 0), 0u) << messages[1];
}

TEST_F(LLFileTest, SizeSeekAndReads) {
    const std::string path = MakeFile("ten.bin", "0123456789");
    LLFile file(path.c_str());
    EXPECT_EQ(file.GetSize32(), 10u);
    EXPECT_EQ(file.Seek32(5), 5);
    char two[2];
    EXPECT_TRUE(file.Read(2, two));
    EXPECT_EQ(std::string(two, 2), "56");

    struct Case {
        long position;
        uint32_t bytes;
        std::string expected;
    } cases[] = {{0, 4, "0123"},
                 {8, 6, std::string("89\0\0\0\0", 6)},
                 {10, 4, std::string(4, '\0')},
                 {20, 3, std::string(3, '\0')},
                 {3, 0, ""}};
    for (const auto& c : cases) {
        void* buffer = file.ReadAt32(c.position, c.bytes);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(std::string(static_cast<char*>(buffer), c.bytes), c.expected) << c.position;
        std::free(buffer);
    }
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "  INFO:File opened.");
}

TEST_F(LLFileTest, FilesOf4GiBOrMoreRefuse32BitCalls) {
    const std::string path = MakeSparse("huge.bin", (off_t{1} << 32) + 1);
    LLFile file(path.c_str());
    EXPECT_EQ(CodeOf([&] { file.GetSize32(); }), LLFile::kTooLarge);
    EXPECT_EQ(CodeOf([&] { file.Seek32(0); }), LLFile::kTooLarge);
    EXPECT_EQ(CodeOf([&] { std::free(file.ReadAt32(0, 4)); }), LLFile::kTooLarge);
    const auto messages = Messages();
    const std::string large = " ERROR:LLFile: error: 32 bit function used to access >2GB file";
    ASSERT_EQ(messages.size(), 4u) << "ReadAt32 throws 5 without a line";
    EXPECT_EQ(messages[2], large);
    EXPECT_EQ(messages[3], large);
}

TEST_F(LLFileTest, PositionsAbove2GiBAreUnsigned32BitOffsets) {
    const std::string path = MakeSparse("three.bin", off_t{3} << 30);
    LLFile file(path.c_str());
    EXPECT_EQ(file.GetSize32(), 3u << 30);
    EXPECT_EQ(file.Seek32(0xBFFFFFF0L), 0xBFFFFFF0L);
    void* buffer = file.ReadAt32(0xBFFFFFFEL, 8);
    EXPECT_EQ(std::string(static_cast<char*>(buffer), 8), std::string(8, '\0'));
    std::free(buffer);
    // -1 reaches offset 0xFFFFFFFF, which is not the position asked for.
    EXPECT_EQ(CodeOf([&] { file.Seek32(-1); }), LLFile::kSeekFailed);
    const auto messages = Messages();
    EXPECT_EQ(messages.back(), " ERROR:Seek failed: res != pos!");
}

}  // namespace
