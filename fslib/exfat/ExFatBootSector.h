// exFAT boot sector and boot region: the volume layout fields of the main boot sector and
// the checksum of the 12-sector region that guards them.
#pragma once

#include <cstdint>

#include "fslib/core/ByteView.h"

namespace exfat {

// Sectors of one boot region (main at 0, backup at 12): 11 checked sectors and the
// checksum sector.
constexpr uint32_t kBootRegionSectors = 12;
constexpr uint32_t kBootChecksumSectors = 11;
constexpr uint32_t kFirstCluster = 2;

struct BootSector {
    uint64_t nVolumeLength = 0;        // sectors
    uint32_t dwFatOffset = 0;          // sectors
    uint32_t dwFatLength = 0;          // sectors
    uint32_t dwClusterHeapOffset = 0;  // sectors
    uint32_t dwClusterCount = 0;
    uint32_t dwRootCluster = 0;
    uint32_t dwSerialNumber = 0;
    uint16_t wVolumeFlags = 0;
    uint8_t bBytesPerSectorShift = 0;
    uint8_t bSectorsPerClusterShift = 0;
    uint8_t bNumberOfFats = 0;

    static BootSector Read(ByteView boot);

    uint32_t BytesPerSector() const { return uint32_t{1} << bBytesPerSectorShift; }
    uint32_t ClusterShift() const { return uint32_t{bBytesPerSectorShift} + bSectorsPerClusterShift; }
    uint64_t ClusterBytes() const { return uint64_t{1} << ClusterShift(); }
    uint32_t LastCluster() const { return dwClusterCount + kFirstCluster - 1; }
    bool IsHeapCluster(uint64_t c) const { return c >= kFirstCluster && c <= LastCluster(); }
    // Byte offsets from the start of the volume.
    uint64_t ActiveFatByteOffset() const;
    uint64_t ClusterByteOffset(uint32_t cluster) const {
        return (uint64_t{dwClusterHeapOffset} << bBytesPerSectorShift) +
               (uint64_t{cluster - kFirstCluster} << ClusterShift());
    }
    // Why the fields cannot describe a volume on a drive of `driveBytes` (0 = unknown), or
    // nullptr.
    const char* Check(uint64_t driveBytes) const;
};

// The boot checksum over the first 11 sectors of a region, skipping the volume flags and
// the percent-in-use bytes, which change without the checksum being rewritten.
uint32_t BootChecksum(ByteView region, uint32_t bytesPerSector);
// Whether a whole region (12 sectors) carries its checksum in every word of sector 11.
bool VerifyBootRegion(ByteView region, uint32_t bytesPerSector);

}  // namespace exfat
