// ISO base media files (MP4, MOV, 3GP, HEIC): top-level boxes (size, type, 64-bit size
// when size is 1) from ftyp on. The file ends where the next bytes are not a top-level
// box; it is whole when the boxes a player needs are there: moov and mdat for a movie,
// meta for a still image.
#include <cstring>

#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr uint32_t kMaxFtyp = 4096;

bool IsType(const uint8_t* t, const char* name) { return std::memcmp(t, name, 4) == 0; }

// The box types that stand at the top level of the files this search looks for.
bool IsTopLevel(const uint8_t* t) {
    static const char* const kTypes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta",
                                         "moof", "mfra", "pdin", "styp", "sidx", "ssix", "prft", "emsg",
                                         "pnot", "junk", "idat", "iinf", "jumb", "mmpu"};
    for (const char* k : kTypes)
        if (IsType(t, k)) return true;
    return false;
}

bool BrandIs(const uint8_t* b, const char* prefix) { return std::memcmp(b, prefix, std::strlen(prefix)) == 0; }

}  // namespace

bool IsIsoMediaHeader(const uint8_t* s) {
    uint32_t size = Be32(s);
    if (size < 16 || size > kMaxFtyp || !IsType(s + 4, "ftyp")) return false;
    for (int i = 8; i < 12; ++i)
        if (s[i] < 0x20 || s[i] > 0x7E) return false;
    return true;
}

WalkResult WalkIsoMedia(CandidateBytes& bytes) {
    const uint8_t* f = bytes.Peek(0, 12);
    if (!f) return {8, false};
    uint8_t brand[4];
    std::memcpy(brand, f + 8, 4);
    bool image = BrandIs(brand, "heic") || BrandIs(brand, "heix") || BrandIs(brand, "mif1") || BrandIs(brand, "msf1") ||
                 BrandIs(brand, "heim") || BrandIs(brand, "avif");
    uint64_t off = 0;
    bool sawMoov = false, sawMdat = false, sawMeta = false, sawMoof = false;
    for (;;) {
        if (!bytes.Step()) return {off, false};
        if (off == bytes.Limit()) break;  // the medium or the limit ends exactly here
        const uint8_t* h = bytes.Peek(off, 8);
        if (!h) return {off, false};
        if (!IsTopLevel(h + 4)) break;
        uint64_t size = Be32(h);
        uint64_t header = 8;
        if (size == 1) {
            const uint8_t* large = bytes.Peek(off + 8, 8);
            if (!large) return {off, false};
            size = Be64(large);
            header = 16;
        } else if (size == 0) {
            // "To the end of the file": the end is unknown.
            return {bytes.Limit(), false};
        }
        if (size < header) return {off, false};
        if (IsType(h + 4, "moov")) sawMoov = true;
        if (IsType(h + 4, "mdat")) sawMdat = true;
        if (IsType(h + 4, "meta")) sawMeta = true;
        if (IsType(h + 4, "moof")) sawMoof = true;
        if (!bytes.Has(off, size)) return {bytes.Limit(), false};
        // The box's last byte must be there; a box cut short by the medium is damaged.
        if (!bytes.Peek(off + size - 1, 1)) return {off, false};
        off += size;
    }
    WalkResult r{off, image ? sawMeta : (sawMoov || sawMoof) && sawMdat};
    if (image) {
        r.extension = "heic";
        r.typeName = "HEIF image";
    } else if (BrandIs(brand, "qt  ")) {
        r.extension = "mov";
        r.typeName = "QuickTime movie";
    } else if (BrandIs(brand, "3g")) {
        r.extension = "3gp";
        r.typeName = "3GPP video";
    }
    return r;
}

}  // namespace carve
