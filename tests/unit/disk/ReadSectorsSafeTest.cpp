// The robust read and its edge cases, run against every back-end: the memory drive,
// the logical drive over an image file and the 9x drive over the same image.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#include "DiskFixture.h"
#include "fslib/disk/MemoryDrive.h"
#include "platform/DriveTable.h"
#include "platform/RawVolume.h"

namespace {

constexpr uint32_t kVolumeSectors = 200;
constexpr char kImageLetter = 'Q';

struct Backend {
    const char* name;
    std::function<std::unique_ptr<CDiskDrive>(const ScratchDir&, const std::set<uint64_t>& bad)> make;
};

void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }

std::unique_ptr<CDiskDrive> MakeMemory(const ScratchDir&, const std::set<uint64_t>& bad) {
    auto drive = std::make_unique<CMemoryDrive>(PatternVolume(kVolumeSectors));
    for (uint64_t s : bad) drive->SetUnreadable(s);
    return drive;
}

std::string ImageWithFaults(const ScratchDir& dir, const std::set<uint64_t>& bad) {
    const std::string path = dir.WriteImage("volume.img", PatternVolume(kVolumeSectors));
    for (uint64_t s : bad) platform::InjectUnreadableSector(path, s);
    platform::DriveSource source;
    source.letter = kImageLetter;
    source.source = path;
    platform::DriveTable::Instance().SetForTesting({source});
    return path;
}

std::unique_ptr<CDiskDrive> MakeLogical(const ScratchDir& dir, const std::set<uint64_t>& bad) {
    ImageWithFaults(dir, bad);
    auto drive = std::make_unique<CLogicalDrive>();
    if (drive->Open(kImageLetter) != 0) return nullptr;
    return drive;
}

std::unique_ptr<CDiskDrive> MakeWin9x(const ScratchDir& dir, const std::set<uint64_t>& bad) {
    ImageWithFaults(dir, bad);
    auto drive = std::make_unique<CWin9xLogicalDrive>();
    if (drive->Open(kImageLetter) != 0) return nullptr;
    return drive;
}

class ReadSectorsSafeTest : public ::testing::TestWithParam<Backend> {
protected:
    void TearDown() override { platform::ClearInjected(); }
    std::unique_ptr<CDiskDrive> Make(const std::set<uint64_t>& bad = {}) { return GetParam().make(m_dir, bad); }
    ScratchDir m_dir;
};

}  // namespace

TEST_P(ReadSectorsSafeTest, SeekStopsAtTheLastSector) {
    auto drive = Make();
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->TotalSectors(), kVolumeSectors);
    EXPECT_FALSE(drive->Seek(kVolumeSectors));
    EXPECT_TRUE(drive->Seek(kVolumeSectors - 1));
    EXPECT_FALSE(drive->Seek(UINT64_MAX));
}

TEST_P(ReadSectorsSafeTest, ReadSectorsReadsOrReportsTheFailedSeek) {
    auto drive = Make();
    ASSERT_TRUE(drive);
    std::vector<uint8_t> buffer(3 * kSectorSize);
    uint32_t got = 0;
    EXPECT_TRUE(drive->ReadSectors(41, buffer.data(), 3, &got));
    EXPECT_EQ(got, 3u);
    EXPECT_TRUE(HoldsSector(buffer, 0, 41) && HoldsSector(buffer, 2, 43));
    EXPECT_EQ(drive->ReadSectors(kVolumeSectors, buffer.data(), 1, &got), kSeekFailed);
}

