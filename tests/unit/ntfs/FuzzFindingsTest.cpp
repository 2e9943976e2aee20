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
        b.Record(0).StandardInformation(1, 2).FileName(5, u"$MFT", 3).NonResidentData(
            {{records * 2, o.mftCluster, false}}, records * 1024);
        auto parser = ntfstest::OpenImage(b.Build());
        ASSERT_EQ(parser->MftRecordCount(), records);
        EXPECT_EQ(parser->PrepareDirTree(100), 0);
        // Without user records nothing can be placed under the root.
        EXPECT_EQ(parser->GetRoot()->ChildCount(), 0u);
    }
}

}  // namespace
