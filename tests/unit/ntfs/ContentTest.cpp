// File content through the parser's file slots: resident, non-resident, sparse,
// compressed, through an attribute list, encrypted.
#include <gtest/gtest.h>

#include <random>

#include "tests/fixtures/Lznt1Compressor.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;
using fixture::NtfsRun;

namespace {

std::vector<uint8_t> Text(size_t size, const char* word = "some text ") {
    std::vector<uint8_t> v;
    while (v.size() < size) v.push_back(static_cast<uint8_t>(word[v.size() % std::strlen(word)]));
    return v;
}

std::vector<uint8_t> Noise(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

TEST(NtfsContent, ResidentFileReadsInOneCallThenNothing) {
    NtfsImageBuilder b;
    std::vector<uint8_t> data = Text(300);
    uint32_t n = b.AddFile(5, u"r.txt", data);
    auto parser = ntfstest::OpenImage(b.Build());
    NodeEntry node(n, "r.txt", 0, 0);
    uint32_t h = parser->OpenFileByTreeRef(&node);
    ASSERT_NE(h, INVALID_HANDLE);
    EXPECT_EQ(parser->GetFileSize(h, nullptr), 300u);
    std::vector<uint8_t> buf(1000);
    uint32_t got = 0;
    EXPECT_TRUE(parser->ReadFile(h, buf.data(), 1000, &got));
    EXPECT_EQ(got, 300u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buf.begin()));
    EXPECT_TRUE(parser->ReadFile(h, buf.data(), 1000, &got));
    EXPECT_EQ(got, 0u);
    parser->CloseFile(h);
    EXPECT_EQ(parser->GetHandleObject(h), nullptr);
}

TEST(NtfsContent, NonResidentFileWithPartSector) {
    NtfsImageBuilder::Options o;
    o.sectorsPerCluster = 2;
    NtfsImageBuilder b(o);
    std::vector<uint8_t> data = Noise(1000, 1);
    uint32_t n = b.AddFile(5, u"k.bin", data);
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out, 1 << 20));
    EXPECT_EQ(out, data);
}

TEST(NtfsContent, FragmentedAndSparseRuns) {
    NtfsImageBuilder b;
    std::vector<uint8_t> a = Noise(1024, 2), c = Noise(512, 3);
    uint64_t ca = b.AllocateClusters(2);
    b.AllocateClusters(5);  // a gap between the fragments
    uint64_t cc = b.AllocateClusters(1);
    b.WriteClusters(ca, a);
    b.WriteClusters(cc, c);
    uint32_t n = b.NextRecord();
    b.Record(n)
        .StandardInformation(1, 2)
        .FileName(5, u"sparse.bin", 1)
        .NonResidentData({{2, ca, false}, {3, 0, true}, {1, cc, false}}, 6 * 512 - 100);
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> expected = a;
    expected.resize(1024 + 1536, 0);
    expected.insert(expected.end(), c.begin(), c.end() - 100);
    for (uint32_t chunk : {512u, 4096u, 1u << 20}) {
        std::vector<uint8_t> out;
        ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out, chunk)) << chunk;
        EXPECT_EQ(out, expected) << chunk;
    }
}

TEST(NtfsContent, ReadsFromAPositionSetBySetFilePointer) {
    NtfsImageBuilder b;
    std::vector<uint8_t> data = Noise(5000, 4);
    uint32_t n = b.AddFile(5, u"seek.bin", data);
    auto parser = ntfstest::OpenImage(b.Build());
    NodeEntry node(n, "seek.bin", 0, 0);
    uint32_t h = parser->OpenFileByTreeRef(&node);
    EXPECT_EQ(parser->SetFilePointer(h, 2048, nullptr, 0), 2048u);
    std::vector<uint8_t> buf(100);
    uint32_t got = 0;
    ASSERT_TRUE(parser->ReadFile(h, buf.data(), 100, &got));
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin() + 2048));
    // Not on a sector boundary: refused with 87.
    parser->SetFilePointer(h, 10, nullptr, 0);
    EXPECT_FALSE(parser->ReadFile(h, buf.data(), 100, &got));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    parser->CloseFile(h);
}

