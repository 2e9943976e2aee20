#include <algorithm>
#include <cstdio>

#include "common/logger/Logger.h"
#include "fslib/disk/DiskDrive.h"
#include "platform/DriveTable.h"
#include "platform/RawVolume.h"

namespace {
constexpr intptr_t kInvalidHandle = -1;
// Largest request whose byte count fits the 32-bit count of one device read.
constexpr uint32_t kMaxSectorsPerRead = 0xFFFFFFFFu >> kSectorShift;
}  // namespace

CLogicalDrive::~CLogicalDrive() { Close(); }

int CLogicalDrive::Open(uint8_t driveLetter) {
    const auto drive = platform::DriveTable::Instance().Find(static_cast<char>(driveLetter));
    if (!drive) {
        Close();
        char name[3] = {static_cast<char>(driveLetter), ':', 0};
        m_pszDeviceName = name;
        g_Logger.InfoF("try to open disk: %s", m_pszDeviceName.c_str());
        SetLastError(ERROR_FILE_NOT_FOUND);
        g_Logger.LogLastError();
        return -1;
    }
    return OpenWindow(drive->source, drive->DisplayName(), drive->firstSector, drive->sectorCount);
}

// The volume is opened for reading only: nothing here ever writes to it.
int CLogicalDrive::OpenSource(const std::string& source, uint64_t firstSector, uint64_t sectorCount) {
    return OpenWindow(source, source, firstSector, sectorCount);
}

int CLogicalDrive::OpenWindow(const std::string& source, const std::string& name, uint64_t firstSector,
                              uint64_t sectorCount) {
    Close();
    m_pszDeviceName = name;
    if (!m_bQuiet) g_Logger.InfoF("try to open disk: %s", m_pszDeviceName.c_str());
    const int fd = platform::OpenRawSource(source);
    if (fd < 0) {
        if (!m_bQuiet) {
            const std::string why = platform::RawSourceOpenFailure();
            if (!why.empty()) g_Logger.ErrorF("%s: %s", source.c_str(), why.c_str());
            g_Logger.LogLastError();
        }
        return -1;
    }
    // Only a block device or an image file has a size to read sectors from; a folder
    // or a character device is refused here rather than failing every read later.
    const auto size = platform::RawSize(fd);
    const uint64_t sourceSectors = size ? *size / kSectorSize : 0;
    // A window must start inside its source; one that runs past the end (the source
    // shrank since its table was read) ends with the source.
    if (!size || (sectorCount != 0 && firstSector >= sourceSectors)) {
        platform::CloseRawSource(fd);
        SetLastError(size ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
        if (!m_bQuiet) g_Logger.LogLastError();
        return -1;
    }
    m_hDevice = fd;
    m_nFirstSector = sectorCount != 0 ? firstSector : 0;
    m_nTotalSectors = sectorCount != 0 ? std::min(sectorCount, sourceSectors - firstSector) : sourceSectors;
    m_nPosition = 0;
    return 0;
}

void CLogicalDrive::Close() {
    if (m_hDevice > 0) platform::CloseRawSource(static_cast<int>(m_hDevice));
    m_hDevice = kInvalidHandle;
    m_nFirstSector = 0;
    m_pszDeviceName.clear();
}

BOOL CLogicalDrive::Seek(uint64_t sector) {
    if (sector >= m_nTotalSectors) return FALSE;
    SetLastError(ERROR_SUCCESS);
    m_nPosition = sector;
    return TRUE;
}

BOOL CLogicalDrive::Read(void* buffer, uint32_t sectors, uint32_t* sectorsRead) {
    if (buffer == nullptr) return -1;
    size_t doneBytes = 0;
    BOOL ok = FALSE;
    if (m_hDevice <= 0) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (sectors > kMaxSectorsPerRead) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else {
        // The device ends at its last whole sector; a trailing partial sector of an
        // image is not part of the volume.
        const uint64_t left = m_nPosition < m_nTotalSectors ? m_nTotalSectors - m_nPosition : 0;
        const uint64_t want = std::min<uint64_t>(sectors, left) << kSectorShift;
        ok = platform::RawRead(static_cast<int>(m_hDevice), buffer, static_cast<size_t>(want),
                               (m_nFirstSector + m_nPosition) << kSectorShift, &doneBytes);
    }
    if (!ok && !m_bQuiet) {
        g_Logger.ErrorF("Error while reading sectors. Count is -  %u. GetLastError returned %u",
                        static_cast<uint32_t>(sectors << kSectorShift), GetLastError());
    }
    const auto done = static_cast<uint32_t>(doneBytes >> kSectorShift);
    m_nPosition += done;
    if (sectorsRead) *sectorsRead = done;
    return ok;
}
