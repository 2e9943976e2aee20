// Run lists, fixups, LZNT1 and the cluster map from hand-made bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "fslib/ntfs/ClusterMap.h"
#include "fslib/ntfs/DataRun.h"
#include "fslib/ntfs/Fixups.h"
#include "fslib/ntfs/Lznt1.h"
#include "tests/fixtures/Lznt1Compressor.h"
#include "tests/fixtures/NtfsImageBuilder.h"

namespace {

struct RunCase {
    const char* fault;
    std::vector<uint8_t> bytes;
    int status;
    std::vector<DataRun> runs;
};

TEST(NtfsRunList, DecodesTableOfCases) {
    const std::vector<RunCase> cases = {
        {"sparse run without offset bytes", {0x01, 0x10, 0x00}, RUNS_OK, {{16, 0, true}}},
        {"offset field naming cluster 0 is a real run", {0x11, 0x04, 0x00, 0x00}, RUNS_OK, {{4, 0, false}}},
        {"zero offset after a run stays at its cluster",
         {0x11, 0x02, 0x20, 0x11, 0x03, 0x00, 0x00},
         RUNS_OK,
         {{2, 0x20}, {3, 0x20}}},
        {"negative one-byte offset moves back by 16",
         {0x11, 0x04, 0x40, 0x11, 0x02, 0xF0, 0x00},
         RUNS_OK,
         {{4, 0x40}, {2, 0x30}}},
        {"multi-byte length and offset", {0x32, 0x00, 0x01, 0x00, 0x10, 0x00, 0x00}, RUNS_OK, {{256, 0x1000}}},
        {"sparse run keeps the running cluster",
         {0x11, 0x02, 0x20, 0x01, 0x03, 0x11, 0x01, 0x05, 0x00},
         RUNS_OK,
         {{2, 0x20}, {3, 0, true}, {1, 0x25}}},
        {"length field of 9 bytes", {0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00}, RUNS_BAD_HEADER, {}},
        {"run cut by the end of the list", {0x21, 0x04, 0x10}, RUNS_BAD_HEADER, {}},
        {"offsets below cluster 0", {0x11, 0x04, 0x10, 0x11, 0x04, 0xE0, 0x00}, RUNS_NEGATIVE_CLUSTER, {{4, 0x10}}},
        {"two-byte length, one-byte offset", {0x12, 0x00, 0x20, 0x10, 0x00}, RUNS_OK, {{0x2000, 0x10}}},
        {"empty list", {0x00}, RUNS_OK, {}},
    };
    for (const RunCase& c : cases) {
        std::vector<DataRun> runs;
        ByteView view(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(DecodeRunList(view, 1ull << 40, 1000, &runs), c.status) << c.fault;
        ASSERT_EQ(runs.size(), c.runs.size()) << c.fault;
        for (size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].length, c.runs[i].length) << c.fault << " run " << i;
            EXPECT_EQ(runs[i].firstCluster, c.runs[i].firstCluster) << c.fault << " run " << i;
            EXPECT_EQ(runs[i].IsSparse(), c.runs[i].IsSparse()) << c.fault << " run " << i;
        }
    }
}

TEST(NtfsRunList, RefusesRunsPastLimits) {
    std::vector<uint8_t> bytes = {0x12, 0x00, 0x20, 0x10, 0x00};  // 0x2000 clusters
    std::vector<DataRun> runs;
    EXPECT_EQ(DecodeRunList(ByteView(bytes.data(), bytes.size()), 0x1000, 1000, &runs), RUNS_TOO_LONG);
    std::vector<uint8_t> many;
    for (int i = 0; i < 10; ++i) many.insert(many.end(), {0x11, 0x01, 0x01});
    many.push_back(0);
    runs.clear();
    EXPECT_EQ(DecodeRunList(ByteView(many.data(), many.size()), 1000, 5, &runs), RUNS_TOO_LONG);
    EXPECT_EQ(runs.size(), 5u);
}

TEST(NtfsRunList, CalcLengthCountsRunsAndClusters) {
    std::vector<uint8_t> bytes = {0x11, 0x04, 0x40, 0x01, 0x10, 0x11, 0x02, 0xF0, 0x00, 0xAA};
    uint32_t count = 0;
    uint64_t clusters = 0;
    EXPECT_EQ(CalcDataRunsLength(ByteView(bytes.data(), bytes.size()), &count, &clusters), 8u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(clusters, 22u);
}

TEST(NtfsRunList, EncoderRoundTrips) {
    std::vector<fixture::NtfsRun> runs = {{5, 1000, false}, {11, 0, true}, {3, 200, false}, {70000, 5000000, false}};
    std::vector<uint8_t> bytes = fixture::EncodeRunList(runs);
    std::vector<DataRun> out;
    ASSERT_EQ(DecodeRunList(ByteView(bytes.data(), bytes.size()), 1ull << 40, 100, &out), RUNS_OK);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[1].firstCluster, 0u);
    EXPECT_EQ(out[2].firstCluster, 200u);
    EXPECT_EQ(out[3].firstCluster, 5000000u);
    EXPECT_EQ(out[3].length, 70000u);
}

std::vector<uint8_t> RecordWithSequence(uint16_t sequence) {
    fixture::NtfsRecordBuilder r(20);
    r.m_wSequence = sequence;
    r.StandardInformation(1, 2).FileName(5, u"a.txt");
    return r.Bytes();
}

TEST(NtfsFixups, RestoresSectorEnds) {
    std::vector<uint8_t> record = RecordWithSequence(0x0A0B);
    std::vector<uint8_t> expected = record;
    // The builder saved zeros from both sector ends.
    expected[510] = expected[511] = expected[1022] = expected[1023] = 0;
    EXPECT_EQ(record[510], 0x0B);
    EXPECT_EQ(ApplyFixups(record.data(), record.size(), 512), kFixupsOk);
    EXPECT_EQ(std::memcmp(record.data() + 500, expected.data() + 500, 12), 0);
    EXPECT_EQ(record[1022], 0);
}

