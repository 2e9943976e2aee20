// exFAT up-case table: the volume's own mapping of UTF-16 code units to upper case, which
// the name hash of every file entry set is computed over.
#include "fslib/exfat/ExFatUpcase.h"

namespace exfat {
namespace {
constexpr size_t kCodeUnits = 0x10000;
constexpr uint16_t kIdentityRun = 0xFFFF;  // followed by the length of an identity run

void FillAscii(std::vector<char16_t>* map) {
    for (size_t i = 0; i < kCodeUnits; ++i) (*map)[i] = static_cast<char16_t>(i);
    for (char16_t c = u'a'; c <= u'z'; ++c) (*map)[c] = static_cast<char16_t>(c - u'a' + u'A');
}
}  // namespace

Upcase::Upcase() : m_map(kCodeUnits) { FillAscii(&m_map); }

bool Upcase::Load(ByteView table) {
    if (table.Empty() || table.Size() % 2 != 0 || table.Size() > kMaxUpcaseBytes) return false;
    std::vector<char16_t> map(kCodeUnits);
    for (size_t i = 0; i < kCodeUnits; ++i) map[i] = static_cast<char16_t>(i);
    size_t next = 0;
    for (size_t off = 0; off + 2 <= table.Size() && next < kCodeUnits; off += 2) {
        const uint16_t word = table.U16(off);
        if (word == kIdentityRun && off + 4 <= table.Size()) {
            off += 2;
            next += table.U16(off);
            continue;
        }
        map[next++] = static_cast<char16_t>(word);
    }
    m_map.swap(map);
    return true;
}

uint32_t UpcaseChecksum(ByteView table) {
    uint32_t sum = 0;
    for (size_t i = 0; i < table.Size(); ++i) sum = ((sum & 1) ? 0x80000000u : 0) + (sum >> 1) + table.U8(i);
    return sum;
}

}  // namespace exfat
