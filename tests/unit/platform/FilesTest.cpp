#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>

#include "TempDir.h"
#include "platform/Files.h"
#include "platform/Time.h"

using namespace platform;

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

}  // namespace

TEST(CreateFile, CreationModesGiveTheWin32Results) {
    TempDir dir;
    const std::string existing = dir / "existing.bin";
    const std::string folder = dir / "folder";
    ::mkdir(folder.c_str(), 0755);
    struct Case {
        const char* what;
        std::string path;
        CreateMode mode;
        bool opens;
        DWORD lastError;
        int64_t sizeAfter;  // -1: the file must not exist afterwards
    } cases[] = {
        {"new file, CreateNew", dir / "a", CreateMode::CreateNew, true, ERROR_SUCCESS, 0},
        {"existing file, CreateNew", existing, CreateMode::CreateNew, false, ERROR_FILE_EXISTS, 5},
        {"missing folder, CreateNew", dir / "no/a", CreateMode::CreateNew, false, ERROR_PATH_NOT_FOUND, -1},
        {"new file, CreateAlways", dir / "b", CreateMode::CreateAlways, true, ERROR_SUCCESS, 0},
        {"existing file, CreateAlways truncates", existing, CreateMode::CreateAlways, true, ERROR_ALREADY_EXISTS, 0},
        {"missing file, OpenExisting", dir / "c", CreateMode::OpenExisting, false, ERROR_FILE_NOT_FOUND, -1},
        {"missing folder, OpenExisting", dir / "no/c", CreateMode::OpenExisting, false, ERROR_PATH_NOT_FOUND, -1},
        {"file as folder, OpenExisting", existing + "/c", CreateMode::OpenExisting, false, ERROR_PATH_NOT_FOUND, -1},
        {"existing file, OpenExisting", existing, CreateMode::OpenExisting, true, ERROR_SUCCESS, 5},
        {"existing file, OpenAlways keeps data", existing, CreateMode::OpenAlways, true, ERROR_ALREADY_EXISTS, 5},
        {"new file, OpenAlways", dir / "d", CreateMode::OpenAlways, true, ERROR_SUCCESS, 0},
        {"folder opened as a file", folder, CreateMode::OpenExisting, false, ERROR_ACCESS_DENIED, -1},
    };
    for (const auto& c : cases) {
        WriteText(existing, "hello");
        SetLastError(12345);
        const FileHandle h = CreateFile(c.path, kRead | kWrite, c.mode);
        EXPECT_EQ(h != INVALID_FILE_HANDLE, c.opens) << c.what;
        EXPECT_EQ(GetLastError(), c.lastError) << c.what;
        if (h != INVALID_FILE_HANDLE) CloseFile(h);
        if (c.path != folder) {
            EXPECT_EQ(SizeOf(c.path), c.sizeAfter) << c.what;
        }
    }
}

TEST(ReadWriteFile, RoundTripAndShortReadAtEnd) {
    TempDir dir;
    const std::string path = dir / "data";
    FileHandle h = CreateFile(path, kRead | kWrite, CreateMode::CreateNew);
    ASSERT_NE(h, INVALID_FILE_HANDLE);
    uint32_t written = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &written));
    EXPECT_EQ(written, 10u);
    EXPECT_EQ(GetFileSize(h), 10);
    EXPECT_EQ(SetFilePointer(h, 4, SEEK_SET), 4);
    char buffer[32] = {};
    uint32_t read = 0;
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &read)) << "end of file is not an error";
    EXPECT_EQ(read, 6u);
    EXPECT_EQ(std::string(buffer, read), "456789");
    EXPECT_TRUE(CloseFile(h));

    EXPECT_FALSE(ReadFile(INVALID_FILE_HANDLE, buffer, 1, &read));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseFile(INVALID_FILE_HANDLE));
}

TEST(WriteFile, FullDeviceReportsDiskFull) {
    const FileHandle h = CreateFile("/dev/full", kWrite, CreateMode::OpenExisting);
    if (h == INVALID_FILE_HANDLE) GTEST_SKIP() << "/dev/full is not available";
    uint32_t written = 99;
    EXPECT_FALSE(WriteFile(h, "abc", 3, &written));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(written, 0u);
    CloseFile(h);
}

