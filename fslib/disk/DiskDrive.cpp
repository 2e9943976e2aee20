#include "fslib/disk/DiskDrive.h"

#include <cstring>

#include "common/logger/Logger.h"

int CDiskDrive::ReadSectors(uint64_t sector, void* buffer, uint32_t count, uint32_t* countRead) {
    if (!Seek(sector)) return kSeekFailed;
    return Read(buffer, count, countRead);
}

int CDiskDrive::ReadSectorsSafe(uint64_t sector, void* buffer, uint32_t count, uint32_t* badSectors) {
    if (!Seek(sector)) return kSeekFailed;

    // Without a buffer there is nothing to read into or to zero: a sector-by-sector
    // pass would only write through a null pointer.
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -3;
    }

    auto* bytes = static_cast<uint8_t*>(buffer);
    if (sector + count > m_nTotalSectors) {
        const auto available = static_cast<uint32_t>(m_nTotalSectors - sector);
        // What lies past the end of the volume is returned as zeros, never as stale
        // memory of the caller.
        std::memset(bytes + static_cast<size_t>(available) * kSectorSize, 0,
                    static_cast<size_t>(count - available) * kSectorSize);
        count = available;
    }

    if (Read(buffer, count, &m_nLastCount)) {
        if (badSectors) *badSectors = 0;
        return 1;
    }

    SetLastError(ERROR_SUCCESS);
    Seek(sector);
    std::memset(bytes, 0, static_cast<size_t>(count) * kSectorSize);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* slot = bytes + static_cast<size_t>(i) * kSectorSize;
        uint32_t got = 0;
        if (!Seek(sector + i) || !Read(slot, 1, &got)) {
            g_Logger.ErrorF("error reading sector %u", static_cast<uint32_t>(sector + i));
            std::memset(slot, 0, kSectorSize);
            return -3;
        }
    }
    if (badSectors) *badSectors = 0;
    return 1;
}
