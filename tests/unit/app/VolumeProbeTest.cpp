// What the probe answers for the sources a user meets: a volume, a partitioned disk, a
// device whose first sector cannot be read, and an image container that will not open.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/PartitionedDisk.h"
#include "app/ScanJob.h"
#include "app/VolumeProbe.h"
#include "platform/DriveTable.h"
#include "platform/RawVolume.h"
#include "tests/fixtures/DiskLayoutBuilder.h"
#include "tests/fixtures/FatImageBuilder.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFatStart = 2048;

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> FatVolume() {
    FatImageBuilder fat(FatImageBuilder::Options{});
    fat.AddFile(fat.Root(), "A.TXT", 100);
    return fat.Image();
}

class VolumeProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        char t[] = "/tmp/qvr-probe-XXXXXX";
        ASSERT_NE(mkdtemp(t), nullptr);
        m_dir = t;
        InstallPartitionLister();
        platform::DriveTable::Instance().SetForTesting({});
    }
    void TearDown() override {
        platform::ClearInjected();
        platform::DriveTable::Instance().SetForTesting({});
        fs::remove_all(m_dir);
    }
    std::string Path(const char* name) const { return m_dir + "/" + name; }
    char Add(const std::string& path) {
        const AddedSource added = AddVolumeSource(path);
        EXPECT_NE(added.letter, 0) << added.reason;
        return added.letter;
    }

    std::string m_dir;
};

TEST_F(VolumeProbeTest, AVolumeIsScannableAndHasNoTable) {
    WriteAll(Path("fat.img"), FatVolume());
    const char letter = Add(Path("fat.img"));
    EXPECT_TRUE(NamesVolume(Path("fat.img")));
    const VolumeProbe probe = ProbeVolume(letter, {.layout = true, .partitions = true});
    EXPECT_TRUE(probe.opened);
    EXPECT_TRUE(probe.firstSectorRead);
    EXPECT_EQ(probe.fileSystem, FS_FAT12);
    EXPECT_EQ(probe.table.scheme, PartitionScheme::None);
    EXPECT_TRUE(probe.partitions.empty());
    EXPECT_TRUE(platform::DriveTable::Instance().PartitionsOf(letter).empty());
}

// A FAT volume and an empty NTFS-typed partition: the disk stands for the one that holds
// a file system; a table pointing past the end is refused with its reason.
TEST_F(VolumeProbeTest, APartitionedDiskNamesItsSchemeAndScannablePartitions) {
    const std::vector<uint8_t> volume = FatVolume();
    const auto volumeSectors = static_cast<uint32_t>(volume.size() / 512);
    fixture::DiskLayoutBuilder disk(kFatStart + volumeSectors + 1024);
    disk.SetSlot(0, 0, 0x01, kFatStart, volumeSectors);
    disk.SetSlot(0, 1, 0x07, kFatStart + volumeSectors, 1024);
    std::copy(volume.begin(), volume.end(), disk.Bytes().begin() + kFatStart * std::ptrdiff_t{512});
    WriteAll(Path("disk.img"), disk.Bytes());
    const char letter = Add(Path("disk.img"));
    EXPECT_TRUE(NamesVolume(Path("disk.img")));

    const VolumeProbe probe = ProbeVolume(letter, {.layout = true, .partitions = true, .quiet = true});
    EXPECT_TRUE(probe.firstSectorRead);
    EXPECT_EQ(probe.fileSystem, FS_UNKNOWN);
    EXPECT_EQ(probe.table.scheme, PartitionScheme::Mbr);
    EXPECT_EQ(probe.table.error, "");
    ASSERT_EQ(probe.partitions.size(), 2u);
    EXPECT_EQ(probe.partitions[0].drive.partition, 1u);
    EXPECT_EQ(probe.partitions[0].drive.firstSector, kFatStart);
    EXPECT_EQ(probe.partitions[0].fileSystem, FS_FAT12);
    EXPECT_EQ(probe.partitions[1].fileSystem, FS_UNKNOWN);
    EXPECT_EQ(probe.ScannablePartitions(), std::vector<char>{probe.partitions[0].drive.letter});
    EXPECT_EQ(ProbeVolume(probe.partitions[0].drive.letter).fileSystem, FS_FAT12);

    fixture::DiskLayoutBuilder past(4096);
    past.SetSlot(0, 0, 0x07, 2048, 8192);
    WriteAll(Path("past.img"), past.Bytes());
    const char pastLetter = Add(Path("past.img"));
    const VolumeProbe refused = ProbeVolume(pastLetter, {.layout = true, .partitions = true, .quiet = true});
    EXPECT_TRUE(refused.opened);
    EXPECT_NE(refused.table.error, "");
    EXPECT_TRUE(refused.partitions.empty());
}

TEST_F(VolumeProbeTest, AnUnreadableOrMissingDeviceSaysWhatFailed) {
    WriteAll(Path("bad.img"), FatVolume());
    const char letter = Add(Path("bad.img"));
    ASSERT_TRUE(platform::InjectUnreadableSector(Path("bad.img"), 0));
    VolumeProbe probe = ProbeVolume(letter, {.layout = true, .quiet = true});
    EXPECT_TRUE(probe.opened);
    EXPECT_FALSE(probe.firstSectorRead);
    EXPECT_EQ(probe.fileSystem, FS_UNKNOWN);
    EXPECT_FALSE(IsDriveSupported(letter));

    fs::remove(Path("bad.img"));
    probe = ProbeVolume(letter, {.quiet = true});
    EXPECT_FALSE(probe.opened);
    EXPECT_EQ(probe.openError, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(probe.OpenCause(), platform::Win32ErrorText(ERROR_FILE_NOT_FOUND));
}

TEST_F(VolumeProbeTest, AContainerThatWillNotOpenIsRefusedWithItsReason) {
    std::vector<uint8_t> broken(4096, 0);
    std::copy_n("vhdxfile", 8, broken.begin());
    WriteAll(Path("broken.vhdx"), broken);
    const AddedSource added = AddVolumeSource(Path("broken.vhdx"));
    EXPECT_EQ(added.letter, 0);
    EXPECT_NE(added.reason.find("VHDX image could not be opened"), std::string::npos) << added.reason;
    EXPECT_TRUE(NamesVolume(Path("broken.vhdx")));  // an image still, never a log file

    // Entered by hand (a drive map): the probe gives the same reason as the cause.
    platform::DriveTable::Instance().SetForTesting({{'Q', Path("broken.vhdx"), false, true}});
    const VolumeProbe probe = ProbeVolume('Q', {.quiet = true});
    EXPECT_FALSE(probe.opened);
    EXPECT_EQ(probe.OpenCause(), added.reason);
    // A letter the table lacks is as absent as a missing file, whatever failed before it.
    const VolumeProbe absent = ProbeVolume('Y', {.quiet = true});
    EXPECT_EQ(absent.openError, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(absent.openFailure, "");

    EXPECT_EQ(AddVolumeSource(m_dir).reason, "not a block device or an image file");
    platform::DriveTable::Instance().SetForTesting({{'Q', m_dir, false, true}});
    EXPECT_EQ(ProbeVolume('Q').OpenCause(), "not a block device or an image file");
    EXPECT_EQ(AddVolumeSource(Path("absent.img")).reason, platform::Win32ErrorText(ERROR_FILE_NOT_FOUND));
}

}  // namespace