TEST(SetFileTime, SetsWriteAndAccessTimesAndSkipsZero) {
    TempDir dir;
    const std::string path = dir / "stamped";
    FileHandle h = CreateFile(path, kWrite, CreateMode::CreateNew);
    ASSERT_NE(h, INVALID_FILE_HANDLE);
    const FILETIME written = UnixToFileTime(1234567890, 500000000);
    const FILETIME accessed = UnixToFileTime(1111111111);
    const FILETIME created = UnixToFileTime(1000000000);
    ASSERT_TRUE(SetFileTime(h, &created, &accessed, &written));
    const FILETIME zero = 0;
    ASSERT_TRUE(SetFileTime(h, nullptr, &zero, nullptr)) << "zero and null leave the stamps alone";
    CloseFile(h);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
    EXPECT_EQ(st.st_atim.tv_sec, 1111111111);
}

TEST(GetTempFileName, UniqueZeroCreatesDistinctEmptyFiles) {
    TempDir dir;
    std::string first, second;
    const unsigned a = GetTempFileName(dir.Path(), "___", 0, &first);
    const unsigned b = GetTempFileName(dir.Path(), "___", 0, &second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(first, second);
    EXPECT_TRUE(std::regex_match(first, std::regex(dir.Path() + "/___[0-9A-F]{1,4}\\.tmp"))) << first;
    EXPECT_EQ(SizeOf(first), 0);
    EXPECT_EQ(SizeOf(second), 0);
}

TEST(GetTempFileName, NonzeroUniqueOnlyNamesTheFile) {
    TempDir dir;
    std::string name;
    EXPECT_EQ(GetTempFileName(dir.Path() + "/", "recovered_", 0x1A2B, &name), 0x1A2Bu);
    EXPECT_EQ(name, dir / "recovered_1A2B.tmp");
    EXPECT_FALSE(FileExists(name));
    EXPECT_EQ(GetTempFileName(dir.Path(), "x", 0x12345, &name), 0x12345u);
    EXPECT_EQ(name, dir / "x2345.tmp") << "only the low 16 bits are used";
}

TEST(GetTempFileName, MissingFolderFails) {
    TempDir dir;
    std::string name = "untouched";
    EXPECT_EQ(GetTempFileName(dir / "missing", "___", 0, &name), 0u);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(name, "untouched");
}

TEST(CreateDirectory, ExistingAndMissingParent) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectory(dir / "new"));
    EXPECT_TRUE(DirectoryExists(dir / "new"));
    EXPECT_FALSE(CreateDirectory(dir / "new"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectory(dir / "missing/new"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(FileExists(dir / "new")) << "a folder is not a file";
}

TEST(DeleteFile, RemovesFilesAndReportsMissingOnes) {
    TempDir dir;
    WriteText(dir / "gone", "x");
    EXPECT_TRUE(DeleteFile(dir / "gone"));
    EXPECT_FALSE(FileExists(dir / "gone"));
    EXPECT_FALSE(DeleteFile(dir / "gone"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(GetDiskFreeSpaceEx, ReportsTheFileSystemSizes) {
    TempDir dir;
    uint64_t freeToCaller = 0, total = 0, totalFree = 0;
    ASSERT_TRUE(GetDiskFreeSpaceEx(dir.Path(), &freeToCaller, &total, &totalFree));
    EXPECT_GT(total, 0u);
    EXPECT_LE(freeToCaller, totalFree);
    EXPECT_LE(totalFree, total);
    EXPECT_TRUE(GetDiskFreeSpaceEx(dir.Path(), nullptr, &total, nullptr));
    EXPECT_FALSE(GetDiskFreeSpaceEx(dir / "missing", nullptr, &total, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(JoinPath, PutsExactlyOneSlashBetween) {
    struct Case {
        const char* dir;
        const char* name;
        const char* joined;
    } cases[] = {
        {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"},  {"/a//", "/b", "/a/b"}, {"/", "b", "/b"},
        {"", "b", "b"},      {"a", "b/c", "a/b/c"}, {"/a", "", "/a/"},
    };
    for (const auto& c : cases) EXPECT_EQ(JoinPath(c.dir, c.name), c.joined) << c.dir << " + " << c.name;
}
