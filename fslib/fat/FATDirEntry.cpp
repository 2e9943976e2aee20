// FAT directory entries: the 32-byte short entry, the long-name (VFAT) entries in front
// of it, and how names are assembled from them.
#include "fslib/fat/FATDirEntry.h"

#include "platform/Text.h"

namespace fatdir {

namespace {
bool AllFF(ByteView entry, size_t off, size_t len) {
    for (size_t i = 0; i < len; ++i)
        if (entry.U8(off + i) != 0xFF) return false;
    return true;
}

std::string Trimmed(ByteView entry, size_t off, size_t len) {
    std::string s;
    for (size_t i = 0; i < len; ++i) s.push_back(static_cast<char>(entry.U8(off + i)));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}
}  // namespace

void ReadLongNamePiece(ByteView entry, std::u16string* text, uint8_t* order) {
    if (order) *order = entry.U8(kLfnOrder);
    if (!text) return;
    text->clear();
    size_t count = 13;
    if (AllFF(entry, kLfnGroup1, 10))
        count = 0;
    else if (AllFF(entry, kLfnGroup2, 12))
        count = 5;
    else if (AllFF(entry, kLfnGroup3, 4))
        count = 11;
    for (size_t i = 0; i < count; ++i) {
        size_t off = i < 5 ? kLfnGroup1 + 2 * i : i < 11 ? kLfnGroup2 + 2 * (i - 5) : kLfnGroup3 + 2 * (i - 11);
        char16_t c = entry.U16(off);
        if (c == 0) break;
        text->push_back(c);
    }
}

int ReadLongName(std::u16string* name, ByteView data, size_t offset, uint32_t* count) {
    if (count) *count = 0;
    if (name) name->clear();
    ByteView first = data.Sub(offset, kEntrySize);
    if (first.Empty()) return 0;
    std::u16string piece;
    uint8_t order = 0;
    ReadLongNamePiece(first, &piece, &order);
    int remaining = static_cast<int>(order) - kLfnFirstOfOne;
    std::u16string assembled;
    uint32_t n = 0;
    size_t pos = offset;
    // At most 0xFF - 0x41 + 1 entries: the loop is bounded by `remaining`.
    while (remaining >= 0) {
        if (assembled.size() + piece.size() >= kMaxLongName) return 0;
        ++n;
        assembled.insert(0, piece);
        pos += kEntrySize;
        if (!data.Has(pos, kEntrySize)) return 0;
        ByteView next = data.Sub(pos, kEntrySize);
        if (!IsLongNameEntry(next)) break;
        if (remaining > 0) ReadLongNamePiece(next, &piece, nullptr);
        --remaining;
    }
    if (count) *count = n;
    if (name) *name = std::move(assembled);
    return 1;
}

uint8_t ShortNameChecksum(const uint8_t* name83) {
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name83[i]);
    return sum;
}

namespace {

// The 13 character slots of a long-name entry as stored, padding included.
void RawCharacters(ByteView entry, std::u16string* out) {
    for (size_t i = 0; i < kLfnCharacters; ++i) {
        const size_t off = i < 5 ? kLfnGroup1 + 2 * i : i < 11 ? kLfnGroup2 + 2 * (i - 5) : kLfnGroup3 + 2 * (i - 11);
        out->push_back(entry.U16(off));
    }
}

bool SetHasChecksum(ByteView data, size_t offset, uint32_t count, uint8_t checksum) {
    for (uint32_t i = 0; i < count; ++i)
        if (data.U8(offset + size_t{i} * kEntrySize + kLfnChecksum) != checksum) return false;
    return true;
}

bool EntriesAgree(ByteView data, size_t offset, uint32_t count, const std::u16string& name) {
    if (count == 0 || count > kMaxLongNameEntries) return false;
    if (!SetHasChecksum(data, offset, count, data.U8(offset + kLfnChecksum))) return false;
    std::u16string slots;
    // The physically first entry holds the end of the name.
    for (uint32_t i = count; i-- > 0;) {
        const ByteView e = data.Sub(offset + size_t{i} * kEntrySize, kEntrySize);
        if (e.U8(kLfnType) != 0 || e.U16(kLfnCluster) != 0) return false;
        RawCharacters(e, &slots);
    }
    if (name.empty() || name.size() > slots.size() || slots.compare(0, name.size(), name) != 0) return false;
    if (name.size() == slots.size()) return true;
    if (slots[name.size()] != 0 || name.size() + kLfnCharacters <= slots.size()) return false;
    for (size_t i = name.size() + 1; i < slots.size(); ++i)
        if (slots[i] != 0xFFFF) return false;
    return true;
}

}  // namespace

DeletedSetCheck CheckDeletedSet(ByteView data, size_t offset, uint32_t count, const std::u16string& name) {
    const size_t shortAt = offset + size_t{count} * kEntrySize;
    if (count == 0 || name.empty() || !data.Has(shortAt, kEntrySize)) return DeletedSetCheck::Inconsistent;
    // Short names drop leading dots and blanks, so such a name's first character is not
    // the short name's.
    if (name[0] != u'.' && name[0] != u' ') {
        const int first = platform::UpperCp437Byte(name[0]);
        if (first > 0) {
            uint8_t name83[11];
            for (size_t i = 0; i < 11; ++i) name83[i] = data.U8(shortAt + i);
            name83[0] = first == kDeletedMark ? kEscapedE5 : static_cast<uint8_t>(first);
            if (SetHasChecksum(data, offset, count, ShortNameChecksum(name83))) return DeletedSetCheck::RebuiltChecksum;
        }
    }
    return EntriesAgree(data, offset, count, name) ? DeletedSetCheck::EntriesAgree : DeletedSetCheck::Inconsistent;
}

std::string FormatShortName(ByteView entry) {
    std::string s = Trimmed(entry, kName, 8);
    std::string ext = Trimmed(entry, kExtension, 3);
    if (!ext.empty()) s += "." + ext;
    size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

std::string ShortNameToUtf8(ByteView entry) {
    std::string base = Trimmed(entry, kName, 8);
    std::string ext = Trimmed(entry, kExtension, 3);
    if (!base.empty()) {
        if (static_cast<uint8_t>(base[0]) == kDeletedMark)
            base[0] = '_';
        else if (static_cast<uint8_t>(base[0]) == kEscapedE5)
            base[0] = static_cast<char>(kDeletedMark);
    }
    const uint8_t flags = entry.U8(kCaseFlags);
    auto lower = [](std::string& s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    };
    if (flags & 0x08) lower(base);
    if (flags & 0x10) lower(ext);
    std::string s = ext.empty() ? base : base + "." + ext;
    size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return platform::Cp437ToUtf8(s);
}

}  // namespace fatdir
