#include <new>

#include "fslib/disk/DiskDrive.h"

namespace {
constexpr DWORD kWin9xFamilyBit = 0x80000000u;
}  // namespace

int CreateDiskDrive(int kind, CDiskDrive** out) {
    if (kind != DISK_LOGICAL || out == nullptr) return -1;
    if (platform::GetVersion() & kWin9xFamilyBit) {
        *out = new (std::nothrow) CWin9xLogicalDrive();
    } else {
        *out = new (std::nothrow) CLogicalDrive();
    }
    return 0;
}
