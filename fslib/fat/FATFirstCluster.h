// The first cluster of a deleted FAT32 file whose entry lost its high 16 bits: deleting
// on some systems clears them, so on a volume of more than 65,536 clusters the low word
// alone names one cluster in every 65,536, and the file's data may start at any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fatfirst {

// Clusters that share a low word lie this far apart.
constexpr uint32_t kLowWordSpan = 0x10000;

struct Candidate {
    uint32_t cluster = 0;
    bool runFree = false;  // the FAT gives none of the file's clusters from here to anything
    int content = -1;      // its first bytes fit the name's type: 1 yes, 0 no, -1 not known
};

struct Choice {
    int index = -1;   // the candidate taken, -1 when none is kept
    size_t kept = 0;  // how many candidates are kept
};

// Keeps the candidates whose run is free and whose content does not contradict the
// name; takes the one whose content fits, and among equals the first (the low-word
// cluster itself comes first).
Choice Choose(const std::vector<Candidate>& candidates);

}  // namespace fatfirst
