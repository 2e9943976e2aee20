// FAT recovery on tiny exact volumes: which clusters make up a file, and how it is named.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/fat/FATParser.h"
#include "platform/Time.h"
#include "tests/fixtures/FatImageBuilder.h"
#include "tests/unit/platform/TempDir.h"
#include "tests/unit/recovery/MemoryParser.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class FatRecoveryTest : public ::testing::Test {
protected:
    // FAT16 with clusters of `sectorsPerCluster` sectors; every data cluster holds its
    // own number's low byte, so the written bytes tell which clusters were read.
    void Build(uint8_t sectorsPerCluster) {
        FatImageBuilder::Options o;
        o.fatBits = 16;
        o.sectorsPerCluster = sectorsPerCluster;
        o.totalSectors = 20000;
        builder = std::make_unique<FatImageBuilder>(o);
        for (uint32_t c = 2; c < builder->ClusterCount() + 2; ++c) builder->FillCluster(c, static_cast<uint8_t>(c));
        parser = std::make_unique<CFAT16Parser>(builder->MakeDrive().release(), builder->BootSector());
        parser->AllocateCopyBuffer();
    }
    std::string Expected(const std::vector<uint32_t>& clusters, size_t size) {
        std::string s;
        for (uint32_t c : clusters) s.append(builder->ClusterSize(), static_cast<char>(c));
        s.resize(size);
        return s;
    }
    int Recover(NodeEntry* node, int mode = -1000) {
        files = folders = 0;
        return parser->RecoverNode(node, dir.Path().c_str(), &files, &folders, 0, mode, nullptr);
    }

    std::unique_ptr<FatImageBuilder> builder;
    std::unique_ptr<CFATParser> parser;
    TempDir dir;
    uint32_t files = 0, folders = 0;
};

TEST_F(FatRecoveryTest, ADeletedFileIsReadFromConsecutiveClusters) {
    Build(8);  // 4096-byte clusters
    NodeEntry* node = MemoryParser::Add(parser->GetRoot(), 100, "lost.bin", false, true, 10000);
    ASSERT_EQ(Recover(node), RECOVER_OK);
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(ReadAll(dir / "lost.bin"), Expected({100, 101, 102}, 10000));
}

TEST_F(FatRecoveryTest, AnUnreadableClusterTurnsToZerosInItsPlace) {
    Build(8);
    auto drive = builder->MakeDrive();
    drive->SetUnreadable(builder->DataStartSector() + (101 - 2) * 8 + 3);
    parser = std::make_unique<CFAT16Parser>(drive.release(), builder->BootSector());
    NodeEntry* node = MemoryParser::Add(parser->GetRoot(), 100, "hurt.bin", false, true, 10000);
    ASSERT_EQ(Recover(node), RECOVER_OK);
    std::string got = ReadAll(dir / "hurt.bin");
    std::string want = Expected({100, 101, 102}, 10000);
    ASSERT_EQ(got.size(), 10000u);
    EXPECT_EQ(got.substr(0, 4096 + 3 * 512), want.substr(0, 4096 + 3 * 512));
    EXPECT_EQ(got.substr(8192), want.substr(8192)) << "the cluster after the bad sector is in place";
    EXPECT_EQ(got.substr(4096 + 3 * 512, 512), std::string(512, '\0'));
    // Only the unreadable sector is lost: the rest of its cluster is read sector by sector.
    EXPECT_EQ(got.substr(size_t{4096} + 4 * 512, size_t{4} * 512),
              want.substr(size_t{4096} + 4 * 512, size_t{4} * 512));
}

TEST_F(FatRecoveryTest, ALiveChainIsFollowedThenContinuedPastItsEnd) {
    Build(8);
    builder->SetFat(200, 300);
    builder->SetFat(300, 301);
    builder->SetFat(301, builder->EndOfChain());
    parser = std::make_unique<CFAT16Parser>(builder->MakeDrive().release(), builder->BootSector());
    // Live file reached through a deleted folder: the folder is deleted, so it is written.
    NodeEntry* folder = MemoryParser::Add(parser->GetRoot(), 50, "old", true, true);
    MemoryParser::Add(folder, 200, "chained.bin", false, true, 4 * 4096 - 10);
    ASSERT_EQ(Recover(folder), RECOVER_OK);
    EXPECT_EQ(folders, 1u);
    EXPECT_EQ(ReadAll(dir / "old/chained.bin"), Expected({200, 300, 301, 302}, 4 * 4096 - 10));
}