TEST(NtfsContent, CompressedUnitsOfEveryKind) {
    // 512-byte clusters: a unit is 16 clusters = 8 KiB.
    NtfsImageBuilder b;
    const uint64_t unit = 8192;
    std::vector<uint8_t> u0 = Text(unit), u2 = Noise(unit, 5), u3 = Text(3000, "tail words ");
    std::vector<uint8_t> p0 = fixture::CompressLznt1(u0), p3 = fixture::CompressLznt1(u3);
    uint64_t c0 = (p0.size() + 511) / 512, c3 = (p3.size() + 511) / 512;
    ASSERT_LT(c0, 16u);
    ASSERT_LT(c3, 16u);
    uint64_t f0 = b.AllocateClusters(c0), f2 = b.AllocateClusters(16), f3 = b.AllocateClusters(c3);
    b.WriteClusters(f0, p0);
    b.WriteClusters(f2, u2);
    b.WriteClusters(f3, p3);
    std::vector<NtfsRun> runs = {{c0, f0, false}, {16 - c0, 0, true},   // compressed unit
                                 {16, 0, true},                         // all sparse
                                 {16, f2, false},                       // stored as is
                                 {c3, f3, false}, {16 - c3, 0, true}};  // last, partly used
    uint64_t size = 3 * unit + u3.size();
    uint32_t n = b.NextRecord();
    b.Record(n).StandardInformation(1, 2).FileName(5, u"comp.txt", 1).NonResidentData(runs, size, true, 4);
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> expected = u0;
    expected.resize(2 * unit, 0);
    expected.insert(expected.end(), u2.begin(), u2.end());
    expected.insert(expected.end(), u3.begin(), u3.end());
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out, 5000));
    ASSERT_EQ(out.size(), expected.size());
    EXPECT_EQ(out, expected);
}

TEST(NtfsContent, HugeSparseCompressedFileOpensAtOnce) {
    NtfsImageBuilder b;
    std::vector<uint8_t> u0 = Text(8192);
    std::vector<uint8_t> p0 = fixture::CompressLznt1(u0);
    uint64_t c0 = (p0.size() + 511) / 512;
    uint64_t f0 = b.AllocateClusters(c0);
    b.WriteClusters(f0, p0);
    const uint64_t holeClusters = uint64_t{1} << 31;  // a terabyte of holes
    const uint64_t size = 8192 + holeClusters * 512;
    uint32_t n = b.NextRecord();
    b.Record(n)
        .StandardInformation(1, 2)
        .FileName(5, u"huge.txt", 1)
        .NonResidentData({{c0, f0, false}, {16 - c0, 0, true}, {holeClusters, 0, true}}, size, true, 4);
    auto parser = ntfstest::OpenImage(b.Build());
    NodeEntry node(n, "huge.txt", 0, 0);
    uint32_t h = parser->OpenFileByTreeRef(&node);
    ASSERT_NE(h, INVALID_HANDLE);
    uint32_t high = 0;
    uint32_t low = parser->GetFileSize(h, &high);
    EXPECT_EQ((uint64_t{high} << 32) | low, size);
    std::vector<uint8_t> buf(8192);
    uint32_t got = 0;
    ASSERT_TRUE(parser->ReadFile(h, buf.data(), 8192, &got));
    EXPECT_EQ(buf, u0);
    LONG hi = static_cast<LONG>((size - 100) >> 32);
    parser->SetFilePointer(h, static_cast<LONG>(static_cast<uint32_t>(size - 100)), &hi, 0);
    std::fill(buf.begin(), buf.end(), 0xAA);
    ASSERT_TRUE(parser->ReadFile(h, buf.data(), 8192, &got));
    EXPECT_EQ(got, 100u);
    EXPECT_EQ(std::count(buf.begin(), buf.begin() + 100, 0), 100);
    parser->CloseFile(h);
}

