#include "fslib/ntfs/Lznt1.h"

#include <cstring>

#include "fslib/core/ByteView.h"

namespace {
constexpr size_t kChunkOutput = 4096;
constexpr uint16_t kChunkSizeMask = 0x0FFF;
constexpr uint16_t kChunkCompressed = 0x8000;

// One compressed chunk into out[0 .. limit). Returns the bytes produced; a broken
// back-reference sets *broken, which ends the whole stream.
size_t DecodeChunk(const ByteView& data, uint8_t* out, size_t limit, bool* broken) {
    size_t in = 0;
    size_t p = 0;
    while (in < data.Size() && p < limit) {
        uint8_t flags = data.U8(in++);
        for (int bit = 0; bit < 8 && in < data.Size() && p < limit; ++bit) {
            if (!(flags & (1u << bit))) {
                out[p++] = data.U8(in++);
                continue;
            }
            if (!data.Has(in, 2)) return p;
            uint16_t token = data.U16(in);
            in += 2;
            if (p == 0) {
                *broken = true;
                return p;
            }
            unsigned lengthMask = 0x0FFF;
            unsigned shift = 12;
            for (size_t i = p - 1; i >= 0x10; i >>= 1) {
                lengthMask >>= 1;
                --shift;
            }
            size_t length = (token & lengthMask) + 3;
            size_t displacement = (token >> shift) + 1;
            if (displacement > p) {
                *broken = true;
                return p;
            }
            for (size_t k = 0; k < length && p < limit; ++k, ++p) out[p] = out[p - displacement];
        }
    }
    return p;
}
}  // namespace

size_t DecompressLznt1(uint8_t* out, size_t outSize, const uint8_t* in, size_t inSize) {
    ByteView input(in, inSize);
    size_t pos = 0;
    size_t produced = 0;
    while (produced < outSize && input.Has(pos, 2)) {
        uint16_t header = input.U16(pos);
        if ((header & kChunkSizeMask) == 0) break;
        size_t stored = (header & kChunkSizeMask) + 1;
        pos += 2;
        ByteView data = input.Sub(pos, stored);
        if (data.Empty()) data = input.From(pos);  // a chunk cut by the input's end
        size_t limit = outSize - produced < kChunkOutput ? outSize - produced : kChunkOutput;
        size_t chunkOut;
        if (header & kChunkCompressed) {
            bool broken = false;
            chunkOut = DecodeChunk(data, out + produced, limit, &broken);
            if (broken) {
                produced += chunkOut;
                break;
            }
        } else {
            chunkOut = data.Size() < limit ? data.Size() : limit;
            std::memcpy(out + produced, data.Data(), chunkOut);
        }
        pos += stored;
        // Every chunk but the stream's last expands to a full 4096 bytes; a short one is
        // followed by zeros.
        bool more = input.Has(pos, 2) && (input.U16(pos) & kChunkSizeMask) != 0;
        if (more && chunkOut < limit) {
            std::memset(out + produced + chunkOut, 0, limit - chunkOut);
            chunkOut = limit;
        }
        produced += chunkOut;
    }
    return produced;
}
