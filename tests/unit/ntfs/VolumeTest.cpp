// Volume preparation and MFT record reads.
#include <gtest/gtest.h>

#include "fslib/core/ByteView.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;

namespace {

uint32_t OwnNumber(const uint8_t* record) { return ByteView(record, 1024).U32(44); }

TEST(NtfsVolume, ThreeRunMftListsEveryRecordInRunOrder) {
    NtfsImageBuilder::Options o;
    o.totalSectors = 8192 * 2;
    o.sectorsPerCluster = 8;
    o.mftRuns = {{4, 100, false}, {2, 200, false}, {8, 300, false}};
    NtfsImageBuilder b(o);
    b.Record(16).StandardInformation(1, 2).FileName(5, u"first");
    b.Record(55).StandardInformation(1, 2).FileName(5, u"last");
    ASSERT_EQ(b.RecordOffset(16), 200ull * 8 * 512);
    auto parser = ntfstest::OpenImage(b.Build());
    EXPECT_EQ(parser->MftRecordCount(), 56u);
    EXPECT_FALSE(parser->IsMftDamaged());
    uint8_t record[1024];
    EXPECT_EQ(parser->ReadMFTRecord(16, record), 0);
    EXPECT_EQ(OwnNumber(record), 16u);
    EXPECT_EQ(parser->ReadMFTRecord(55, record), 0);
    EXPECT_EQ(OwnNumber(record), 55u);
    EXPECT_EQ(parser->ReadMFTRecord(56, record), -1);  // equal to the count: out of the MFT
}

TEST(NtfsVolume, UnreadableMftFallsBackToTheMirror) {
    NtfsImageBuilder b;
    b.AddFile(5, u"a.txt", {'a'});
    std::vector<uint8_t> image = b.Build();
    uint64_t mftSector = b.RecordOffset(0) / 512;
    auto parser = ntfstest::OpenImage(image, nullptr, {mftSector});
    EXPECT_EQ(parser->MftRecordCount(), 64u);
    EXPECT_FALSE(parser->IsMftDamaged());
}

TEST(NtfsVolume, BothRecordZeroCopiesUnreadable) {
    NtfsImageBuilder b;
    std::vector<uint8_t> image = b.Build();
    uint64_t mirr = ByteView(image.data(), 512).U64(56);
    auto parser = ntfstest::OpenImage(image, nullptr, {b.RecordOffset(0) / 512, mirr});
    EXPECT_EQ(parser->PrepareVolume(), kPrepareRecordUnreadable);
    EXPECT_EQ(parser->MftRecordCount(), 0u);
}

TEST(NtfsVolume, BadSignatureDoesNotUseTheMirror) {
    NtfsImageBuilder b;
    std::vector<uint8_t> image = b.Build();
    image[b.RecordOffset(0)] = 'X';
    auto parser = ntfstest::OpenImage(image);
    EXPECT_EQ(parser->PrepareVolume(), kPrepareNoFileSignature);
    uint8_t record[1024];
    EXPECT_EQ(parser->ReadMFTRecord(16, record), -1);
    // Nothing could be listed: the scan fails with the preparation's status.
    EXPECT_EQ(parser->PrepareDirTree(100), kPrepareNoFileSignature);
    EXPECT_FALSE(parser->GetRoot()->HasChildren());
}

TEST(NtfsVolume, RecordZeroWithoutDataMarksTheMftDamaged) {
    NtfsImageBuilder b;
    b.Record(0).StandardInformation(1, 1).FileName(5, u"$MFT", 3);
    b.AddFile(5, u"a.txt", {'a'}, true);
    auto parser = ntfstest::OpenImage(b.Build());
    EXPECT_TRUE(parser->IsMftDamaged());
    uint8_t record[1024];
    EXPECT_EQ(parser->ReadMFTRecord(16, record), -1);
    EXPECT_NE(parser->PrepareDirTree(100), 0);
    EXPECT_FALSE(parser->GetRoot()->HasChildren());
}

TEST(NtfsVolume, TornRecordIsStillReturned) {
    NtfsImageBuilder b;
    uint32_t n = b.AddFile(5, u"torn.txt", {'t'});
    std::vector<uint8_t> image = b.Build();
    image[b.RecordOffset(n) + 1022] ^= 0xFF;  // second sector from another write
    auto parser = ntfstest::OpenImage(image);
    uint8_t record[1024];
    EXPECT_EQ(parser->ReadMFTRecord(n, record), 0);
    EXPECT_EQ(OwnNumber(record), n);
    EXPECT_EQ(record[510], 0);   // first sector fixed
    EXPECT_NE(record[1022], 0);  // second left as read
}

TEST(NtfsVolume, UnreadableRecordIsZeroedAndReported) {
    NtfsImageBuilder b;
    uint32_t n = b.AddFile(5, u"bad.txt", {'b'});
    std::vector<uint8_t> image = b.Build();
    auto parser = ntfstest::OpenImage(image, nullptr, {b.RecordOffset(n) / 512 + 1});
    uint8_t record[1024];
    EXPECT_EQ(parser->ReadMFTRecord(n, record), 1);
    EXPECT_EQ(record[0], 0);
    EXPECT_EQ(record[600], 0);
}

TEST(NtfsVolume, ScanReadsTheMftInBatches) {
    NtfsImageBuilder::Options o;
    o.mftRecords = 400;
    o.totalSectors = 16384;
    NtfsImageBuilder b(o);
    for (int i = 0; i < 300; ++i)
        b.AddFile(5, u"f" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)), {'x'}, i % 3 == 0);
    CMemoryDrive* drive = nullptr;
    auto parser = ntfstest::OpenImage(b.Build(), &drive);
    uint32_t before = drive->ReadCalls();
    ASSERT_EQ(parser->PrepareDirTree(100), 0);
    EXPECT_LT(drive->ReadCalls() - before, 40u);  // 384 records read in a handful of calls
    EXPECT_EQ(parser->GetRoot()->ChildCount(), 300u);
}

TEST(NtfsVolume, BatchReadsFallBackAroundAnUnreadableSector) {
    NtfsImageBuilder b;
    uint32_t good1 = b.AddFile(5, u"one", {'1'}, true);
    uint32_t bad = b.AddFile(5, u"two", {'2'}, true);
    uint32_t good2 = b.AddFile(5, u"three", {'3'}, true);
    std::vector<uint8_t> image = b.Build();
    auto parser = ntfstest::OpenImage(image, nullptr, {b.RecordOffset(bad) / 512});
    ASSERT_EQ(parser->PrepareDirTree(100), 0);
    NodeEntry* root = parser->GetRoot();
    EXPECT_NE(ntfstest::Child(root, "one"), nullptr);
    EXPECT_EQ(ntfstest::Child(root, "two"), nullptr);
    EXPECT_NE(ntfstest::Child(root, "three"), nullptr);
    (void)good1;
    (void)good2;
}

}  // namespace
