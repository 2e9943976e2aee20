#include "platform/DosAbsoluteRead.h"

#include <atomic>

#include "platform/DriveTable.h"
#include "platform/RawVolume.h"

namespace platform {

namespace {

constexpr intptr_t kVwin32Token = 0x5657;  // any nonzero value: the device has no state
std::atomic<uint32_t> g_calls{0};

}  // namespace

intptr_t OpenVwin32Device() { return kVwin32Token; }

void CloseVwin32Device(intptr_t /*device*/) {}

BOOL GetDosDriveTotalBytes(char letter, uint64_t* total) {
    const auto drive = DriveTable::Instance().Find(letter);
    if (!drive) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const auto size = SourceSize(drive->source);
    if (!size) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (total) *total = *size;
    return TRUE;
}

BOOL DosAbsoluteRead(intptr_t device, uint32_t driveNumber, const DISKIO& request) {
    g_calls.fetch_add(1, std::memory_order_relaxed);
    if (device != kVwin32Token) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (request.wSectors > kDosMaxSectorsPerCall || request.lpBuffer == nullptr || driveNumber < 1 ||
        driveNumber > 26) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto drive = DriveTable::Instance().Find(static_cast<char>('A' + driveNumber - 1));
    if (!drive) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const int fd = OpenRawSource(drive->source);
    if (fd < 0) return FALSE;
    const size_t bytes = static_cast<size_t>(request.wSectors) * kRawSectorSize;
    size_t done = 0;
    BOOL ok =
        RawRead(fd, request.lpBuffer, bytes, static_cast<uint64_t>(request.dwStartSector) * kRawSectorSize, &done);
    CloseRawSource(fd);
    // DOS reads whole requests or fails: a request running off the volume is an error.
    if (ok && done != bytes) {
        SetLastError(ERROR_READ_FAULT);
        ok = FALSE;
    }
    return ok;
}

uint32_t DosAbsoluteReadCalls() { return g_calls.load(std::memory_order_relaxed); }
void ResetDosAbsoluteReadCalls() { g_calls.store(0, std::memory_order_relaxed); }

}  // namespace platform
