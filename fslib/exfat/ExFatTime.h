// exFAT timestamps: a DOS-style 32-bit date and time, a 10 ms increment and a UTC offset
// byte, turned into a FILETIME (UTC).
#pragma once

#include <cstdint>

#include "platform/Win32.h"

namespace exfat {

// 0 for a zero stamp or an impossible date. The offset byte counts when its top bit is
// set (a signed 7-bit count of 15 minutes); otherwise the stamp is local time.
FILETIME StampToFileTime(uint32_t stamp, uint8_t increment10ms, uint8_t utcOffset);

}  // namespace exfat
