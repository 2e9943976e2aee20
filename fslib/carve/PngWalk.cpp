// PNG: the signature, then chunks (length, type, data, CRC over type and data) from IHDR
// to IEND. A chunk whose CRC does not match ends the walk: the file is damaged there.
#include <zlib.h>

#include <cstring>

#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kIhdrLength = 13;
constexpr uint32_t kMaxChunk = 0x7FFFFFFF;  // the format's own bound

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// CRC-32 of `n` bytes at `off`; false when they cannot all be read.
bool Crc(CandidateBytes& bytes, uint64_t off, uint64_t n, uint32_t* crc) {
    uLong c = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        if (!bytes.Step()) return false;
        size_t got = 0;
        const uint8_t* p = bytes.PeekSome(off, n < (1u << 20) ? static_cast<size_t>(n) : (1u << 20), &got);
        if (!p || got == 0) return false;
        c = crc32(c, p, static_cast<uInt>(got));
        off += got;
        n -= got;
    }
    *crc = static_cast<uint32_t>(c);
    return true;
}

}  // namespace

bool IsPngHeader(const uint8_t* s) {
    return std::memcmp(s, kSignature, 8) == 0 && Be32(s + 8) == kIhdrLength && std::memcmp(s + 12, "IHDR", 4) == 0;
}

WalkResult WalkPng(CandidateBytes& bytes) {
    uint64_t off = 8;
    bool first = true;
    for (;;) {
        if (!bytes.Step()) return {off, false};
        const uint8_t* h = bytes.Peek(off, 8);
        if (!h) return {off, false};
        uint32_t length = Be32(h);
        if (length > kMaxChunk || !IsLetter(h[4]) || !IsLetter(h[5]) || !IsLetter(h[6]) || !IsLetter(h[7]))
            return {off, false};
        bool end = std::memcmp(h + 4, "IEND", 4) == 0;
        if (first && std::memcmp(h + 4, "IHDR", 4) != 0) return {off, false};
        first = false;
        uint32_t crc = 0;
        const uint8_t* stored = bytes.Peek(off + 8 + length, 4);
        if (!stored) return {off, false};
        uint32_t want = Be32(stored);
        if (!Crc(bytes, off + 4, uint64_t{length} + 4, &crc) || crc != want) return {off, false};
        off += 12 + uint64_t{length};
        if (end) return {off, true};
    }
}

}  // namespace carve
