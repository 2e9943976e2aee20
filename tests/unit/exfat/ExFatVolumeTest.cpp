// The exFAT parser on tiny exact volumes: the tree of live and deleted entries, deleted
// folders, damaged sets and boot regions, and recovery through the shared RecoverNode.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/exfat/ExFatParser.h"
#include "tests/fixtures/ExFatImageBuilder.h"
#include "tests/unit/platform/TempDir.h"

namespace {

std::vector<uint8_t> Bytes(size_t size, uint8_t seed) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return v;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

NodeEntry* Child(NodeEntry* folder, const std::string& name) {
    if (!folder) return nullptr;
    for (NodeEntry* c : folder->Children())
        if (c->name && name == c->name) return c;
    return nullptr;
}

class ExFatVolumeTest : public ::testing::Test {
protected:
    CExFATParser& Scan(int expected = 0) {
        parser = std::make_unique<CExFATParser>(builder.MakeDrive().release(), builder.BootSector());
        EXPECT_EQ(parser->PrepareDirTree(100), expected);
        return *parser;
    }
    NodeEntry* Root() { return parser->GetRoot(); }
    int Recover(NodeEntry* node) {
        files = folders = 0;
        return parser->RecoverNode(node, dir.Path().c_str(), &files, &folders, 0, -1000, nullptr);
    }
    std::string AsString(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

    ExFatImageBuilder builder;
    std::unique_ptr<CExFATParser> parser;
    TempDir dir;
    uint32_t files = 0, folders = 0;
};

TEST_F(ExFatVolumeTest, LiveAndDeletedEntriesWithTheirFacts) {
    builder.SetVolumeLabel(u"CARD");
    size_t dcim = builder.AddFolder(ExFatImageBuilder::kRoot, u"DCIM");
    builder.AddFile(dcim, u"IMG_0001.JPG", Bytes(3000, 1));
    auto gone = builder.AddFile(dcim, u"IMG_0002 — Ünïcødé.JPG", Bytes(700, 2));
    builder.Delete(gone);
    builder.AddFile(ExFatImageBuilder::kRoot, u"empty.txt", {});
    Scan();
    EXPECT_EQ(parser->VolumeLabel(), "CARD");
    EXPECT_EQ(parser->GetFileSystemType(), FS_EXFAT);
    NodeEntry* d = Child(Root(), "DCIM");
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->IsDirectory());
    EXPECT_FALSE(d->isDeleted);
    NodeEntry* live = Child(d, "IMG_0001.JPG");
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->size, 3000u);
    EXPECT_FALSE(live->isDeleted);
    NodeEntry* deleted = Child(d, "IMG_0002 — Ünïcødé.JPG");
    ASSERT_NE(deleted, nullptr);
    EXPECT_TRUE(deleted->isDeleted);
    EXPECT_EQ(deleted->size, 700u);
    EXPECT_EQ(deleted->damageLevel, 0.0f);
    EXPECT_NE(deleted->modifiedTime, 0u);
    EXPECT_EQ(deleted->modifiedTime, deleted->createdTime);
    ASSERT_NE(Child(Root(), "empty.txt"), nullptr);
    EXPECT_EQ(parser->GetNodeCount(), 4u);
}

TEST_F(ExFatVolumeTest, DeletedFolderTreesAreWalkedFromTheirFirstCluster) {
    ExFatImageBuilder::Set trashSet, innerSet;
    size_t trash = builder.AddFolder(ExFatImageBuilder::kRoot, u"trash", &trashSet);
    size_t inner = builder.AddFolder(trash, u"inner", &innerSet);
    auto a = builder.AddFile(trash, u"a.txt", Bytes(100, 3));
    auto b = builder.AddFile(inner, u"b.bin", Bytes(1500, 4));
    // As a driver removes a tree: the contents first, then the folders.
    builder.Delete(b);
    builder.Delete(innerSet);
    builder.Delete(a);
    builder.Delete(trashSet);
    Scan();
    NodeEntry* t = Child(Root(), "trash");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->isDeleted);
    NodeEntry* in = Child(t, "inner");
    ASSERT_NE(in, nullptr);
    ASSERT_NE(Child(t, "a.txt"), nullptr);
    NodeEntry* bn = Child(in, "b.bin");
    ASSERT_NE(bn, nullptr);
    EXPECT_TRUE(bn->isDeleted);

    ASSERT_EQ(Recover(t), RECOVER_OK);
    EXPECT_EQ(files, 2u);
    EXPECT_EQ(folders, 2u);
    EXPECT_EQ(ReadAll(dir / "trash/inner/b.bin"), AsString(Bytes(1500, 4)));
    EXPECT_EQ(ReadAll(dir / "trash/a.txt"), AsString(Bytes(100, 3)));
}

