#include "platform/SplitNames.h"

#include <cstdio>

namespace platform {

namespace {
constexpr size_t kMinDigits = 3;
constexpr size_t kMaxDigits = 6;
// A set of split images is bounded: names stop being looked for past this many.
constexpr uint64_t kMaxSegments = 100000;
}  // namespace

std::optional<SplitName> ParseSplitName(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
    const std::string digits = path.substr(dot + 1);
    if (digits.size() < kMinDigits || digits.size() > kMaxDigits) return std::nullopt;
    uint64_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    // ".001" alone is a name; the bare "/.001" is a hidden file, not a segment of "/".
    if (dot == 0 || path[dot - 1] == '/') return std::nullopt;
    return SplitName{path.substr(0, dot + 1), number, digits.size()};
}

std::string SplitSegmentPath(const SplitName& name, uint64_t number) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*llu", static_cast<int>(name.width),
                  static_cast<unsigned long long>(number));
    return name.base + digits;
}

std::vector<std::optional<std::string>> FindSplitSegments(const SplitName& name,
                                                          const std::function<bool(const std::string&)>& exists,
                                                          uint64_t maxGap) {
    std::vector<std::optional<std::string>> segments;
    uint64_t first;
    if (exists(SplitSegmentPath(name, 0)))
        first = 0;
    else if (exists(SplitSegmentPath(name, 1)))
        first = 1;
    else
        return segments;
    uint64_t limit = 1;
    for (size_t i = 0; i < name.width; ++i) limit *= 10;
    if (limit > first + kMaxSegments) limit = first + kMaxSegments;
    uint64_t missingRun = 0;
    std::vector<std::optional<std::string>> pending;
    for (uint64_t n = first; n < limit; ++n) {
        const std::string path = SplitSegmentPath(name, n);
        if (exists(path)) {
            segments.insert(segments.end(), pending.begin(), pending.end());
            pending.clear();
            missingRun = 0;
            segments.emplace_back(path);
            continue;
        }
        // The named segment itself always belongs, however far past a gap it lies.
        if (++missingRun > maxGap && n > name.number) break;
        pending.emplace_back(std::nullopt);
    }
    return segments;
}

}  // namespace platform
