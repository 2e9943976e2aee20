// NTFS boot sector (BIOS parameter block): the geometry fields the parser needs, decoded
// from the bytes alone so other tools read a volume's geometry exactly as the parser does.
#pragma once

#include <cstdint>

#include "fslib/core/ByteView.h"

namespace ntfs {

// The sectors-per-cluster byte (offset 13): 1 to 0x80 is the count itself; a value above
// 0x80 is a negative power of two, 2^(256 - value) sectors (0xF4 = 4096 sectors). 0 gives 0.
uint32_t DecodeSectorsPerCluster(uint8_t value);

// The clusters-per-record and clusters-per-index-block bytes (offsets 64 and 68): a
// positive value counts clusters; a negative one (as a signed byte) gives 2^(-value)
// bytes. The size in bytes, or 0 when the byte cannot describe one.
uint64_t DecodeClustersPerStructure(uint8_t value, uint64_t clusterBytes);

struct BootGeometry {
    uint32_t bytesPerSector = 0;     // offset 11
    uint32_t sectorsPerCluster = 0;  // decoded, in sectors of bytesPerSector
    uint64_t clusterBytes = 0;
    uint64_t totalSectors = 0;     // offset 40, in sectors of bytesPerSector
    uint64_t mftCluster = 0;       // offset 48
    uint64_t mftMirrCluster = 0;   // offset 56
    uint32_t recordBytes = 0;      // offset 64, decoded
    uint32_t indexBlockBytes = 0;  // offset 68, decoded
    // 512-byte units, the unit every disk read of the parser counts in.
    uint64_t Sectors512PerCluster() const { return clusterBytes / 512; }
    uint64_t TotalSectors512() const { return totalSectors * (bytesPerSector / 512); }
};

// Reads the fields; false when they cannot describe a volume this parser reads (sector
// size not a power of two from 512 to 4096, no cluster size, record size not a power of
// two from 1024 to 4096 bytes, or not a whole number of 512-byte sectors).
bool ReadBootGeometry(const ByteView& bootSector, BootGeometry* out);

}  // namespace ntfs
