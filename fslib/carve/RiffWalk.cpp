// RIFF (AVI, WebP): "RIFF", the length of what follows, the form type, then chunks (id,
// length, data padded to an even length) that must fill the stated length exactly. An
// AVI past 1 GiB continues in "RIFF....AVIX" pieces right after the first.
#include <cstring>

#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr size_t kFormType = 8;

bool IsChunkId(const uint8_t* id) {
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    return true;
}

// Walks the chunks of one RIFF piece [off + 12, off + 8 + length). *sawData: a movi list
// (AVI) or an image chunk (WebP).
bool WalkPiece(CandidateBytes& bytes, uint64_t off, uint64_t length, bool avi, bool* sawHeader, bool* sawData) {
    uint64_t at = off + 12, end = off + 8 + length;
    while (at < end) {
        if (!bytes.Step()) return false;
        const uint8_t* c = bytes.Peek(at, 12);
        if (!c || !IsChunkId(c)) return false;
        uint64_t size = Le32(c + 4);
        if (avi && std::memcmp(c, "LIST", 4) == 0) {
            if (std::memcmp(c + 8, "hdrl", 4) == 0) *sawHeader = true;
            if (std::memcmp(c + 8, "movi", 4) == 0) *sawData = true;
        }
        if (!avi && (std::memcmp(c, "VP8 ", 4) == 0 || std::memcmp(c, "VP8L", 4) == 0)) *sawData = true;
        if (!avi && std::memcmp(c, "VP8X", 4) == 0) *sawHeader = true;
        at += 8 + size + (size & 1);
    }
    // Writers pad the last chunk even when the stated length leaves the pad byte out.
    return at == end || at == end + 1;
}

}  // namespace

bool IsRiffHeader(const uint8_t* s) {
    return std::memcmp(s, "RIFF", 4) == 0 && Le32(s + 4) >= 12 &&
           (std::memcmp(s + kFormType, "AVI ", 4) == 0 || std::memcmp(s + kFormType, "WEBP", 4) == 0);
}

WalkResult WalkRiff(CandidateBytes& bytes) {
    const uint8_t* h = bytes.Peek(0, 12);
    if (!h) return {4, false};
    bool avi = std::memcmp(h + kFormType, "AVI ", 4) == 0;
    uint64_t length = Le32(h + 4);
    uint64_t end = 8 + length + (length & 1);
    bool sawHeader = false, sawData = false;
    if (!bytes.Has(0, end)) return {bytes.Limit(), false};
    if (!WalkPiece(bytes, 0, length, avi, &sawHeader, &sawData) || !bytes.Peek(end - 1, 1)) return {end, false};
    while (avi) {
        if (!bytes.Step()) return {end, false};
        const uint8_t* x = bytes.Peek(end, 12);
        if (!x || std::memcmp(x, "RIFF", 4) != 0 || std::memcmp(x + kFormType, "AVIX", 4) != 0) break;
        uint64_t more = Le32(x + 4);
        uint64_t next = end + 8 + more + (more & 1);
        bool ignored = false;
        if (!bytes.Has(0, next) || !WalkPiece(bytes, end, more, true, &ignored, &ignored) || !bytes.Peek(next - 1, 1))
            return {bytes.Has(0, next) ? next : bytes.Limit(), false};
        end = next;
    }
    WalkResult r{end, avi ? sawHeader && sawData : sawData || sawHeader};
    if (!avi) {
        r.extension = "webp";
        r.typeName = "WebP image";
    }
    return r;
}

}  // namespace carve
