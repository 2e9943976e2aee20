// The NTFS boot-sector geometry from hand-made sectors.
#include <gtest/gtest.h>

#include <cstring>

#include "fslib/ntfs/NTFSBootSector.h"

namespace {

struct ClusterCase {
    const char* what;
    uint8_t value;
    uint32_t sectors;
};

TEST(NtfsBootSector, DecodesSectorsPerClusterByte) {
    const ClusterCase cases[] = {
        {"no size", 0x00, 0},
        {"one sector", 0x01, 1},
        {"4 KiB clusters of 512-byte sectors", 0x08, 8},
        {"0x80 is a plain count", 0x80, 128},
        {"smallest power-of-two form", 0xFF, 2},
        {"256 sectors", 0xF8, 256},
        {"2 MiB clusters", 0xF4, 4096},
        {"largest exponent kept", 0xE1, 1u << 31},
        {"exponent past 31 bits", 0xE0, 0},
        {"exponent of 127", 0x81, 0},
    };
    for (const ClusterCase& c : cases) EXPECT_EQ(NTFSBootSector::DecodeSectorsPerCluster(c.value), c.sectors) << c.what;
}

struct OffsetCase {
    const char* what;
    uint16_t bytesPerSector;
    uint8_t sectorsPerCluster;
    uint64_t mftCluster;
    bool valid;
    uint64_t offset;
};

TEST(NtfsBootSector, ReadsGeometryAndMftOffset) {
    const OffsetCase cases[] = {
        {"4 KiB clusters, MFT at cluster 786432", 512, 8, 786432, true, 0xC0000000ull},
        {"MFT cluster above 32 bits", 512, 8, 0x100000004ull, true, 0x100000004ull * 4096},
        {"2 MiB clusters", 512, 0xF4, 3, true, 3ull * 2 * 1024 * 1024},
        {"4096-byte sectors", 4096, 1, 4, true, 16384},
        {"no bytes per sector", 0, 8, 4, false, 0},
        {"no cluster size", 512, 0, 4, false, 0},
        {"offset past 64 bits", 512, 8, 1ull << 60, false, 0},
    };
    for (const OffsetCase& c : cases) {
        uint8_t boot[512] = {};
        boot[11] = static_cast<uint8_t>(c.bytesPerSector);
        boot[12] = static_cast<uint8_t>(c.bytesPerSector >> 8);
        boot[13] = c.sectorsPerCluster;
        for (int i = 0; i < 8; ++i) boot[0x30 + i] = static_cast<uint8_t>(c.mftCluster >> (8 * i));
        const NTFSBootSector fields = NTFSBootSector::Read(ByteView(boot, sizeof(boot)));
        EXPECT_EQ(fields.wBytesPerSector, c.bytesPerSector) << c.what;
        EXPECT_EQ(fields.nMftCluster, c.mftCluster) << c.what;
        uint64_t offset = 0;
        EXPECT_EQ(fields.MftByteOffset(&offset), c.valid) << c.what;
        EXPECT_EQ(offset, c.offset) << c.what;
    }
}

TEST(NtfsBootSector, TotalAndMirrorAreWholeSixtyFourBitFields) {
    uint8_t boot[512] = {};
    const uint64_t total = 0x1'0000'0000'7Full;  // past 2^32 sectors, with the low half's sign bit clear
    const uint64_t mirror = 0x8000'0001ull;
    std::memcpy(boot + 0x28, &total, 8);
    std::memcpy(boot + 0x38, &mirror, 8);
    const NTFSBootSector fields = NTFSBootSector::Read(ByteView(boot, sizeof(boot)));
    EXPECT_EQ(fields.nTotalSectors, total);
    EXPECT_EQ(fields.nMftMirrCluster, mirror);
    // A cut sector reads its missing fields as 0 instead of past the buffer.
    const NTFSBootSector cut = NTFSBootSector::Read(ByteView(boot, 0x2C));
    EXPECT_EQ(cut.nTotalSectors, 0u);
}

}  // namespace
