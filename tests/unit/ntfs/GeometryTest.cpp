// Volume geometry: the boot sector's encodings, $MFT runs that end inside a record,
// clusters past 128 sectors, records of 4,096 bytes, and volumes that cannot be prepared.
#include <gtest/gtest.h>

#include "fslib/ntfs/BootSector.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;

namespace {

NtfsImageBuilder::Options Geometry(uint32_t bytesPerSector, uint32_t sectorsPerCluster, uint32_t recordSize,
                                   uint64_t totalSectors, uint64_t mftCluster) {
    NtfsImageBuilder::Options o;
    o.bytesPerSector = bytesPerSector;
    o.sectorsPerCluster = sectorsPerCluster;
    o.recordSize = recordSize;
    o.totalSectors = totalSectors;
    o.mftCluster = mftCluster;
    return o;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed + i / 251);
    return v;
}

TEST(NtfsBootSector, SectorsPerClusterByte) {
    struct Case {
        uint8_t byte;
        uint32_t sectors;
    } cases[] = {
        {0x00, 0}, {0x01, 1},   {0x08, 8},    {0x80, 128},  // the count itself up to 0x80
        {0xFF, 2}, {0xF8, 256}, {0xF4, 4096},               // 2^(256 - value) above it
        {0x81, 0},                                          // 2^127: no cluster is that large
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        EXPECT_EQ(ntfs::DecodeSectorsPerCluster(c.byte), c.sectors);
    }
}

TEST(NtfsBootSector, ClustersPerRecordByte) {
    EXPECT_EQ(ntfs::DecodeClustersPerStructure(0xF6, 4096), 1024u);  // -10: 2^10 bytes
    EXPECT_EQ(ntfs::DecodeClustersPerStructure(0xF4, 512), 4096u);   // -12
    EXPECT_EQ(ntfs::DecodeClustersPerStructure(0x02, 512), 1024u);   // two clusters
    EXPECT_EQ(ntfs::DecodeClustersPerStructure(0x01, 4096), 4096u);
    EXPECT_EQ(ntfs::DecodeClustersPerStructure(0x00, 4096), 0u);
    EXPECT_EQ(ntfs::DecodeClustersPerStructure(0x80, 4096), 0u);  // -128: no size
}

TEST(NtfsBootSector, GeometryOfBuiltVolumes) {
    struct Case {
        uint32_t bps, spc, record;
        uint64_t clusterBytes;
    } cases[] = {
        {512, 1, 1024, 512},
        {512, 8, 1024, 4096},
        {512, 4096, 1024, 2u << 20},
        {4096, 1, 4096, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spc);
        NtfsImageBuilder::Options o =
            Geometry(c.bps, c.spc, c.record, c.spc >= 4096 ? 4096 * 8 : 16384, c.spc >= 4096 ? 1 : 16);
        std::vector<uint8_t> image = NtfsImageBuilder(o).Build();
        ntfs::BootGeometry g;
        ASSERT_TRUE(ntfs::ReadBootGeometry(ByteView(image.data(), 512), &g));
        EXPECT_EQ(g.bytesPerSector, c.bps);
        EXPECT_EQ(g.sectorsPerCluster, c.spc);
        EXPECT_EQ(g.clusterBytes, c.clusterBytes);
        EXPECT_EQ(g.recordBytes, c.record);
        EXPECT_EQ(g.TotalSectors512(), o.totalSectors - c.bps / 512);
    }
    uint8_t zeros[512] = {};
    EXPECT_FALSE(ntfs::ReadBootGeometry(ByteView(zeros, sizeof(zeros)), nullptr));
}

