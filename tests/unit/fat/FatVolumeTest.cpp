// FAT volume preparation, boot-sector checks, contiguous runs, run lists and chains.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/fat/FATParser.h"
#include "tests/fixtures/FatImageBuilder.h"

namespace {

std::unique_ptr<CFATParser> MakeParser(const FatImageBuilder& b) {
    auto drive = b.MakeDrive().release();
    switch (b.Opts().fatBits) {
        case 12: return std::make_unique<CFAT12Parser>(drive, b.BootSector());
        case 16: return std::make_unique<CFAT16Parser>(drive, b.BootSector());
        default: return std::make_unique<CFAT32Parser>(drive, b.BootSector(), 0);
    }
}

FatImageBuilder::Options Fat(int bits) {
    FatImageBuilder::Options o;
    o.fatBits = bits;
    return o;
}

TEST(FatVolume, PreparesEachWidthFromItsBootSector) {
    struct Case {
        int bits;
        uint32_t limit;
        uint32_t rootCluster;
    } cases[] = {{12, 0xFF8, 0}, {16, 0xFFFF, 0}, {32, 0x0FFFFFFF, 2}};
    for (const Case& c : cases) {
        FatImageBuilder b(Fat(c.bits));
        auto p = MakeParser(b);
        SCOPED_TRACE(c.bits);
        EXPECT_TRUE(p->IsVolumeUsable());
        EXPECT_EQ(p->GetClusterLimit(), c.limit);
        EXPECT_EQ(p->GetRootCluster(), c.rootCluster);
        EXPECT_EQ(p->GetDataStartSector(), b.DataStartSector());
        EXPECT_EQ(p->GetFatSize(), b.SectorsPerFat() * 512u);
        EXPECT_EQ(p->GetVolumeSizeBytes(), uint64_t{b.Opts().totalSectors} * 512);
        EXPECT_EQ(p->ClusterSize(), 512u);
    }
}

TEST(FatVolume, EntryCountSubtractsTwoOnlyOnFat12And16) {
    FatImageBuilder::Options o = Fat(12);
    o.sectorsPerFat = 3;  // 1536 bytes
    FatImageBuilder b12(o);
    EXPECT_EQ(MakeParser(b12)->GetFatEntryCount(), 1022u);
    FatImageBuilder b16(Fat(16));
    EXPECT_EQ(MakeParser(b16)->GetFatEntryCount(), b16.SectorsPerFat() * 512 / 2 - 2);
    FatImageBuilder b32(Fat(32));
    EXPECT_EQ(MakeParser(b32)->GetFatEntryCount(), b32.SectorsPerFat() * 512 / 4);
}

TEST(FatVolume, SixteenBitTotalWhenThe32BitTotalIsZero) {
    FatImageBuilder b(Fat(16));
    ASSERT_EQ(b.Image()[32], 0);  // the builder writes the 16-bit field for small volumes
    EXPECT_EQ(MakeParser(b)->GetVolumeSizeBytes(), 16384u * 512);
}

TEST(FatVolume, LargerSectorsAreMappedOntoTheDrive) {
    FatImageBuilder::Options o = Fat(16);
    o.bytesPerSector = 4096;
    o.totalSectors = 4096;
    o.rootEntries = 512;
    FatImageBuilder b(o);
    uint32_t cluster = b.AddFile(b.Root(), "DATA.BIN", 5000, u"", 'q');
    b.DeleteEntry(b.Root(), b.LastIndex(b.Root()));
    auto p = MakeParser(b);
    ASSERT_TRUE(p->IsVolumeUsable());
    EXPECT_EQ(p->ClusterSize(), 4096u);
    std::vector<uint8_t> buf(4096);
    EXPECT_EQ(p->ReadClusters(cluster, 1, buf.data()), 1);
    EXPECT_EQ(buf[0], 'q');
    EXPECT_EQ(buf[4095], 'q');
    p->m_dwOptionFlag = 1;
    EXPECT_EQ(p->ProcessRootDirectory(), 0);
    ASSERT_NE(p->GetRoot()->FirstChild(), nullptr);
    EXPECT_STREQ(p->GetRoot()->FirstChild()->name, "_ATA.BIN");
}

// Every boot-sector value that a division or an allocation depends on is checked.
TEST(FatVolume, UnusableBootSectorsFailTheWalkWithoutACrash) {
    struct Case {
        const char* what;
        size_t offset;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"zero bytes per sector", 11, {0, 0}},
        {"odd bytes per sector", 11, {0x01, 0x02}},
        {"zero sectors per cluster", 13, {0}},
        {"sectors per cluster not a power of two", 13, {3}},
        {"no reserved sectors", 14, {0, 0}},
        {"no FATs", 16, {0}},
        {"FAT larger than the volume (16-bit)", 22, {0xFF, 0xFF}},
        {"FAT larger than the volume (32-bit)", 36, {0xFF, 0xFF, 0xFF, 0x7F}},
        {"no total sectors", 19, {0, 0}},
    };
    for (int bits : {12, 16, 32}) {
        for (const Case& c : cases) {
            FatImageBuilder b(Fat(bits));
            b.AddFile(b.Root(), "A.TXT", 10);
            if (std::string(c.what).find("16-bit") != std::string::npos && bits == 32) continue;
            if (std::string(c.what).find("32-bit") != std::string::npos && bits != 32) continue;
            std::memcpy(b.Image().data() + c.offset, c.bytes.data(), c.bytes.size());
            if (std::string(c.what) == "no total sectors") std::memset(b.Image().data() + 32, 0, 4);
            auto p = MakeParser(b);
            SCOPED_TRACE(std::string(c.what) + " FAT" + std::to_string(bits));
            EXPECT_FALSE(p->IsVolumeUsable());
            p->m_dwOptionFlag = 1;
            EXPECT_NE(p->ProcessRootDirectory(), 0);
            EXPECT_EQ(p->GetRoot()->FirstChild(), nullptr);
        }
    }
}

