// Recycle Bins of Windows Vista and later: in $Recycle.Bin/<SID>/ each binned item is a
// file or folder "$R" + six characters + its old extension, and its twin "$I" + the same
// rest records where it came from.
#pragma once

#include <cstdint>
#include <string>

#include "fslib/core/ByteView.h"
#include "fslib/core/NodeEntry.h"
#include "fslib/core/RecycleBin.h"
#include "platform/Win32.h"

namespace recyclebin {

// $I layouts (little-endian): version (u64), size of the binned item (u64), deletion time
// (FILETIME); version 1 then holds the path as 260 UTF-16 characters, NUL-terminated;
// version 2 its length in characters with the NUL (u32) and then the path.
constexpr uint32_t kDollarIVersion1 = 1;
constexpr uint32_t kDollarIVersion2 = 2;
constexpr size_t kDollarIPathOffsetV1 = 24;
constexpr size_t kDollarIPathBytesV1 = 520;
constexpr size_t kDollarILengthOffsetV2 = 24;
constexpr size_t kDollarIPathOffsetV2 = 28;
// Longest path Windows writes (extended-length paths); a longer length is not a $I.
constexpr uint32_t kDollarIMaxPathChars = 32767;
constexpr uint32_t kMaxDollarISize = kDollarIPathOffsetV2 + 2 * kDollarIMaxPathChars;

struct DollarIRecord {
    uint32_t version = 0;
    uint64_t size = 0;
    FILETIME deletedTime = 0;
    std::string path;  // UTF-8, as Windows wrote it ("C:\Users\x\report.txt")
};

// Reads a $I file's bytes. False for anything that is not a whole record of version 1
// or 2 with a non-empty path: an unknown version, a record cut short, a path without its
// NUL within its length.
bool ParseDollarI(ByteView bytes, DollarIRecord* out);

// Whether a folder path from the volume root ("/$Recycle.Bin/S-1-5-21-x/", any case) is a
// bin folder of a user.
bool IsVistaBinFolder(const std::string& folderPath);

// Whether a node is a binned item: "$R" + at least one character (any case; a deleted
// FAT entry may show "_R") in a bin folder.
bool IsVistaBinItem(const NodeEntry* node);

// Fills item->pathBeforeDeletion from the $I twin among the item's siblings (a live twin
// first, else a deleted one whose data is still there), read through `reader`. True when
// the path is known; a missing or unreadable twin leaves the item as it is.
bool LookUpVistaBinItem(NodeEntry* item, const NodeContentReader& reader);

}  // namespace recyclebin
