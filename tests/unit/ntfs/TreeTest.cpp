// The scan that builds the tree: deleted parents, orphans, damage, names, loops.
#include <gtest/gtest.h>

#include "fslib/core/JobState.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;
using ntfstest::Child;

namespace {

std::unique_ptr<CNTFSParser> Scan(NtfsImageBuilder& b, bool attachOrphans = true, int* status = nullptr) {
    auto parser = ntfstest::OpenImage(b.Build());
    parser->m_bAttachOrphans = attachOrphans ? 1 : 0;
    int rc = parser->PrepareDirTree(100);
    if (status)
        *status = rc;
    else
        EXPECT_EQ(rc, 0);
    return parser;
}

// Every node's parent names the folder whose list holds it; counts the nodes.
size_t CheckLinks(NodeEntry* folder) {
    size_t count = 0;
    for (NodeEntry* c : folder->Children()) {
        EXPECT_EQ(c->parent, folder) << (c->name ? c->name : "?");
        count += 1 + CheckLinks(c);
    }
    return count;
}

TEST(NtfsTree, DeletedFileUnderItsDeletedFolder) {
    NtfsImageBuilder b;
    uint32_t live = b.AddDirectory(5, u"docs");
    uint32_t gone = b.AddDirectory(live, u"old", true);
    uint32_t file = b.AddFile(gone, u"letter.txt", {'h', 'i'}, true);
    auto parser = Scan(b);
    NodeEntry* docs = Child(parser->GetRoot(), "docs");
    ASSERT_NE(docs, nullptr);
    EXPECT_EQ(docs->isDeleted, 0);
    EXPECT_TRUE(docs->IsDirectory());
    NodeEntry* old = Child(docs, "old");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->isDeleted, 1);
    EXPECT_EQ(old->key, gone);
    NodeEntry* letter = Child(old, "letter.txt");
    ASSERT_NE(letter, nullptr);
    EXPECT_EQ(letter->key, file);
    EXPECT_EQ(letter->isDeleted, 1);
    EXPECT_EQ(letter->size, 2u);
    EXPECT_EQ(letter->modifiedTime, b.fileTime + 10000000);
    EXPECT_EQ(letter->createdTime, b.fileTime);
    EXPECT_TRUE(letter->HasWideName());
    EXPECT_EQ(letter->WideName(), u"letter.txt");
    EXPECT_EQ(CheckLinks(parser->GetRoot()), 3u);
    EXPECT_EQ(parser->GetNodeCount(), 3u);
}

TEST(NtfsTree, ParentWithAHigherRecordIsMadeDuringTheWalk) {
    NtfsImageBuilder b;
    uint32_t file = b.NextRecord();
    b.Record(file)
        .InUse(false)
        .StandardInformation(b.fileTime, b.fileTime + 5)
        .FileName(file + 1, u"early.txt", 1)
        .ResidentData({'e'});
    uint32_t dir = b.AddDirectory(5, u"late dir", true);
    ASSERT_EQ(dir, file + 1);
    auto parser = Scan(b);
    NodeEntry* d = Child(parser->GetRoot(), "late dir");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->createdTime, b.fileTime);
    EXPECT_EQ(d->isDeleted, 1);
    ASSERT_NE(Child(d, "early.txt"), nullptr);
    EXPECT_EQ(parser->GetNodeCount(), 2u);
    EXPECT_EQ(parser->GetRoot()->ChildCount(), 1u);  // made once, not again by the main loop
}

TEST(NtfsTree, ParentReusedByAFileGivesAMadeUpFolder) {
    NtfsImageBuilder b;
    uint32_t reused = b.AddFile(5, u"now a file.txt", {'x'});
    uint32_t a = b.AddFile(reused, u"a.txt", {'a'}, true);
    uint32_t c = b.AddFile(reused, u"c.txt", {'c'}, true);
    uint32_t far = b.AddFile(5000, u"far.txt", {'f'}, true);  // parent past the MFT
    {
        auto parser = Scan(b);
        NodeEntry* made = Child(parser->GetRoot(), "$$folder_" + std::to_string(reused));
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->key, reused);
        EXPECT_EQ(made->isDeleted, 1);
        EXPECT_TRUE(made->IsDirectory());
        EXPECT_NE(made->modifiedTime, 0u);
        ASSERT_EQ(made->ChildCount(), 2u);  // both share one folder
        EXPECT_EQ(Child(made, "a.txt")->key, a);
        EXPECT_EQ(Child(made, "c.txt")->key, c);
        EXPECT_EQ(parser->GetNodeCount(), 1u + 3u + 2u);  // the live file, three orphans, two folders
        NodeEntry* farFolder = Child(parser->GetRoot(), "$$folder_5000");
        ASSERT_NE(farFolder, nullptr);
        EXPECT_EQ(Child(farFolder, "far.txt")->key, far);
        CheckLinks(parser->GetRoot());
    }
    {
        auto parser = Scan(b, false);
        EXPECT_EQ(Child(parser->GetRoot(), "$$folder_" + std::to_string(reused)), nullptr);
        EXPECT_NE(Child(parser->GetRoot(), "now a file.txt"), nullptr);
        EXPECT_EQ(parser->GetRoot()->ChildCount(), 1u);
        EXPECT_EQ(parser->GetNodeCount(), 1u);
    }
}