TEST(NtfsContent, CompressedUnitSplitOverTwoRuns) {
    NtfsImageBuilder b;
    std::vector<uint8_t> u0 = Text(8192, "fragmented compressed unit ");
    std::vector<uint8_t> p0 = fixture::CompressLznt1(u0);
    uint64_t clusters = (p0.size() + 511) / 512;
    ASSERT_GE(clusters, 2u);
    ASSERT_LT(clusters, 16u);
    uint64_t fa = b.AllocateClusters(1);
    b.AllocateClusters(3);
    uint64_t fb = b.AllocateClusters(clusters - 1);
    std::vector<uint8_t> first(p0.begin(), p0.begin() + 512), rest(p0.begin() + 512, p0.end());
    b.WriteClusters(fa, first);
    b.WriteClusters(fb, rest);
    uint32_t n = b.NextRecord();
    b.Record(n)
        .StandardInformation(1, 2)
        .FileName(5, u"frag.txt", 1)
        .NonResidentData({{1, fa, false}, {clusters - 1, fb, false}, {16 - clusters, 0, true}}, u0.size(), true, 4);
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out));
    EXPECT_EQ(out, u0);
}

TEST(NtfsContent, DataHeldInAnExtensionRecord) {
    NtfsImageBuilder b;
    std::vector<uint8_t> data = Noise(3000, 6);
    uint64_t first = b.AllocateClusters(6);
    b.WriteClusters(first, data);
    uint32_t base = b.NextRecord();
    uint32_t ext = base + 1;
    b.Record(base)
        .StandardInformation(1, 2)
        .FileName(5, u"listed.bin", 1)
        .AttributeList({{0x10, base}, {0x30, base}, {0x80, ext}});
    b.Record(ext).BaseReference(base).NonResidentData({{6, first, false}}, data.size());
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, base, &out));
    EXPECT_EQ(out, data);
    ASSERT_EQ(parser->PrepareDirTree(100), 0);
    NodeEntry* node = ntfstest::Child(parser->GetRoot(), "listed.bin");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->size, 3000u);
    EXPECT_EQ(parser->GetRoot()->ChildCount(), 1u);  // the extension is not an entry
}

TEST(NtfsContent, NameAndDataOnlyInExtensionRecords) {
    NtfsImageBuilder b;
    std::vector<uint8_t> data = Noise(1500, 8);
    uint64_t first = b.AllocateClusters(3);
    b.WriteClusters(first, data);
    uint32_t dir = b.AddDirectory(5, u"dir");
    uint32_t base = b.NextRecord();
    uint32_t names = base + 1, piece = base + 2, stranger = base + 3;
    b.Record(base).InUse(false).StandardInformation(1, 2).AttributeList(
        {{0x10, base}, {0x30, stranger}, {0x30, names}, {0x80, stranger}, {0x80, piece}});
    b.Record(names).InUse(false).BaseReference(base).FileName(dir, u"many links.bin", 0);
    b.Record(piece).InUse(false).BaseReference(base).NonResidentData({{3, first, false}}, data.size());
    // Reused since by another file: its pieces must not be taken.
    b.Record(stranger).BaseReference(dir).FileName(5, u"other", 1).NonResidentData({{1, first, false}}, 512);
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, base, &out));
    EXPECT_EQ(out, data);
    ASSERT_EQ(parser->PrepareDirTree(100), 0);
    NodeEntry* d = ntfstest::Child(parser->GetRoot(), "dir");
    ASSERT_NE(d, nullptr);
    NodeEntry* node = ntfstest::Child(d, "many links.bin");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->key, base);
    EXPECT_EQ(node->size, 1500u);
    EXPECT_EQ(node->isDeleted, 1);
}