TEST_F(ExFatVolumeTest, ADeletedFolderGrownInPiecesIsFollowedPastItsFirstCluster) {
    // 512-byte clusters hold 16 entries: five photo sets and part of a sixth, so sets
    // straddle the pieces; each photo's data lies between two pieces of the folder.
    ExFatImageBuilder::Set albumSet, subSet;
    size_t album = builder.AddFolder(ExFatImageBuilder::kRoot, u"album", &albumSet);
    std::vector<ExFatImageBuilder::Set> photos;
    size_t sub = 0;
    for (int i = 1; i <= 24; ++i) {
        char16_t name[] = u"IMG_0000.JPG";
        name[6] = static_cast<char16_t>(u'0' + i / 10);
        name[7] = static_cast<char16_t>(u'0' + i % 10);
        photos.push_back(builder.AddFile(album, name, Bytes(700 + i, static_cast<uint8_t>(i))));
        // A folder made on the way starts right after a photo's data, where a piece of the
        // album could have been: its own entries must stay its own.
        if (i == 9) sub = builder.AddFolder(album, u"sub", &subSet);
    }
    auto inSub = builder.AddFile(sub, u"note.txt", Bytes(40, 99));
    builder.Delete(inSub);
    builder.Delete(subSet);
    for (const auto& p : photos) builder.Delete(p);
    builder.Delete(albumSet);
    Scan();
    NodeEntry* a = Child(Root(), "album");
    ASSERT_NE(a, nullptr);
    size_t listed = 0;
    for (NodeEntry* c : a->Children()) listed += c != nullptr;
    EXPECT_EQ(listed, 25u);
    NodeEntry* s = Child(a, "sub");
    ASSERT_NE(s, nullptr);
    ASSERT_NE(Child(s, "note.txt"), nullptr);

    ASSERT_EQ(Recover(a), RECOVER_OK);
    EXPECT_EQ(files, 25u);
    for (int i = 1; i <= 24; ++i) {
        char name[] = "album/IMG_0000.JPG";
        name[12] = static_cast<char>('0' + i / 10);
        name[13] = static_cast<char>('0' + i % 10);
        EXPECT_EQ(ReadAll(dir / name), AsString(Bytes(700 + i, static_cast<uint8_t>(i)))) << name;
    }
}

TEST_F(ExFatVolumeTest, ALiveFolderKeepsTheClusterADeletedOneHad) {
    ExFatImageBuilder::Set oldSet;
    size_t old = builder.AddFolder(ExFatImageBuilder::kRoot, u"old", &oldSet);
    builder.AddFile(old, u"stale.txt", Bytes(10, 5));
    builder.Delete(oldSet);
    // A new folder whose entry set names the deleted folder's first cluster.
    auto bytes = ExFatImageBuilder::EntrySetBytes(u"new", 0x10, oldSet.clusters.front(), 2 * builder.ClusterBytes(),
                                                  2 * builder.ClusterBytes(), 0x03);
    builder.AddRawSet(ExFatImageBuilder::kRoot, bytes);
    Scan();
    NodeEntry* oldNode = Child(Root(), "old");
    NodeEntry* newNode = Child(Root(), "new");
    ASSERT_NE(oldNode, nullptr);
    ASSERT_NE(newNode, nullptr);
    EXPECT_TRUE(oldNode->isDeleted);
    EXPECT_FALSE(oldNode->HasChildren());  // walked only under the live folder
    NodeEntry* stale = Child(newNode, "stale.txt");
    ASSERT_NE(stale, nullptr);
    EXPECT_FALSE(stale->isDeleted);
}