TEST(NtfsFixups, TornSecondSectorKeepsFirstFixed) {
    std::vector<uint8_t> record = RecordWithSequence(0x0A0B);
    record[0x32] = 0x77;  // what sector 1 really ends with
    record[1022] = 0x99;  // sector 2 written by another update
    EXPECT_EQ(ApplyFixups(record.data(), record.size(), 512), kFixupsMismatch);
    EXPECT_EQ(record[510], 0x77);
    EXPECT_EQ(record[1022], 0x99);
}

TEST(NtfsFixups, BadArrayOffsetAndTinyBuffers) {
    std::vector<uint8_t> record = RecordWithSequence(1);
    record[4] = 0x00;
    record[5] = 0x04;  // offset 1024
    EXPECT_EQ(ApplyFixups(record.data(), record.size(), 512), kFixupsBadOffset);
    std::vector<uint8_t> huge = RecordWithSequence(1);
    huge[6] = 0xFF;
    huge[7] = 0xFF;  // 65535 entries: stops at the record's end
    EXPECT_EQ(ApplyFixups(huge.data(), huge.size(), 512), kFixupsOk);
    EXPECT_EQ(ApplyFixups(nullptr, 1024, 512), kFixupsOk);
    uint8_t small[8] = {'F', 'I', 'L', 'E', 4, 0, 3, 0};
    EXPECT_EQ(ApplyFixups(small, sizeof(small), 512), kFixupsOk);
}

std::vector<uint8_t> Decompress(const std::vector<uint8_t>& in, size_t outSize, size_t* produced = nullptr) {
    std::vector<uint8_t> out(outSize, 0xEE);
    size_t n = DecompressLznt1(out.data(), out.size(), in.data(), in.size());
    if (produced) *produced = n;
    out.resize(n);
    return out;
}

TEST(NtfsLznt1, HandMadeChunks) {
    // Compressed chunk: flags 0x08 -> "abc" literals then a back-reference of
    // displacement 3, length 6 (token 0x2003 at position 3: 12 length bits -> p-1 = 2).
    std::vector<uint8_t> in = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x03, 0x20, 0x00, 0x00};
    EXPECT_EQ(Decompress(in, 4096), std::vector<uint8_t>({'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c'}));
    // Stored chunk of 4 bytes.
    std::vector<uint8_t> stored = {0x03, 0x30, 'w', 'x', 'y', 'z', 0x00, 0x00};
    EXPECT_EQ(Decompress(stored, 4096), std::vector<uint8_t>({'w', 'x', 'y', 'z'}));
    // A back-reference at chunk position 0 ends the decoding.
    std::vector<uint8_t> broken = {0x02, 0xB0, 0x01, 0x00, 0x10};
    EXPECT_TRUE(Decompress(broken, 4096).empty());
    // A displacement past the output so far ends it too.
    std::vector<uint8_t> far = {0x03, 0xB0, 0x02, 'a', 0x00, 0x70};
    EXPECT_EQ(Decompress(far, 4096), std::vector<uint8_t>({'a'}));
    // Output is capped at the given size.
    EXPECT_EQ(Decompress(in, 4).size(), 4u);
    // A chunk header cut by the input's end gives what its bytes hold.
    std::vector<uint8_t> cut = {0x10, 0x30, 'q', 'r'};
    EXPECT_EQ(Decompress(cut, 4096), std::vector<uint8_t>({'q', 'r'}));
}

TEST(NtfsLznt1, RoundTripsThroughTheTestCompressor) {
    std::mt19937 rng(7);
    std::vector<std::vector<uint8_t>> inputs;
    std::vector<uint8_t> text;
    while (text.size() < 20000) {
        const char* word = (rng() % 3) ? "some text " : "other words, ";
        text.insert(text.end(), word, word + std::strlen(word));
    }
    inputs.push_back(text);
    std::vector<uint8_t> noise(9000);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    inputs.push_back(noise);
    inputs.push_back(std::vector<uint8_t>(8192, 0));
    for (const auto& input : inputs) {
        std::vector<uint8_t> packed = fixture::CompressLznt1(input);
        size_t produced = 0;
        std::vector<uint8_t> out = Decompress(packed, input.size() + 100, &produced);
        EXPECT_EQ(out, input);
    }
}

TEST(NtfsLznt1, ShortChunkBeforeAnotherIsPaddedToFullSize) {
    std::vector<uint8_t> in = {0x01, 0x30, 'a', 'b', 0x02, 0x30, 'c', 'd', 'e', 0x00, 0x00};
    std::vector<uint8_t> out = Decompress(in, 8192);
    ASSERT_EQ(out.size(), 4099u);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[4096], 'c');
}

TEST(NtfsClusterMap, CountsUsedClustersInRanges) {
    ClusterMap map;
    uint8_t bytes[4] = {0xFF, 0x0F, 0x00, 0x81};
    map.Assign(bytes, 4);
    EXPECT_EQ(map.CountUsed(0, 8), 8u);
    EXPECT_EQ(map.CountUsed(4, 8), 8u);
    EXPECT_EQ(map.CountUsed(12, 12), 0u);
    EXPECT_EQ(map.CountUsed(24, 8), 2u);
    EXPECT_EQ(map.CountUsed(30, 1000), 1u);  // past the map counts as free
    EXPECT_EQ(map.CountUsed(1000, ~uint64_t{0}), 0u);
    EXPECT_EQ(map.CountUsed(3, ~uint64_t{0}), 11u);
}

}  // namespace
