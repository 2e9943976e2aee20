// The sector source every parser reads through: 512-byte sectors addressed by a 64-bit
// sector number. Volumes are only ever opened read-only.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "platform/Win32.h"

constexpr uint32_t kSectorSize = 512;
constexpr int kSectorShift = 9;
constexpr int DISK_LOGICAL = 1;
// Result of a positioned read whose Seek failed.
constexpr int kSeekFailed = static_cast<int>(0x8000000B);

class CDiskDrive {
public:
    virtual ~CDiskDrive() = default;  // derived destructors call Close

    virtual int Open(uint8_t driveLetter) = 0;
    virtual void Close() = 0;
    virtual BOOL Seek(uint64_t sector) = 0;
    virtual BOOL Read(void* buffer, uint32_t sectors, uint32_t* sectorsRead) = 0;

    // Seek, then Read; kSeekFailed when the seek fails.
    int ReadSectors(uint64_t sector, void* buffer, uint32_t count, uint32_t* countRead);
    // Bulk read, falling back to sector-by-sector reads that zero-fill the first
    // unreadable sector and everything after it. Returns 1, -3 or kSeekFailed.
    int ReadSectorsSafe(uint64_t sector, void* buffer, uint32_t count, uint32_t* badSectors);

    uint64_t TotalSectors() const { return m_nTotalSectors; }
    const char* DeviceName() const { return m_pszDeviceName.c_str(); }

protected:
    uint32_t m_nLastCount = 0;
    intptr_t m_hDevice = 0;
    std::string m_pszDeviceName;
    uint64_t m_nTotalSectors = 0;
};

// NT-family back-end: the drive table's source for the letter, opened O_RDONLY, read
// with pread. Reads can be made to fail at chosen sectors (tests).
class CLogicalDrive final : public CDiskDrive {
public:
    CLogicalDrive() = default;
    ~CLogicalDrive() override;
    int Open(uint8_t driveLetter) override;
    void Close() override;
    BOOL Seek(uint64_t sector) override;
    BOOL Read(void* buffer, uint32_t sectors, uint32_t* sectorsRead) override;

    // Open a source path directly (no drive letter); 0 on success. A sector count other
    // than 0 opens the window [firstSector, firstSector + sectorCount) of the source (a
    // partition): sector 0 is then its first sector, and reads end at its end.
    int OpenSource(const std::string& source, uint64_t firstSector = 0, uint64_t sectorCount = 0);
    // Leaves opening and read failures out of the log: for looking at a source (its
    // partition table) before anyone asked to scan it.
    void SetQuiet(bool quiet) { m_bQuiet = quiet; }

private:
    // OpenSource under a name of its own for the log and DeviceName ("disk.img@2").
    int OpenWindow(const std::string& source, const std::string& name, uint64_t firstSector, uint64_t sectorCount);

    uint64_t m_nPosition = 0;
    uint64_t m_nFirstSector = 0;
    bool m_bQuiet = false;
};

// 9x-family back-end: the same drive table served through a stand-in for the DOS
// absolute-read call, at most 64 sectors per call.
class CWin9xLogicalDrive final : public CDiskDrive {
public:
    CWin9xLogicalDrive() = default;
    ~CWin9xLogicalDrive() override;
    int Open(uint8_t driveLetter) override;
    void Close() override;
    BOOL Seek(uint64_t sector) override;
    BOOL Read(void* buffer, uint32_t sectors, uint32_t* sectorsRead) override;
    // One device transfer of at most 64 sectors at the current position.
    BOOL TransferSectors(void* buffer, uint32_t sectors, uint32_t* done);

    uint32_t TransferCount() const { return m_nTransfers; }

private:
    int m_bLastCallOk = 0;
    uint32_t m_nChunkCount = 0;
    uint32_t m_nSectorSize = kSectorSize;
    uint64_t m_nPosition = 0;
    uint32_t m_nDriveNumber = 0;
    uint32_t m_nTransfers = 0;
};

// Kind 1 (DISK_LOGICAL) stores a new closed drive of the running family in *out and
// returns 0; any other kind returns -1 and leaves *out untouched.
int CreateDiskDrive(int kind, CDiskDrive** out);
