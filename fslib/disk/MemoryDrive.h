// A CDiskDrive over a byte buffer, for tests and fuzzing. Sectors can be marked
// unreadable; reads that touch one fail as a device read would.
#pragma once

#include <functional>
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
    // Hears the first sector and the count of each read before it is served, so a test
    // can make something happen in the middle of a job.
    void SetReadHook(std::function<void(uint64_t sector, uint32_t count)> hook) { m_readHook = std::move(hook); }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    uint32_t ReadCalls() const { return m_nReadCalls; }

private:
    std::vector<uint8_t> m_bytes;
    std::set<uint64_t> m_badSectors;
    std::function<void(uint64_t, uint32_t)> m_readHook;
    uint64_t m_nPosition = 0;
    uint32_t m_nReadCalls = 0;
};
