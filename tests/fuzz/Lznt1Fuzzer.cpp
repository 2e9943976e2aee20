// LZNT1: any input decodes without leaving the output buffer, and what the fixture's
// compressor makes of any data decodes back to that data.
#include <memory>
#include <vector>

#include "fslib/ntfs/Lznt1.h"
#include "tests/fixtures/Lznt1Compressor.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: bit 0 chooses the round trip; the next byte sets the output size of a plain
    // decode (in 256-byte steps, up to one 64 KiB compression unit).
    if (size < 2 || size > 65536 + 2) return -1;
    if (data[0] & 1) {
        std::vector<uint8_t> plain(data + 2, data + size);
        // The fixture's compressor stores a one-byte last chunk with a size field of 0,
        // which this reader, like The Sleuth Kit's, takes for the end mark.
        if (plain.size() % 4096 == 1) return -1;
        std::vector<uint8_t> packed = fixture::CompressLznt1(plain);
        std::unique_ptr<uint8_t[]> out(new uint8_t[plain.size() + 1]);
        size_t n = DecompressLznt1(out.get(), plain.size(), packed.data(), packed.size());
        FUZZ_CHECK(n == plain.size());
        FUZZ_CHECK(std::equal(plain.begin(), plain.end(), out.get()));
        return 0;
    }
    size_t outSize = (size_t{data[1]} + 1) * 256;
    // Exactly outSize bytes, so ASan sees a write past them.
    std::unique_ptr<uint8_t[]> out(new uint8_t[outSize]);
    size_t n = DecompressLznt1(out.get(), outSize, data + 2, size - 2);
    FUZZ_CHECK(n <= outSize);
    return 0;
}