TEST_F(ExFatVolumeTest, DeletedFolderCyclesAndOverwrittenClustersEnd) {
    ExFatImageBuilder::Set loopSet, junkSet;
    size_t loop = builder.AddFolder(ExFatImageBuilder::kRoot, u"loop", &loopSet);
    builder.AddFile(loop, u"f.txt", Bytes(10, 6));
    // A folder inside that names its parent's own cluster.
    auto self = ExFatImageBuilder::EntrySetBytes(u"again", 0x10, loopSet.clusters.front(), builder.ClusterBytes(),
                                                 builder.ClusterBytes(), 0x03);
    for (size_t e = 0; e < self.size(); e += 32) self[e] &= 0x7F;
    builder.AddRawSet(loop, self);
    builder.Delete(loopSet);
    size_t junk = builder.AddFolder(ExFatImageBuilder::kRoot, u"junk", &junkSet);
    builder.AddFile(junk, u"g.txt", Bytes(10, 7));
    builder.Delete(junkSet);
    builder.FillCluster(junkSet.clusters.front(), 0x85);  // reused by file data since
    Scan();
    NodeEntry* l = Child(Root(), "loop");
    ASSERT_NE(l, nullptr);
    ASSERT_NE(Child(l, "f.txt"), nullptr);
    NodeEntry* again = Child(l, "again");
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->HasChildren());
    NodeEntry* j = Child(Root(), "junk");
    ASSERT_NE(j, nullptr);
    EXPECT_FALSE(j->HasChildren());
}

TEST_F(ExFatVolumeTest, DamagedSetsAreListedFromASaneStreamEntry) {
    auto bad = builder.AddFile(ExFatImageBuilder::kRoot, u"bad sum.txt", Bytes(600, 8));
    auto wild = builder.AddFile(ExFatImageBuilder::kRoot, u"wild.txt", Bytes(600, 9));
    auto live = builder.AddFile(ExFatImageBuilder::kRoot, u"live.txt", Bytes(600, 10));
    builder.Delete(bad);
    builder.Delete(wild);
    std::vector<uint8_t>& img = builder.Image();
    img[builder.SetOffset(bad) + 2] ^= 0xFF;            // set checksum
    img[builder.SetOffset(wild) + 32 + 20 + 3] = 0x7F;  // first cluster far outside the heap
    img[builder.SetOffset(live) + 32 + 8 + 1] = 0x40;   // valid data length 16 KiB over a size of 600
    Scan();
    NodeEntry* b = Child(Root(), "bad sum.txt");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->isDeleted);
    EXPECT_TRUE(b->entryDamaged);
    EXPECT_EQ(Child(Root(), "wild.txt"), nullptr);
    NodeEntry* l = Child(Root(), "live.txt");
    ASSERT_NE(l, nullptr);
    EXPECT_FALSE(l->isDeleted);
    EXPECT_TRUE(l->entryDamaged);
    EXPECT_EQ(l->size, 600u);
    ASSERT_EQ(Recover(b), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "bad sum.txt"), AsString(Bytes(600, 8)));
}

TEST_F(ExFatVolumeTest, ChainsContiguousClustersValidLengthAndDamage) {
    // Clusters 40, 42, 44 chained; the FAT chain kept after deletion.
    ExFatImageBuilder::FileOptions chained;
    chained.noFatChain = false;
    chained.clusters = {40, 42, 44};
    auto kept = builder.AddFile(ExFatImageBuilder::kRoot, u"kept chain.bin", Bytes(1300, 10), chained);
    builder.Delete(kept, true);
    // The same layout with the chain zeroed: consecutive clusters from the first.
    chained.clusters = {50, 52, 54};
    auto lost = builder.AddFile(ExFatImageBuilder::kRoot, u"lost chain.bin", Bytes(1300, 11), chained);
    builder.Delete(lost);
    for (uint32_t c : {51u, 53u}) builder.FillCluster(c, 0xEE);
    // Valid data length below the size.
    ExFatImageBuilder::FileOptions partial;
    partial.validLength = 700;
    auto half = builder.AddFile(ExFatImageBuilder::kRoot, u"half.bin", Bytes(1200, 12), partial);
    builder.Delete(half);
    // Deleted, then its clusters taken by a live file.
    auto victim = builder.AddFile(ExFatImageBuilder::kRoot, u"victim.bin", Bytes(1024, 13));
    builder.Delete(victim);
    ExFatImageBuilder::FileOptions over;
    over.clusters = victim.clusters;
    builder.AddFile(ExFatImageBuilder::kRoot, u"newcomer.bin", Bytes(1024, 14), over);
    Scan();

    NodeEntry* k = Child(Root(), "kept chain.bin");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(Recover(k), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "kept chain.bin"), AsString(Bytes(1300, 10)));

    NodeEntry* l = Child(Root(), "lost chain.bin");
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(Recover(l), RECOVER_OK);
    std::string expected = AsString(Bytes(1300, 11)).substr(0, 512) + std::string(512, '\xEE') +
                           AsString(Bytes(1300, 11)).substr(512, 276);
    EXPECT_EQ(ReadAll(dir / "lost chain.bin"), expected);

    NodeEntry* h = Child(Root(), "half.bin");
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(Recover(h), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "half.bin"), AsString(Bytes(1200, 12)).substr(0, 700) + std::string(500, '\0'));

    NodeEntry* v = Child(Root(), "victim.bin");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->damageLevel, 1.0f);
    EXPECT_EQ(k->damageLevel, 0.0f);
    // Its consecutive clusters hold other bytes, but no live file has them.
    EXPECT_EQ(l->damageLevel, 0.0f);
}

