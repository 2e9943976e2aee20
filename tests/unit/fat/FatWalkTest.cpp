// The directory walk: which nodes the tree gets, deleted marks, mirrors, limits.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fslib/core/JobState.h"
#include "fslib/disk/MemoryDrive.h"
#include "fslib/fat/FATParser.h"
#include "platform/Time.h"
#include "tests/fixtures/FatImageBuilder.h"

namespace {

using Dir = FatImageBuilder::Dir;

std::unique_ptr<CFATParser> Scan(const FatImageBuilder& b, int* status = nullptr) {
    auto drive = b.MakeDrive().release();
    std::unique_ptr<CFATParser> p;
    switch (b.Opts().fatBits) {
        case 12: p = std::make_unique<CFAT12Parser>(drive, b.BootSector()); break;
        case 16: p = std::make_unique<CFAT16Parser>(drive, b.BootSector()); break;
        default: p = std::make_unique<CFAT32Parser>(drive, b.BootSector(), 0); break;
    }
    p->m_dwOptionFlag = 1;
    int rc = p->ProcessRootDirectory();
    if (status) *status = rc;
    return p;
}

NodeEntry* Child(const NodeEntry* folder, const std::string& name) {
    for (NodeEntry* c : folder->Children())
        if (c->name && name == c->name) return c;
    return nullptr;
}

std::vector<std::string> Names(const NodeEntry* folder) {
    std::vector<std::string> out;
    for (NodeEntry* c : folder->Children()) out.push_back(c->name ? c->name : "(null)");
    return out;
}

FatImageBuilder::Options Fat(int bits) {
    FatImageBuilder::Options o;
    o.fatBits = bits;
    return o;
}

class FatWalk : public ::testing::TestWithParam<int> {};

TEST_P(FatWalk, BuildsTheTreeWithDeletedEntriesMarked) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    uint32_t liveCluster = b.AddFile(root, "LIVE.TXT", 700);
    b.AddFile(root, "GONE.TXT", 100);
    b.DeleteEntry(root, b.LastIndex(root));
    Dir docs = b.AddDirectory(root, "DOCS", u"Documents");
    b.AddFile(docs, "QUARTE~1.DOC", 5000, u"Quarterly report.doc");
    b.DeleteEntry(docs, b.LastIndex(docs), 2);
    b.AddFile(docs, "KEEP.TXT", 1);
    Dir old = b.AddDirectory(root, "OLD");
    b.AddFile(old, "INNER.TXT", 10);
    size_t oldIndex = b.LastIndex(root);
    b.DeleteEntry(root, oldIndex);  // the folder's cluster still holds "." and ".."

    int status = -99;
    auto p = Scan(b, &status);
    ASSERT_EQ(status, 0);
    NodeEntry* root_ = p->GetRoot();
    EXPECT_EQ(Names(root_), (std::vector<std::string>{"LIVE.TXT", "_ONE.TXT", "Documents", "_LD"}));

    NodeEntry* live = Child(root_, "LIVE.TXT");
    EXPECT_EQ(live->isDeleted, 0);
    EXPECT_EQ(live->size, 700u);
    EXPECT_EQ(live->key, liveCluster);
    EXPECT_EQ(live->attributes, 0u);
    EXPECT_EQ(live->parent, root_);