TEST(NtfsTree, DamageLevelFromTheClusterMap) {
    NtfsImageBuilder b;
    std::vector<uint8_t> data(4 * 512, 'd');
    uint32_t intact = b.AddFile(5, u"intact.bin", data, true);
    uint32_t hurt = b.AddFile(5, u"hurt.bin", data, true);
    uint32_t dir = b.AddDirectory(5, u"gone dir", true);
    b.Build();  // fixes the record layout so the clusters can be looked up
    // hurt.bin's clusters follow intact.bin's: mark 3 of its 4 in use again.
    uint64_t hurtFirst = 0;
    {
        auto probe = ntfstest::OpenImage(b.Build());
        uint8_t record[1024];
        probe->ReadMFTRecord(hurt, record);
        CMFTRecord r(record, hurt, false, probe.get());
        ASSERT_EQ(r.LocateRecordAttributes(0), 0);
        hurtFirst = r.GetFirstCluster();
    }
    for (uint64_t c = 0; c < 3; ++c) b.SetClusterUsed(hurtFirst + c, true);
    auto parser = Scan(b);
    EXPECT_FLOAT_EQ(Child(parser->GetRoot(), "intact.bin")->damageLevel, 0.0f);
    EXPECT_FLOAT_EQ(Child(parser->GetRoot(), "hurt.bin")->damageLevel, 0.75f);
    EXPECT_FLOAT_EQ(Child(parser->GetRoot(), "gone dir")->damageLevel, 0.0f);
    (void)intact;
    (void)dir;
}

TEST(NtfsTree, SparseHolesDoNotCountAsDamage) {
    NtfsImageBuilder b;
    uint64_t first = b.AllocateClusters(2);
    b.SetClusterUsed(first, false);
    b.SetClusterUsed(first + 1, false);
    uint32_t n = b.NextRecord();
    b.Record(n)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(5, u"holes.bin", 1)
        .NonResidentData({{100, 0, true}, {2, first, false}}, 102 * 512);
    auto parser = Scan(b);
    EXPECT_FLOAT_EQ(Child(parser->GetRoot(), "holes.bin")->damageLevel, 0.0f);
}

TEST(NtfsTree, PosixOnlyNamesAreListed) {
    NtfsImageBuilder b;
    uint32_t dir = b.AddDirectory(5, u"Linux Dir", true, 0);
    b.AddFile(dir, u"written by ntfs-3g.txt", {'p'}, true, 0);
    auto parser = Scan(b);
    NodeEntry* d = Child(parser->GetRoot(), "Linux Dir");
    ASSERT_NE(d, nullptr);
    EXPECT_NE(Child(d, "written by ntfs-3g.txt"), nullptr);
}

TEST(NtfsTree, SystemRecordsAppearOnlyAsParents) {
    NtfsImageBuilder b;
    b.Record(11).Directory(true).StandardInformation(1, 1).FileName(5, u"$Extend", 3, true).IndexRoot({});
    b.Record(9).StandardInformation(1, 1).FileName(5, u"$Secure", 3);
    b.AddFile(11, u"$Quota", {'q'});
    auto parser = Scan(b);
    NodeEntry* extend = Child(parser->GetRoot(), "$Extend");
    ASSERT_NE(extend, nullptr);
    EXPECT_NE(Child(extend, "$Quota"), nullptr);
    EXPECT_EQ(Child(parser->GetRoot(), "$Secure"), nullptr);
    EXPECT_EQ(Child(parser->GetRoot(), "$MFT"), nullptr);
}

TEST(NtfsTree, ParentLoopsEndAsOrphans) {
    NtfsImageBuilder b;
    uint32_t a = b.NextRecord();
    uint32_t c = a + 1;
    uint32_t self = a + 2;
    b.Record(a).InUse(false).Directory(true).StandardInformation(1, 1).FileName(c, u"A", 1, true).IndexRoot({});
    b.Record(c).InUse(false).Directory(true).StandardInformation(1, 1).FileName(a, u"B", 1, true).IndexRoot({});
    b.Record(self).InUse(false).Directory(true).StandardInformation(1, 1).FileName(self, u"S", 1, true).IndexRoot({});
    uint32_t inside = b.AddFile(a, u"inside.txt", {'i'}, true);
    auto parser = Scan(b);
    // Every node is placed once, below the root, and no node is its own ancestor.
    EXPECT_EQ(CheckLinks(parser->GetRoot()), 4u + 2u);  // A, B, S, inside + two made-up folders
    NodeEntry* found = nullptr;
    ASSERT_EQ(parser->GetRoot()->FindNodeByKeyRecursive(inside, &found), 1);
    for (NodeEntry* p = found->parent; p; p = p->parent) EXPECT_NE(p, found);
    NodeEntry* selfFolder = Child(parser->GetRoot(), "$$folder_" + std::to_string(self));
    ASSERT_NE(selfFolder, nullptr);
    EXPECT_NE(Child(selfFolder, "S"), nullptr);
}

