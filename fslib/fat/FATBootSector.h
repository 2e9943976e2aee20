// FAT boot sector: the BIOS parameter block fields that lay out a FAT12/16/32 volume.
#pragma once

#include <cstdint>

#include "fslib/core/ByteView.h"

struct FATBootSector {
    uint16_t wBytesPerSector = 0;
    uint8_t bSectorsPerCluster = 0;
    uint16_t wReservedSectors = 0;
    uint8_t bNumberOfFats = 0;
    uint16_t wRootEntries = 0;
    uint16_t wTotalSectors16 = 0;
    uint16_t wSectorsPerFat16 = 0;
    uint32_t dwTotalSectors32 = 0;
    uint32_t dwSectorsPerFat32 = 0;
    uint32_t dwRootCluster = 0;

    static FATBootSector Read(ByteView boot);

    // The 32-bit total, or the 16-bit one when that is 0 (formatters write small volumes'
    // totals there whatever the width).
    uint32_t TotalSectors() const;
    // Highest cluster number a data area starting at `dataStart` holds (0 when it holds
    // none).
    uint32_t LastCluster(uint64_t dataStart) const;
    // Sectors of the root directory area (FAT12/16), rounded up to whole sectors.
    uint32_t RootDirectorySectors() const;
    // Why these values cannot describe a usable volume of the given width, or nullptr.
    // `driveSectors` (512-byte sectors, 0 = unknown) bounds the FAT from above.
    const char* CheckGeometry(bool fat32, uint64_t driveSectors) const;
};
