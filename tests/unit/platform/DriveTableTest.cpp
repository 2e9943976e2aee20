#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "platform/BlockDevices.h"
#include "platform/DriveTable.h"

using namespace platform;

namespace {

DriveSource Drive(char letter, const std::string& source, bool mapped = false) {
    DriveSource d;
    d.letter = letter;
    d.source = source;
    d.mapped = mapped;
    return d;
}

std::string Letters(const std::vector<DriveSource>& drives) {
    std::string text;
    for (const auto& d : drives) text += std::string(1, d.letter) + "=" + d.source + ";";
    return text;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// One device folder of a fake /sys/class/block.
void AddDevice(const std::string& root, const std::string& relative, const char* dev, const char* size,
               bool partition) {
    const std::string folder = root + "/" + relative;
    WriteFile(folder + "/dev", dev);
    WriteFile(folder + "/size", size);
    if (partition) WriteFile(folder + "/partition", "1");
}

}  // namespace

TEST(ParseDriveMap, ReadsBothSpellingsAndSkipsJunk) {
    const auto fromEnv = DriveTable::ParseDriveMap(" e=/images/a.img ;F:=/dev/sdc1;;bad;7=/x;G=; H = /h.img ", ';');
    EXPECT_EQ(Letters(fromEnv), "E=/images/a.img;F=/dev/sdc1;H=/h.img;");
    for (const auto& d : fromEnv) EXPECT_TRUE(d.mapped);

    const auto fromProfile =
        DriveTable::ParseDriveMap("# my images\r\n[drives]\r\nK=/k.img\r\nL=/with space.img\r\nM\r\n", '\n');
    EXPECT_EQ(Letters(fromProfile), "K=/k.img;L=/with space.img;");
}

TEST(ParseDriveMap, ResolvesRelativeImagePaths) {
    TempDir dir;
    WriteFile(dir / "v.img", "x");
    const std::string old = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const auto map = DriveTable::ParseDriveMap("E=v.img", ';');
    std::filesystem::current_path(old);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map[0].source, std::filesystem::canonical(dir / "v.img").string());
    EXPECT_FALSE(map[0].isBlockDevice);
}

TEST(ApplyDriveMap, MappedEntriesWinOverAutomaticLetters) {
    const std::vector<DriveSource> automatic = {Drive('C', "/dev/vda"), Drive('D', "/dev/sdb1"),
                                                Drive('E', "/dev/sdb2")};
    struct Case {
        const char* what;
        std::vector<DriveSource> map;
        const char* table;
    } cases[] = {
        {"no map", {}, "C=/dev/vda;D=/dev/sdb1;E=/dev/sdb2;"},
        {"free letter", {Drive('K', "/k.img", true)}, "C=/dev/vda;D=/dev/sdb1;E=/dev/sdb2;K=/k.img;"},
        {"taken letter moves the automatic one",
         {Drive('D', "/d.img", true)},
         "C=/dev/vda;D=/d.img;E=/dev/sdb2;F=/dev/sdb1;"},
        {"mapped source keeps only its mapped letter",
         {Drive('G', "/dev/sdb1", true)},
         "C=/dev/vda;E=/dev/sdb2;G=/dev/sdb1;"},
        {"later entry wins for a letter",
         {Drive('H', "/one.img", true), Drive('H', "/two.img", true)},
         "C=/dev/vda;D=/dev/sdb1;E=/dev/sdb2;H=/two.img;"},
        {"root letter mapped", {Drive('C', "/c.img", true)}, "C=/c.img;D=/dev/sdb1;E=/dev/sdb2;F=/dev/vda;"},
    };
    for (const auto& c : cases) EXPECT_EQ(Letters(DriveTable::ApplyDriveMap(automatic, c.map)), c.table) << c.what;
}

TEST(AutoDrives, RootIsCAndOthersFollowInOrder) {
    std::vector<BlockDevice> volumes(3);
    volumes[0].path = "/dev/sda1", volumes[0].device = makedev(8, 1);
    volumes[1].path = "/dev/sda2", volumes[1].device = makedev(8, 2);
    volumes[2].path = "/dev/sdb", volumes[2].device = makedev(8, 16);
    EXPECT_EQ(Letters(DriveTable::AutoDrives(volumes, makedev(8, 2))), "C=/dev/sda2;D=/dev/sda1;E=/dev/sdb;");
    EXPECT_EQ(Letters(DriveTable::AutoDrives(volumes, std::nullopt)), "D=/dev/sda1;E=/dev/sda2;F=/dev/sdb;")
        << "without a root device C: stays free";
}

