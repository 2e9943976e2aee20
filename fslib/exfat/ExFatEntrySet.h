// exFAT directory entries: the 32-byte entries of a directory and the file entry set (a
// file entry, its stream extension and its file name entries) they group into, live or
// deleted, with the set checksum and the name hash that vouch for it.
#pragma once

#include <cstdint>
#include <string>

#include "fslib/core/ByteView.h"
#include "fslib/exfat/ExFatUpcase.h"

namespace exfat {

constexpr size_t kEntrySize = 32;

// Entry type bytes. Bit 7 marks an entry in use; clearing it deletes the entry.
constexpr uint8_t kTypeEndOfDirectory = 0x00;
constexpr uint8_t kTypeInUse = 0x80;
constexpr uint8_t kTypeSecondary = 0x40;  // category bit: secondary entries follow a primary
constexpr uint8_t kTypeBitmap = 0x81;
constexpr uint8_t kTypeUpcase = 0x82;
constexpr uint8_t kTypeVolumeLabel = 0x83;
constexpr uint8_t kTypeFile = 0x85;
constexpr uint8_t kTypeVolumeGuid = 0xA0;
constexpr uint8_t kTypeStream = 0xC0;
constexpr uint8_t kTypeFileName = 0xC1;

// File entry.
constexpr size_t kSecondaryCount = 1;      // u8, entries after the file entry
constexpr size_t kSetChecksum = 2;         // u16
constexpr size_t kFileAttributes = 4;      // u16
constexpr size_t kCreateTimestamp = 8;     // u32
constexpr size_t kModifiedTimestamp = 12;  // u32
constexpr size_t kCreate10ms = 20;         // u8, 0..199
constexpr size_t kModified10ms = 21;       // u8
constexpr size_t kCreateUtcOffset = 22;    // u8
constexpr size_t kModifiedUtcOffset = 23;  // u8
// Stream extension entry.
constexpr size_t kStreamFlags = 1;         // u8, bit 1 = no FAT chain
constexpr size_t kNameLength = 3;          // u8, UTF-16 code units
constexpr size_t kNameHash = 4;            // u16
constexpr size_t kValidDataLength = 8;     // u64
constexpr size_t kFirstClusterField = 20;  // u32 (also in the bitmap and up-case entries)
constexpr size_t kDataLength = 24;         // u64 (also in the bitmap and up-case entries)
// File name entry: 15 UTF-16 code units from byte 2.
constexpr size_t kNameChars = 2;
constexpr size_t kCharsPerNameEntry = 15;
// Up-case table entry.
constexpr size_t kUpcaseChecksum = 4;  // u32
// Volume label entry.
constexpr size_t kLabelLength = 1;     // u8, 11 at most by the format; some tools write up to 15
constexpr size_t kMaxLabelChars = 15;  // what the entry's bytes from kLabelChars can hold
constexpr size_t kLabelChars = 2;

constexpr uint8_t kFlagNoFatChain = 0x02;
constexpr uint16_t kAttrDirectory = 0x10;
// A set holds the file entry, the stream extension and 1 to 17 name entries, plus any
// vendor entries up to the count's limit of 255. A name is at most 255 units long;
// longer ones written anyway leave a name length of 0 (the byte overflowed).
constexpr uint32_t kMinSecondaryCount = 2;
constexpr uint32_t kMaxNameLength = 255;

struct EntrySet {
    uint32_t nEntries = 1;  // slots the set takes (at least the file entry)
    uint8_t bSecondaryCount = 0;
    bool bDeleted = false;   // the file entry's in-use bit is clear
    bool bComplete = false;  // every declared secondary entry is there
    bool bChecksumOk = false;
    bool bHasStream = false;
    bool bNameHashOk = false;
    uint16_t wAttributes = 0;
    uint32_t dwCreated = 0, dwModified = 0;
    uint8_t bCreated10ms = 0, bModified10ms = 0, bCreatedUtc = 0, bModifiedUtc = 0;
    uint8_t bStreamFlags = 0;
    uint8_t bNameLength = 0;
    uint16_t wNameHash = 0;
    uint64_t nValidDataLength = 0;
    uint64_t nDataLength = 0;
    uint32_t dwFirstCluster = 0;
    std::u16string name;  // as far as the name entries and the name length go

    bool IsDirectory() const { return (wAttributes & kAttrDirectory) != 0; }
    bool NoFatChain() const { return (bStreamFlags & kFlagNoFatChain) != 0; }
};

inline uint8_t EntryType(ByteView dir, size_t offset) { return dir.U8(offset); }
inline bool IsFileEntry(uint8_t type) { return (type | kTypeInUse) == kTypeFile; }

// The set checksum of `count` entries from `offset`, over the entry types with their
// in-use bits set (as they were when the set was written), skipping the checksum field.
uint16_t SetChecksum(ByteView dir, size_t offset, uint32_t count);
// The name hash over the up-cased name, each code unit low byte first.
uint16_t NameHash(std::u16string_view name, const Upcase& upcase);

// Reads the set whose file entry (live or deleted) is at `offset`. The set ends early at
// the directory's end, at an entry that is not a secondary one, or at one whose in-use
// bit differs from the file entry's (a later set took its place); it is then incomplete.
// False when the slot holds no file entry.
bool ReadEntrySet(ByteView dir, size_t offset, const Upcase& upcase, EntrySet* out);

}  // namespace exfat
