// EXIF: a TIFF block (byte order, IFD0) whose ExifIFD holds DateTimeOriginal.
#include "fslib/carve/ExifDate.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/Time.h"

namespace carve {

namespace {

constexpr uint16_t kTagDateTime = 0x0132;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagDateTimeOriginal = 0x9003;
constexpr uint16_t kTypeAscii = 2;
constexpr size_t kDateLength = 19;

struct Tiff {
    const uint8_t* p;
    size_t size;
    bool big;
    bool Has(uint64_t off, uint64_t n) const { return off <= size && n <= size - off; }
    uint16_t U16(size_t off) const {
        return big ? static_cast<uint16_t>(p[off] << 8 | p[off + 1]) : p[off] | p[off + 1] << 8;
    }
    uint32_t U32(size_t off) const {
        return big ? static_cast<uint32_t>(U16(off)) << 16 | U16(off + 2)
                   : U16(off) | static_cast<uint32_t>(U16(off + 2)) << 16;
    }
};

// The ASCII date of `tag` in the IFD at `ifd`, or the ExifIFD's offset when tag is that.
bool FindTag(const Tiff& t, uint32_t ifd, uint16_t tag, std::string* text, uint32_t* pointer) {
    if (!t.Has(ifd, 2)) return false;
    uint16_t count = t.U16(ifd);
    for (uint32_t i = 0; i < count; ++i) {
        size_t e = ifd + 2 + size_t{i} * 12;
        if (!t.Has(e, 12)) return false;
        if (t.U16(e) != tag) continue;
        if (pointer) {
            *pointer = t.U32(e + 8);
            return true;
        }
        uint32_t n = t.U32(e + 4);
        uint32_t at = t.U32(e + 8);
        if (t.U16(e + 2) != kTypeAscii || n < kDateLength || !t.Has(at, kDateLength)) return false;
        text->assign(reinterpret_cast<const char*>(t.p + at), kDateLength);
        return true;
    }
    return false;
}

}  // namespace

std::string ExifDateTaken(const uint8_t* tiff, size_t size) {
    if (size < 8) return {};
    Tiff t{tiff, size, false};
    if (std::memcmp(tiff, "MM\0*", 4) == 0)
        t.big = true;
    else if (std::memcmp(tiff, "II*\0", 4) != 0)
        return {};
    uint32_t ifd0 = t.U32(4);
    std::string text;
    uint32_t exif = 0;
    if (FindTag(t, ifd0, kTagExifIfd, nullptr, &exif) && FindTag(t, exif, kTagDateTimeOriginal, &text, nullptr))
        return text;
    if (FindTag(t, ifd0, kTagDateTime, &text, nullptr)) return text;
    return {};
}

uint64_t ExifDateToFileTime(const std::string& text) {
    int y, mo, d, h, mi, s;
    if (text.size() != kDateLength ||
        std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6)
        return 0;
    if (y < 1980 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return 0;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    std::time_t seconds = std::mktime(&tm);
    if (seconds == static_cast<std::time_t>(-1)) return 0;
    return platform::UnixToFileTime(seconds);
}

}  // namespace carve