TEST_P(ReadSectorsSafeTest, ClampsAReadRunningPastTheEnd) {
    auto drive = Make();
    ASSERT_TRUE(drive);
    std::vector<uint8_t> buffer(10 * kSectorSize, 0xEE);
    uint32_t bad = 1234;
    EXPECT_EQ(drive->ReadSectorsSafe(kVolumeSectors - 4, buffer.data(), 10, &bad), 1);
    EXPECT_EQ(bad, 0u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(HoldsSector(buffer, i, kVolumeSectors - 4 + i)) << i;
    for (uint32_t i = 4; i < 10; ++i) EXPECT_TRUE(IsZeroSlot(buffer, i)) << "slot " << i << " past the end";
}

TEST_P(ReadSectorsSafeTest, ThirdSectorUnreadable) {
    auto drive = Make({7});
    ASSERT_TRUE(drive);
    std::vector<uint8_t> buffer(6 * kSectorSize, 0xEE);
    uint32_t bad = 1234;
    LogCapture log;
    EXPECT_EQ(drive->ReadSectorsSafe(5, buffer.data(), 6, &bad), -3);
    EXPECT_TRUE(HoldsSector(buffer, 0, 5));
    EXPECT_TRUE(HoldsSector(buffer, 1, 6));
    for (size_t i = 2; i < 6; ++i) EXPECT_TRUE(IsZeroSlot(buffer, i)) << "slot " << i;
    EXPECT_EQ(bad, 1234u) << "the bad-sector count is not written on failure";
    EXPECT_TRUE(HasLogLine(log.Text(), "error reading sector 7"));
}

TEST_P(ReadSectorsSafeTest, GoodRangeAfterABadOneReadsWhole) {
    auto drive = Make({7});
    ASSERT_TRUE(drive);
    std::vector<uint8_t> buffer(100 * kSectorSize, 0xEE);
    uint32_t bad = 1234;
    EXPECT_EQ(drive->ReadSectorsSafe(8, buffer.data(), 100, &bad), 1);
    EXPECT_EQ(bad, 0u);
    for (uint32_t i = 0; i < 100; ++i) ASSERT_TRUE(HoldsSector(buffer, i, 8 + i)) << i;
}

TEST_P(ReadSectorsSafeTest, SeekFailureAndMissingBuffer) {
    auto drive = Make();
    ASSERT_TRUE(drive);
    std::vector<uint8_t> buffer(kSectorSize);
    uint32_t bad = 1234;
    EXPECT_EQ(drive->ReadSectorsSafe(kVolumeSectors, buffer.data(), 1, &bad), kSeekFailed);
    EXPECT_EQ(drive->ReadSectorsSafe(0, nullptr, 4, &bad), -3);
    EXPECT_EQ(bad, 1234u);
    EXPECT_EQ(drive->ReadSectorsSafe(0, buffer.data(), 1, nullptr), 1) << "the count pointer is optional";
}

INSTANTIATE_TEST_SUITE_P(Backends, ReadSectorsSafeTest,
                         ::testing::Values(Backend{"Memory", MakeMemory}, Backend{"Logical", MakeLogical},
                                           Backend{"Win9x", MakeWin9x}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MemoryDrive, BulkReadIsOneCallAndFallbackGoesSectorBySector) {
    CMemoryDrive drive(PatternVolume(32));
    std::vector<uint8_t> buffer(8 * kSectorSize);
    uint32_t bad = 9;
    EXPECT_EQ(drive.ReadSectorsSafe(0, buffer.data(), 8, &bad), 1);
    EXPECT_EQ(drive.ReadCalls(), 1u);
    drive.SetUnreadable(20);
    EXPECT_EQ(drive.ReadSectorsSafe(16, buffer.data(), 8, &bad), -3);
    EXPECT_EQ(drive.ReadCalls(), 1u + 1u + 5u) << "one bulk read, then sectors 16..20";
}

TEST(MemoryDrive, ReadStopsBeforeAnUnreadableSector) {
    CMemoryDrive drive(PatternVolume(16, 300));
    EXPECT_EQ(drive.TotalSectors(), 16u) << "a trailing partial sector is not part of the volume";
    drive.SetUnreadable(4);
    std::vector<uint8_t> buffer(8 * kSectorSize);
    uint32_t got = 0;
    ASSERT_TRUE(drive.Seek(1));
    EXPECT_FALSE(drive.Read(buffer.data(), 8, &got));
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(GetLastError(), ERROR_READ_FAULT);
    EXPECT_EQ(drive.Read(nullptr, 1, &got), -1);
    drive.Close();
    ASSERT_TRUE(drive.Seek(0));
    EXPECT_FALSE(drive.Read(buffer.data(), 1, &got));
    EXPECT_EQ(drive.Open('Q'), 0);
    EXPECT_TRUE(drive.Read(buffer.data(), 1, &got));
}
