// File-system recognition from the boot sector (sector 0 of the volume).
#include <cstring>

#include "fslib/core/FileSystemParser.h"

namespace {
constexpr size_t kOemNameOffset = 3;       // "NTFS    "
constexpr size_t kFat1216TypeOffset = 54;  // "FAT12   ", "FAT16   ", "FAT     "
constexpr size_t kFat32TypeOffset = 82;    // "FAT32   "

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
    return FS_UNKNOWN;
}

const char* FileSystemName(uint8_t type) {
    switch (type) {
        case FS_NTFS: return "NTFS";
        case FS_FAT12: return "FAT12";
        case FS_FAT16: return "FAT16";
        case FS_FAT32: return "FAT32";
        default: return nullptr;
    }
}
