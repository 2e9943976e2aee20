#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "fslib/core/FileSystemParser.h"

namespace {

std::array<uint8_t, 512> Boot(std::initializer_list<std::pair<size_t, const char*>> fields) {
    std::array<uint8_t, 512> b{};
    for (auto& [off, text] : fields) std::memcpy(b.data() + off, text, 8);
    return b;
}

TEST(Detection, RecognisesEachFamilyInTableOrder) {
    struct Case {
        const char* what;
        std::array<uint8_t, 512> boot;
        uint8_t expected;
    } cases[] = {
        {"ntfs", Boot({{3, "NTFS    "}}), FS_NTFS},
        {"ntfs wins over a FAT16 label", Boot({{3, "NTFS    "}, {54, "FAT16   "}}), FS_NTFS},
        {"fat12", Boot({{54, "FAT12   "}}), FS_FAT12},
        {"bare FAT is FAT12", Boot({{54, "FAT     "}}), FS_FAT12},
        {"fat16", Boot({{54, "FAT16   "}}), FS_FAT16},
        {"fat32", Boot({{82, "FAT32   "}}), FS_FAT32},
        {"fat16 label wins over fat32 label", Boot({{54, "FAT16   "}, {82, "FAT32   "}}), FS_FAT16},
        {"padding matters", Boot({{54, "FAT16 X "}}), FS_UNKNOWN},
        {"all zero", Boot({}), FS_UNKNOWN},
    };
    for (const Case& c : cases) EXPECT_EQ(DetectFileSystem(c.boot.data(), 512), c.expected) << c.what;
}

TEST(Detection, ShortBufferNeverReadsPastItsEnd) {
    auto b = Boot({{82, "FAT32   "}});
    EXPECT_EQ(DetectFileSystem(b.data(), 89), FS_UNKNOWN);
    EXPECT_EQ(DetectFileSystem(b.data(), 90), FS_FAT32);
    EXPECT_EQ(DetectFileSystem(nullptr, 512), FS_UNKNOWN);
}

TEST(Detection, NamesOfTheTypeCodes) {
    EXPECT_STREQ(FileSystemName(FS_NTFS), "NTFS");
    EXPECT_STREQ(FileSystemName(FS_FAT12), "FAT12");
    EXPECT_STREQ(FileSystemName(FS_FAT16), "FAT16");
    EXPECT_STREQ(FileSystemName(FS_FAT32), "FAT32");
    EXPECT_EQ(FileSystemName(FS_UNKNOWN), nullptr);
}

}  // namespace