TEST(NtfsContent, EncryptedFileGivesItsRawClusters) {
    NtfsImageBuilder b;
    std::vector<uint8_t> data = Noise(2000, 7);
    uint32_t n = b.AddFile(5, u"secret.efs", data);
    b.Record(n).LoggedUtilityStream();
    auto parser = ntfstest::OpenImage(b.Build());
    NodeEntry node(n, "secret.efs", 0, 0);
    uint32_t h = parser->OpenFileByTreeRef(&node);
    EXPECT_TRUE(parser->IsEncrypted(h));
    parser->CloseFile(h);
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out));
    EXPECT_EQ(out, data);
}

TEST(NtfsContent, SizesPastFourGigabytesAreKept) {
    NtfsImageBuilder b;
    uint64_t first = b.AllocateClusters(1);
    const uint64_t size = 5'000'000'000ull;
    uint32_t n = b.NextRecord();
    b.Record(n)
        .StandardInformation(1, 2)
        .FileName(5, u"big.bin", 1)
        .NonResidentData({{1, first, false}, {size / 512, 0, true}}, size);
    auto parser = ntfstest::OpenImage(b.Build());
    NodeEntry node(n, "big.bin", 0, 0);
    uint32_t h = parser->OpenFileByTreeRef(&node);
    uint32_t high = 0;
    uint32_t low = parser->GetFileSize(h, &high);
    EXPECT_EQ((uint64_t{high} << 32) | low, size);
    parser->CloseFile(h);
}

TEST(NtfsContent, DataSizeBeyondTheRunsIsCut) {
    NtfsImageBuilder b;
    uint64_t first = b.AllocateClusters(2);
    uint32_t n = b.NextRecord();
    b.Record(n)
        .StandardInformation(1, 2)
        .FileName(5, u"liar.bin", 1)
        .NonResidentData({{2, first, false}}, 0x7FFFFFFFFFFFull);
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out));
    EXPECT_EQ(out.size(), 1024u);
}

}  // namespace

namespace {

// Preallocated data: clusters full of another file's bytes, an initialized size below the
// data size. What lies past the initialized size reads as zeros, plain and compressed.
TEST(NtfsContent, BytesPastTheInitializedSizeReadAsZeros) {
    struct Case {
        const char* what;
        uint64_t initialized;
    } cases[] = {
        {"nothing initialized", 0},
        {"part of a sector", 1000},
        {"whole sectors", 4096 * 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NtfsImageBuilder b;
        const uint64_t size = 64 * 1024;
        std::vector<uint8_t> stale = Noise(size, 9);
        uint64_t first = b.AllocateClusters(size / 512);
        b.WriteClusters(first, stale);
        uint32_t n = b.NextRecord();
        b.Record(n)
            .StandardInformation(1, 2)
            .FileName(5, u"prealloc.bin")
            .NonResidentData({{size / 512, first, false}}, size)
            .InitializedSize(c.initialized);
        auto parser = ntfstest::OpenImage(b.Build());
        std::vector<uint8_t> expected(size, 0);
        std::copy(stale.begin(), stale.begin() + static_cast<long>(c.initialized), expected.begin());
        for (uint32_t chunk : {512u, 1u << 20}) {
            std::vector<uint8_t> out;
            ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out, chunk)) << chunk;
            EXPECT_EQ(out, expected) << chunk;
        }
    }
}

TEST(NtfsContent, CompressedUnitsPastTheInitializedSizeReadAsZeros) {
    NtfsImageBuilder b;
    const uint64_t unit = 8192;
    std::vector<uint8_t> u0 = Noise(unit, 6), u1 = Noise(unit, 7);  // stored as is, 16 clusters each
    uint64_t f = b.AllocateClusters(32);
    b.WriteClusters(f, u0);
    b.WriteClusters(f + 16, u1);
    uint32_t n = b.NextRecord();
    b.Record(n)
        .StandardInformation(1, 2)
        .FileName(5, u"comp.bin")
        .NonResidentData({{32, f, false}}, 2 * unit, true, 4)
        .InitializedSize(unit + 100);
    auto parser = ntfstest::OpenImage(b.Build());
    std::vector<uint8_t> expected = u0;
    expected.insert(expected.end(), u1.begin(), u1.begin() + 100);
    expected.resize(2 * unit, 0);
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out));
    EXPECT_EQ(out, expected);
}

