// The root directory handle and the directory-walking slots over index entries.
#include <gtest/gtest.h>

#include <set>

#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;
using fixture::NtfsIndexEntry;

namespace {

std::set<std::string> ListRoot(CNTFSParser& parser, uint32_t hRoot) {
    std::set<std::string> names;
    FindData fd;
    FindContext* ctx = parser.FindFirstByHandle(hRoot, &fd);
    if (!ctx) return names;
    do names.insert(fd.cFileName);
    while (parser.FindNextFile(ctx, &fd));
    parser.FindClose(ctx);
    return names;
}

uint32_t RootHandle(CNTFSParser& parser) {
    // The constructor opened the root first, so it holds the first slot.
    return parser.GetHandleObject(0) ? 0 : INVALID_HANDLE;
}

TEST(NtfsDirectory, RootFromIndexRootAloneWithoutSystemEntries) {
    NtfsImageBuilder b;
    uint32_t f = b.AddFile(5, u"hello.txt", {'h', 'e', 'y'});
    b.AddDirectory(5, u"Folder");
    b.Record(5)
        .Directory(true)
        .StandardInformation(1, 1)
        .FileName(5, u".", 3, true)
        .IndexRoot({{3, 5, u"$Volume", false, 3, 0},
                    {f, 5, u"hello.txt", false, 1, 3},
                    {f + 1, 5, u"Folder", true, 1, 0},
                    {f, 5, u"HELLO~1.TXT", false, 2, 3}});
    auto parser = ntfstest::OpenImage(b.Build());
    uint32_t root = RootHandle(*parser);
    ASSERT_NE(root, INVALID_HANDLE);
    EXPECT_EQ(ListRoot(*parser, root), (std::set<std::string>{"hello.txt", "Folder"}));

    uint32_t h = parser->FindFile(root, "HeLLo.TXT", FALSE);
    ASSERT_NE(h, INVALID_HANDLE);
    uint8_t buf[16];
    uint32_t got = 0;
    EXPECT_TRUE(parser->ReadFile(h, buf, sizeof(buf), &got));
    EXPECT_EQ(got, 3u);
    parser->CloseFile(h);
    EXPECT_EQ(parser->FindFile(root, "hello.txt", TRUE), INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    uint32_t d = parser->OpenDirectory(root, "folder");
    EXPECT_NE(d, INVALID_HANDLE);
}

TEST(NtfsDirectory, IndexBlocksWithoutSignatureContributeNothing) {
    NtfsImageBuilder b;
    uint32_t first = b.AddFile(5, u"in block.txt", {'1'});
    uint32_t second = b.AddFile(5, u"in dead block.txt", {'2'});
    uint64_t clusters = b.AllocateClusters(16);  // two 4 KiB blocks of 512-byte clusters
    b.WriteClusters(clusters, fixture::BuildIndexBlock({{first, 5, u"in block.txt", false, 1, 1}}, 4096, 0));
    std::vector<uint8_t> dead = fixture::BuildIndexBlock({{second, 5, u"in dead block.txt", false, 1, 1}}, 4096, 8);
    dead[0] = 'X';
    b.WriteClusters(clusters + 8, dead);
    b.Record(5)
        .Directory(true)
        .StandardInformation(1, 1)
        .FileName(5, u".", 3, true)
        .IndexRoot({}, 4096, true)
        .IndexAllocation({{16, clusters, false}}, 8192);
    auto parser = ntfstest::OpenImage(b.Build());
    uint32_t root = RootHandle(*parser);
    ASSERT_NE(root, INVALID_HANDLE);
    EXPECT_EQ(ListRoot(*parser, root), (std::set<std::string>{"in block.txt"}));
}

TEST(NtfsDirectory, EmptyRootGivesNoHandleButTheScanStillWorks) {
    NtfsImageBuilder b;
    b.Record(5).Directory(true).StandardInformation(1, 1).FileName(5, u".", 3, true).IndexRoot({});
    b.AddFile(5, u"deleted.txt", {'d'}, true);
    auto parser = ntfstest::OpenImage(b.Build());
    EXPECT_EQ(RootHandle(*parser), INVALID_HANDLE);
    EXPECT_EQ(parser->PrepareDirTree(100), 0);
    EXPECT_NE(ntfstest::Child(parser->GetRoot(), "deleted.txt"), nullptr);
}

TEST(NtfsDirectory, EveryReferenceNeedsItsClose) {
    NtfsImageBuilder b;
    b.AddFile(5, u"a", {'a'});
    auto parser = ntfstest::OpenImage(b.Build());
    uint32_t root = RootHandle(*parser);
    FindData fd;
    FindContext* ctx = parser->FindFirstByHandle(root, &fd);
    ASSERT_NE(ctx, nullptr);
    parser->FindClose(ctx);
    EXPECT_NE(parser->GetHandleObject(root), nullptr);  // the constructor's reference stays
    parser->CloseFile(root);
    EXPECT_EQ(parser->GetHandleObject(root), nullptr);
    parser->CloseFile(root);  // closing an empty slot is refused
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