    EXPECT_EQ(Child(root_, "_ONE.TXT")->isDeleted, 1);
    NodeEntry* docsNode = Child(root_, "Documents");
    EXPECT_EQ(docsNode->isDeleted, 0);
    EXPECT_EQ(docsNode->attributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(docsNode->key, docs.cluster);
    EXPECT_EQ(Names(docsNode), (std::vector<std::string>{"Quarterly report.doc", "KEEP.TXT"}));
    EXPECT_EQ(Child(docsNode, "Quarterly report.doc")->isDeleted, 1);
    EXPECT_EQ(Child(docsNode, "Quarterly report.doc")->size, 5000u);

    NodeEntry* oldNode = Child(root_, "_LD");
    EXPECT_EQ(oldNode->isDeleted, 1);
    ASSERT_EQ(Names(oldNode), std::vector<std::string>{"INNER.TXT"});
    EXPECT_EQ(oldNode->FirstChild()->isDeleted, 1) << "everything below a deleted folder is deleted";

    const FILETIME expected = [] {
        FILETIME local = 0, utc = 0;
        platform::DosDateTimeToFileTime(FatImageBuilder::kDefaultDate, FatImageBuilder::kDefaultTime, &local);
        platform::LocalFileTimeToFileTime(local, &utc);
        return utc;
    }();
    EXPECT_EQ(live->modifiedTime, expected);
    EXPECT_EQ(live->createdTime, expected);
}

TEST_P(FatWalk, RootWithOnlyALabelAndDeletedEntries) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    b.AddRawEntries(root, {FatImageBuilder::ShortEntry("MY DISK    ", 0x08, 0, 0)});
    b.AddFile(root, "A.TXT", 10);
    b.DeleteEntry(root, b.LastIndex(root));
    b.AddFile(root, "B.TXT", 20, u"Bee file.txt");
    b.DeleteEntry(root, b.LastIndex(root), 1);
    auto p = Scan(b);
    EXPECT_EQ(Names(p->GetRoot()), (std::vector<std::string>{"MY DISK", "_.TXT", "Bee file.txt"}));
    NodeEntry* label = Child(p->GetRoot(), "MY DISK");
    EXPECT_EQ(label->attributes, 0u);
    EXPECT_EQ(label->size, 0u);
    EXPECT_EQ(label->isDeleted, 0);
    EXPECT_EQ(Child(p->GetRoot(), "Bee file.txt")->isDeleted, 1);
}

TEST_P(FatWalk, DeletedFolderWhoseClusterWasReusedIsSkipped) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    Dir gone = b.AddDirectory(root, "GONE");
    b.DeleteEntry(root, b.LastIndex(root));
    b.FillCluster(gone.cluster, 'z');  // now someone else's data
    b.AddFile(root, "X.TXT", 3);
    auto p = Scan(b);
    EXPECT_EQ(Names(p->GetRoot()), std::vector<std::string>{"X.TXT"});
}

TEST_P(FatWalk, ImplausibleEntriesAndDotsAreNeverAdded) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    Dir sub = b.AddDirectory(root, "SUB");
    b.AddRawEntries(sub, {FatImageBuilder::ShortEntry("HUGE    BIN", 0x20, 40, 0xFFFFFFF0u),
                          FatImageBuilder::ShortEntry("NOCLUS  BIN", 0x20, 0, 100),
                          FatImageBuilder::ShortEntry("BAD?    TXT", 0x20, 41, 1),
                          FatImageBuilder::ShortEntry("EMPTY   TXT", 0x20, 0, 0)});
    auto p = Scan(b);
    NodeEntry* subNode = Child(p->GetRoot(), "SUB");
    ASSERT_NE(subNode, nullptr);
    EXPECT_EQ(Names(subNode), std::vector<std::string>{"EMPTY.TXT"});
}

TEST_P(FatWalk, NewerMirrorReplacesTheOlderAndOlderIsSkipped) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    Dir a = b.AddDirectory(root, "A");
    b.AddFile(a, "IN_A.TXT", 5);
    // Two live entries naming one cluster: a second one created a day later takes A's place.
    auto newer = FatImageBuilder::ShortEntry("B          ", 0x10, a.cluster, 0, FatImageBuilder::kDefaultDate + 1);
    b.AddRawEntries(root, {newer});
    // A third, older one is skipped.
    auto older = FatImageBuilder::ShortEntry("C          ", 0x10, a.cluster, 0, FatImageBuilder::kDefaultDate - 1);
    b.AddRawEntries(root, {older});
    auto p = Scan(b);
    EXPECT_EQ(Names(p->GetRoot()), std::vector<std::string>{"B"});
    NodeEntry* replaced = Child(p->GetRoot(), "B");
    EXPECT_EQ(replaced->isDeleted, 0);
    ASSERT_EQ(Names(replaced), std::vector<std::string>{"IN_A.TXT"});
    EXPECT_EQ(replaced->FirstChild()->parent, replaced);
}

