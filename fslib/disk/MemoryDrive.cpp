#include "fslib/disk/MemoryDrive.h"

#include <cstring>

#include "common/logger/Logger.h"

namespace {
constexpr intptr_t kOpenToken = 1;
constexpr intptr_t kClosedToken = -1;
// Largest request whose byte count still fits the 32-bit count of a device read.
constexpr uint32_t kMaxSectorsPerRead = 0xFFFFFFFFu >> kSectorShift;
}  // namespace

// Usable without Open, so parser tests can hand the drive over at once.
CMemoryDrive::CMemoryDrive(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {
    m_hDevice = kOpenToken;
    m_nTotalSectors = m_bytes.size() / kSectorSize;
    m_pszDeviceName = "memory";
}

int CMemoryDrive::Open(uint8_t /*driveLetter*/) {
    m_hDevice = kOpenToken;
    m_nTotalSectors = m_bytes.size() / kSectorSize;
    m_nPosition = 0;
    return 0;
}

void CMemoryDrive::Close() { m_hDevice = kClosedToken; }

BOOL CMemoryDrive::Seek(uint64_t sector) {
    if (sector >= m_nTotalSectors) return FALSE;
    m_nPosition = sector;
    return TRUE;
}

// Behaves like a device read: short at the end of the volume, failing as a whole when
// it touches an unreadable sector, with the count of the good sectors before it.
BOOL CMemoryDrive::Read(void* buffer, uint32_t sectors, uint32_t* sectorsRead) {
    if (buffer == nullptr) return -1;
    ++m_nReadCalls;
    if (m_readHook) m_readHook(m_nPosition, sectors);
    uint32_t done = 0;
    BOOL ok = TRUE;
    DWORD error = ERROR_SUCCESS;
    if (m_hDevice != kOpenToken) {
        ok = FALSE;
        error = ERROR_INVALID_HANDLE;
    } else if (sectors > kMaxSectorsPerRead) {
        ok = FALSE;
        error = ERROR_INVALID_PARAMETER;
    } else {
        const uint64_t left = m_nPosition < m_nTotalSectors ? m_nTotalSectors - m_nPosition : 0;
        const uint32_t want = left < sectors ? static_cast<uint32_t>(left) : sectors;
        auto bad = m_badSectors.lower_bound(m_nPosition);
        uint32_t good = want;
        if (bad != m_badSectors.end() && *bad < m_nPosition + want) {
            good = static_cast<uint32_t>(*bad - m_nPosition);
            ok = FALSE;
            error = ERROR_READ_FAULT;
        }
        std::memcpy(buffer, m_bytes.data() + m_nPosition * kSectorSize, static_cast<size_t>(good) * kSectorSize);
        done = good;
        m_nPosition += good;
    }
    if (!ok) {
        SetLastError(error);
        g_Logger.ErrorF("Error while reading sectors. Count is -  %u. GetLastError returned %u",
                        static_cast<uint32_t>(sectors << kSectorShift), error);
    }
    if (sectorsRead) *sectorsRead = done;
    return ok;
}
