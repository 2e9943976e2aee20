// Many copies of a volume with random bytes changed in the MFT and the index blocks are
// scanned and read: nothing may crash, hang or read out of bounds (run under the
// sanitizers in CI).
#include <gtest/gtest.h>

#include <random>

#include "tests/fixtures/Lznt1Compressor.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;

namespace {

struct Volume {
    std::vector<uint8_t> image;
    std::vector<std::pair<uint64_t, uint64_t>> targets;  // byte ranges worth corrupting
};

Volume MakeVolume() {
    NtfsImageBuilder::Options o;
    o.totalSectors = 4096;
    o.mftRecords = 96;
    NtfsImageBuilder b(o);
    std::mt19937 rng(11);
    uint32_t docs = b.AddDirectory(5, u"docs");
    uint32_t old = b.AddDirectory(docs, u"old", true);
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> data(static_cast<size_t>(rng() % 3000));
        for (auto& c : data) c = static_cast<uint8_t>('a' + rng() % 26);
        std::u16string name = u"file" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u".txt";
        b.AddFile(i % 3 == 0 ? 5 : (i % 3 == 1 ? docs : old), name, data, i % 2 == 0, static_cast<uint8_t>(i % 4));
    }
    // A compressed file, one through an attribute list and a sparse one.
    std::vector<uint8_t> text(8192);
    for (size_t i = 0; i < text.size(); ++i) text[i] = "compress me "[i % 12];
    std::vector<uint8_t> packed = fixture::CompressLznt1(text);
    uint64_t pc = (packed.size() + 511) / 512;
    uint64_t first = b.AllocateClusters(pc);
    b.WriteClusters(first, packed);
    uint32_t comp = b.NextRecord();
    b.Record(comp)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(docs, u"comp.txt", 0)
        .NonResidentData({{pc, first, false}, {16 - pc, 0, true}}, text.size(), true, 4);
    uint32_t base = b.NextRecord();
    b.Record(base)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(5, u"listed.bin", 1)
        .AttributeList({{0x80, base + 1}, {0x80, base + 2}});
    uint64_t lc = b.AllocateClusters(3);
    b.Record(base + 1).InUse(false).BaseReference(base).NonResidentData({{3, lc, false}}, 1500);
    b.Record(base + 2).InUse(false).BaseReference(base).NonResidentData({{1, lc, false}}, 0);
    uint32_t sparse = b.NextRecord();
    b.Record(sparse)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(old, u"sparse", 1)
        .NonResidentData({{1, lc, false}, {50, 0, true}, {1, lc + 1, false}}, 52 * 512);
    for (int i = 0; i < 20; ++i)
        b.AddFile(5, u"root entry " + std::u16string(1, static_cast<char16_t>(u'A' + i)), {'r'});
    Volume v;
    v.image = b.Build();
    v.targets.push_back({b.RecordOffset(0), b.RecordOffset(0) + 96 * 1024});
    // The root's index blocks follow the files' clusters; corrupt the whole data area too.
    v.targets.push_back({b.RecordOffset(0) + 96 * 1024, v.image.size()});
    return v;
}

void Exercise(const std::vector<uint8_t>& image) {
    auto parser = ntfstest::OpenImage(image);
    parser->m_bAttachOrphans = 1;
    parser->PrepareDirTree(100);
    // Read every node's data, as recovery would.
    std::vector<NodeEntry*> stack{parser->GetRoot()};
    size_t visited = 0;
    while (!stack.empty() && visited < 400) {
        NodeEntry* n = stack.back();
        stack.pop_back();
        ++visited;
        for (NodeEntry* c : n->Children()) stack.push_back(c);
        if (n == parser->GetRoot()) continue;
        uint32_t h = parser->OpenFileByTreeRef(n);
        if (h == INVALID_HANDLE || !parser->GetHandleObject(h)) continue;
        uint32_t high = 0;
        uint64_t size = parser->GetFileSize(h, &high) | (uint64_t{high} << 32);
        std::vector<uint8_t> buf(65536);
        for (uint64_t done = 0; done < size && done < (4u << 20);) {
            uint32_t got = 0;
            uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buf.size(), size - done));
            parser->ReadFile(h, buf.data(), want, &got);
            done += want;
        }
        parser->EstimateDamageLevel(h);
        parser->CloseFile(h);
    }
    FindData fd;
    if (parser->GetHandleObject(0)) {
        FindContext* ctx = parser->FindFirstByHandle(0, &fd);
        if (ctx) {
            for (int i = 0; i < 1000 && parser->FindNextFile(ctx, &fd); ++i) {}
            parser->FindClose(ctx);
        }
    }
}

TEST(NtfsCorruption, RandomBytesInTheMftAndIndexBlocks) {
    const Volume v = MakeVolume();
    Exercise(v.image);  // the clean volume first
    std::mt19937_64 rng(20261208);
    const int rounds = 600;
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> image = v.image;
        const auto& range = v.targets[round % 5 == 4 ? 1 : 0];
        int changes = 1 + static_cast<int>(rng() % 24);
        for (int i = 0; i < changes; ++i) {
            uint64_t off = range.first + rng() % (range.second - range.first);
            switch (rng() % 4) {
                case 0: image[off] = static_cast<uint8_t>(rng()); break;
                case 1: image[off] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
                case 2: image[off] = 0xFF; break;
                default: image[off] = 0; break;
            }
        }
        SCOPED_TRACE(round);
        Exercise(image);
    }
}

TEST(NtfsCorruption, TruncatedImages) {
    const Volume v = MakeVolume();
    for (size_t size : {512ul, 4096ul, 40000ul, 70000ul, 120000ul, 600000ul}) {
        std::vector<uint8_t> image(v.image.begin(), v.image.begin() + static_cast<long>(size));
        Exercise(image);
    }
}

}  // namespace
