// File allocation table entries: 12-, 16- and 32-bit little-endian cluster values.
#pragma once

#include <cstdint>

#include "fslib/core/ByteView.h"

namespace fattable {

// The value of `cluster` in a FAT copy; 0 for a cluster the table does not hold.
// FAT12: valid below size / 1.5; the 16-bit word at cluster * 3 / 2 gives the low 12
// bits for an even cluster, the high 12 for an odd one.
uint32_t Fat12Entry(ByteView table, uint32_t cluster);
uint32_t Fat16Entry(ByteView table, uint32_t cluster);
// As stored: the upper four bits are not masked.
uint32_t Fat32Entry(ByteView table, uint32_t cluster);

}  // namespace fattable
