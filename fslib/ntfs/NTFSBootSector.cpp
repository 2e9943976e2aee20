#include "fslib/ntfs/NTFSBootSector.h"

#include "fslib/ntfs/NtfsLayout.h"

namespace {
// Clusters of 2^31 sectors are far past any real volume; larger shifts would overflow.
constexpr uint32_t kMaxClusterShift = 31;
constexpr uint8_t kLargestPlainCount = 0x80;
}  // namespace

uint32_t NTFSBootSector::DecodeSectorsPerCluster(uint8_t value) {
    if (value <= kLargestPlainCount) return value;
    const uint32_t shift = 256u - value;
    return shift > kMaxClusterShift ? 0 : 1u << shift;
}

NTFSBootSector NTFSBootSector::Read(ByteView boot) {
    NTFSBootSector fields;
    fields.wBytesPerSector = boot.U16(ntfs::kBootBytesPerSector);
    fields.dwSectorsPerCluster = DecodeSectorsPerCluster(boot.U8(ntfs::kBootSectorsPerCluster));
    fields.nTotalSectors = boot.U64(ntfs::kBootTotalSectors);
    fields.nMftCluster = boot.U64(ntfs::kBootMftCluster);
    fields.nMftMirrCluster = boot.U64(ntfs::kBootMftMirrCluster);
    return fields;
}

bool NTFSBootSector::MftByteOffset(uint64_t* offset) const {
    const uint64_t clusterBytes = ClusterBytes();
    if (clusterBytes == 0) return false;
    uint64_t product = 0;
    if (__builtin_mul_overflow(nMftCluster, clusterBytes, &product)) return false;
    *offset = product;
    return true;
}
