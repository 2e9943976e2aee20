// JPEG (JFIF, EXIF): the marker segments from SOI to EOI. Segment lengths carry the walk
// over APP segments, so a thumbnail embedded in EXIF never ends the file; entropy-coded
// data after SOS is scanned for the next marker that is not a stuffed byte or a restart.
#include <algorithm>
#include <cstring>

#include "fslib/carve/ExifDate.h"
#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;
constexpr uint8_t kSos = 0xDA;
constexpr uint8_t kApp1 = 0xE1;

bool IsStandalone(uint8_t m) { return (m >= 0xD0 && m <= 0xD7) || m == 0x01; }
// Start of frame: C0..CF except DHT (C4), JPG (C8) and DAC (CC).
bool IsStartOfFrame(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

WalkResult Damaged(uint64_t at) { return WalkResult{at, false}; }

// The offset of the marker that ends the entropy-coded data starting at `pos`; false
// when the bytes end first (the offset reached is then in *pos).
bool FindMarkerAfterScan(CandidateBytes& bytes, uint64_t* pos) {
    uint64_t at = *pos;
    for (;;) {
        if (!bytes.Step()) break;
        size_t got = 0;
        const uint8_t* p = bytes.PeekSome(at, 64 * 1024, &got);
        if (!p) break;
        const uint8_t* ff = static_cast<const uint8_t*>(std::memchr(p, 0xFF, got));
        if (!ff) {
            at += got;
            continue;
        }
        at += static_cast<uint64_t>(ff - p);
        const uint8_t* pair = bytes.Peek(at, 2);
        if (!pair) break;
        uint8_t next = pair[1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
            at += 2;
        } else if (next == 0xFF) {
            at += 1;  // fill byte; the marker follows
        } else {
            *pos = at;
            return true;
        }
    }
    *pos = at;
    return false;
}

}  // namespace

bool IsJpegHeader(const uint8_t* s) {
    if (s[0] != 0xFF || s[1] != kSoi || s[2] != 0xFF) return false;
    uint8_t m = s[3];
    // The first segment of a camera's or an editor's file: APPn, a table, a comment or
    // a frame header.
    return (m >= 0xE0 && m <= 0xEF) || m == 0xDB || m == 0xC4 || m == 0xC0 || m == 0xFE || m == 0xDD;
}

WalkResult WalkJpeg(CandidateBytes& bytes) {
    uint64_t off = 2;
    bool sawFrame = false, sawScan = false;
    std::string taken;
    for (;;) {
        if (!bytes.Step()) return Damaged(off);
        const uint8_t* p = bytes.Peek(off, 2);
        if (!p) return Damaged(bytes.Limit() < off ? bytes.Limit() : off);
        if (p[0] != 0xFF) return Damaged(off);
        uint8_t m = p[1];
        if (m == 0xFF) {
            ++off;
            continue;
        }
        if (m == kEoi) {
            WalkResult r{off + 2, sawFrame && sawScan};
            r.dateTaken = taken;
            return r;
        }
        if (m == kSoi || m == 0x00) return Damaged(off);
        if (IsStandalone(m)) {
            off += 2;
            continue;
        }
        const uint8_t* len = bytes.Peek(off + 2, 2);
        if (!len) return Damaged(off);
        uint16_t segment = Be16(len);
        if (segment < 2) return Damaged(off);
        if (IsStartOfFrame(m)) sawFrame = true;
        if (m == kApp1 && taken.empty()) {
            // EXIF: "Exif\0\0" then a TIFF block; the date is in the first 4 KiB in practice.
            size_t n = std::min<size_t>(segment - 2u, CandidateBytes::kMaxPeek);
            const uint8_t* app = bytes.Peek(off + 4, n);
            if (app && n > 6 && std::memcmp(app, "Exif\0\0", 6) == 0) taken = ExifDateTaken(app + 6, n - 6);
        }
        off += 2 + uint64_t{segment};
        if (m == kSos) {
            sawScan = true;
            if (!FindMarkerAfterScan(bytes, &off)) return Damaged(off);
        }
    }
}

}  // namespace carve
