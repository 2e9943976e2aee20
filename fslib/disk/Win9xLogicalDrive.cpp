#include <algorithm>
#include <cctype>

#include "fslib/disk/DiskDrive.h"
#include "platform/DosAbsoluteRead.h"

namespace {
// The DOS call addresses sectors with 32 bits.
constexpr uint64_t kDosSectorLimit = 1ull << 32;
}  // namespace

CWin9xLogicalDrive::~CWin9xLogicalDrive() { Close(); }

int CWin9xLogicalDrive::Open(uint8_t driveLetter) {
    Close();
    const intptr_t device = platform::OpenVwin32Device();
    if (device == -1) return -1;
    // Drive numbers count from 'A'; a lower-case letter would give a number past Z.
    const char letter = static_cast<char>(std::toupper(driveLetter));
    uint64_t totalBytes = 0;
    if (!platform::GetDosDriveTotalBytes(letter, &totalBytes)) {
        platform::CloseVwin32Device(device);
        return -1;
    }
    m_hDevice = device;
    m_nTotalSectors = totalBytes / m_nSectorSize;
    m_nPosition = 0;
    m_nDriveNumber = static_cast<uint32_t>(letter - 0x40);
    return 0;
}

void CWin9xLogicalDrive::Close() {
    if (m_hDevice != 0) {
        platform::CloseVwin32Device(m_hDevice);
        m_hDevice = 0;
    }
    m_nChunkCount = 0;
    m_nPosition = 0;
    m_nTotalSectors = 0;
}

BOOL CWin9xLogicalDrive::Seek(uint64_t sector) {
    if (sector >= m_nTotalSectors) return FALSE;
    m_nPosition = sector;
    return TRUE;
}

// Each chunk is placed at its own sector, so a failed chunk cannot shift the ones
// after it, and the read fails when any chunk failed: a good last chunk must not hide
// a bad one before it.
BOOL CWin9xLogicalDrive::Read(void* buffer, uint32_t sectors, uint32_t* sectorsRead) {
    if (m_hDevice == 0) return FALSE;
    uint32_t scratch = 0;
    uint32_t& total = sectorsRead ? *sectorsRead : scratch;
    total = 0;
    if (m_nPosition + sectors > m_nTotalSectors) sectors = static_cast<uint32_t>(m_nTotalSectors - m_nPosition);
    if (sectors <= platform::kDosMaxSectorsPerCall) return TransferSectors(buffer, sectors, &total);

    const uint64_t start = m_nPosition;
    auto* bytes = static_cast<uint8_t*>(buffer);
    BOOL allOk = TRUE;
    uint32_t offset = 0;
    while (sectors - offset > 0) {
        const uint32_t chunk = std::min(sectors - offset, platform::kDosMaxSectorsPerCall);
        m_nPosition = start + offset;
        uint32_t done = 0;
        if (!TransferSectors(bytes ? bytes + static_cast<size_t>(offset) * m_nSectorSize : nullptr, chunk, &done))
            allOk = FALSE;
        total += done;
        offset += chunk;
    }
    return allOk;
}

BOOL CWin9xLogicalDrive::TransferSectors(void* buffer, uint32_t sectors, uint32_t* done) {
    ++m_nTransfers;
    m_bLastCallOk = FALSE;
    if (sectors > platform::kDosMaxSectorsPerCall || m_nPosition + sectors > kDosSectorLimit) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else {
        platform::DISKIO request;
        request.dwStartSector = static_cast<uint32_t>(m_nPosition);
        request.wSectors = static_cast<uint16_t>(sectors);
        request.lpBuffer = buffer;
        m_bLastCallOk = platform::DosAbsoluteRead(m_hDevice, m_nDriveNumber, request);
    }
    m_nChunkCount = m_bLastCallOk ? sectors : 0;
    if (m_bLastCallOk) m_nPosition += sectors;
    if (done) *done = m_nChunkCount;
    return m_bLastCallOk;
}
