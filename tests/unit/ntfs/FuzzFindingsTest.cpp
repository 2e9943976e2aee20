// Volumes reduced from inputs the fuzz targets found faults with; each case names the
// damage and the fault it caught. The memory faults show under the sanitizer build.
#include <gtest/gtest.h>

#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;

namespace {

// $MFT's run list describes fewer records than the root folder's number: the scan's
// table of folders by record was written past its end at the root's slot.
TEST(NtfsFuzzFindings, MftShorterThanTheRootRecordScansToAnEmptyTree) {
    for (uint64_t records : {1u, 2u, 5u, 6u}) {
        SCOPED_TRACE(records);
        NtfsImageBuilder::Options o;
        o.totalSectors = 1024;
        NtfsImageBuilder b(o);
        b.AddFile(5, u"kept.txt", {'k'});
        // Record 0 made by hand: its $DATA covers only `records` records.
        b.Record(0)
            .StandardInformation(1, 2)
            .FileName(5, u"$MFT", 3)
            .NonResidentData({{records * 2, o.mftCluster, false}}, records * 1024);
        auto parser = ntfstest::OpenImage(b.Build());
        ASSERT_EQ(parser->MftRecordCount(), records);
        EXPECT_EQ(parser->PrepareDirTree(100), 0);
        // Without user records nothing can be placed under the root.
        EXPECT_EQ(parser->GetRoot()->ChildCount(), 0u);
    }
}

// A non-resident $ATTRIBUTE_LIST whose only run is zero clusters long: the list was
// read into an empty buffer (a null pointer handed to memset, which UBSan reports).
TEST(NtfsFuzzFindings, AttributeListOfZeroClustersReadsAsEmpty) {
    std::vector<uint8_t> list(0x48, 0);
    auto put = [&](size_t off, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) list[off + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(0, 0x20, 4);    // type $ATTRIBUTE_LIST
    put(4, 0x48, 4);    // length
    list[8] = 1;        // non-resident
    put(10, 0x40, 2);   // name offset
    put(32, 0x40, 2);   // run list offset
    put(48, 0x20, 8);   // data size
    list[0x40] = 0x01;  // one run: a length field of one byte, 0, and no offset
    NtfsImageBuilder b;
    uint32_t n = b.NextRecord();
    b.Record(n).InUse(false).StandardInformation(1, 2).FileName(5, u"empty list.bin").RawAttribute(list);
    auto parser = ntfstest::OpenImage(b.Build());
    EXPECT_EQ(parser->PrepareDirTree(100), 0);
    NodeEntry* node = ntfstest::Child(parser->GetRoot(), "empty list.bin");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->isDeleted, 1);
    std::vector<uint8_t> data;
    ntfstest::ReadWhole(*parser, n, &data);
    EXPECT_TRUE(data.empty());
}

}  // namespace