TEST(FatVolume, Fat16WithoutAFatStillFindsItsRootDirectory) {
    FatImageBuilder b(Fat(16));
    b.AddFile(b.Root(), "A.TXT", 10);
    // A FAT size of 0: the data start moves, but the root directory is read in place.
    b.Image()[22] = 0;
    b.Image()[23] = 0;
    auto drive = b.MakeDrive().release();
    CFAT16Parser p(drive, b.BootSector());
    EXPECT_FALSE(p.HasFatTable());
    std::vector<ClusterRun> runs;
    uint32_t runCount = 0;
    uint64_t clusters = 0;
    p.BuildRunList(7, &runs, &runCount, &clusters);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].nFirstCluster, 7u);
    EXPECT_EQ(runs[0].nClusterCount, 1u);
}

TEST(FatClusters, ContiguousRunsEndWhereTheChainJumpsOrEnds) {
    FatImageBuilder b(Fat(16));
    // 10 -> 11 -> 12 -> 20 -> 21 -> end; 30 points at itself.
    b.SetFat(10, 11), b.SetFat(11, 12), b.SetFat(12, 20), b.SetFat(20, 21), b.SetFat(21, 0xFFFF);
    b.SetFat(30, 30);
    auto p = MakeParser(b);
    uint32_t next = 0;
    EXPECT_EQ(p->GetContiguousRun(10, &next), 3u);
    EXPECT_EQ(next, 20u);
    EXPECT_EQ(p->GetContiguousRun(20, &next), 2u);
    EXPECT_EQ(next, 0xFFFFu);
    EXPECT_EQ(p->GetContiguousRun(30, &next), 1u);
    EXPECT_EQ(next, 0u) << "a cluster pointing at itself counts as free";
    next = 1234;
    EXPECT_EQ(p->GetContiguousRun(0xFFFF, &next), 1u);
    EXPECT_EQ(next, 1234u) << "a start at the limit leaves next alone";

    std::vector<ClusterRun> runs;
    uint32_t runCount = 0;
    uint64_t clusters = 0;
    p->BuildRunList(10, &runs, &runCount, &clusters);
    ASSERT_EQ(runCount, 2u);
    EXPECT_EQ(runs[0].nFirstCluster, 10u);
    EXPECT_EQ(runs[0].nClusterCount, 3u);
    EXPECT_EQ(runs[1].nFirstCluster, 20u);
    EXPECT_EQ(runs[1].nClusterCount, 2u);
    EXPECT_EQ(clusters, 5u);

    p->BuildRunList(40, &runs, &runCount, &clusters);  // a deleted file: FAT value 0
    ASSERT_EQ(runCount, 1u);
    EXPECT_EQ(runs[0].nClusterCount, 1u);
    EXPECT_EQ(runs[0].nFirstCluster, 40u);
}

