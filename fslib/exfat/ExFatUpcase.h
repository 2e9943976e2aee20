// exFAT up-case table: the volume's own mapping of UTF-16 code units to upper case, which
// the name hash of every file entry set is computed over.
#pragma once

#include <cstdint>
#include <vector>

#include "fslib/core/ByteView.h"

namespace exfat {

// The table stores a mapping for each code unit from 0 up; a 0xFFFF word followed by a
// count means that many code units map to themselves.
constexpr uint64_t kMaxUpcaseBytes = 128 * 1024 + 2;

class Upcase {
public:
    // Maps ASCII letters only, until a table is loaded.
    Upcase();
    // Decompresses a table; false (and the ASCII mapping kept) when it is malformed.
    bool Load(ByteView table);
    char16_t Upper(char16_t c) const { return m_map[c]; }

private:
    std::vector<char16_t> m_map;
};

// Checksum of the table's bytes, recorded in the root's up-case table entry.
uint32_t UpcaseChecksum(ByteView table);

}  // namespace exfat
