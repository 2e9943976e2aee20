#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "platform/Folders.h"
#include "platform/InstanceLock.h"
#include "platform/Win32.h"

using namespace platform;

TEST(Folders, FollowTheXdgVariables) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "cfg").c_str());
    ScopedEnv state("XDG_STATE_HOME", (dir / "state").c_str());
    ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
    EXPECT_EQ(ConfigFolder(), dir / "cfg/quenvar");
    EXPECT_FALSE(std::filesystem::exists(dir / "cfg")) << "the profile folder is only named";
    EXPECT_EQ(StateFolder(), dir / "state/quenvar");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "state/quenvar"));
    EXPECT_EQ(CacheFolder(), dir / "cache/quenvar");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "cache/quenvar"));
}

TEST(Folders, RelativeOrMissingVariablesFallBackToHome) {
    TempDir dir;
    ScopedEnv home("HOME", dir.Path().c_str());
    ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
    ScopedEnv state("XDG_STATE_HOME", nullptr);
    ScopedEnv cache("XDG_CACHE_HOME", "");
    EXPECT_EQ(ConfigFolder(), dir / ".config/quenvar");
    EXPECT_EQ(StateFolder(), dir / ".local/state/quenvar");
    EXPECT_EQ(CacheFolder(), dir / ".cache/quenvar");
}

TEST(Folders, CacheFallsBackToTmpWhenItCannotBeMade) {
    TempDir dir;
    const std::string blocker = dir / "file";
    { std::ofstream(blocker) << "x"; }
    ScopedEnv cache("XDG_CACHE_HOME", blocker.c_str());  // a file where a folder should be
    EXPECT_EQ(CacheFolder(), "/tmp");
}

TEST(Folders, ExecutableFolderHoldsThisProgram) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::exists(folder + "/test_platform"));
}

TEST(InstanceLock, SecondHolderIsRefusedUntilRelease) {
    TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
    EXPECT_EQ(InstanceLock::LockPath(), dir / kInstanceLockName);
    InstanceLock first, second;
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_TRUE(first.TryAcquire()) << "taking it again is harmless";
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    first.Release();
    EXPECT_TRUE(second.TryAcquire());
    {
        InstanceLock scoped;
        EXPECT_FALSE(scoped.TryAcquire());
    }
}

TEST(InstanceLock, IsHeldAgainstAnotherProcess) {
    TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
    InstanceLock lock;
    ASSERT_TRUE(lock.TryAcquire());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock other;
        ::_exit(other.TryAcquire() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process got the lock";
}
