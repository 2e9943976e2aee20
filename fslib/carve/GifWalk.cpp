// GIF87a/89a: the screen descriptor and its colour table, then extension and image blocks
// (each a chain of sub-blocks ended by a zero length) up to the trailer 0x3B.
#include <cstring>

#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr size_t kScreenDescriptorEnd = 13;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kHasColourTable = 0x80;
constexpr size_t kImageDescriptor = 10;  // separator and nine bytes

uint64_t ColourTableSize(uint8_t flags) { return (flags & kHasColourTable) ? 3u << ((flags & 7) + 1) : 0; }

// Skips a chain of sub-blocks; false when it runs out of bytes first.
bool SkipSubBlocks(CandidateBytes& bytes, uint64_t* off) {
    for (;;) {
        if (!bytes.Step()) return false;
        const uint8_t* n = bytes.Peek(*off, 1);
        if (!n) return false;
        *off += 1 + uint64_t{n[0]};
        if (n[0] == 0) return true;
    }
}

}  // namespace

bool IsGifHeader(const uint8_t* s) {
    return (std::memcmp(s, "GIF87a", 6) == 0 || std::memcmp(s, "GIF89a", 6) == 0) && Le16(s + 6) != 0 &&
           Le16(s + 8) != 0;
}

WalkResult WalkGif(CandidateBytes& bytes) {
    const uint8_t* screen = bytes.Peek(0, kScreenDescriptorEnd);
    if (!screen) return {6, false};
    uint64_t off = kScreenDescriptorEnd + ColourTableSize(screen[10]);
    bool sawImage = false;
    for (;;) {
        if (!bytes.Step()) return {off, false};
        const uint8_t* b = bytes.Peek(off, 1);
        if (!b) return {off, false};
        if (b[0] == kTrailer) return {off + 1, sawImage};
        if (b[0] == kExtension) {
            off += 2;  // introducer and label
        } else if (b[0] == kImage) {
            const uint8_t* d = bytes.Peek(off, kImageDescriptor + 1);
            if (!d) return {off, false};
            off += kImageDescriptor + ColourTableSize(d[9]);
            const uint8_t* lzw = bytes.Peek(off, 1);
            // The LZW minimum code size: 2..8 bits by the format, 11 tolerated by readers.
            if (!lzw || lzw[0] < 2 || lzw[0] > 11) return {off, false};
            off += 1;
            sawImage = true;
        } else {
            return {off, false};
        }
        if (!SkipSubBlocks(bytes, &off)) return {off, false};
    }
}

}  // namespace carve