TEST(FatClusters, Fat32CopiesDisagreeing) {
    FatImageBuilder b(Fat(32));
    b.SetFat(10, 0, 0), b.SetFat(10, 11, 1), b.SetFat(11, 0x0FFFFFFF);           // first says free, second c + 1
    b.SetFat(20, 21, 0), b.SetFat(20, 0x0FFFFFFF, 1), b.SetFat(21, 0x0FFFFFFF);  // second says end
    b.SetFat(30, 31, 0), b.SetFat(30, 0, 1), b.SetFat(31, 0x0FFFFFFF);           // second says free: first wins
    auto p = MakeParser(b);
    uint32_t next = 0;
    EXPECT_EQ(p->GetContiguousRun(10, &next), 2u);
    EXPECT_EQ(p->GetContiguousRun(20, &next), 1u);
    EXPECT_EQ(next, 0x0FFFFFFFu);
    EXPECT_EQ(p->GetContiguousRun(30, &next), 2u);
}

TEST(FatClusters, Fat32WithOneFatHasNoSecondCopy) {
    FatImageBuilder::Options o = Fat(32);
    o.numberOfFats = 1;
    FatImageBuilder b(o);
    b.SetFat(10, 11), b.SetFat(11, 0x0FFFFFFF);
    // What follows the only FAT is the data area; it must not be read as a second copy.
    std::memset(b.Image().data() + b.FatOffset(1), 0xAB, 4096);
    auto p = MakeParser(b);
    uint32_t next = 0;
    EXPECT_EQ(p->GetContiguousRun(10, &next), 2u);
    EXPECT_EQ(next, 0x0FFFFFFFu);
}

TEST(FatClusters, LoopingChainsStayBounded) {
    FatImageBuilder b(Fat(16));
    b.SetFat(10, 20), b.SetFat(20, 10);  // two runs pointing at each other
    b.SetFat(50, 51), b.SetFat(51, 52), b.SetFat(52, 50);
    auto p = MakeParser(b);
    std::vector<ClusterRun> runs;
    uint64_t clusters = 0;
    p->BuildRunList(10, &runs, nullptr, &clusters);
    EXPECT_EQ(runs.size(), 2u);
    p->BuildRunList(50, &runs, nullptr, &clusters);
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_EQ(clusters, 3u);

    std::vector<uint32_t> chain;
    p->GetClusterChain(10, chain);
    EXPECT_LE(chain.size(), p->GetFatEntryCount() + 1);
    EXPECT_EQ(chain[0], 10u);
    EXPECT_EQ(chain[1], 20u);
}

TEST(FatClusters, ChainsFollowTheFatAndIgnoreReservedStarts) {
    FatImageBuilder b(Fat(12));
    uint32_t first = b.AllocateChain(4);
    auto p = MakeParser(b);
    std::vector<uint32_t> chain = {99};
    p->GetClusterChain(0, chain);
    EXPECT_EQ(chain, std::vector<uint32_t>{99}) << "cluster 0 leaves the list";
    p->GetClusterChain(1, chain);
    EXPECT_EQ(chain, std::vector<uint32_t>{99}) << "cluster 1 leaves the list";
    p->GetClusterChain(first, chain);
    EXPECT_EQ(chain, (std::vector<uint32_t>{first, first + 1, first + 2, first + 3}));
}

