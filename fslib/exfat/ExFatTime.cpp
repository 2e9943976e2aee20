// exFAT timestamps: a DOS-style 32-bit date and time, a 10 ms increment and a UTC offset
// byte, turned into a FILETIME (UTC).
#include "fslib/exfat/ExFatTime.h"

#include "platform/Time.h"

namespace exfat {
namespace {
constexpr uint8_t kOffsetValid = 0x80;
constexpr uint8_t kMaxIncrement = 199;  // up to 1.99 s past the even second
constexpr uint64_t kTicksPer10ms = 100000;
constexpr int64_t kTicksPerQuarterHour = 15ll * 60 * 10000000;
}  // namespace

FILETIME StampToFileTime(uint32_t stamp, uint8_t increment10ms, uint8_t utcOffset) {
    if (stamp == 0) return 0;
    FILETIME local = 0;
    if (!platform::DosDateTimeToFileTime(static_cast<uint16_t>(stamp >> 16), static_cast<uint16_t>(stamp & 0xFFFF),
                                         &local))
        return 0;
    if (increment10ms <= kMaxIncrement) local += increment10ms * kTicksPer10ms;
    if (utcOffset & kOffsetValid) {
        // Sign-extend the low seven bits.
        int quarters = utcOffset & 0x7F;
        if (quarters & 0x40) quarters -= 0x80;
        return static_cast<FILETIME>(static_cast<int64_t>(local) - quarters * kTicksPerQuarterHour);
    }
    FILETIME utc = 0;
    if (!platform::LocalFileTimeToFileTime(local, &utc)) return 0;
    return utc;
}

}  // namespace exfat
