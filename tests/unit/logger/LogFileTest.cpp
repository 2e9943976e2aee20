#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "common/logger/LogSink.h"
#include "common/logger/Logger.h"
#include "tests/unit/logger/LogTestUtil.h"

namespace {

using logtest::ReadAll;
using logtest::ScratchFolder;
using logtest::SplitLines;

// Logs `lines` lines in a child process, then has the child killed with SIGKILL by the
// parent, without any chance to close the file.
void LogAndGetKilled(const std::string& path, int lines) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        CLogger log(-1, LOG_ALL);
        log.Open(path.c_str());
        for (int i = 0; i < lines; ++i) log.InfoF("line %d of the child, complete", i);
        const char byte = 1;
        if (write(ready[1], &byte, 1) != 1) _exit(3);
        pause();
        _exit(2);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
}

// The data of a file a logger may still hold: everything before its NUL tail.
std::string Data(const std::string& text) {
    const size_t end = text.find_last_not_of('\0');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

TEST(LogFile, EveryLineIsInTheFileWhenTheProcessIsKilled) {
    ScratchFolder dir;
    const std::string path = dir.File("killed.log");
    constexpr int kLines = 20000;  // more than one mapping window
    LogAndGetKilled(path, kLines);

    const std::string raw = ReadAll(path);
    const std::string data = Data(raw);
    EXPECT_EQ(data.find('\0'), std::string::npos) << "no NUL byte among the lines";
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.back(), '\n');
    const auto lines = logtest::LinesAfterBanner(data);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kLines));
    EXPECT_EQ(lines.back(), "  INFO  | line 19999 of the child, complete ");

    // The next logger continues right after the last complete line.
    CLogger log(-1, LOG_ALL);
    log.Open(path.c_str());
    log.Info("next run");
    log.Close();
    const std::string after = ReadAll(path);
    EXPECT_EQ(after.find('\0'), std::string::npos);
    EXPECT_EQ(after.compare(0, data.size(), data), 0);
    EXPECT_EQ(after.substr(after.size() - 20), "  INFO  | next run \n");
}

TEST(LogFile, ClosedFileHasExactlyItsLinesAcrossWindows) {
    ScratchFolder dir;
    const std::string path = dir.File("big.log");
    CLogger log(-1, LOG_ALL);
    log.Open(path.c_str());
    const std::string filler(120, 'f');
    constexpr int kLines = 50000;  // about 6.5 MB: several windows
    for (int i = 0; i < kLines; ++i) log.InfoF("%06d %s", i, filler.c_str());
    // A line larger than a whole window.
    const std::string huge(LogSink::kChunk + 12345, 'h');
    log.Info(huge.c_str());
    log.Info("last");
    log.Close();

    const std::string text = ReadAll(path);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    const auto lines = logtest::LinesAfterBanner(text);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kLines + 2));
    for (int i = 0; i < kLines; i += 997) {
        char expected[32];
        snprintf(expected, sizeof(expected), "%06d ", i);
        EXPECT_EQ(lines[i].find(std::string("| ") + expected), 8u) << lines[i].substr(0, 40);
        EXPECT_EQ(lines[i].size(), 10u + 7 + filler.size() + 1);
    }
    EXPECT_EQ(lines[kLines], "  INFO  | " + huge + " ");
    EXPECT_EQ(lines[kLines + 1], "  INFO  | last ");
}

TEST(LogFile, SecondWriterOfTheSameFileLosesNoLines) {
    ScratchFolder dir;
    const std::string path = dir.File("shared.log");
    CLogger first(-1, LOG_ALL);
    CLogger second(-1, LOG_ALL);
    first.Open(path.c_str());
    second.Open(path.c_str());
    for (int i = 0; i < 100; ++i) {
        first.InfoF("first %d", i);
        second.InfoF("second %d", i);
    }
    first.Close();
    second.Close();
    std::string text = ReadAll(path);
    // The first writer's unused allocation may stay between the two; no line is lost.
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    const auto lines = SplitLines(text);
    for (int i = 0; i < 100; ++i) {
        const std::string a = "  INFO  | first " + std::to_string(i) + " ";
        const std::string b = "  INFO  | second " + std::to_string(i) + " ";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), a), 1) << a;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), b), 1) << b;
    }
}

TEST(LogFile, ForkedChildNeitherOverwritesNorCutsTheParentsLog) {
    ScratchFolder dir;
    const std::string path = dir.File("forked.log");
    CLogger log(-1, LOG_ALL);
    log.Open(path.c_str());
    log.Info("parent before");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        log.Info("child line");
        log.Close();  // what exit() would do to a static logger
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    // Far past the page the child saw last: stores there fault if the file was cut.
    for (int i = 0; i < 2000; ++i) log.InfoF("parent after %d", i);
    log.Close();
    std::string text = ReadAll(path);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    const auto lines = SplitLines(text);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  INFO  | parent before "), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  INFO  | child line "), 1);
    // The child's line lands behind the parent's allocation; the parent's stay in order.
    int next = 0;
    for (const auto& line : lines)
        if (line == "  INFO  | parent after " + std::to_string(next) + " ") ++next;
    EXPECT_EQ(next, 2000);
}

TEST(LogFile, DevicesAndPipesTakeLinesToo) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fds[1]);
    {
        CLogger log(-1, LOG_ALL);
        log.Open(path.c_str());
        log.Info("through a pipe");
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof(buffer))) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    EXPECT_NE(text.find("  INFO  | through a pipe \n"), std::string::npos);

    CLogger null(-1, LOG_ALL);
    null.Open("/dev/null");
    EXPECT_STREQ(null.GetLogFileName(), "/dev/null");
    null.Info("discarded");
}

TEST(LogFile, ReopeningTheSameFileKeepsAppending) {
    ScratchFolder dir;
    const std::string path = dir.File("again.log");
    CLogger log(-1, LOG_ALL);
    log.Open(path.c_str());
    log.Info("one");
    log.Open(path.c_str());
    log.Info("two");
    log.Close();
    const std::string text = ReadAll(path);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    const auto lines = SplitLines(text);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  INFO  | one "), 1);
    EXPECT_EQ(lines.back(), "  INFO  | two ");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("LOGGER MACHINE INFO") != std::string::npos; }),
              2);
}

}  // namespace