TEST(FatClusters, Fat12EndOfChainIsNotTakenForACluster) {
    // A FAT12 FAT of 12 sectors holds more entries than the cluster limit: the end mark
    // 0xFFF must end the run list instead of starting another run.
    FatImageBuilder::Options o = Fat(12);
    o.sectorsPerFat = 12;
    o.totalSectors = 4000;
    FatImageBuilder b(o);
    uint32_t first = b.AllocateChain(3);
    auto p = MakeParser(b);
    ASSERT_GE(p->GetFatEntryCount(), 0xFF8u);
    std::vector<ClusterRun> runs;
    p->BuildRunList(first, &runs, nullptr, nullptr);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].nClusterCount, 3u);
}

}  // namespace

namespace {

TEST(FatClusters, FileClustersExtendAGoneChainBySize) {
    FatImageBuilder b(Fat(16));
    // A deleted file of 10,000 bytes from cluster 100 (512-byte clusters): 20 clusters.
    std::vector<uint32_t> list;
    auto p = MakeParser(b);
    p->GetFileClusters(100, 10000, list);
    ASSERT_EQ(list.size(), 20u);
    EXPECT_EQ(list.front(), 100u);
    EXPECT_EQ(list.back(), 119u);

    // A live chain shorter than its size goes on after its last cluster.
    FatImageBuilder c(Fat(16));
    c.SetFat(10, 30), c.SetFat(30, 0xFFFF);
    p = MakeParser(c);
    p->GetFileClusters(10, 2000, list);
    EXPECT_EQ(list, (std::vector<uint32_t>{10, 30, 31, 32}));

    // Never past the end of the volume.
    p->GetFileClusters(p->GetLastCluster() - 1, 1u << 20, list);
    EXPECT_EQ(list.back(), p->GetLastCluster());
    EXPECT_EQ(p->GetLastCluster(), c.ClusterCount() + 1);
}

}  // namespace

namespace {

TEST(FatDamage, ShareOfTheClustersRecoveryWouldReadThatAreInUseAgain) {
    FatImageBuilder::Options o = Fat(16);
    o.totalSectors = 40000;  // 512-byte clusters: ranges cross several summary blocks
    FatImageBuilder b(o);
    // A live file 10 -> 30 -> 31 takes the start of a deleted one that began at 10.
    b.SetFat(10, 30), b.SetFat(30, 31), b.SetFat(31, 0xFFFF);
    b.SetFat(33, 0xFFFF);
    // Clusters 5000..5999 are in use; 300 is a one-cluster file.
    for (uint32_t c = 5000; c < 6000; ++c) b.SetFat(c, c + 1 == 6000 ? 0xFFFF : c + 1);
    b.SetFat(300, 0xFFFF);
    auto p = MakeParser(b);
    const uint32_t last = p->GetLastCluster();
    struct Case {
        const char* what;
        uint32_t first;
        uint64_t size;
        float damage;
    } cases[] = {
        {"free run", 100, 10000, 0.0f},
        {"empty file", 10, 0, 0.0f},
        {"one cluster in use", 300, 512, 1.0f},
        {"chain, then consecutive clusters 32..34 of which 33 is in use", 10, uint64_t{6} * 512, 4.0f / 6},
        {"chain cut by the size", 10, uint64_t{2} * 512, 1.0f},
        {"a thousand in use among four thousand", 4000, uint64_t{4000} * 512, 0.25f},
        {"the whole used stretch", 5000, uint64_t{1000} * 512, 1.0f},
        {"two clusters inside the volume, two past its end", last - 1, uint64_t{4} * 512, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FLOAT_EQ(p->EstimateFileDamage(c.first, c.size), c.damage);
    }
    EXPECT_EQ(p->CountAllocatedClusters(2, 5998), 1000u + 4 + 1);
    // Clusters 0 and 1 are not in the data area: nothing of a file is there.
    EXPECT_EQ(p->CountAllocatedClusters(0, 6000), 1000u + 4 + 1 + 2);
}

}  // namespace
