// The general recovery over the NTFS parser on tiny exact volumes.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/ntfs/NTFSParser.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/platform/TempDir.h"

namespace {

using fixture::NtfsImageBuilder;

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A deleted non-resident file of `size` bytes in one run; returns its record number.
uint32_t AddDeletedFile(NtfsImageBuilder& b, const std::u16string& name, const std::vector<uint8_t>& data,
                        uint64_t* firstCluster) {
    uint64_t clusters = (data.size() + b.ClusterBytes() - 1) / b.ClusterBytes();
    *firstCluster = b.AllocateClusters(clusters);
    b.WriteClusters(*firstCluster, data);
    uint32_t n = b.NextRecord();
    b.Record(n)
        .InUse(false)
        .StandardInformation(b.fileTime, b.fileTime)
        .FileName(5, name, 1, false, data.size())
        .NonResidentData({{clusters, *firstCluster}}, data.size());
    return n;
}

TEST(NtfsRecoveryTest, DeletedFilesComeOutWholeAndBadSectorsStayInPlace) {
    NtfsImageBuilder::Options o;
    o.totalSectors = 16384;
    NtfsImageBuilder b(o);
    std::vector<uint8_t> small = Noise(300, 1);
    uint32_t resident = b.AddFile(5, u"small.txt", small, true);
    std::vector<uint8_t> data = Noise(3 * 1024 * 1024 + 777, 2);
    uint64_t first = 0;
    uint32_t big = AddDeletedFile(b, u"big.bin", data, &first);
    std::vector<uint8_t> image = b.Build();

    auto* drive = new CMemoryDrive(image);
    const uint64_t badSector = first * o.sectorsPerCluster + 600;  // inside the first MiB
    drive->SetUnreadable(badSector);
    CNTFSParser parser(drive, image.data());

    TempDir dir;
    NodeEntry root;
    NodeEntry* nodes[] = {new NodeEntry(resident, "small.txt", 0, 1), new NodeEntry(big, "big.bin", 0, 1)};
    for (NodeEntry* n : nodes) root.AddChild(n);
    for (NodeEntry* n : nodes) {
        uint32_t files = 0, folders = 0;
        ASSERT_EQ(parser.RecoverNode(n, dir.Path().c_str(), &files, &folders, 0, -1000, nullptr), RECOVER_OK);
        EXPECT_EQ(files, 1u);
    }
    EXPECT_EQ(ReadAll(dir / "small.txt"), small);

    std::vector<uint8_t> got = ReadAll(dir / "big.bin");
    ASSERT_EQ(got.size(), data.size()) << "the file keeps its size";
    const size_t bad = 600 * 512;
    EXPECT_TRUE(std::all_of(got.begin() + bad, got.begin() + bad + 512, [](uint8_t c) { return c == 0; }));
    const size_t mib = 1024 * 1024;
    EXPECT_TRUE(std::equal(data.begin() + mib, data.end(), got.begin() + mib)) << "later data did not move";
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + bad, got.begin())) << "data before the bad sector";
    EXPECT_TRUE(std::equal(data.begin() + bad + 512, data.begin() + mib, got.begin() + bad + 512))
        << "data after the bad sector in the same chunk";
}

}  // namespace