TEST(NtfsTree, UnreadableParentKeepsTheEntryUnderAMadeUpFolder) {
    NtfsImageBuilder b;
    uint32_t dir = b.AddDirectory(5, u"lost dir", true);
    uint32_t file = b.AddFile(dir, u"kept.txt", {'k'}, true);
    std::vector<uint8_t> image = b.Build();
    auto parser = ntfstest::OpenImage(image, nullptr, {b.RecordOffset(dir) / 512});
    ASSERT_EQ(parser->PrepareDirTree(100), 0);
    NodeEntry* made = Child(parser->GetRoot(), "$$folder_" + std::to_string(dir));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(Child(made, "kept.txt")->key, file);
}

TEST(NtfsTree, UserBreakStopsTheScan) {
    NtfsImageBuilder b;
    for (int i = 0; i < 20; ++i) b.AddFile(5, u"f", {'x'}, true);
    auto parser = ntfstest::OpenImage(b.Build());
    UserBreak.store(1);
    EXPECT_EQ(parser->PrepareDirTree(100), -1000);
    UserBreak.store(0);
    EXPECT_EQ(parser->PrepareDirTree(100), 0);
    EXPECT_EQ(parser->GetRoot()->ChildCount(), 20u);
}

class ProgressLog : public IProgressSink {
public:
    void OnProgress(int position) override { positions.push_back(position); }
    std::vector<int> positions;
};

TEST(NtfsTree, ProgressRisesToTheScale) {
    NtfsImageBuilder b;
    for (int i = 0; i < 40; ++i) b.AddFile(5, u"p", {'x'});
    auto parser = ntfstest::OpenImage(b.Build());
    ProgressLog log;
    SetProgressTarget(&log);
    EXPECT_EQ(parser->PrepareDirTree(100), 0);
    SetProgressTarget(nullptr);
    ASSERT_FALSE(log.positions.empty());
    for (size_t i = 1; i < log.positions.size(); ++i) EXPECT_GT(log.positions[i], log.positions[i - 1]);
    EXPECT_LE(log.positions.back(), 100);
}

}  // namespace

namespace {

// Hard links: a node per Win32, POSIX and Win32-and-DOS name, in every folder, names held
// in extension records through the attribute list included; never the DOS twin.
TEST(NtfsTree, EveryLinkOfAFileGetsANode) {
    for (bool deleted : {false, true}) {
        SCOPED_TRACE(deleted);
        NtfsImageBuilder b;
        uint32_t d = b.AddDirectory(5, u"D");
        uint32_t e = b.AddDirectory(5, u"E");
        std::vector<uint8_t> data(3000, 'h');
        uint64_t first = b.AllocateClusters(6);
        b.WriteClusters(first, data);
        uint32_t n = b.NextRecord();
        uint32_t ext = n + 1;
        b.Record(n)
            .InUse(!deleted)
            .StandardInformation(1, 2)
            .FileName(5, u"Long Name.txt", 1, false, data.size())
            .FileName(5, u"LONGNA~1.TXT", 2, false, data.size())
            .FileName(d, u"posix link", 0, false, data.size())
            .FileName(d, u"both", 3, false, data.size())
            .NonResidentData({{6, first, false}}, data.size())
            .AttributeList({{0x30, n}, {0x30, ext}, {0x80, n}});
        b.Record(ext)
            .InUse(!deleted)
            .BaseReference(n)
            .FileName(e, u"ext link", 1, false, data.size())
            .FileName(e, u"EXTLIN~1", 2, false, data.size());
        auto parser = Scan(b);
        struct Want {
            NodeEntry* folder;
            const char* name;
        } wants[] = {
            {parser->GetRoot(), "Long Name.txt"},
            {Child(parser->GetRoot(), "D"), "posix link"},
            {Child(parser->GetRoot(), "D"), "both"},
            {Child(parser->GetRoot(), "E"), "ext link"},
        };
        for (const Want& w : wants) {
            ASSERT_NE(w.folder, nullptr) << w.name;
            NodeEntry* node = Child(w.folder, w.name);
            ASSERT_NE(node, nullptr) << w.name;
            EXPECT_EQ(node->key, n);
            EXPECT_EQ(node->size, data.size());
            EXPECT_EQ(node->isDeleted, deleted ? 1 : 0);
        }
        EXPECT_EQ(Child(parser->GetRoot(), "LONGNA~1.TXT"), nullptr);
        EXPECT_EQ(Child(Child(parser->GetRoot(), "E"), "EXTLIN~1"), nullptr);
        EXPECT_EQ(CheckLinks(parser->GetRoot()), 6u);  // D, E and the four names
    }
}

}  // namespace