TEST_F(FatRecoveryTest, FilesLongerThanTheCopyBufferAreWrittenWhole) {
    Build(1);  // 512-byte clusters: 500 clusters fill the buffer
    const size_t size = 1234 * 512 + 7;
    NodeEntry* node = MemoryParser::Add(parser->GetRoot(), 40, "long.bin", false, true, size);
    std::vector<uint32_t> clusters;
    for (uint32_t c = 40; c < 40 + 1235; ++c) clusters.push_back(c);
    ASSERT_EQ(Recover(node), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "long.bin"), Expected(clusters, size));
    std::vector<uint8_t> content;
    ASSERT_TRUE(parser->ReadNodeContent(node, 1u << 20, &content));
    EXPECT_EQ(std::string(content.begin(), content.end()), Expected(clusters, size));
}

TEST_F(FatRecoveryTest, ExistingFilesAreKeptUnlessTheModeOverwrites) {
    Build(1);
    std::ofstream(dir / "report.txt") << "mine";
    NodeEntry* node = MemoryParser::Add(parser->GetRoot(), 60, "report.txt", false, true, 3);
    ASSERT_EQ(Recover(node), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "report(1).txt"), Expected({60}, 3));
    ASSERT_EQ(Recover(node), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "report(2).txt"), Expected({60}, 3));
    EXPECT_EQ(ReadAll(dir / "report.txt"), "mine");
    ASSERT_EQ(Recover(node, -10000), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "report.txt"), Expected({60}, 3));
}

TEST_F(FatRecoveryTest, EmptyLiveAndUnwritableNodes) {
    Build(1);
    NodeEntry* empty = MemoryParser::Add(parser->GetRoot(), 0, "empty.txt", false, true, 0);
    ASSERT_EQ(Recover(empty), RECOVER_OK);
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(ReadAll(dir / "empty.txt"), "");

    NodeEntry* live = MemoryParser::Add(parser->GetRoot(), 70, "live.txt", false, false, 3);
    EXPECT_EQ(Recover(live), RECOVER_OK);
    EXPECT_EQ(files, 0u);

    NodeEntry* file = MemoryParser::Add(parser->GetRoot(), 71, "x.txt", false, true, 3);
    files = folders = 0;
    EXPECT_EQ(parser->RecoverNode(file, (dir / "missing").c_str(), &files, &folders, 0, -1000, nullptr),
              RECOVER_PATH_NOT_FOUND);
    UserBreak.store(1);
    EXPECT_EQ(Recover(file), RECOVER_USER_BREAK);
    UserBreak.store(0);
}

TEST_F(FatRecoveryTest, TheUsersBreakStopsBeforeTheNextChildAndFinishesTheFoldersAbove) {
    Build(1);  // one sector per cluster
    auto drive = builder->MakeDrive();
    const uint64_t trigger = builder->DataStartSector() + (200 - 2);
    drive->SetReadHook([trigger](uint64_t sector, uint32_t count) {
        if (sector <= trigger && trigger < sector + count) UserBreak.store(1);
    });
    parser = std::make_unique<CFAT16Parser>(drive.release(), builder->BootSector());
    NodeEntry* folder = MemoryParser::Add(parser->GetRoot(), 90, "old", true, true);
    folder->modifiedTime = platform::UnixToFileTime(1400000000);
    MemoryParser::Add(folder, 100, "a.bin", false, true, 3);
    NodeEntry* inner = MemoryParser::Add(folder, 110, "inner", true, true);
    MemoryParser::Add(inner, 200, "b.bin", false, true, 3);
    MemoryParser::Add(inner, 300, "c.bin", false, true, 3);
    // The break arrives while b.bin is read: b.bin is finished, c.bin is never begun, and
    // "old", whose last child was stopped, is completed like any folder of the general
    // recovery; the break then ends the job before its next item.
    const int result = Recover(folder);
    const bool broken = UserBreak.exchange(0) != 0;
    EXPECT_TRUE(broken);
    EXPECT_EQ(result, RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "old/a.bin"), Expected({100}, 3));
    EXPECT_EQ(ReadAll(dir / "old/inner/b.bin"), Expected({200}, 3));
    EXPECT_FALSE(std::ifstream(dir / "old/inner/c.bin").good());
    struct stat st;
    ASSERT_EQ(::stat((dir / "old").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1400000000);
}

TEST_F(FatRecoveryTest, ARecoveredFolderGetsItsStoredTimes) {
    Build(1);
    NodeEntry* folder = MemoryParser::Add(parser->GetRoot(), 90, "old", true, true);
    NodeEntry* inner = MemoryParser::Add(folder, 91, "inner.txt", false, true, 3);
    inner->modifiedTime = platform::UnixToFileTime(1500000000);
    folder->modifiedTime = platform::UnixToFileTime(1400000000);
    ASSERT_EQ(Recover(folder), RECOVER_OK);
    EXPECT_EQ(files, 1u);
    struct stat st;
    ASSERT_EQ(::stat((dir / "old").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1400000000);
    ASSERT_EQ(::stat((dir / "old/inner.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000000);
}

}  // namespace
