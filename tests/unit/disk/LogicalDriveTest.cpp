#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "DiskFixture.h"
#include "platform/DriveTable.h"
#include "platform/RawVolume.h"

namespace {

std::vector<int> DescriptorsOn(const std::string& path) {
    std::vector<int> found;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == path) found.push_back(std::atoi(entry->d_name));
    }
    if (dir) ::closedir(dir);
    return found;
}

class LogicalDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        // 20 whole sectors and a 100-byte tail that is not part of the volume.
        m_image = std::filesystem::canonical(m_dir.WriteImage("disk.img", PatternVolume(20, 100)));
        platform::DriveSource source;
        source.letter = 'E';
        source.source = m_image;
        platform::DriveTable::Instance().SetForTesting({source});
    }
    void TearDown() override { platform::ClearInjected(); }

    ScratchDir m_dir;
    std::string m_image;
};

}  // namespace

TEST_F(LogicalDriveTest, OpensTheMappedSourceReadOnly) {
    LogCapture log;
    CLogicalDrive drive;
    ASSERT_EQ(drive.Open('e'), 0);
    EXPECT_EQ(drive.TotalSectors(), 20u);
    EXPECT_STREQ(drive.DeviceName(), m_image.c_str());
    const auto fds = DescriptorsOn(m_image);
    ASSERT_EQ(fds.size(), 1u);
    EXPECT_EQ(::fcntl(fds[0], F_GETFL) & O_ACCMODE, O_RDONLY) << "the volume must never be open for writing";
    EXPECT_TRUE(HasLogLine(log.Text(), "try to open disk: " + m_image));
}

TEST_F(LogicalDriveTest, UnknownLetterFailsWithFileNotFound) {
    LogCapture log;
    CLogicalDrive drive;
    EXPECT_EQ(drive.Open('K'), -1);
    const std::string text = log.Text();
    EXPECT_TRUE(HasLogLine(text, "try to open disk: K:")) << text;
    EXPECT_TRUE(HasLogLine(text, "GetLastError() = 0x00000002, The system cannot find the file specified.")) << text;
}

TEST_F(LogicalDriveTest, MissingImageAndFolderAreRefused) {
    CLogicalDrive drive;
    EXPECT_EQ(drive.OpenSource(m_dir / "missing.img"), -1);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(drive.OpenSource(m_dir.Path()), -1);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DescriptorsOn(m_dir.Path()).empty()) << "a refused folder is not left open";
}

TEST_F(LogicalDriveTest, FailedReadLogsByteCountAndError) {
    platform::InjectUnreadableSector(m_image, 3);
    CLogicalDrive drive;
    ASSERT_EQ(drive.OpenSource(m_image), 0);
    std::vector<uint8_t> buffer(10 * kSectorSize);
    uint32_t got = 99;
    LogCapture log;
    ASSERT_TRUE(drive.Seek(0));
    EXPECT_FALSE(drive.Read(buffer.data(), 10, &got));
    EXPECT_EQ(got, 3u) << "the sectors before the bad one arrived";
    EXPECT_TRUE(HasLogLine(log.Text(), "Error while reading sectors. Count is -  5120. GetLastError returned 30"));
}

TEST_F(LogicalDriveTest, ReadEndsAtTheLastWholeSector) {
    CLogicalDrive drive;
    ASSERT_EQ(drive.OpenSource(m_image), 0);
    std::vector<uint8_t> buffer(4 * kSectorSize, 0xEE);
    uint32_t got = 0;
    ASSERT_TRUE(drive.Seek(19));
    EXPECT_TRUE(drive.Read(buffer.data(), 4, &got));
    EXPECT_EQ(got, 1u);
    EXPECT_TRUE(HoldsSector(buffer, 0, 19));
    EXPECT_EQ(buffer[kSectorSize], 0xEE) << "the tail of the image was copied";
    EXPECT_EQ(drive.Read(nullptr, 1, &got), -1);
}

