// FAT directory entries: the 32-byte short entry, the long-name (VFAT) entries in front
// of it, and how names are assembled from them. Pure readers over directory data.
#pragma once

#include <cstdint>
#include <string>

#include "fslib/core/ByteView.h"

namespace fatdir {

constexpr size_t kEntrySize = 32;
constexpr size_t kName = 0;           // 8 bytes, blank-padded; byte 0 also marks end / deleted
constexpr size_t kExtension = 8;      // 3 bytes, blank-padded
constexpr size_t kAttributes = 11;    // u8
constexpr size_t kCaseFlags = 12;     // u8: 0x08 name in lower case, 0x10 extension in lower case
constexpr size_t kCreationTime = 14;  // u16, DOS time
constexpr size_t kCreationDate = 16;  // u16, DOS date
constexpr size_t kAccessDate = 18;    // u16, DOS date
constexpr size_t kClusterHigh = 20;   // u16, FAT32 high half of the first cluster
constexpr size_t kWriteTime = 22;     // u16, DOS time
constexpr size_t kWriteDate = 24;     // u16, DOS date
constexpr size_t kClusterLow = 26;    // u16
constexpr size_t kFileSize = 28;      // u32

constexpr uint8_t kEndMark = 0x00;
constexpr uint8_t kDeletedMark = 0xE5;
constexpr uint8_t kEscapedE5 = 0x05;  // a live name's first byte 0xE5 is stored as 0x05
constexpr uint8_t kAttrReadOnly = 0x01;
constexpr uint8_t kAttrHidden = 0x02;
constexpr uint8_t kAttrSystem = 0x04;
constexpr uint8_t kAttrVolumeLabel = 0x08;
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrArchive = 0x20;
constexpr uint8_t kAttrLongName = 0x0F;

// Long-name entry: order byte, then 13 UTF-16LE characters in three groups.
constexpr size_t kLfnOrder = 0;
constexpr size_t kLfnGroup1 = 1;     // characters 1-5 (10 bytes)
constexpr size_t kLfnGroup2 = 14;    // characters 6-11 (12 bytes)
constexpr size_t kLfnGroup3 = 28;    // characters 12-13 (4 bytes)
constexpr size_t kLfnType = 12;      // u8, 0 for a name entry
constexpr size_t kLfnChecksum = 13;  // u8, checksum of the short name the entry belongs to
constexpr size_t kLfnCluster = 26;   // u16, always 0
constexpr uint8_t kLfnFirstOfOne = 0x41;
constexpr size_t kLfnCharacters = 13;
// A long name of 255 characters takes 20 entries.
constexpr uint32_t kMaxLongNameEntries = 20;
// Longest name that can be assembled, in UTF-16 units (the limit itself fails).
constexpr size_t kMaxLongName = 260;

inline bool IsLongNameEntry(ByteView entry) { return entry.U8(kAttributes) == kAttrLongName; }
inline bool IsDeleted(ByteView entry) { return entry.U8(kName) == kDeletedMark; }

// The characters of one long-name entry and its order byte. The count follows the
// 0xFF padding of the groups (0, 5, 11 or 13); the text ends at a NUL character.
void ReadLongNamePiece(ByteView entry, std::u16string* text, uint8_t* order);

// Assembles the long name whose physically first entry is at `offset` in `data`.
// *count receives the number of long-name entries (the short entry follows them).
// A first entry that does not begin a name gives count 0 and success. A deleted name
// (first byte 0xE5) runs over all following long-name entries; deletion marks only the
// order bytes, so its characters are all there. Returns 1 on success, 0 when the name
// reaches 260 characters or the entries run past the data.
int ReadLongName(std::u16string* name, ByteView data, size_t offset, uint32_t* count);

// The checksum that long-name entries carry of the 11 bytes of their short name.
uint8_t ShortNameChecksum(const uint8_t* name83);

// Why a deleted long name is taken as the name of the deleted short entry after it.
enum class DeletedSetCheck : uint8_t {
    // The set's checksum matches the short name once its first byte, lost to the deleted
    // mark, is rebuilt from the long name's first character.
    RebuiltChecksum,
    // The first byte cannot be rebuilt so, but the entries agree with one another: one
    // checksum, zero type and cluster fields, the name ended by 0x0000 and 0xFFFF
    // padding, at most 20 entries.
    EntriesAgree,
    // Neither: the long-name entries may be left over from another name.
    Inconsistent,
};

// Checks the `count` deleted long-name entries at `offset` in `data` against the short
// entry that follows them; `name` is the long name they assemble.
DeletedSetCheck CheckDeletedSet(ByteView data, size_t offset, uint32_t count, const std::u16string& name);

// "NAME.EXT" from the 8.3 fields, bytes as stored (a deleted entry keeps 0xE5).
std::string FormatShortName(ByteView entry);

// The short name as shown: 0xE5 -> '_', 0x05 -> 0xE5, the lower-case flags applied,
// then the OEM code page (437) converted to UTF-8.
std::string ShortNameToUtf8(ByteView entry);

}  // namespace fatdir
