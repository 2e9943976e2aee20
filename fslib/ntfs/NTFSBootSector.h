// NTFS boot sector ($Boot, sector 0 of the volume): the geometry fields, with the
// encodings NTFS uses for the cluster and record sizes decoded.
#pragma once

#include <cstdint>

#include "fslib/core/ByteView.h"

struct NTFSBootSector {
    uint16_t wBytesPerSector = 0;
    uint32_t dwSectorsPerCluster = 0;  // decoded; 0 when the byte holds no valid size
    uint64_t nTotalSectors = 0;
    uint64_t nMftCluster = 0;
    uint64_t nMftMirrCluster = 0;

    static NTFSBootSector Read(ByteView boot);

    // The sectors-per-cluster byte: up to 0x80 the count itself, above it a power of two,
    // 2^(256 - value) (0xF4 stands for 4096 sectors, 2 MiB clusters of 512-byte sectors).
    // 0 for 0 and for exponents no volume can have.
    static uint32_t DecodeSectorsPerCluster(uint8_t value);

    // Bytes per cluster, or 0 when either factor is 0.
    uint64_t ClusterBytes() const { return uint64_t{wBytesPerSector} * dwSectorsPerCluster; }
    // Byte offset of the MFT from the start of the volume; false when the geometry is
    // invalid or the product does not fit in 64 bits.
    bool MftByteOffset(uint64_t* offset) const;
};
