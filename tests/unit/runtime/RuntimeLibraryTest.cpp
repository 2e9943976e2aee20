#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/logger/Logger.h"
#include "common/runtime/RuntimeLibrary.h"
#include "common/runtime/RuntimeQueries.h"
#include "platform/DynamicLibrary.h"
#include "tests/unit/logger/LogTestUtil.h"

namespace {

using logtest::ReadAll;
using logtest::ScopedEnv;
using logtest::WriteAll;

// Every test gets its own profile and folders, and the real library name back at the end.
class Runtime : public ::testing::Test {
protected:
    Runtime()
        : m_profile("QUENVAR_PROFILE", m_dir.File("profile.ini")),
          m_state("XDG_STATE_HOME", m_dir.File("state")),
          m_cache("XDG_CACHE_HOME", m_dir.File("cache")),
          m_config("XDG_CONFIG_HOME", m_dir.File("config")) {}
    ~Runtime() override { platform::DynamicLibrary::SetRuntimeLibraryNameForTesting(nullptr); }

    void Profile(const std::string& text) { WriteAll(m_dir.File("profile.ini"), text); }
    // A library that exists but is not the runtime library.
    static std::string ForeignLibraryPath() {
        static std::string path = [] {
            void* handle = dlopen("libm.so.6", RTLD_NOW | RTLD_NOLOAD);
            if (!handle) handle = dlopen("libm.so.6", RTLD_NOW);
            link_map* map = nullptr;
            if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return std::string();
            return std::string(map->l_name);
        }();
        return path;
    }

    logtest::ScratchFolder m_dir;
    ScopedEnv m_profile;
    ScopedEnv m_state;
    ScopedEnv m_cache;
    ScopedEnv m_config;
};

TEST_F(Runtime, KeptLoadedLibraryAnswersProfileQuestions) {
    Profile("Version=9.9\n[Other]\nVersion=1.0\n");
    runtime::CRuntimeLibrary library;
    ASSERT_NO_THROW(library.LoadMvcmn());
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(library.ReadProfileString("", "ProgramTitle"), "Quenvar");
    EXPECT_EQ(library.ReadProfileString("", "Version"), "9.9");
    EXPECT_EQ(library.ReadProfileString("other", "version"), "1.0");
    EXPECT_EQ(library.ReadProfileString("", "NoSuchKey", "fallback"), "fallback");
    EXPECT_NO_THROW(library.LoadMvcmn()) << "a second load is harmless";
}

TEST_F(Runtime, KeptLoadedFailuresThrowMinusOne) {
    struct Case {
        std::string name;
        bool logsInitialize;
    } cases[] = {{"libmvcmn-absent.so", false}, {ForeignLibraryPath(), true}};
    for (const auto& c : cases) {
        ASSERT_FALSE(c.name.empty());
        g_Logger.Open(m_dir.File("kept.log").c_str());
        platform::DynamicLibrary::SetRuntimeLibraryNameForTesting(c.name.c_str());
        runtime::CRuntimeLibrary library;
        int code = 0;
        try {
            library.LoadMvcmn();
        } catch (int thrown) {
            code = thrown;
        }
        g_Logger.Close();
        EXPECT_EQ(code, -1) << c.name;
        EXPECT_FALSE(library.IsLoaded());
        EXPECT_EQ(library.ReadProfileString("", "ProgramTitle", "dflt"), "dflt");
        EXPECT_FALSE(library.OnToolboxProducts(kToolboxFirstCommand));
        const bool logged =
            ReadAll(m_dir.File("kept.log")).find(" | LoadMvcmn()-> Initialize proc address failed \n") !=
            std::string::npos;
        EXPECT_EQ(logged, c.logsInitialize) << c.name;
    }
}

TEST_F(Runtime, OneShotFolderQueries) {
    char buffer[260];
    ASSERT_NE(runtime::GetLogFilesFolder(buffer, sizeof(buffer)), 0);
    EXPECT_EQ(std::string(buffer), m_dir.File("state") + "/quenvar/");
    struct stat st {};
    EXPECT_EQ(stat(buffer, &st), 0);
    EXPECT_EQ(runtime::QueryTempFilesFolder(), m_dir.File("cache") + "/quenvar/");
    EXPECT_EQ(stat(m_dir.File("cache/quenvar").c_str(), &st), 0) << "the temporary folder is created";
    // Too small a buffer is a failure, not a cut path.
    char small[8];
    EXPECT_EQ(runtime::GetTempFilesFolder(small, sizeof(small)), 0);
}

TEST_F(Runtime, OneShotQueriesAnswerZeroWithoutTheLibrary) {
    for (const std::string& name : {std::string("libmvcmn-absent.so"), ForeignLibraryPath()}) {
        platform::DynamicLibrary::SetRuntimeLibraryNameForTesting(name.c_str());
        char buffer[260] = "untouched";
        EXPECT_EQ(runtime::GetLogFilesFolder(buffer, sizeof(buffer)), 0) << name;
        EXPECT_EQ(runtime::GetTempFilesFolder(buffer, sizeof(buffer)), 0) << name;
        EXPECT_EQ(runtime::QueryLogFilesFolder(), "") << name;
    }
}

TEST_F(Runtime, LoggerLevelFromTheProfile) {
    struct Case {
        std::string profile;
        int start;
        int expected;
    } cases[] = {
        {"LogLevel=error\n", 0, LOG_ERROR},
        {"LogLevel=ERROR\n", 0, LOG_ERROR},
        {"  loglevel = Assert  \n", 0, LOG_ASSERT},
        {"LogLevel=debug\n", 3, LOG_DEBUG},
        {"LogLevel=all\n", 3, LOG_ALL},
        {"LogLevel=verbose\n", 0, 0},
        {"LogLevel=\n", 3, 3},
        {"[Other]\nLogLevel=error\n", 0, LOG_INFO},  // only the section "" counts; built-in info
        {"", 0, LOG_INFO},
    };
    for (const auto& c : cases) {
        Profile(c.profile);
        CLogger log(12, c.start);
        EXPECT_EQ(log.GetMinLevel(), c.expected) << c.profile;
    }
    Profile("LogLevel=error\n");
    EXPECT_EQ(CLogger(-1, 0).GetMinLevel(), 0) << "a negative product reads no profile";
    platform::DynamicLibrary::SetRuntimeLibraryNameForTesting("libmvcmn-absent.so");
    EXPECT_EQ(CLogger(12, 1).GetMinLevel(), 1) << "no library: the level stays";
}

TEST_F(Runtime, ErrorLevelFromTheProfileWritesOnlyErrorsAndAsserts) {
    Profile("LogLevel=Error\n");
    CLogger log(12, LOG_ALL);
    log.Open(m_dir.File("levels.log").c_str());
    log.Info("info");
    log.Error("error");
    log.AssertNumber(0, "assert", 1);
    log.Close();
    EXPECT_EQ(logtest::SplitLines(ReadAll(m_dir.File("levels.log"))),
              (std::vector<std::string>{" ERROR  | error ", "ASSERT  | assert [1] "}));
}

}  // namespace
