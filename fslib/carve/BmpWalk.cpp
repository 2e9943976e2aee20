// BMP: the file header (its own length, the pixel offset) and the DIB header. The format
// has no end mark: a file is whole when its bytes up to the stated length can be read
// and the length holds the pixel array the header describes.
#include <cstdlib>

#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr size_t kFileSize = 2;      // u32
constexpr size_t kReserved = 6;      // u32, zero
constexpr size_t kPixelOffset = 10;  // u32
constexpr size_t kDibSize = 14;      // u32
constexpr size_t kWidth = 18;        // i32 (u16 in the 12-byte core header)
constexpr size_t kHeight = 22;       // i32
constexpr size_t kPlanes = 26;       // u16
constexpr size_t kBitCount = 28;     // u16
constexpr size_t kCompression = 30;  // u32
constexpr uint32_t kRgb = 0, kBitfields = 3;

bool KnownDibSize(uint32_t n) { return n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124; }
bool KnownBitCount(uint16_t n) { return n == 1 || n == 4 || n == 8 || n == 16 || n == 24 || n == 32; }

}  // namespace

bool IsBmpHeader(const uint8_t* s) {
    if (s[0] != 'B' || s[1] != 'M' || Le32(s + kReserved) != 0) return false;
    uint32_t size = Le32(s + kFileSize), offset = Le32(s + kPixelOffset), dib = Le32(s + kDibSize);
    return KnownDibSize(dib) && offset >= 14 + dib && offset < size && Le16(s + kPlanes) == 1 &&
           KnownBitCount(Le16(s + kBitCount)) && static_cast<int32_t>(Le32(s + kWidth)) > 0 && Le32(s + kHeight) != 0 &&
           Le32(s + kCompression) <= 6;
}

WalkResult WalkBmp(CandidateBytes& bytes) {
    const uint8_t* s = bytes.Peek(0, 54);
    if (!s) return {2, false};
    uint64_t size = Le32(s + kFileSize);
    uint32_t compression = Le32(s + kCompression);
    if (compression == kRgb || compression == kBitfields) {
        uint64_t width = Le32(s + kWidth);
        uint64_t height = static_cast<uint64_t>(std::llabs(static_cast<int32_t>(Le32(s + kHeight))));
        uint64_t row = (width * Le16(s + kBitCount) + 31) / 32 * 4;
        uint64_t offset = Le32(s + kPixelOffset);
        uint64_t room = size > offset ? size - offset : 0;
        if (row == 0 || height > room / row) return {size < bytes.Limit() ? size : bytes.Limit(), false};
    }
    if (!bytes.Has(0, size) || !bytes.Peek(size - 1, 1)) return {size < bytes.Limit() ? size : bytes.Limit(), false};
    return {size, true};
}

}  // namespace carve