TEST(NaturalLess, ComparesDigitRunsAsNumbers) {
    const std::vector<std::string> sorted = {"loop2", "loop10", "nvme0n1", "nvme0n1p2", "nvme0n1p10", "sda",
                                             "sda1",  "sda02x", "sda9",    "sda10",     "sdb"};
    for (size_t i = 0; i + 1 < sorted.size(); ++i) {
        EXPECT_TRUE(NaturalLess(sorted[i], sorted[i + 1])) << sorted[i] << " < " << sorted[i + 1];
        EXPECT_FALSE(NaturalLess(sorted[i + 1], sorted[i])) << sorted[i + 1] << " !< " << sorted[i];
    }
    EXPECT_FALSE(NaturalLess("sda", "sda"));
}

TEST(ListBlockDevices, ReadsSysfsAndPicksVolumes) {
    TempDir sys;
    const std::string block = sys / "block";
    AddDevice(block, "sda", "8:0", "2000", false);
    AddDevice(block, "sda/sda1", "8:1", "1000", true);
    AddDevice(block, "sda/sda10", "8:10", "500", true);
    std::filesystem::create_directory_symlink(block + "/sda/sda1", block + "/sda1");
    std::filesystem::create_directory_symlink(block + "/sda/sda10", block + "/sda10");
    AddDevice(block, "sdb", "8:16", "4096", false);
    AddDevice(block, "loop10", "7:10", "64", false);
    AddDevice(block, "loop2", "7:2", "0", false);
    AddDevice(block, "cciss!c0d0", "104:0", "8", false);
    AddDevice(block, "broken", "garbage", "8", false);
    WriteFile(block + "/sdb/uevent", "MAJOR=8\nMINOR=16\nDEVNAME=disk/named\nDEVTYPE=disk\n");

    const auto devices = ListBlockDevices(block);
    std::string names;
    for (const auto& d : devices) names += d.name + (d.partition ? "(p)" : d.hasPartitions ? "(d)" : "") + " ";
    EXPECT_EQ(names, "cciss!c0d0 loop2 loop10 sda(d) sda1(p) sda10(p) sdb ");
    ASSERT_EQ(devices.size(), 7u);
    EXPECT_EQ(devices[0].path, "/dev/cciss/c0d0");
    EXPECT_EQ(devices[6].path, "/dev/disk/named");
    EXPECT_EQ(devices[6].device, makedev(8, 16));
    EXPECT_EQ(devices[6].sectors, 4096u);

    std::string volumes;
    for (const auto& d : VolumeDevices(devices)) volumes += d.name + " ";
    EXPECT_EQ(volumes, "cciss!c0d0 loop10 sda1 sda10 sdb ") << "empty loop and partitioned disk left out";
}

TEST(DriveTable, ReloadMergesProfileEnvironmentAndAddedSources) {
    TempDir dir;
    WriteFile(dir / "config/quenvar/drives", "R=" + dir / "r.img" + "\nS=" + dir / "s.img\n");
    WriteFile(dir / "r.img", std::string(1024, 'r'));
    WriteFile(dir / "added.img", std::string(512, 'a'));
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    ScopedEnv env("QUENVAR_DRIVES", ("S=" + dir / "t.img").c_str());

    DriveTable table;
    table.Reload();
    ASSERT_TRUE(table.Find('r'));
    EXPECT_EQ(table.Find('R')->source, std::filesystem::canonical(dir / "r.img").string());
    EXPECT_TRUE(table.Find('R')->mapped);
    EXPECT_EQ(table.Find('S')->source, dir / "t.img") << "the environment wins over the profile";

    const char added = table.AddSource(dir / "added.img");
    ASSERT_NE(added, 0);
    EXPECT_EQ(table.AddSource(dir.Path() + "/./added.img"), added) << "same file, same letter";
    EXPECT_EQ(table.AddSource(dir / "r.img"), 'R') << "a mapped source keeps its letter";
    table.Reload();
    ASSERT_TRUE(table.Find(added));
    EXPECT_EQ(table.Find(added)->source, std::filesystem::canonical(dir / "added.img").string());
}

