// The naming rule of split raw images. Byte 0 is the largest gap allowed, bytes 1-32 say
// which of the segment numbers 0-255 exist, the rest is the path given.
#include <string>

#include "platform/SplitNames.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {
constexpr size_t kHead = 33;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHead || size > kHead + 256) return -1;
    const std::string path(reinterpret_cast<const char*>(data + kHead), size - kHead);
    const auto name = platform::ParseSplitName(path);
    if (!name) return 0;
    FUZZ_CHECK(name->width >= 3 && name->base.size() + name->width == path.size());
    FUZZ_CHECK(platform::SplitSegmentPath(*name, name->number) == path);

    // Only numbers below 256 exist here; a name far past them walks up to 100,000 names, by
    // design, and would only slow the search down.
    if (name->number > 300) return 0;
    const uint64_t maxGap = data[0] & 31;
    auto exists = [&](const std::string& p) {
        const auto n = platform::ParseSplitName(p);
        FUZZ_CHECK(n && n->base == name->base && n->width == name->width);
        return n->number < 256 && (data[1 + n->number / 8] >> (n->number % 8) & 1) != 0;
    };
    const auto segments = platform::FindSplitSegments(*name, exists, maxGap);
    if (segments.empty()) return 0;
    const uint64_t first = exists(platform::SplitSegmentPath(*name, 0)) ? 0 : 1;
    FUZZ_CHECK(segments.front() && segments.back());
    for (size_t i = 0; i < segments.size(); ++i) {
        if (!segments[i]) continue;
        FUZZ_CHECK(*segments[i] == platform::SplitSegmentPath(*name, first + i) && exists(*segments[i]));
    }
    // The segment named is in its set whenever it exists, whatever gap lies before it.
    if (name->number >= first && exists(path)) {
        FUZZ_CHECK(name->number - first < segments.size() && segments[name->number - first] == path);
    }
    return 0;
}
