#include "fslib/ntfs/BootSector.h"

namespace ntfs {
namespace {
constexpr size_t kBytesPerSector = 11;         // u16
constexpr size_t kSectorsPerCluster = 13;      // u8, encoded
constexpr size_t kTotalSectors = 40;           // u64
constexpr size_t kMftCluster = 48;             // u64
constexpr size_t kMftMirrCluster = 56;         // u64
constexpr size_t kClustersPerRecord = 64;      // u8, encoded
constexpr size_t kClustersPerIndexBlock = 68;  // u8, encoded

constexpr uint32_t kMinRecordBytes = 1024;
constexpr uint32_t kMaxRecordBytes = 4096;

bool IsPowerOfTwo(uint64_t v) { return v && (v & (v - 1)) == 0; }
}  // namespace

uint32_t DecodeSectorsPerCluster(uint8_t value) {
    if (value <= 0x80) return value;
    uint32_t shift = 256u - value;
    // 2^31 sectors is past any cluster NTFS defines; refuse rather than overflow.
    return shift < 31 ? (1u << shift) : 0;
}

uint64_t DecodeClustersPerStructure(uint8_t value, uint64_t clusterBytes) {
    int8_t v = static_cast<int8_t>(value);
    if (v > 0) return uint64_t(v) * clusterBytes;
    if (v == 0) return 0;
    int shift = -v;
    return shift < 32 ? (uint64_t{1} << shift) : 0;
}

bool ReadBootGeometry(const ByteView& boot, BootGeometry* out) {
    BootGeometry g;
    g.bytesPerSector = boot.U16(kBytesPerSector);
    g.sectorsPerCluster = DecodeSectorsPerCluster(boot.U8(kSectorsPerCluster));
    g.clusterBytes = uint64_t{g.bytesPerSector} * g.sectorsPerCluster;
    g.totalSectors = boot.U64(kTotalSectors);
    g.mftCluster = boot.U64(kMftCluster);
    g.mftMirrCluster = boot.U64(kMftMirrCluster);
    uint64_t record = DecodeClustersPerStructure(boot.U8(kClustersPerRecord), g.clusterBytes);
    uint64_t index = DecodeClustersPerStructure(boot.U8(kClustersPerIndexBlock), g.clusterBytes);
    g.recordBytes = record <= kMaxRecordBytes ? static_cast<uint32_t>(record) : 0;
    g.indexBlockBytes = index <= 0x10000 ? static_cast<uint32_t>(index) : 0;
    if (out) *out = g;
    if (!IsPowerOfTwo(g.bytesPerSector) || g.bytesPerSector < 512 || g.bytesPerSector > 4096) return false;
    if (g.sectorsPerCluster == 0) return false;
    if (!IsPowerOfTwo(g.recordBytes) || g.recordBytes < kMinRecordBytes) return false;
    return true;
}

}  // namespace ntfs
