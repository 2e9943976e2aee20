#include <gtest/gtest.h>

#include "DiskFixture.h"
#include "platform/DosAbsoluteRead.h"
#include "platform/DriveTable.h"
#include "platform/RawVolume.h"

namespace {

class Win9xDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_image = m_dir.WriteImage("floppy.img", PatternVolume(300));
        platform::DriveSource source;
        source.letter = 'F';
        source.source = m_image;
        platform::DriveTable::Instance().SetForTesting({source});
        platform::ResetDosAbsoluteReadCalls();
    }
    void TearDown() override { platform::ClearInjected(); }

    ScratchDir m_dir;
    std::string m_image;
};

}  // namespace

TEST_F(Win9xDriveTest, ReadsAreSentInChunksOfAtMost64) {
    struct Case {
        uint32_t sectors;
        uint32_t calls;
    } cases[] = {{1, 1}, {64, 1}, {65, 2}, {128, 2}, {130, 3}, {200, 4}};
    for (const auto& c : cases) {
        CWin9xLogicalDrive drive;
        ASSERT_EQ(drive.Open('F'), 0);
        platform::ResetDosAbsoluteReadCalls();
        std::vector<uint8_t> buffer(c.sectors * kSectorSize);
        uint32_t got = 0;
        ASSERT_TRUE(drive.Seek(10));
        EXPECT_TRUE(drive.Read(buffer.data(), c.sectors, &got)) << c.sectors;
        EXPECT_EQ(got, c.sectors);
        EXPECT_EQ(drive.TransferCount(), c.calls) << c.sectors << " sectors";
        EXPECT_EQ(platform::DosAbsoluteReadCalls(), c.calls) << c.sectors << " sectors";
        for (uint32_t i = 0; i < c.sectors; ++i) ASSERT_TRUE(HoldsSector(buffer, i, 10 + i)) << c.sectors << "/" << i;
    }
}

TEST_F(Win9xDriveTest, FailedChunkDoesNotShiftTheOthersAndFailsTheRead) {
    platform::InjectUnreadableSector(m_image, 12);
    CWin9xLogicalDrive drive;
    ASSERT_EQ(drive.Open('F'), 0);
    std::vector<uint8_t> buffer(130 * kSectorSize);
    uint32_t got = 0;
    ASSERT_TRUE(drive.Seek(0));
    EXPECT_FALSE(drive.Read(buffer.data(), 130, &got)) << "a good last chunk hid a bad first one";
    EXPECT_EQ(got, 66u);
    EXPECT_EQ(drive.TransferCount(), 3u);
    for (uint32_t i = 64; i < 130; ++i) ASSERT_TRUE(HoldsSector(buffer, i, i)) << i;
}

TEST_F(Win9xDriveTest, ReadIsClampedToTheVolume) {
    CWin9xLogicalDrive drive;
    ASSERT_EQ(drive.Open('F'), 0);
    std::vector<uint8_t> buffer(100 * kSectorSize);
    uint32_t got = 0;
    ASSERT_TRUE(drive.Seek(270));
    EXPECT_TRUE(drive.Read(buffer.data(), 100, &got));
    EXPECT_EQ(got, 30u);
    EXPECT_EQ(drive.TransferCount(), 1u);
    EXPECT_TRUE(HoldsSector(buffer, 29, 299));
}

TEST_F(Win9xDriveTest, OpenAndCloseStates) {
    CWin9xLogicalDrive drive;
    std::vector<uint8_t> buffer(kSectorSize);
    uint32_t got = 7;
    EXPECT_FALSE(drive.Read(buffer.data(), 1, &got)) << "not open";
    EXPECT_EQ(drive.Open('Z'), -1) << "no source for Z:";
    ASSERT_EQ(drive.Open('f'), 0) << "a lower-case letter names the same drive";
    EXPECT_EQ(drive.TotalSectors(), 300u);
    ASSERT_TRUE(drive.Seek(299));
    EXPECT_TRUE(drive.Read(buffer.data(), 1, &got));
    EXPECT_TRUE(HoldsSector(buffer, 0, 299));
    drive.Close();
    EXPECT_EQ(drive.TotalSectors(), 0u);
    EXPECT_FALSE(drive.Seek(0));
    drive.Close();
    EXPECT_FALSE(drive.Read(buffer.data(), 1, &got));
}

TEST_F(Win9xDriveTest, OneTransferNeverExceeds64Sectors) {
    CWin9xLogicalDrive drive;
    ASSERT_EQ(drive.Open('F'), 0);
    std::vector<uint8_t> buffer(65 * kSectorSize);
    uint32_t done = 9;
    EXPECT_FALSE(drive.TransferSectors(buffer.data(), 65, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(platform::DosAbsoluteReadCalls(), 0u);
    EXPECT_TRUE(drive.TransferSectors(buffer.data(), 64, &done));
    EXPECT_EQ(done, 64u);
    EXPECT_TRUE(drive.TransferSectors(buffer.data(), 1, &done));
    EXPECT_TRUE(HoldsSector(buffer, 0, 64)) << "a transfer advances the position";
}

TEST(DosAbsoluteRead, RefusesBadRequests) {
    std::vector<uint8_t> buffer(65 * kSectorSize);
    const intptr_t device = platform::OpenVwin32Device();
    platform::DISKIO request;
    request.lpBuffer = buffer.data();
    request.wSectors = 65;
    EXPECT_FALSE(platform::DosAbsoluteRead(device, 3, request));
    request.wSectors = 1;
    EXPECT_FALSE(platform::DosAbsoluteRead(device, 0, request)) << "drive numbers start at 1";
    EXPECT_FALSE(platform::DosAbsoluteRead(device, 27, request));
    EXPECT_FALSE(platform::DosAbsoluteRead(0, 3, request));
    request.lpBuffer = nullptr;
    EXPECT_FALSE(platform::DosAbsoluteRead(device, 3, request));
}
