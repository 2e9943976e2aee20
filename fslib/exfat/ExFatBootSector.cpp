// exFAT boot sector and boot region: the volume layout fields of the main boot sector and
// the checksum of the 12-sector region that guards them.
#include "fslib/exfat/ExFatBootSector.h"

#include "fslib/core/FileSystemParser.h"

namespace exfat {
namespace {
constexpr size_t kVolumeLength = 72;          // u64, sectors
constexpr size_t kFatOffset = 80;             // u32, sectors
constexpr size_t kFatLength = 84;             // u32, sectors
constexpr size_t kClusterHeapOffset = 88;     // u32, sectors
constexpr size_t kClusterCount = 92;          // u32
constexpr size_t kRootCluster = 96;           // u32
constexpr size_t kSerialNumber = 100;         // u32
constexpr size_t kVolumeFlags = 106;          // u16, bit 0 = second FAT active
constexpr size_t kBytesPerSectorShift = 108;  // u8
constexpr size_t kSectorsPerClusterShift = 109;
constexpr size_t kNumberOfFats = 110;  // u8
constexpr size_t kPercentInUse = 112;  // u8
constexpr uint16_t kActiveFatFlag = 0x0001;

uint32_t Rotate(uint32_t sum, uint8_t byte) { return ((sum & 1) ? 0x80000000u : 0) + (sum >> 1) + byte; }
}  // namespace

BootSector BootSector::Read(ByteView boot) {
    BootSector b;
    b.nVolumeLength = boot.U64(kVolumeLength);
    b.dwFatOffset = boot.U32(kFatOffset);
    b.dwFatLength = boot.U32(kFatLength);
    b.dwClusterHeapOffset = boot.U32(kClusterHeapOffset);
    b.dwClusterCount = boot.U32(kClusterCount);
    b.dwRootCluster = boot.U32(kRootCluster);
    b.dwSerialNumber = boot.U32(kSerialNumber);
    b.wVolumeFlags = boot.U16(kVolumeFlags);
    b.bBytesPerSectorShift = boot.U8(kBytesPerSectorShift);
    b.bSectorsPerClusterShift = boot.U8(kSectorsPerClusterShift);
    b.bNumberOfFats = boot.U8(kNumberOfFats);
    return b;
}

uint64_t BootSector::ActiveFatByteOffset() const {
    uint64_t sector = dwFatOffset;
    // Only a volume with two FATs can switch to the second one.
    if (bNumberOfFats == 2 && (wVolumeFlags & kActiveFatFlag)) sector += dwFatLength;
    return sector << bBytesPerSectorShift;
}

const char* BootSector::Check(uint64_t driveBytes) const {
    if (bBytesPerSectorShift < 9 || bBytesPerSectorShift > 12) return "bytes per sector shift out of range";
    if (ClusterShift() > 25) return "cluster larger than 32 MiB";
    if (bNumberOfFats != 1 && bNumberOfFats != 2) return "number of FATs is not 1 or 2";
    if (dwClusterCount == 0) return "no clusters";
    if (dwFatOffset < 2 * kBootRegionSectors) return "the FAT overlaps the boot regions";
    if ((uint64_t{dwFatLength} << bBytesPerSectorShift) < (uint64_t{dwClusterCount} + 2) * 4)
        return "the FAT is too short for the cluster count";
    if (uint64_t{dwFatOffset} + uint64_t{dwFatLength} * bNumberOfFats > dwClusterHeapOffset)
        return "the FATs overlap the cluster heap";
    if (nVolumeLength < dwClusterHeapOffset ||
        (uint64_t{dwClusterCount} << bSectorsPerClusterShift) > nVolumeLength - dwClusterHeapOffset)
        return "the cluster heap lies outside the volume";
    if (!IsHeapCluster(dwRootCluster)) return "the root directory lies outside the cluster heap";
    if (driveBytes != 0 && (uint64_t{dwClusterHeapOffset} << bBytesPerSectorShift) > driveBytes)
        return "the cluster heap starts beyond the end of the disk";
    return nullptr;
}

uint32_t BootChecksum(ByteView region, uint32_t bytesPerSector) {
    const size_t length = size_t{bytesPerSector} * kBootChecksumSectors;
    uint32_t sum = 0;
    for (size_t i = 0; i < length && i < region.Size(); ++i) {
        if (i == kVolumeFlags || i == kVolumeFlags + 1 || i == kPercentInUse) continue;
        sum = Rotate(sum, region.U8(i));
    }
    return sum;
}

bool VerifyBootRegion(ByteView region, uint32_t bytesPerSector) {
    const size_t checksumAt = size_t{bytesPerSector} * kBootChecksumSectors;
    if (!region.Has(checksumAt, bytesPerSector)) return false;
    if (!IsExFatBootSector(region.Data(), region.Size())) return false;
    const uint32_t sum = BootChecksum(region, bytesPerSector);
    for (size_t i = 0; i < bytesPerSector; i += 4)
        if (region.U32(checksumAt + i) != sum) return false;
    return true;
}

}  // namespace exfat
