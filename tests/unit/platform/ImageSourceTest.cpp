#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <vector>

#include "TempDir.h"
#include "platform/ImageFormat.h"
#include "platform/RawVolume.h"
#include "platform/SplitNames.h"

using namespace platform;

TEST(ImageFormat, TheSignatureDecides) {
    struct Case {
        const char* what;
        std::string head;
        std::string tailMark;  // written 512 bytes before the end
        ImageFormat want;
    } cases[] = {
        {"EWF segment", std::string("EVF\x09\x0d\x0a\xff\x00\x01", 9), "", ImageFormat::Ewf},
        {"EWF version 2", std::string("EVF2\x0d\x0a\x81\x00", 8), "", ImageFormat::Ewf},
        {"logical evidence is no disk", std::string("LVF\x09\x0d\x0a\xff\x00", 8), "", ImageFormat::Raw},
        {"VHDX", "vhdxfile", "", ImageFormat::Vhdx},
        {"dynamic VHD", "conectix", "conectix", ImageFormat::Vhd},
        {"fixed VHD: footer only", std::string(8, '\0'), "conectix", ImageFormat::Vhd},
        {"sparse VMDK", "KDMV", "", ImageFormat::Vmdk},
        {"COW disk", "COWD", "", ImageFormat::Vmdk},
        {"VMDK descriptor", "# Disk DescriptorFile\nversion=1\n", "", ImageFormat::Vmdk},
        {"QCOW", std::string("QFI\xfb\0\0\0\x03", 8), "", ImageFormat::Qcow},
        {"FAT boot sector", std::string("\xeb\x3c\x90mkfs.fat", 11), "", ImageFormat::Raw},
        {"signature cut short", "vhdxfil", "", ImageFormat::Raw},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> head(kFormatHeadBytes, 0), tail(kFormatTailBytes, 0);
        std::memcpy(head.data(), c.head.data(), std::min(c.head.size(), head.size()));
        std::memcpy(tail.data(), c.tailMark.data(), c.tailMark.size());
        const size_t headSize = std::string(c.what) == "signature cut short" ? c.head.size() : head.size();
        EXPECT_EQ(DetectImageFormat(head.data(), headSize, tail.data(), tail.size()), c.want) << c.what;
    }
    EXPECT_EQ(DetectImageFormat(nullptr, 0, nullptr, 0), ImageFormat::Raw);
}

TEST(SplitNames, ParsesNumberedNamesOnly) {
    struct Case {
        const char* path;
        bool split;
        const char* base;
        uint64_t number;
        size_t width;
    } cases[] = {
        {"/d/disk.001", true, "/d/disk.", 1, 3},
        {"disk.img.0042", true, "disk.img.", 42, 4},
        {"/d/disk.000", true, "/d/disk.", 0, 3},
        {"/d/disk.01", false, "", 0, 0},       // two digits: not this rule
        {"/d/disk.1234567", false, "", 0, 0},  // too long to be a segment number
        {"/d/disk.0a1", false, "", 0, 0},
        {"/d/disk.E01", false, "", 0, 0},
        {"/d.001/disk", false, "", 0, 0},  // the dot belongs to a folder
        {"/d/.001", false, "", 0, 0},      // a hidden file, not a segment
        {"disk", false, "", 0, 0},
    };
    for (const auto& c : cases) {
        const auto name = ParseSplitName(c.path);
        ASSERT_EQ(name.has_value(), c.split) << c.path;
        if (!name) continue;
        EXPECT_EQ(name->base, c.base) << c.path;
        EXPECT_EQ(name->number, c.number) << c.path;
        EXPECT_EQ(name->width, c.width) << c.path;
    }
    EXPECT_EQ(SplitSegmentPath(*ParseSplitName("a.0042"), 7), "a.0007");
}

TEST(SplitNames, FindsTheSetFromAnySegment) {
    const auto find = [](const std::string& named, std::set<std::string> present) {
        std::vector<std::string> got;
        for (const auto& s : FindSplitSegments(
                 *ParseSplitName(named), [&](const std::string& p) { return present.count(p) > 0; }, 2))
            got.push_back(s ? *s : "-");
        return got;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(find("d.002", {"d.001", "d.002", "d.003"}), (V{"d.001", "d.002", "d.003"}));
    EXPECT_EQ(find("d.000", {"d.000", "d.001"}), (V{"d.000", "d.001"})) << "sets may count from 000";
    EXPECT_EQ(find("d.001", {"d.001", "d.002", "d.004"}), (V{"d.001", "d.002", "-", "d.004"}))
        << "a missing middle segment keeps its place";
    EXPECT_EQ(find("d.001", {"d.001", "d.002", "d.009"}), (V{"d.001", "d.002"})) << "too far past a gap: not the set";
    EXPECT_EQ(find("d.009", {"d.001", "d.009"}), (V{"d.001", "-", "-", "-", "-", "-", "-", "-", "d.009"}))
        << "the named segment always belongs";
    EXPECT_EQ(find("d.003", {"d.002", "d.003"}), V{}) << "no first segment";
    EXPECT_EQ(find("d.001", {"d.001"}), (V{"d.001"}));
}

namespace {

// Sector i of the whole disk holds the byte i + 1; cut into files of segmentSectors.
void WriteSplit(const TempDir& dir, int sectors, int segmentSectors) {
    for (int first = 0, n = 1; first < sectors; first += segmentSectors, ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "disk.%03d", n);
        std::ofstream out(dir / name, std::ios::binary);
        for (int i = first; i < std::min(sectors, first + segmentSectors); ++i)
            out << std::string(kRawSectorSize, static_cast<char>(i + 1));
    }
}

class SplitRawTest : public ::testing::Test {
protected:
    void TearDown() override { ClearInjected(); }
};

}  // namespace

