// exFAT directory entries: the 32-byte entries of a directory and the file entry set (a
// file entry, its stream extension and its file name entries) they group into, live or
// deleted, with the set checksum and the name hash that vouch for it.
#include "fslib/exfat/ExFatEntrySet.h"

namespace exfat {
namespace {
uint16_t Rotate(uint16_t sum, uint8_t byte) {
    return static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
}
}  // namespace

uint16_t SetChecksum(ByteView dir, size_t offset, uint32_t count) {
    uint16_t sum = 0;
    for (uint32_t e = 0; e < count; ++e) {
        const size_t base = offset + size_t{e} * kEntrySize;
        for (size_t i = 0; i < kEntrySize; ++i) {
            if (e == 0 && (i == kSetChecksum || i == kSetChecksum + 1)) continue;
            uint8_t byte = dir.U8(base + i);
            if (i == 0) byte |= kTypeInUse;
            sum = Rotate(sum, byte);
        }
    }
    return sum;
}

uint16_t NameHash(std::u16string_view name, const Upcase& upcase) {
    uint16_t sum = 0;
    for (char16_t c : name) {
        const char16_t u = upcase.Upper(c);
        sum = Rotate(sum, static_cast<uint8_t>(u & 0xFF));
        sum = Rotate(sum, static_cast<uint8_t>(u >> 8));
    }
    return sum;
}

bool ReadEntrySet(ByteView dir, size_t offset, const Upcase& upcase, EntrySet* out) {
    if (!dir.Has(offset, kEntrySize)) return false;
    const uint8_t type = dir.U8(offset);
    if (!IsFileEntry(type)) return false;
    EntrySet s;
    ByteView file = dir.Sub(offset, kEntrySize);
    s.bDeleted = (type & kTypeInUse) == 0;
    s.bSecondaryCount = file.U8(kSecondaryCount);
    s.wAttributes = file.U16(kFileAttributes);
    s.dwCreated = file.U32(kCreateTimestamp);
    s.dwModified = file.U32(kModifiedTimestamp);
    s.bCreated10ms = file.U8(kCreate10ms);
    s.bModified10ms = file.U8(kModified10ms);
    s.bCreatedUtc = file.U8(kCreateUtcOffset);
    s.bModifiedUtc = file.U8(kModifiedUtcOffset);

    const uint8_t inUse = type & kTypeInUse;
    uint32_t entries = 1;
    const uint32_t declared = s.bSecondaryCount;
    std::u16string chars;
    bool streamSeen = false;
    for (uint32_t i = 0; i < declared; ++i) {
        const size_t at = offset + size_t{entries} * kEntrySize;
        if (!dir.Has(at, kEntrySize)) break;
        const uint8_t t = dir.U8(at);
        if (!(t & kTypeSecondary) || (t & kTypeInUse) != inUse) break;
        ByteView e = dir.Sub(at, kEntrySize);
        const uint8_t base = t | kTypeInUse;
        if (base == kTypeStream && i == 0) {
            streamSeen = true;
            s.bStreamFlags = e.U8(kStreamFlags);
            s.bNameLength = e.U8(kNameLength);
            s.wNameHash = e.U16(kNameHash);
            s.nValidDataLength = e.U64(kValidDataLength);
            s.dwFirstCluster = e.U32(kFirstClusterField);
            s.nDataLength = e.U64(kDataLength);
        } else if (base == kTypeFileName && streamSeen) {
            for (size_t k = 0; k < kCharsPerNameEntry; ++k)
                chars.push_back(static_cast<char16_t>(e.U16(kNameChars + 2 * k)));
        }
        ++entries;
    }
    s.nEntries = entries;
    s.bHasStream = streamSeen;
    s.bComplete = entries == declared + 1 && declared >= kMinSecondaryCount;
    s.bChecksumOk = s.bComplete && SetChecksum(dir, offset, entries) == file.U16(kSetChecksum);
    // The name is as long as the stream entry says, as far as the name entries reach; a
    // NUL ends a name whose length field was lost. A length of 0 with name entries after
    // it is a name of 256 or more units whose one-byte length overflowed (some drivers
    // write those): the name entries then hold the whole name.
    size_t length = 0;
    if (streamSeen) length = s.bNameLength != 0 ? std::min<size_t>(s.bNameLength, chars.size()) : chars.size();
    chars.resize(length);
    if (size_t nul = chars.find(u'\0'); nul != std::u16string::npos) chars.resize(nul);
    s.name = std::move(chars);
    s.bNameHashOk = streamSeen && !s.name.empty() && (s.name.size() & 0xFF) == s.bNameLength &&
                    NameHash(s.name, upcase) == s.wNameHash;
    *out = std::move(s);
    return true;
}

}  // namespace exfat
