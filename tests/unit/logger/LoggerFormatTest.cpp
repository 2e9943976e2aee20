#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/logger/Logger.h"
#include "platform/Win32.h"
#include "tests/unit/logger/LogTestUtil.h"

namespace {

using logtest::LinesAfterBanner;
using logtest::ReadAll;
using logtest::ScratchFolder;

// A logger of its own (no profile read: negative product), writing to a scratch file.
class LoggerFormat : public ::testing::Test {
protected:
    void SetUp() override {
        m_log.Open(m_dir.File("log.txt").c_str());
        ASSERT_STREQ(m_log.GetLogFileName(), m_dir.File("log.txt").c_str());
        SetLastError(0);
    }
    std::vector<std::string> Lines() {
        m_log.Close();
        return LinesAfterBanner(ReadAll(m_dir.File("log.txt")));
    }

    ScratchFolder m_dir;
    CLogger m_log{-1, LOG_ALL};
};

TEST_F(LoggerFormat, LevelNameRightAlignedEmptyStampAndTrailingBlank) {
    struct Case {
        int level;
        const char* expected;
    } cases[] = {{LOG_ALL, "   ALL  | text "},
                 {LOG_DEBUG, " DEBUG  | text "},
                 {LOG_INFO, "  INFO  | text "},
                 {LOG_ERROR, " ERROR  | text "},
                 {LOG_ASSERT, "ASSERT  | text "}};
    for (const auto& c : cases) m_log.Write(c.level, "text");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], cases[i].expected);
}

TEST_F(LoggerFormat, StampOnFirstLineOnlyWithinTwoSeconds) {
    m_log.ResetStampForTesting();
    m_log.Info("one");
    m_log.Info("two");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(  INFO [0-2][0-9]:[0-5][0-9]:[0-6][0-9] \| one )")))
        << lines[0];
    EXPECT_EQ(lines[1], "  INFO  | two ");
}

TEST_F(LoggerFormat, MinimumLevelFiltersLinesAndSkipsFormatting) {
    m_log.SetMinLevel(LOG_ERROR);
    m_log.Info("info");
    m_log.InfoValue("name", "value");
    m_log.InfoNumber("number", 1);
    EXPECT_EQ(m_log.InfoF("%s", "formatted"), 0);
    m_log.InfoBinary("abc", 3);
    m_log.Error("error");
    EXPECT_EQ(m_log.ErrorF("%d", 12345), 5);
    m_log.AssertNumber(0, "assert", 7);
    EXPECT_EQ(Lines(), (std::vector<std::string>{" ERROR  | error ", " ERROR  | 12345 ", "ASSERT  | assert [7] "}));
}

TEST_F(LoggerFormat, AssertCarriesLastErrorSuffixAndOtherLevelsDoNot) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    m_log.AssertNumber(0, "cond", 5);
    m_log.Info("info");
    m_log.Error("error");
    SetLastError(0x1234);
    m_log.AssertNumber(0, "unknown", 6);
    EXPECT_EQ(GetLastError(), 0x1234u) << "logging must leave the caller's last error alone";
    SetLastError(0);
    m_log.AssertNumber(0, "clear", 7);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "ASSERT  | cond [5] {0x00000002| The system cannot find the file specified.}",
                           "  INFO  | info ",
                           " ERROR  | error ",
                           "ASSERT  | unknown [6] {0x00001234| <FormatMessage fail>}",
                           "ASSERT  | clear [7] ",
                       }));
}

TEST_F(LoggerFormat, ValueAndNumberForms) {
    m_log.InfoValue("name", nullptr);
    m_log.InfoValue("name", "str");
    m_log.ErrorValue("bad", nullptr);
    m_log.InfoNumber("count", -3);
    m_log.ErrorNumber("code", 2147483647L);
    m_log.AssertNumber(1, "never", 1);
    m_log.AssertNumber(0, "some text", 276);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"  INFO  | name [null] ", "  INFO  | name [str] ",
                                                 " ERROR  | bad [null] ", "  INFO  | count [-3] ",
                                                 " ERROR  | code [2147483647] ", "ASSERT  | some text [276] "}));
}

