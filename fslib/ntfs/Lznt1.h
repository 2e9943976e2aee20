// LZNT1, the compression of NTFS compressed files: chunks of a u16 header (low 12 bits
// + 1 = stored bytes, bit 15 = compressed) holding flag bytes, literals and
// back-references; each chunk expands to at most 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes in into out until the input ends, an end header, a broken chunk, or outSize
// bytes. Returns the bytes produced; the rest of out is left as it was.
size_t DecompressLznt1(uint8_t* out, size_t outSize, const uint8_t* in, size_t inSize);