// A folder deleted and a new one given its first cluster: both entries name it. Whatever
// the order and the times, the live one keeps the cluster and its contents keep their
// own state; the deleted one stays as an empty deleted folder.
TEST_P(FatWalk, LiveFolderOwnsTheClusterItSharesWithADeletedOne) {
    struct Case {
        bool deletedFirst;
        int liveDayDelta;  // the live entry's creation date against the deleted one's
    };
    for (Case c : {Case{true, 0}, Case{true, -1}, Case{true, 1}, Case{false, 0}, Case{false, -1}, Case{false, 1}}) {
        SCOPED_TRACE(testing::Message() << "deletedFirst " << c.deletedFirst << " delta " << c.liveDayDelta);
        FatImageBuilder b(Fat(GetParam()));
        Dir root = b.Root();
        Dir shared = b.AddDirectory(root, c.deletedFirst ? "GONE" : "LIVE");
        const size_t firstIndex = b.LastIndex(root);
        b.AddFile(shared, "KEEP.TXT", 10);
        b.AddFile(shared, "DEL.TXT", 10);
        b.DeleteEntry(shared, b.LastIndex(shared));
        Dir sub = b.AddDirectory(shared, "SUB");
        b.AddFile(sub, "F.TXT", 3);
        b.AddRawEntries(root, {FatImageBuilder::ShortEntry(c.deletedFirst ? "LIVE" : "GONE", 0x10, shared.cluster, 0)});
        const size_t secondIndex = b.LastIndex(root);
        const size_t deletedIndex = c.deletedFirst ? firstIndex : secondIndex;
        const size_t liveIndex = c.deletedFirst ? secondIndex : firstIndex;
        b.EntryAt(root, deletedIndex)[0] = 0xE5;  // the chain stays: the live folder holds it
        const uint16_t liveDate = static_cast<uint16_t>(FatImageBuilder::kDefaultDate + c.liveDayDelta);
        std::memcpy(b.EntryAt(root, liveIndex) + 16, &liveDate, 2);

        auto p = Scan(b);
        NodeEntry* live = Child(p->GetRoot(), "LIVE");
        NodeEntry* gone = Child(p->GetRoot(), "_ONE");
        ASSERT_NE(live, nullptr);
        ASSERT_NE(gone, nullptr);
        EXPECT_EQ(live->isDeleted, 0);
        EXPECT_EQ(live->key, shared.cluster);
        EXPECT_EQ(gone->isDeleted, 1);
        EXPECT_EQ(gone->key, shared.cluster);
        EXPECT_FALSE(gone->HasChildren());
        ASSERT_EQ(Names(live), (std::vector<std::string>{"KEEP.TXT", "_EL.TXT", "SUB"}));
        for (NodeEntry* n : live->Children()) EXPECT_EQ(n->parent, live);
        EXPECT_EQ(Child(live, "KEEP.TXT")->isDeleted, 0);
        EXPECT_EQ(Child(live, "_EL.TXT")->isDeleted, 1);
        NodeEntry* subNode = Child(live, "SUB");
        EXPECT_EQ(subNode->isDeleted, 0);
        ASSERT_EQ(Names(subNode), std::vector<std::string>{"F.TXT"});
        EXPECT_EQ(subNode->FirstChild()->isDeleted, 0);
    }
}

// Between two deleted folders the newer one still wins, and a live file below stays
// deleted because its folder is.
TEST_P(FatWalk, TwoDeletedFoldersOnOneClusterKeepTheTimeRule) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    Dir a = b.AddDirectory(root, "AA");
    b.AddFile(a, "IN_A.TXT", 5);
    b.EntryAt(root, b.LastIndex(root))[0] = 0xE5;
    b.AddRawEntries(root, {FatImageBuilder::ShortEntry("BB", 0x10, a.cluster, 0, FatImageBuilder::kDefaultDate + 1)});
    b.EntryAt(root, b.LastIndex(root))[0] = 0xE5;
    auto p = Scan(b);
    ASSERT_EQ(Names(p->GetRoot()), std::vector<std::string>{"_B"});
    NodeEntry* newer = p->GetRoot()->FirstChild();
    ASSERT_EQ(Names(newer), std::vector<std::string>{"IN_A.TXT"});
    EXPECT_EQ(newer->FirstChild()->isDeleted, 1);
}

TEST_P(FatWalk, DirectoryPointingAtItsAncestorMakesNoCycle) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    Dir top = b.AddDirectory(root, "TOP");
    Dir mid = b.AddDirectory(top, "MID");
    b.AddFile(mid, "F.TXT", 1);
    // MID holds a newer entry naming TOP's cluster.
    b.AddRawEntries(
        mid, {FatImageBuilder::ShortEntry("LOOP       ", 0x10, top.cluster, 0, FatImageBuilder::kDefaultDate + 5)});
    auto p = Scan(b);
    NodeEntry* t = Child(p->GetRoot(), "TOP");
    ASSERT_NE(t, nullptr);
    NodeEntry* m = Child(t, "MID");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Names(m), std::vector<std::string>{"F.TXT"});
    for (const NodeEntry* n = m; n; n = n->parent) EXPECT_NE(n->parent, m);
}

