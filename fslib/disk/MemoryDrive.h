// A CDiskDrive over a byte buffer, for tests and fuzzing. Sectors can be marked
// unreadable; reads that touch one fail as a device read would.
#pragma once

#include <set>
#include <vector>

#include "fslib/disk/DiskDrive.h"

class CMemoryDrive final : public CDiskDrive {
public:
    explicit CMemoryDrive(std::vector<uint8_t> bytes);
    int Open(uint8_t driveLetter) override;
    void Close() override;
    BOOL Seek(uint64_t sector) override;
    BOOL Read(void* buffer, uint32_t sectors, uint32_t* sectorsRead) override;

    void SetUnreadable(uint64_t sector) { m_badSectors.insert(sector); }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    uint32_t ReadCalls() const { return m_nReadCalls; }

private:
    std::vector<uint8_t> m_bytes;
    std::set<uint64_t> m_badSectors;
    uint64_t m_nPosition = 0;
    uint32_t m_nReadCalls = 0;
};