TEST_F(ExFatVolumeTest, TheBackupBootRegionStandsInForABrokenMainOne) {
    builder.AddFile(ExFatImageBuilder::kRoot, u"a.txt", Bytes(10, 15));
    std::vector<uint8_t>& img = builder.Image();
    const uint8_t root = img[96];
    img[96] = 0x70;  // root cluster, without a new checksum
    parser = std::make_unique<CExFATParser>(builder.MakeDrive().release(), img.data());
    EXPECT_EQ(parser->Boot().dwRootCluster, root);
    EXPECT_EQ(parser->PrepareDirTree(100), 0);
    EXPECT_NE(Child(Root(), "a.txt"), nullptr);

    // Both regions broken: the main boot sector is taken as it is.
    std::fill(img.begin() + 12 * 512, img.begin() + 24 * 512, 0);
    img[96] = root;
    img[100] ^= 1;
    parser = std::make_unique<CExFATParser>(builder.MakeDrive().release(), img.data());
    EXPECT_EQ(parser->PrepareDirTree(100), 0);
    EXPECT_NE(Child(Root(), "a.txt"), nullptr);
}

TEST_F(ExFatVolumeTest, AnUnusableVolumeFailsTheScan) {
    std::vector<uint8_t>& img = builder.Image();
    img[96] = 0;  // root cluster 0 (both regions agree)
    img[97] = 0;
    builder.WriteBootChecksums();
    parser = std::make_unique<CExFATParser>(builder.MakeDrive().release(), img.data());
    EXPECT_FALSE(parser->IsVolumeUsable());
    EXPECT_EQ(parser->PrepareDirTree(100), EXFAT_SCAN_NO_VOLUME);
}

TEST_F(ExFatVolumeTest, DirectoryHandlesFindAndReadAFile) {
    size_t docs = builder.AddFolder(ExFatImageBuilder::kRoot, u"Docs");
    builder.AddFile(docs, u"Report.txt", Bytes(900, 16));
    Scan();
    uint32_t hDocs = parser->OpenDirectory(0, "docs");
    ASSERT_NE(hDocs, INVALID_HANDLE);
    uint32_t h = parser->FindFile(hDocs, "REPORT.TXT", FALSE);
    ASSERT_NE(h, INVALID_HANDLE);
    uint32_t high = 1;
    EXPECT_EQ(parser->GetFileSize(h, &high), 900u);
    EXPECT_EQ(high, 0u);
    std::vector<uint8_t> buffer(2000);
    uint32_t read = 0;
    LONG hi = 0;
    parser->SetFilePointer(h, 100, &hi, 0);
    ASSERT_TRUE(parser->ReadFile(h, buffer.data(), 2000, &read));
    ASSERT_EQ(read, 800u);
    const std::vector<uint8_t> data = Bytes(900, 16);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 800),
              std::vector<uint8_t>(data.begin() + 100, data.end()));
    parser->CloseFile(h);
}

}  // namespace