TEST_P(FatWalk, DeepNestingIsCut) {
    FatImageBuilder::Options o = Fat(GetParam());
    if (GetParam() == 12) o.totalSectors = 4000;
    FatImageBuilder b(o);
    Dir d = b.Root();
    for (int i = 0; i < 200; ++i) d = b.AddDirectory(d, "D");
    b.AddFile(d, "DEEP.TXT", 1);
    int status = -99;
    auto p = Scan(b, &status);
    EXPECT_EQ(status, 0);
    int depth = 0;
    for (NodeEntry* n = p->GetRoot(); n->FirstChild(); n = n->FirstChild()) ++depth;
    EXPECT_EQ(depth, static_cast<int>(kFatMaxWalkDepth) + 1);
}

TEST_P(FatWalk, UnreadableLongNameSkipsOnlyThatEntry) {
    FatImageBuilder b(Fat(GetParam()));
    Dir root = b.Root();
    Dir sub = b.AddDirectory(root, "SUB");
    b.AddFile(sub, "A.TXT", 1);
    // 21 pieces: the assembled name would reach 260 characters.
    auto e = FatImageBuilder::ShortEntry("LONG    TXT", 0x20, 50, 1);
    b.AddRawEntries(sub, FatImageBuilder::LongNameEntries(std::u16string(270, u'x'), 0));
    b.AddRawEntries(sub, {e});
    b.AddFile(sub, "Z.TXT", 1);
    auto p = Scan(b);
    std::vector<std::string> names = Names(Child(p->GetRoot(), "SUB"));
    EXPECT_EQ(names.front(), "A.TXT");
    EXPECT_EQ(names.back(), "Z.TXT");
}

TEST_P(FatWalk, ZeroDatesTakeTheCurrentTime) {
    FatImageBuilder b(Fat(GetParam()));
    b.AddRawEntries(b.Root(), {FatImageBuilder::ShortEntry("NODATE  TXT", 0x20, 0, 0, 0, 0)});
    FILETIME before = platform::CurrentFileTime();
    auto p = Scan(b);
    FILETIME after = platform::CurrentFileTime();
    NodeEntry* n = p->GetRoot()->FirstChild();
    ASSERT_NE(n, nullptr);
    EXPECT_GE(n->modifiedTime, before);
    EXPECT_LE(n->modifiedTime, after);
    EXPECT_GE(n->createdTime, before);
}

INSTANTIATE_TEST_SUITE_P(Widths, FatWalk, ::testing::Values(12, 16, 32));

TEST(FatWalkLimits, EmptyRootFailsTheWalk) {
    FatImageBuilder b(Fat(12));
    int status = 0;
    Scan(b, &status);
    EXPECT_EQ(status, FAT_WALK_EMPTY);
}

TEST(FatWalkLimits, ProgressMovesOncePerEntry) {
    struct Sink : IProgressSink {
        std::vector<int> seen;
        void OnProgress(int position) override { seen.push_back(position); }
    } sink;
    FatImageBuilder b(Fat(12));
    for (const char* n : {"A.TXT", "B.TXT", "C.TXT"}) b.AddFile(b.Root(), n, 1);
    auto drive = b.MakeDrive().release();
    CFAT12Parser p(drive, b.BootSector());
    p.m_dwOptionFlag = 1;
    SetProgressTarget(&sink);
    std::vector<uint32_t> visited{0};
    EXPECT_EQ(p.ProcessDirectory(p.GetRoot(), 0.0, 100.0, visited, 0, 0), 0);
    SetProgressTarget(nullptr);
    EXPECT_EQ(sink.seen, (std::vector<int>{25, 50, 75}));
}

