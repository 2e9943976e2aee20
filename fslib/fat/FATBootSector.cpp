// FAT boot sector: the BIOS parameter block fields that lay out a FAT12/16/32 volume.
#include "fslib/fat/FATBootSector.h"

#include <algorithm>

namespace {
constexpr size_t kBytesPerSector = 11;     // u16
constexpr size_t kSectorsPerCluster = 13;  // u8
constexpr size_t kReservedSectors = 14;    // u16, sectors before the first FAT
constexpr size_t kNumberOfFats = 16;       // u8
constexpr size_t kRootEntries = 17;        // u16, FAT12/16 root directory entries
constexpr size_t kTotalSectors16 = 19;     // u16
constexpr size_t kSectorsPerFat16 = 22;    // u16
constexpr size_t kTotalSectors32 = 32;     // u32
constexpr size_t kSectorsPerFat32 = 36;    // u32, FAT32 only
constexpr size_t kRootCluster = 44;        // u32, FAT32 only
constexpr uint32_t kDirEntrySize = 32;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
}  // namespace

FATBootSector FATBootSector::Read(ByteView boot) {
    FATBootSector b;
    b.wBytesPerSector = boot.U16(kBytesPerSector);
    b.bSectorsPerCluster = boot.U8(kSectorsPerCluster);
    b.wReservedSectors = boot.U16(kReservedSectors);
    b.bNumberOfFats = boot.U8(kNumberOfFats);
    b.wRootEntries = boot.U16(kRootEntries);
    b.wTotalSectors16 = boot.U16(kTotalSectors16);
    b.wSectorsPerFat16 = boot.U16(kSectorsPerFat16);
    b.dwTotalSectors32 = boot.U32(kTotalSectors32);
    b.dwSectorsPerFat32 = boot.U32(kSectorsPerFat32);
    b.dwRootCluster = boot.U32(kRootCluster);
    return b;
}

uint32_t FATBootSector::TotalSectors() const { return dwTotalSectors32 != 0 ? dwTotalSectors32 : wTotalSectors16; }

uint32_t FATBootSector::LastCluster(uint64_t dataStart) const {
    const uint64_t total = TotalSectors();
    if (bSectorsPerCluster == 0 || total <= dataStart) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>((total - dataStart) / bSectorsPerCluster + 1, 0xFFFFFFFFu));
}

uint32_t FATBootSector::RootDirectorySectors() const {
    if (wBytesPerSector == 0) return 0;
    return (uint32_t{wRootEntries} * kDirEntrySize + wBytesPerSector - 1) / wBytesPerSector;
}

const char* FATBootSector::CheckGeometry(bool fat32, uint64_t driveSectors) const {
    // Sector sizes the drive's 512-byte sectors divide evenly.
    if (wBytesPerSector < 512 || wBytesPerSector > 4096 || !IsPowerOfTwo(wBytesPerSector))
        return "bytes per sector is not 512, 1024, 2048 or 4096";
    if (!IsPowerOfTwo(bSectorsPerCluster)) return "sectors per cluster is not a power of two";
    if (wReservedSectors == 0) return "no reserved sectors";
    if (bNumberOfFats == 0) return "no FAT";
    const uint64_t total = TotalSectors();
    if (total == 0) return "total sectors is 0";
    const uint64_t fatSectors = fat32 ? dwSectorsPerFat32 : wSectorsPerFat16;
    if (fat32 && fatSectors == 0) return "sectors per FAT is 0";
    const uint64_t fatEnd = wReservedSectors + uint64_t{bNumberOfFats} * fatSectors;
    if (fatEnd > total) return "the FATs are larger than the volume";
    const uint64_t diskPerUnit = wBytesPerSector / 512;
    if (driveSectors != 0 && fatEnd * diskPerUnit > driveSectors) return "the FATs are larger than the disk";
    if (fatSectors * wBytesPerSector > 0xFFFFFFFFull) return "the FAT is larger than 4 GiB";
    const uint64_t dataStart = fatEnd + (fat32 ? 0 : RootDirectorySectors());
    if (dataStart > total) return "the data area starts beyond the volume";
    if (dataStart * diskPerUnit > 0xFFFFFFFFull) return "the data area starts beyond 2 TiB";
    return nullptr;
}