TEST_F(LoggerFormat, LongTextsAreCutAtTheFormattingLimits) {
    const std::string big(20000, 'x');
    m_log.InfoValue(big.c_str(), "v");
    EXPECT_EQ(m_log.InfoF("%s", big.c_str()), 20000);
    m_log.Info(big.c_str());  // plain text is written whole
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    const size_t frame = std::string("  INFO  | ").size() + 1;
    EXPECT_EQ(lines[0].size(), frame + CLogger::kValueLimit);
    EXPECT_EQ(lines[1].size(), frame + CLogger::kFormatLimit);
    EXPECT_EQ(lines[2].size(), frame + big.size());
}

TEST_F(LoggerFormat, AssertMacroNamesExpressionFileAndLine) {
    // The macro writes through g_Logger, which is pointed at a file of its own here.
    g_Logger.Open(m_dir.File("global.txt").c_str());
    const int line = __LINE__ + 1;
    LOGGER_ASSERT(1 + 1 == 3);
    LOGGER_ASSERT(2 == 2);
    g_Logger.Close();
    const auto lines = LinesAfterBanner(ReadAll(m_dir.File("global.txt")));
    ASSERT_EQ(lines.size(), 1u);
    // g_Logger was built when the program started, so this line may carry a stamp.
    EXPECT_EQ(
        std::regex_replace(lines[0], std::regex("^ASSERT [0-9:]* "), "ASSERT  "),
        std::string("ASSERT  | A.F. Exp [1 + 1 == 3] File [") + __FILE__ + "] Line  [" + std::to_string(line) + "] ");
}

TEST_F(LoggerFormat, CheckStringReportsUnreadableStrings) {
    const long page = sysconf(_SC_PAGESIZE);
    // A page of text running into an unreadable page, with and without its NUL.
    char* area =
        static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(area, MAP_FAILED);
    ASSERT_EQ(mprotect(area + page, page, PROT_NONE), 0);
    memset(area, 'a', page);
    const char* unterminated = area;
    const char* endsAtBoundary = area + page - 4;
    area[page - 1] = '\0';
    m_log.CheckString("fine", "A.F. String invalid [ok] File [f] Line ", 1);
    m_log.CheckString(endsAtBoundary, "A.F. String invalid [edge] File [f] Line ", 2);
    area[page - 1] = 'a';
    m_log.CheckString(unterminated, "A.F. String invalid [runaway] File [f] Line ", 3);
    m_log.CheckString(nullptr, "A.F. String invalid [null] File [f] Line ", 4);
    m_log.CheckString(reinterpret_cast<const char*>(8), "A.F. String invalid [wild] File [f] Line ", 5);
    munmap(area, 2 * page);
    EXPECT_EQ(Lines(), (std::vector<std::string>{" ERROR  | A.F. String invalid [runaway] File [f] Line  [3] ",
                                                 " ERROR  | A.F. String invalid [null] File [f] Line  [4] ",
                                                 " ERROR  | A.F. String invalid [wild] File [f] Line  [5] "}));
}

TEST_F(LoggerFormat, LogLastErrorWritesCodeAndTextOnlyWhenSet) {
    SetLastError(0);
    EXPECT_EQ(m_log.LogLastError(), 0u);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(m_log.LogLastError(), 5u);
    SetLastError(0x4321);
    EXPECT_EQ(m_log.LogLastError(), 0x4321u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{" ERROR  | GetLastError() = 0x00000005, Access is denied. ",
                                                 " ERROR  | GetLastError() = 0x00004321,  "}));
}

TEST_F(LoggerFormat, NullTextIsDroppedAndNothingIsWrittenWithoutAFile) {
    m_log.Write(LOG_ERROR, nullptr);
    m_log.Error("kept");
    m_log.Close();
    m_log.Error("after close");
    m_log.Activate();  // no file: stays off
    EXPECT_FALSE(m_log.IsLevelEnabled(LOG_ASSERT));
    m_log.Error("after activate");
    EXPECT_EQ(Lines(), (std::vector<std::string>{" ERROR  | kept "}));
}