TEST(FatWalkLimits, UserBreakStopsTheWalk) {
    FatImageBuilder b(Fat(16));
    b.AddFile(b.Root(), "A.TXT", 1);
    auto drive = b.MakeDrive().release();
    CFAT16Parser p(drive, b.BootSector());
    p.m_dwOptionFlag = 1;
    UserBreak = 1;
    int status = p.ProcessRootDirectory();
    UserBreak = 0;
    EXPECT_EQ(status, USER_BREAK_STATUS);
    EXPECT_EQ(p.GetRoot()->FirstChild(), nullptr);
}

TEST(FatWalkLimits, DirectoriesOverTenMiBAreNotRead) {
    FatImageBuilder::Options o = Fat(16);
    o.sectorsPerCluster = 64;  // 32 KiB clusters
    o.totalSectors = 30000;
    FatImageBuilder b(o);
    Dir root = b.Root();
    Dir big = b.AddDirectory(root, "BIG");
    Dir fits = b.AddDirectory(root, "FITS");
    b.AddFile(fits, "IN.TXT", 1);
    // Chain BIG over 321 clusters (just over 10 MiB).
    uint32_t extra = b.AllocateChain(320);
    b.SetFat(big.cluster, extra);
    auto p = Scan(b);
    EXPECT_EQ(Names(p->GetRoot()), std::vector<std::string>{"FITS"});
}

TEST(FatWalkLimits, IsDirectoryContentNeedsDotAndDotDot) {
    auto dot = FatImageBuilder::ShortEntry(".          ", 0x10, 5, 0);
    auto dotdot = FatImageBuilder::ShortEntry("..         ", 0x10, 0, 0);
    auto make = [](const FatImageBuilder::Entry& a, const FatImageBuilder::Entry& b) {
        std::vector<uint8_t> v(a.begin(), a.end());
        v.insert(v.end(), b.begin(), b.end());
        return v;
    };
    auto label = dot;
    label[11] = 0x18;
    auto file = dot;
    file[11] = 0x20;
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        bool expected;
    } cases[] = {
        {"dot and dotdot", make(dot, dotdot), true},
        {"swapped", make(dotdot, dot), false},
        {"label bit", make(label, dotdot), false},
        {"not a directory", make(file, dotdot), false},
        {"one entry only", std::vector<uint8_t>(dot.begin(), dot.end()), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CFATParser::IsDirectoryContent(ByteView(c.data.data(), c.data.size())), c.expected) << c.what;
}

TEST(FatWalkLimits, WithoutTheOptionFlagDeletedEntriesAreNotEnumerated) {
    FatImageBuilder b(Fat(16));
    b.AddFile(b.Root(), "GONE.TXT", 1, u"Gone file.txt");
    b.DeleteEntry(b.Root(), b.LastIndex(b.Root()), 1);
    b.AddFile(b.Root(), "HERE.TXT", 1, u"Here file.txt");
    auto drive = b.MakeDrive().release();
    CFAT16Parser p(drive, b.BootSector());
    FindData fd;
    FindContext* ctx = p.FindFirstByHandle(0, &fd);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(fd.cFileName, "Here file.txt");
    EXPECT_EQ(fd.cAlternateFileName, "HERE.TXT");
    EXPECT_FALSE(p.FindNextFile(ctx, &fd));
    p.FindClose(ctx);
}

}  // namespace

namespace {

// A parser whose temporary folder cannot hold the name check's test files.
class NoTempFolderParser : public CFAT12Parser {
public:
    NoTempFolderParser(CDiskDrive* drive, const uint8_t* boot) : CFAT12Parser(drive, boot) {
        m_szTempPath = "/nonexistent-quenvar-folder/kqz_temp";
    }
};

TEST(FatWalkLimits, UnusableTemporaryFolderDoesNotEmptyTheTree) {
    FatImageBuilder b(Fat(12));
    b.AddFile(b.Root(), "KEEP.TXT", 1, u"Keep this file.txt");
    b.AddFile(b.Root(), "GONE.TXT", 1);
    b.DeleteEntry(b.Root(), b.LastIndex(b.Root()));
    b.AddRawEntries(b.Root(), {FatImageBuilder::ShortEntry("BAD*    TXT", 0x20, 40, 1)});
    NoTempFolderParser p(b.MakeDrive().release(), b.BootSector());
    p.m_dwOptionFlag = 1;
    EXPECT_EQ(p.ProcessRootDirectory(), 0);
    EXPECT_EQ(Names(p.GetRoot()), (std::vector<std::string>{"Keep this file.txt", "_ONE.TXT"}));
}

}  // namespace