TEST_F(LogicalDriveTest, CloseAndDestructorReleaseTheHandle) {
    {
        auto drive = std::make_unique<CLogicalDrive>();
        ASSERT_EQ(drive->Open('E'), 0);
        EXPECT_EQ(DescriptorsOn(m_image).size(), 1u);
    }
    EXPECT_TRUE(DescriptorsOn(m_image).empty()) << "deleting an open drive closes it";

    CLogicalDrive drive;
    drive.Close();  // never opened: nothing to close, and no standard stream may be closed
    EXPECT_NE(::fcntl(0, F_GETFD), -1);
    ASSERT_EQ(drive.Open('E'), 0);
    ASSERT_EQ(drive.Open('E'), 0);
    EXPECT_EQ(DescriptorsOn(m_image).size(), 1u) << "opening again does not leak the first handle";
    drive.Close();
    drive.Close();
    EXPECT_TRUE(DescriptorsOn(m_image).empty());
    EXPECT_STREQ(drive.DeviceName(), "");
    std::vector<uint8_t> buffer(kSectorSize);
    uint32_t got = 0;
    EXPECT_FALSE(drive.Read(buffer.data(), 1, &got));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(LogicalDriveTest, ErrorLineNamesTheLow32BitsOfAHighSector) {
    // A sparse image just over 2 TiB: sector 2^32 + 3 is logged as 3.
    const std::string sparse = m_dir / "big.img";
    const uint64_t sectors = (1ull << 32) + 16;
    { std::ofstream touch(sparse); }
    if (::truncate(sparse.c_str(), static_cast<off_t>(sectors * kSectorSize)) != 0)
        GTEST_SKIP() << "the file system cannot hold a sparse 2 TiB file";
    platform::InjectUnreadableSector(sparse, (1ull << 32) + 3);
    CLogicalDrive drive;
    ASSERT_EQ(drive.OpenSource(sparse), 0);
    EXPECT_EQ(drive.TotalSectors(), sectors);
    std::vector<uint8_t> buffer(8 * kSectorSize);
    LogCapture log;
    EXPECT_EQ(drive.ReadSectorsSafe((1ull << 32) + 1, buffer.data(), 8, nullptr), -3);
    EXPECT_TRUE(HasLogLine(log.Text(), "error reading sector 3"));
}

TEST_F(LogicalDriveTest, PartitionLetterReadsItsWindowOnly) {
    platform::DriveSource part;
    part.letter = 'F';
    part.source = m_image;
    part.partition = 2;
    part.firstSector = 5;
    part.sectorCount = 4;
    part.diskLetter = 'E';
    platform::DriveSource whole;
    whole.letter = 'E';
    whole.source = m_image;
    platform::DriveTable::Instance().SetForTesting({whole, part});
    platform::InjectUnreadableSector(m_image, 7);

    LogCapture log;
    CLogicalDrive drive;
    ASSERT_EQ(drive.Open('F'), 0);
    EXPECT_EQ(drive.TotalSectors(), 4u);
    EXPECT_EQ(drive.DeviceName(), m_image + "@2");
    EXPECT_TRUE(HasLogLine(log.Text(), "try to open disk: " + m_image + "@2"));
    std::vector<uint8_t> buffer(8 * kSectorSize);
    uint32_t got = 0;
    ASSERT_EQ(drive.ReadSectors(0, buffer.data(), 2, &got), 1);
    EXPECT_EQ(got, 2u);
    EXPECT_TRUE(HoldsSector(buffer, 0, 5));
    EXPECT_TRUE(HoldsSector(buffer, 1, 6));
    // Sector 2 of the window is sector 7 of the source, made unreadable.
    EXPECT_EQ(drive.ReadSectors(2, buffer.data(), 1, &got), 0);
    // Reads end at the window's end as they end at a source's end.
    ASSERT_EQ(drive.ReadSectors(3, buffer.data(), 8, &got), 1);
    EXPECT_EQ(got, 1u);
    EXPECT_TRUE(HoldsSector(buffer, 0, 8));
    EXPECT_EQ(drive.ReadSectors(4, buffer.data(), 1, &got), kSeekFailed);

    // A window past the source's end is refused; one running over it ends with it.
    EXPECT_EQ(drive.OpenSource(m_image, 20, 4), -1);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(drive.OpenSource(m_image, 18, 10), 0);
    EXPECT_EQ(drive.TotalSectors(), 2u);
}