// $MFT in runs of 511 and 513 clusters of one sector: record 255 has its first sector
// at the end of the first run and its second at the start of the next; every record
// after it is numbered by its place in the stream.
TEST(NtfsGeometry, RecordStraddlingTwoMftRunsIsReadFromBoth) {
    NtfsImageBuilder::Options o;
    o.totalSectors = 8192;
    o.mftRuns = {{511, 16, false}, {513, 3000, false}};
    NtfsImageBuilder b(o);
    const uint32_t numbers[] = {16, 254, 255, 256, 300, 511};
    for (uint32_t n : numbers) {
        std::string name = "f" + std::to_string(n);
        b.Record(n)
            .InUse(n != 300)
            .StandardInformation(1, 2)
            .FileName(5, std::u16string(name.begin(), name.end()))
            .ResidentData(std::vector<uint8_t>(name.begin(), name.end()));
    }
    auto parser = ntfstest::OpenImage(b.Build());
    ASSERT_EQ(parser->MftRecordCount(), 512u);
    uint8_t record[1024];
    for (uint32_t n : numbers) {
        SCOPED_TRACE(n);
        ASSERT_EQ(parser->ReadMFTRecord(n, record), 0);
        EXPECT_EQ(ByteView(record, 1024).U32(44), n);
        EXPECT_EQ(ByteView(record, 1024).U16(1022), 0);  // the second sector's end fixed up
    }
    ASSERT_EQ(parser->PrepareDirTree(100), 0);
    for (uint32_t n : numbers) {
        NodeEntry* node = ntfstest::Child(parser->GetRoot(), "f" + std::to_string(n));
        ASSERT_NE(node, nullptr) << n;
        EXPECT_EQ(node->key, n);
        EXPECT_EQ(node->isDeleted, n == 300 ? 1 : 0);
        std::vector<uint8_t> data;
        ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &data));
        EXPECT_EQ(std::string(data.begin(), data.end()), "f" + std::to_string(n));
    }
}

// Clusters of 2 MiB (byte 0xF4) and records of 4,096 bytes on 4,096-byte sectors: the
// volume scans and reads like any other.
TEST(NtfsGeometry, LargeClustersAndLargeRecordsScanAndRead) {
    struct Case {
        uint32_t bps, spc, record;
        uint64_t totalSectors, mftCluster;
    } cases[] = {
        {512, 4096, 1024, 4096 * 10, 1},
        {4096, 1, 4096, 16384, 16},
        {512, 128, 1024, 128 * 24, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spc);
        NtfsImageBuilder b(Geometry(c.bps, c.spc, c.record, c.totalSectors, c.mftCluster));
        std::vector<uint8_t> big = Pattern(70000, 3);
        uint32_t live = b.AddFile(5, u"big.bin", big);
        uint32_t gone = b.AddFile(5, u"gone.txt", {'g', 'o'}, true);
        auto parser = ntfstest::OpenImage(b.Build());
        EXPECT_EQ(parser->RecordSize(), c.record);
        EXPECT_GT(parser->MftRecordCount(), 16u);
        EXPECT_EQ(parser->ClusterBytes(), uint64_t{c.bps} * c.spc);
        ASSERT_EQ(parser->PrepareDirTree(100), 0);
        NodeEntry* node = ntfstest::Child(parser->GetRoot(), "big.bin");
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->key, live);
        EXPECT_EQ(node->size, big.size());
        NodeEntry* deleted = ntfstest::Child(parser->GetRoot(), "gone.txt");
        ASSERT_NE(deleted, nullptr);
        EXPECT_EQ(deleted->key, gone);
        EXPECT_EQ(deleted->isDeleted, 1);
        std::vector<uint8_t> data;
        ASSERT_TRUE(ntfstest::ReadWhole(*parser, live, &data));
        EXPECT_EQ(data, big);
    }
}

// A volume whose $MFT cannot be found is a failed scan, not an empty volume.
TEST(NtfsGeometry, UnpreparedVolumeFailsTheScan) {
    NtfsImageBuilder b;
    b.AddFile(5, u"a.txt", {'a'});
    std::vector<uint8_t> image = b.Build();
    std::vector<uint8_t> noCluster = image;
    noCluster[13] = 0;  // no cluster size: $MFT cannot be located
    std::vector<uint8_t> noSignature = image;
    noSignature[b.RecordOffset(0)] = 'X';
    for (const auto* img : {&noCluster, &noSignature}) {
        auto parser = ntfstest::OpenImage(*img);
        EXPECT_EQ(parser->MftRecordCount(), 0u);
        EXPECT_NE(parser->PrepareDirTree(100), 0);
        EXPECT_EQ(parser->GetRoot()->ChildCount(), 0u);
    }
}

}  // namespace