TEST_F(LoggerFormat, FailedOpenKeepsNoFile) {
    m_log.Open(m_dir.File("missing-folder/log.txt").c_str());
    EXPECT_STREQ(m_log.GetLogFileName(), "");
    EXPECT_FALSE(m_log.IsLevelEnabled(LOG_ASSERT));
    m_log.Error("lost");
    EXPECT_TRUE(Lines().empty());
}

TEST_F(LoggerFormat, MachineInformationBlockInOrder) {
    logtest::ScopedEnv tmp("MORVANTTMP", "/some/where");
    m_log.Open(m_dir.File("machine.txt").c_str());
    m_log.Close();
    auto lines = logtest::SplitLines(ReadAll(m_dir.File("machine.txt")));
    // Stamps are not part of what is checked.
    for (auto& line : lines) line = std::regex_replace(line, std::regex(R"(^  INFO [0-9:]* \| )"), "");
    const std::string rule(52, '=');
    ASSERT_GE(lines.size(), 15u);
    EXPECT_EQ(lines[0], "  ");
    EXPECT_EQ(lines[1], rule + " ");
    EXPECT_EQ(lines[2], "============== LOGGER MACHINE INFO ================= ");
    EXPECT_EQ(lines[3], rule + " ");
    EXPECT_EQ(lines[4], std::string("__DATE__ [") + __DATE__ + "] ");
    EXPECT_EQ(lines[5].rfind("__TIME__ [", 0), 0u);
    EXPECT_EQ(lines[6], "RELEASE VERSION ");
    EXPECT_TRUE(std::regex_match(lines[7], std::regex(R"(Today is \[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\] )")))
        << lines[7];
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    EXPECT_EQ(lines[8], std::string("GetCurrentDirectory [") + cwd + "] ");
    // The system folder is the one the C library was loaded from.
    std::smatch system;
    ASSERT_TRUE(std::regex_match(lines[9], system, std::regex(R"(GetSystemDirectory \[(/.+)\] )"))) << lines[9];
    EXPECT_EQ(access((system[1].str() + "/libc.so.6").c_str(), F_OK), 0) << lines[9];
    EXPECT_EQ(lines[10], "GetWindowsDirectory [/] ");
    EXPECT_EQ(lines[11].rfind("GetTempPath [/", 0), 0u);
    EXPECT_EQ(lines[12], "%%MORVANTTMP%% [/some/where] ");
    EXPECT_EQ(lines[13].rfind("GetComputerName [", 0), 0u);
    EXPECT_EQ(lines[14], rule + " ");
}

TEST_F(LoggerFormat, OpenAppendsToAnExistingFile) {
    m_log.Close();
    logtest::WriteAll(m_dir.File("old.txt"), "earlier line\n");
    m_log.Open(m_dir.File("old.txt").c_str());
    m_log.Info("new");
    m_log.Close();
    const std::string text = ReadAll(m_dir.File("old.txt"));
    EXPECT_EQ(text.rfind("earlier line\n  INFO", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 15), "  INFO  | new \n");
}

TEST_F(LoggerFormat, LinesFromManyThreadsStayWhole) {
    constexpr int kThreads = 4;
    constexpr int kLines = 3000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i) m_log.InfoF("thread %d line %d", t, i);
        });
    for (auto& thread : threads) thread.join();
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    const std::regex shape(R"(  INFO [0-9:]* \| thread (\d) line (\d+) )");
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        const int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[t]++) << "lines of one thread keep their order";
    }
}

TEST(LoggerLevels, ParseLevelWords) {
    struct Case {
        const char* word;
        bool known;
        int level;
    } cases[] = {{"assert", true, 4}, {"ERROR", true, 3}, {"Info", true, 2},     {"dEbUg", true, 1},
                 {"all", true, 0},    {"", false, 0},     {"verbose", false, 0}, {"info ", false, 0}};
    for (const auto& c : cases) {
        int level = -7;
        EXPECT_EQ(CLogger::ParseLevel(c.word, &level), c.known) << c.word;
        EXPECT_EQ(level, c.known ? c.level : -7) << c.word;
    }
    EXPECT_FALSE(CLogger::ParseLevel(nullptr, nullptr));
}

}  // namespace