TEST_F(SplitRawTest, SegmentsReadAsOneDisk) {
    TempDir dir;
    WriteSplit(dir, 10, 4);  // 4 + 4 + 2 sectors
    for (const char* named : {"disk.001", "disk.003"}) {
        const int fd = OpenRawSource(dir / named);
        ASSERT_GE(fd, 3) << named;
        EXPECT_EQ(RawSize(fd), 10u * kRawSectorSize) << named;
        std::vector<uint8_t> all(12 * kRawSectorSize, 0);
        size_t done = 0;
        ASSERT_TRUE(RawRead(fd, all.data(), all.size(), 0, &done)) << named;
        EXPECT_EQ(done, 10u * kRawSectorSize) << "short at the end";
        for (int i = 0; i < 10; ++i) EXPECT_EQ(all[i * kRawSectorSize + 5], i + 1) << named << " sector " << i;
        // A read across a segment boundary, unaligned.
        uint8_t two[3] = {};
        ASSERT_TRUE(RawRead(fd, two, 3, 4 * kRawSectorSize - 2, &done));
        EXPECT_EQ(two[0], 4);
        EXPECT_EQ(two[2], 5);
        CloseRawSource(fd);
    }
}

TEST_F(SplitRawTest, DamageReadsAsUnreadableSectors) {
    TempDir dir;
    WriteSplit(dir, 16, 4);
    std::filesystem::remove(dir / "disk.002");                           // sectors 4..7 missing
    std::filesystem::resize_file(dir / "disk.003", 3 * kRawSectorSize);  // sector 11 lost
    ASSERT_TRUE(InjectUnreadableSector(dir / "disk.001", 14));           // a sector of the disk, not of a file
    const int fd = OpenRawSource(dir / "disk.004");
    ASSERT_GE(fd, 3);
    EXPECT_EQ(RawSize(fd), 16u * kRawSectorSize) << "the later segments keep their places";
    std::vector<uint8_t> buffer(16 * kRawSectorSize);
    struct Case {
        const char* what;
        uint64_t sector;
        size_t sectors;
        BOOL ok;
        size_t doneSectors;
    } cases[] = {
        {"up to the missing segment", 0, 6, FALSE, 4}, {"inside the missing segment", 5, 1, FALSE, 0},
        {"the short segment's data", 8, 3, TRUE, 3},   {"past the short segment's end", 9, 3, FALSE, 2},
        {"the last segment", 12, 2, TRUE, 2},          {"an injected sector", 12, 4, FALSE, 2},
    };
    for (const auto& c : cases) {
        size_t done = 99;
        EXPECT_EQ(RawRead(fd, buffer.data(), c.sectors * kRawSectorSize, c.sector * kRawSectorSize, &done), c.ok)
            << c.what;
        EXPECT_EQ(done, c.doneSectors * kRawSectorSize) << c.what;
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), ERROR_READ_FAULT) << c.what;
        }
    }
    CloseRawSource(fd);
}

TEST_F(SplitRawTest, RefusedWithAReason) {
    TempDir dir;
    WriteSplit(dir, 12, 4);
    std::filesystem::remove(dir / "disk.001");
    EXPECT_EQ(OpenRawSource(dir / "disk.002"), -1);
    EXPECT_NE(RawSourceOpenFailure().find("first segment"), std::string::npos) << RawSourceOpenFailure();

    TempDir other;
    WriteSplit(other, 12, 4);
    std::filesystem::resize_file(other / "disk.002", 5 * kRawSectorSize);
    EXPECT_EQ(OpenRawSource(other / "disk.001"), -1);
    EXPECT_NE(RawSourceOpenFailure().find("differ in size"), std::string::npos) << RawSourceOpenFailure();
}

TEST(ContainerSource, ADamagedContainerIsRefusedWithTheLibrarysReason) {
    TempDir dir;
    for (const std::string& head : {std::string("vhdxfile"), std::string("QFI\xfb\0\0\0\x02", 8), std::string("KDMV"),
                                    std::string("EVF\x09\x0d\x0a\xff\x00\x01", 9)}) {
        const std::string path = dir / "broken.img";
        std::ofstream(path, std::ios::binary) << head << std::string(4096, '\x5a');
        EXPECT_EQ(OpenRawSource(path), -1) << head;
        EXPECT_NE(RawSourceOpenFailure().find("image could not be opened"), std::string::npos)
            << RawSourceOpenFailure();
    }
}
