// Stand-in for the DOS absolute disk read (INT 21h 7305h) that the 9x family reaches
// through its vwin32 device: drive numbers count from 1 = A:, sectors are 512 bytes
// and one call moves at most 64 of them. Drives are served by the drive table.
#pragma once

#include <cstdint>

#include "platform/Win32.h"

namespace platform {

constexpr uint32_t kDosMaxSectorsPerCall = 64;

// The request block of the call: start sector, sector count, buffer.
struct DISKIO {
    uint32_t dwStartSector = 0;
    uint16_t wSectors = 0;
    void* lpBuffer = nullptr;
};

// The vwin32 device handle; never 0 when valid, -1 on failure.
intptr_t OpenVwin32Device();
void CloseVwin32Device(intptr_t device);

// Total bytes of the volume behind a drive letter (what the free-space query reports
// as the total); FALSE with the last error set when the letter has no readable source.
BOOL GetDosDriveTotalBytes(char letter, uint64_t* total);

// One absolute read. TRUE when the call succeeded with the carry flag clear: all
// wSectors sectors were read. Requests of more than 64 sectors, of sectors past the
// end of the volume and of unknown drives fail.
BOOL DosAbsoluteRead(intptr_t device, uint32_t driveNumber, const DISKIO& request);

// Calls made so far in this process (tests check the chunking).
uint32_t DosAbsoluteReadCalls();
void ResetDosAbsoluteReadCalls();

}  // namespace platform
