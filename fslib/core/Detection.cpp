// File-system recognition from the boot sector (sector 0 of the volume).
#include <cstring>

#include "fslib/core/ByteView.h"
#include "fslib/core/FileSystemParser.h"

namespace {
constexpr size_t kOemNameOffset = 3;       // "NTFS    "
constexpr size_t kFat1216TypeOffset = 54;  // "FAT12   ", "FAT16   ", "FAT     "
constexpr size_t kFat32TypeOffset = 82;    // "FAT32   "

// exFAT main boot sector.
constexpr size_t kExFatZeroStart = 11;  // 53 bytes that must be zero
constexpr size_t kExFatZeroEnd = 64;
constexpr size_t kExFatVolumeLength = 72;  // u64, sectors
constexpr size_t kExFatFatOffset = 80;     // u32, sectors
constexpr size_t kExFatFatLength = 84;     // u32, sectors
constexpr size_t kExFatHeapOffset = 88;    // u32, sectors
constexpr size_t kExFatClusterCount = 92;  // u32
constexpr size_t kExFatBytesPerSectorShift = 108;
constexpr size_t kExFatSectorsPerClusterShift = 109;
constexpr size_t kExFatNumberOfFats = 110;
constexpr unsigned kExFatMaxClusterShift = 25;  // 32 MiB clusters
constexpr uint32_t kExFatMaxClusters = 0xFFFFFFF5;

bool Field(const uint8_t* boot, size_t size, size_t off, const char* text) {
    return off + 8 <= size && std::memcmp(boot + off, text, 8) == 0;
}
}  // namespace

uint8_t DetectFileSystem(const uint8_t* boot, size_t size) {
    if (!boot) return FS_UNKNOWN;
    if (Field(boot, size, kOemNameOffset, "NTFS    ")) return FS_NTFS;
    if (Field(boot, size, kFat1216TypeOffset, "FAT12   ")) return FS_FAT12;
    if (Field(boot, size, kFat1216TypeOffset, "FAT     ")) return FS_FAT12;
    if (Field(boot, size, kFat1216TypeOffset, "FAT16   ")) return FS_FAT16;
    if (Field(boot, size, kFat32TypeOffset, "FAT32   ")) return FS_FAT32;
    if (IsExFatBootSector(boot, size)) return FS_EXFAT;
    return FS_UNKNOWN;
}

bool IsExFatBootSector(const uint8_t* boot, size_t size) {
    if (!boot || size < 512) return false;
    ByteView b(boot, size);
    if (!b.Equals(kOemNameOffset, "EXFAT   ", 8)) return false;
    for (size_t i = kExFatZeroStart; i < kExFatZeroEnd; ++i)
        if (b.U8(i) != 0) return false;
    const unsigned sectorShift = b.U8(kExFatBytesPerSectorShift);
    const unsigned clusterShift = b.U8(kExFatSectorsPerClusterShift);
    if (sectorShift < 9 || sectorShift > 12 || sectorShift + clusterShift > kExFatMaxClusterShift) return false;
    const unsigned fats = b.U8(kExFatNumberOfFats);
    if (fats != 1 && fats != 2) return false;
    const uint64_t volumeLength = b.U64(kExFatVolumeLength);
    const uint64_t fatOffset = b.U32(kExFatFatOffset), fatLength = b.U32(kExFatFatLength);
    const uint64_t heapOffset = b.U32(kExFatHeapOffset), clusters = b.U32(kExFatClusterCount);
    // The main and backup boot regions take the first 24 sectors.
    if (fatOffset < 24 || fatLength == 0 || clusters == 0 || clusters > kExFatMaxClusters) return false;
    if ((fatLength << sectorShift) < (clusters + 2) * 4) return false;
    if (fatOffset + fatLength * fats > heapOffset) return false;
    // Shifts are at most 25, so the product stays far below 2^64.
    if (volumeLength < heapOffset || ((clusters << clusterShift) > volumeLength - heapOffset)) return false;
    return true;
}

const char* FileSystemName(uint8_t type) {
    switch (type) {
        case FS_NTFS: return "NTFS";
        case FS_FAT12: return "FAT12";
        case FS_FAT16: return "FAT16";
        case FS_FAT32: return "FAT32";
        case FS_EXFAT: return "exFAT";
        default: return nullptr;
    }
}
