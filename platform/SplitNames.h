// The naming rule of split raw images: disk.001, disk.002, ... (or disk.000, ...),
// one volume cut into numbered files of equal size.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct SplitName {
    std::string base;  // the path up to and including the last '.'
    uint64_t number;   // the digits after it
    size_t width;      // how many digits (at least 3)
};

// The parts of a segment's path, or nothing when the name does not end in ".NNN".
std::optional<SplitName> ParseSplitName(const std::string& path);

// The path of segment `number` in the set of `name` (zero-padded to its width).
std::string SplitSegmentPath(const SplitName& name, uint64_t number);

// The segment numbers of the set `name` belongs to, from its first (000 when that
// exists, else 001) to the highest present without a run of more than `maxGap`
// missing numbers in between; entries for missing numbers are nullopt. Empty when
// the set has no first segment.
std::vector<std::optional<std::string>> FindSplitSegments(const SplitName& name,
                                                          const std::function<bool(const std::string&)>& exists,
                                                          uint64_t maxGap = 16);

}  // namespace platform
