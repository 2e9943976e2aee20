// One format's structure walk of the search by content (QVR_CARVE_FORMAT names its row):
// whatever the bytes, the walk ends, reads nothing outside them, and gives a length inside
// the bytes it was given and the format's limit; a file called whole lies inside them.
#include <cstring>

#include "fslib/carve/FileFormat.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > fuzz::kMaxImageBytes) return -1;
    static const carve::FileFormat* format = [] {
        for (const carve::FileFormat& f : carve::FileFormats())
            if (std::strcmp(f.name, QVR_CARVE_FORMAT) == 0) return &f;
        return static_cast<const carve::FileFormat*>(nullptr);
    }();
    FUZZ_CHECK(format != nullptr);
    // The header test sees a whole sector, as it does on a drive.
    uint8_t sector[carve::kHeaderBytes] = {};
    std::memcpy(sector, data, size < sizeof sector ? size : sizeof sector);
    format->IsHeader(sector);
    carve::MemoryByteSource source(data, size);
    carve::WalkResult r = carve::RunWalk(*format, &source, 0);
    FUZZ_CHECK(r.length <= size || (size == 0 && r.length == 0));
    FUZZ_CHECK(r.length <= format->maxSize);
    FUZZ_CHECK(!r.whole || r.length > 0);
    return 0;
}
