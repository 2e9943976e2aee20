// INFO2 records of the Recycle Bin and the lookup of a bin file's path before deletion.
#include <gtest/gtest.h>

#include "fslib/core/MountInfo.h"
#include "fslib/core/RecycleBin.h"
#include "platform/DriveTable.h"
#include "tests/unit/recovery/MemoryParser.h"

namespace {

using recyclebin::kInfo2HeaderSize;
using recyclebin::kInfo2RecordSize;

// An INFO2 index with one record per (number, path); `cut` drops bytes from the end.
std::vector<uint8_t> Info2(const std::vector<std::pair<uint32_t, std::u16string>>& records, size_t cut = 0) {
    std::vector<uint8_t> bytes(kInfo2HeaderSize + kInfo2RecordSize * records.size(), 0);
    for (size_t k = 0; k < records.size(); ++k) {
        size_t base = kInfo2HeaderSize + kInfo2RecordSize * k;
        for (int b = 0; b < 4; ++b)
            bytes[base + recyclebin::kRecordNumberOffset + b] = static_cast<uint8_t>(records[k].first >> (8 * b));
        for (size_t i = 0; i < records[k].second.size(); ++i) {
            bytes[base + recyclebin::kWidePathOffset + 2 * i] = static_cast<uint8_t>(records[k].second[i]);
            bytes[base + recyclebin::kWidePathOffset + 2 * i + 1] = static_cast<uint8_t>(records[k].second[i] >> 8);
        }
    }
    bytes.resize(bytes.size() - cut);
    return bytes;
}

TEST(RecycleBinTest, RecordNumberComesFromTheBinFileName) {
    struct Case {
        const char* name;
        uint32_t number;
    } cases[] = {{"DC12.txt", 12}, {"DC7", 7}, {"Dd3.tar.gz", 3}, {"DCx.txt", 0}, {"D", 0}, {nullptr, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(recyclebin::BinFileRecordNumber(c.name), c.number) << (c.name ? c.name : "null");
}

TEST(RecycleBinTest, RecordsAreFoundMissingOrCutShort) {
    auto index = Info2({{3, u"C:\\a.txt"}, {5, u"C:\\b.txt"}, {12, u"C:\\Dokumente\\caf\u00e9.txt"}});
    struct Case {
        uint32_t number;
        bool found;
        const char* path;
    } cases[] = {{12, true, "C:\\Dokumente\\caf\xc3\xa9.txt"}, {3, true, "C:\\a.txt"}, {4, false, ""}};
    for (const Case& c : cases) {
        recyclebin::Info2Bytes info2(index);
        std::string path;
        EXPECT_EQ(recyclebin::FindInfo2Record(info2, c.number, &path), c.found) << c.number;
        EXPECT_EQ(path, c.path);
    }
    // The third record's path starts at 300 + 2 x 800 = 1900.
    EXPECT_EQ(index[1900], 'C');

    recyclebin::Info2Bytes headerOnly(std::vector<uint8_t>(kInfo2HeaderSize, 0));
    std::string path;
    EXPECT_FALSE(recyclebin::FindInfo2Record(headerOnly, 0, &path));

    // The last record ends after four characters of its path: those four are given.
    recyclebin::Info2Bytes cut(Info2({{9, u"C:\\long\\name.txt"}}, kInfo2RecordSize - 280 - 8));
    EXPECT_TRUE(recyclebin::FindInfo2Record(cut, 9, &path));
    EXPECT_EQ(path, "C:\\l");
}

class RecycleBinLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::DriveTable::Instance().SetForTesting({});
        NodeEntry* recycler = MemoryParser::Add(parser.GetRoot(), 30, "RECYCLER", true, false);
        sid = MemoryParser::Add(recycler, 31, "S-1-5-21-x", true, false);
        info2 = MemoryParser::Add(sid, 32, "INFO2", false, false, 820);
        binFile = MemoryParser::Add(sid, 33, "DC12.txt", false, false, 5);
    }
    void TearDown() override { platform::DriveTable::Instance().Reload(); }

    MemoryParser parser;
    NodeEntry* sid = nullptr;
    NodeEntry* info2 = nullptr;
    NodeEntry* binFile = nullptr;
};

TEST_F(RecycleBinLookupTest, UnmountedVolumeIsReadThroughItsParser) {
    parser.AddFile(32, Info2({{11, u"C:\\x.txt"}, {12, u"C:\\docs\\report.txt"}}));
    ASSERT_TRUE(GetBeforeDeletingName('Q', binFile, &parser));
    EXPECT_STREQ(binFile->pathBeforeDeletion, "C:\\docs\\report.txt");
    int opens = parser.OpenCount();
    EXPECT_TRUE(GetBeforeDeletingName('Q', binFile, &parser));
    EXPECT_EQ(parser.OpenCount(), opens) << "a known path is not looked up again";
}

TEST_F(RecycleBinLookupTest, MissingIndexOrRecordLeavesTheNodeWithoutAPath) {
    // No INFO2 content at all, then an index without record 12.
    EXPECT_FALSE(GetBeforeDeletingName('Q', binFile, &parser));
    EXPECT_EQ(binFile->pathBeforeDeletion, nullptr);
    parser.AddFile(32, Info2({{11, u"C:\\x.txt"}}));
    EXPECT_FALSE(GetBeforeDeletingName('Q', binFile, &parser));
    EXPECT_EQ(binFile->pathBeforeDeletion, nullptr);
    // Once the record is there, the next lookup finds it.
    parser.AddFile(32, Info2({{11, u"C:\\x.txt"}, {12, u"C:\\y.txt"}}));
    EXPECT_TRUE(GetBeforeDeletingName('Q', binFile, &parser));
}

TEST_F(RecycleBinLookupTest, AGivenReaderIsUsedInsteadOfFileHandles) {
    std::vector<uint8_t> index = Info2({{12, u"C:\\z.doc"}});
    NodeEntry* asked = nullptr;
    auto reader = [&](NodeEntry* node, uint32_t, std::vector<uint8_t>* out) {
        asked = node;
        *out = index;
        return true;
    };
    ASSERT_TRUE(GetBeforeDeletingName('Q', binFile, &parser, reader));
    EXPECT_EQ(asked, info2);
    EXPECT_STREQ(binFile->pathBeforeDeletion, "C:\\z.doc");
}

TEST(MountInfoTest, LinesAreSplitAndEscapesDecoded) {
    const char* text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 0:41 / /mnt/my\\040disk rw,nosuid master:2 - fuseblk /tmp/v.img rw,user_id=0\n"
        "41 22 8:1 /srv /bind rw - ext4 /dev/sda1 rw\n"
        "garbage line\n";
    auto table = mountinfo::ParseMountInfo(text);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].mountPoint, "/");
    EXPECT_EQ(table[0].source, "/dev/sda1");
    EXPECT_EQ(table[1].mountPoint, "/mnt/my disk");
    EXPECT_EQ(table[1].fsType, "fuseblk");
    EXPECT_EQ(table[1].source, "/tmp/v.img");
    EXPECT_EQ(table[2].root, "/srv");
}

}  // namespace