TEST(DriveTable, AddSourceFailsWhenEveryLetterIsTaken) {
    DriveTable table;
    std::vector<DriveSource> full;
    for (char letter = 'C'; letter <= 'Z'; ++letter) full.push_back(Drive(letter, std::string("/dev/x") + letter));
    table.SetForTesting(full);
    EXPECT_EQ(table.AddSource("/new.img"), 0);
    EXPECT_EQ(table.AddSource("/dev/xQ"), 'Q');
}

TEST(SourceSize, FilesHaveTheirSizeOthersNone) {
    TempDir dir;
    WriteFile(dir / "img", std::string(3000, 'z'));
    EXPECT_EQ(SourceSize(dir / "img"), 3000u);
    EXPECT_FALSE(SourceSize(dir / "missing"));
    EXPECT_FALSE(SourceSize(dir.Path())) << "a folder has no volume size";
    EXPECT_FALSE(SourceSize("/dev/null")) << "a character device has no volume size";
}

namespace {
// Two partitions for images named "parts*.img", none for anything else.
std::vector<PartitionWindow> TwoPartitionsOfPartsImages(const std::string& source) {
    if (std::filesystem::path(source).filename().string().rfind("parts", 0) != 0) return {};
    return {{1, 2048, 100, "0x0C FAT32 (LBA)"}, {2, 4096, 200, "0x07 NTFS/exFAT"}};
}
}  // namespace

TEST(DriveTable, PartitionsOfAnImageTakeTheNextFreeLettersAfterIt) {
    TempDir dir;
    WriteFile(dir / "parts.img", std::string(512, 'p'));
    WriteFile(dir / "plain.img", std::string(512, 'q'));
    SetPartitionLister(&TwoPartitionsOfPartsImages);
    DriveTable table;
    table.SetForTesting({Drive('D', "/dev/xd"), Drive('F', "/dev/xf"), Drive('G', "/dev/xg")});

    EXPECT_EQ(table.AddSource(dir / "plain.img"), 'E');
    ASSERT_EQ(table.AddSource(dir / "parts.img"), 'H');
    const std::string image = std::filesystem::canonical(dir / "parts.img").string();
    ASSERT_EQ(table.FindPartition(dir / "parts.img", 1), 'I');
    ASSERT_EQ(table.FindPartition(dir.Path() + "/./parts.img", 2), 'J');
    EXPECT_EQ(table.FindPartition(dir / "parts.img", 3), 0);
    EXPECT_EQ(table.FindPartition(dir / "plain.img", 1), 0);
    const auto second = table.Find('J');
    ASSERT_TRUE(second);
    EXPECT_EQ(second->source, image);
    EXPECT_EQ(second->diskLetter, 'H');
    EXPECT_EQ(second->firstSector, 4096u);
    EXPECT_EQ(second->sectorCount, 200u);
    EXPECT_EQ(second->DisplayName(), image + "@2");

    // Naming the image again gives its own letter back and adds nothing.
    EXPECT_EQ(table.AddSource(dir / "parts.img"), 'H');
    EXPECT_EQ(table.Drives().size(), 7u);
    const auto parts = table.PartitionsOf('H');
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].letter, 'I');
    EXPECT_TRUE(table.PartitionsOf('E').empty());
    SetPartitionLister(nullptr);
}

TEST(DriveTable, PartitionsStopWhenTheLettersRunOut) {
    TempDir dir;
    WriteFile(dir / "parts.img", std::string(512, 'p'));
    SetPartitionLister(&TwoPartitionsOfPartsImages);
    DriveTable table;
    std::vector<DriveSource> drives;
    for (char letter = 'C'; letter <= 'X'; ++letter) drives.push_back(Drive(letter, std::string("/dev/x") + letter));
    table.SetForTesting(drives);
    EXPECT_EQ(table.AddSource(dir / "parts.img"), 'Y');
    EXPECT_EQ(table.FindPartition(dir / "parts.img", 1), 'Z');
    EXPECT_EQ(table.FindPartition(dir / "parts.img", 2), 0);
    SetPartitionLister(nullptr);
}
