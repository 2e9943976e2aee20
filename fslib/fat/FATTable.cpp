// File allocation table entries: 12-, 16- and 32-bit little-endian cluster values.
#include "fslib/fat/FATTable.h"

namespace fattable {

uint32_t Fat12Entry(ByteView table, uint32_t cluster) {
    // cluster < size / 1.5, in integers.
    if (uint64_t{cluster} * 3 >= uint64_t{table.Size()} * 2) return 0;
    const size_t off = static_cast<size_t>(uint64_t{cluster} * 3 / 2);
    const uint32_t word = table.U16(off);
    return (cluster & 1) ? (word >> 4) : (word & 0xFFF);
}

uint32_t Fat16Entry(ByteView table, uint32_t cluster) {
    if (uint64_t{cluster} * 2 + 2 > table.Size()) return 0;
    return table.U16(static_cast<size_t>(cluster) * 2);
}

uint32_t Fat32Entry(ByteView table, uint32_t cluster) {
    if (uint64_t{cluster} * 4 + 4 > table.Size()) return 0;
    return table.U32(static_cast<size_t>(cluster) * 4);
}

}  // namespace fattable
