// TIFF and the camera raws built on it (CR2, NEF, ARW, DNG): the file ends at the largest
// offset any IFD names, counting the IFDs themselves, out-of-line values, strips, tiles,
// the JPEG thumbnail and the IFDs reached through SubIFDs, EXIF and GPS pointers.
#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "fslib/carve/FileFormat.h"

namespace carve {

namespace {

constexpr uint16_t kTagMake = 271;
constexpr uint16_t kTagStripOffsets = 273;
constexpr uint16_t kTagStripByteCounts = 279;
constexpr uint16_t kTagTileOffsets = 324;
constexpr uint16_t kTagTileByteCounts = 325;
constexpr uint16_t kTagSubIfds = 330;
constexpr uint16_t kTagJpegOffset = 513;
constexpr uint16_t kTagJpegLength = 514;
constexpr uint16_t kTagExifIfd = 34665;
constexpr uint16_t kTagGpsIfd = 34853;
constexpr uint16_t kTagInteropIfd = 40965;
constexpr uint16_t kTagDngVersion = 50706;
constexpr size_t kCr2RawIfd = 12;  // u32 after "CR" and its version
constexpr size_t kMaxIfds = 512;
constexpr size_t kMaxQueue = 4096;
constexpr uint32_t kMaxEntries = 4096;
constexpr uint32_t kMaxArray = 1u << 20;

uint32_t TypeSize(uint16_t type) {
    static const uint8_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof(sizes) ? sizes[type] : 0;
}

struct Entry {
    uint16_t tag, type;
    uint32_t count;
    uint64_t at;  // candidate offset of the values (inline or not)
};

class TiffReader {
public:
    TiffReader(CandidateBytes& bytes, bool big) : m_bytes(bytes), m_big(big) {}

    bool U16(uint64_t off, uint16_t* v) {
        const uint8_t* p = m_bytes.Peek(off, 2);
        if (!p) return false;
        *v = m_big ? Be16(p) : Le16(p);
        return true;
    }
    bool U32(uint64_t off, uint32_t* v) {
        const uint8_t* p = m_bytes.Peek(off, 4);
        if (!p) return false;
        *v = m_big ? Be32(p) : Le32(p);
        return true;
    }
    // Value i of a SHORT or LONG array.
    bool Value(const Entry& e, uint32_t i, uint32_t* v) {
        if (e.type == 3) {
            uint16_t s = 0;
            if (!U16(e.at + uint64_t{i} * 2, &s)) return false;
            *v = s;
            return true;
        }
        if (e.type == 4 || e.type == 13) return U32(e.at + uint64_t{i} * 4, v);
        return false;
    }

private:
    CandidateBytes& m_bytes;
    bool m_big;
};

}  // namespace

bool IsTiffHeader(const uint8_t* s) {
    bool little = std::memcmp(s, "II*\0", 4) == 0;
    if (!little && std::memcmp(s, "MM\0*", 4) != 0) return false;
    uint32_t ifd = little ? Le32(s + 4) : Be32(s + 4);
    return ifd >= 8 && ifd < (1u << 24) && (ifd & 1) == 0;
}

WalkResult WalkTiff(CandidateBytes& bytes) {
    const uint8_t* h = bytes.Peek(0, 16);
    if (!h) return {8, false};
    bool big = h[0] == 'M';
    TiffReader r(bytes, big);
    bool cr2 = !big && h[8] == 'C' && h[9] == 'R';
    uint64_t end = 8;
    std::vector<uint64_t> queue;
    std::set<uint64_t> seen;
    queue.push_back(big ? Be32(h + 4) : Le32(h + 4));
    if (cr2) queue.push_back(Le32(h + kCr2RawIfd));
    bool dng = false, sawData = false;
    std::string make;
    auto damaged = [&] { return WalkResult{end < bytes.Limit() ? end : bytes.Limit(), false}; };

    for (size_t q = 0; q < queue.size(); ++q) {
        uint64_t ifd = queue[q];
        if (ifd == 0 || !seen.insert(ifd).second) continue;
        if (seen.size() > kMaxIfds || queue.size() > kMaxQueue || !bytes.Step()) return damaged();
        uint16_t count = 0;
        if (!r.U16(ifd, &count) || count == 0 || count > kMaxEntries) return damaged();
        uint64_t tail = ifd + 2 + uint64_t{count} * 12;
        end = std::max(end, tail + 4);
        std::vector<Entry> entries;
        for (uint16_t i = 0; i < count; ++i) {
            uint64_t e = ifd + 2 + uint64_t{i} * 12;
            Entry x{};
            uint32_t offset = 0;
            if (!r.U16(e, &x.tag) || !r.U16(e + 2, &x.type) || !r.U32(e + 4, &x.count) || !r.U32(e + 8, &offset))
                return damaged();
            uint64_t size = uint64_t{TypeSize(x.type)} * x.count;
            x.at = size <= 4 ? e + 8 : offset;
            if (size > 4) end = std::max(end, uint64_t{offset} + size);
            entries.push_back(x);
            if (x.tag == kTagDngVersion) dng = true;
            if (x.tag == kTagMake && x.type == 2 && make.empty()) {
                const uint8_t* p = bytes.Peek(x.at, std::min<uint32_t>(x.count, 16));
                if (p)
                    make.assign(reinterpret_cast<const char*>(p),
                                strnlen(reinterpret_cast<const char*>(p), std::min<uint32_t>(x.count, 16)));
            }
        }
        uint32_t next = 0;
        if (!r.U32(tail, &next)) return damaged();
        queue.push_back(next);
        // Offsets with their byte counts: strips, tiles, the JPEG thumbnail.
        auto pair = [&](uint16_t offsetsTag, uint16_t countsTag) -> bool {
            const Entry* offs = nullptr;
            const Entry* lens = nullptr;
            for (const Entry& x : entries) {
                if (x.tag == offsetsTag) offs = &x;
                if (x.tag == countsTag) lens = &x;
            }
            if (!offs || !lens) return true;
            uint32_t n = std::min(offs->count, lens->count);
            if (n > kMaxArray) return false;
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t o = 0, l = 0;
                if (!bytes.Step() || !r.Value(*offs, i, &o) || !r.Value(*lens, i, &l)) return false;
                end = std::max(end, uint64_t{o} + l);
                if (l) sawData = true;
            }
            return true;
        };
        if (!pair(kTagStripOffsets, kTagStripByteCounts) || !pair(kTagTileOffsets, kTagTileByteCounts) ||
            !pair(kTagJpegOffset, kTagJpegLength))
            return damaged();
        for (const Entry& x : entries) {
            if (x.tag != kTagSubIfds && x.tag != kTagExifIfd && x.tag != kTagGpsIfd && x.tag != kTagInteropIfd)
                continue;
            uint32_t n = std::min<uint32_t>(x.count, kMaxIfds);
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t o = 0;
                if (!r.Value(x, i, &o)) return damaged();
                queue.push_back(o);
            }
        }
    }
    if (!sawData || !bytes.Has(0, end) || !bytes.Peek(end - 1, 1)) return damaged();
    WalkResult result{end, true};
    if (dng) {
        result.extension = "dng";
    } else if (cr2) {
        result.extension = "cr2";
    } else if (make.rfind("NIKON", 0) == 0) {
        result.extension = "nef";
    } else if (make.rfind("SONY", 0) == 0) {
        result.extension = "arw";
    }
    if (result.extension) result.typeName = "Camera raw image";
    return result;
}

}  // namespace carve