// The boot file's data starts at cluster 0: its run has an offset field of value 0 and
// is real data, not a hole.
TEST(NtfsContent, RunAtClusterZeroReadsTheCluster) {
    NtfsImageBuilder b;
    uint32_t n = b.NextRecord();
    b.Record(n).StandardInformation(1, 2).FileName(5, u"boot.copy").NonResidentData({{2, 0, false}}, 1024);
    std::vector<uint8_t> image = b.Build();
    auto parser = ntfstest::OpenImage(image);
    std::vector<uint8_t> out;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &out));
    EXPECT_EQ(out, std::vector<uint8_t>(image.begin(), image.begin() + 1024));
    EXPECT_EQ(std::string(out.begin() + 3, out.begin() + 11), "NTFS    ");
}

}  // namespace

// The head of a compressed file comes from its first unit alone: a file of many units
// costs the same few reads as a small one, and no decompressed copy is made.
TEST(NtfsContent, HeadOfCompressedFileDecodesOnlyItsFirstUnit) {
    NtfsImageBuilder b;
    const uint64_t unit = 8192;
    std::vector<uint8_t> u0 = Text(unit, "first unit ");
    std::vector<uint8_t> p0 = fixture::CompressLznt1(u0);
    uint64_t c0 = (p0.size() + 511) / 512;
    uint64_t f0 = b.AllocateClusters(c0);
    b.WriteClusters(f0, p0);
    std::vector<NtfsRun> runs = {{c0, f0, false}, {16 - c0, 0, true}};
    const int storedUnits = 40;
    for (int i = 0; i < storedUnits; ++i) {
        uint64_t f = b.AllocateClusters(16);
        b.WriteClusters(f, Noise(unit, 10 + i));
        runs.push_back({16, f, false});
    }
    uint32_t n = b.NextRecord();
    b.Record(n)
        .StandardInformation(1, 2)
        .FileName(5, u"many.txt", 1)
        .NonResidentData(runs, unit * (1 + storedUnits), true, 4);
    auto parser = ntfstest::OpenImage(b.Build());
    auto* drive = dynamic_cast<CMemoryDrive*>(parser->GetDiskDrive());
    ASSERT_NE(drive, nullptr);
    NodeEntry node(n, "many.txt", 0, 1);
    const uint32_t before = drive->ReadCalls();
    std::vector<uint8_t> head;
    ASSERT_TRUE(parser->ReadNodeHead(&node, 4096, &head));
    EXPECT_EQ(head, std::vector<uint8_t>(u0.begin(), u0.begin() + 4096));
    EXPECT_LE(drive->ReadCalls() - before, 4u);
    // A head longer than one unit takes the next unit, stored as it is.
    ASSERT_TRUE(parser->ReadNodeHead(&node, unit + 100, &head));
    ASSERT_EQ(head.size(), unit + 100);
    std::vector<uint8_t> second = Noise(unit, 10);
    second.resize(100);
    EXPECT_EQ(std::vector<uint8_t>(head.begin() + unit, head.end()), second);
    // The whole-file path reads every unit: what the head read avoids.
    const uint32_t beforeWhole = drive->ReadCalls();
    std::vector<uint8_t> whole;
    ASSERT_TRUE(ntfstest::ReadWhole(*parser, n, &whole, 1 << 20));
    EXPECT_GT(drive->ReadCalls() - beforeWhole, uint32_t{storedUnits});
}
