// NTFS on-disk layout: the boot sector, FILE record header, attribute header and the
// attribute values this parser reads. Offsets are bytes from the start of each structure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ntfs {

constexpr uint32_t kRecordSize = 1024;  // FILE records unless the boot sector says otherwise
constexpr uint32_t kRecordSectors = 2;
constexpr uint32_t kMaxRecordSize = 4096;  // record buffers hold this much
constexpr uint32_t kFirstUserRecord = 16;  // 0..15 are the system files
constexpr uint32_t kRootRecord = 5;
constexpr uint32_t kBitmapRecord = 6;

// Boot sector.
constexpr size_t kBootBytesPerSector = 11;     // u16
constexpr size_t kBootSectorsPerCluster = 13;  // u8
constexpr size_t kBootTotalSectors = 40;       // u64
constexpr size_t kBootMftCluster = 48;         // u64
constexpr size_t kBootMftMirrCluster = 56;     // u64

// FILE record header.
constexpr uint8_t kFileMagic[4] = {'F', 'I', 'L', 'E'};
constexpr size_t kRecUsaOffset = 4;        // u16 update sequence array offset
constexpr size_t kRecUsaCount = 6;         // u16 entries, the sequence number included
constexpr size_t kRecFirstAttribute = 20;  // u16
constexpr size_t kRecFlags = 22;           // u16
constexpr size_t kRecBaseReference = 32;   // u64, 48-bit record number + sequence
constexpr size_t kRecOwnNumber = 44;       // u32, when the array starts at 0x30
constexpr uint16_t kRecordInUse = 0x0001;
constexpr uint16_t kRecordIsDirectory = 0x0002;
constexpr uint64_t kReferenceMask = 0x0000FFFFFFFFFFFFull;

// Attribute types.
constexpr uint32_t kAttrStandardInformation = 0x10;
constexpr uint32_t kAttrAttributeList = 0x20;
constexpr uint32_t kAttrFileName = 0x30;
constexpr uint32_t kAttrData = 0x80;
constexpr uint32_t kAttrIndexRoot = 0x90;
constexpr uint32_t kAttrIndexAllocation = 0xA0;
constexpr uint32_t kAttrLoggedUtilityStream = 0x100;
constexpr uint32_t kAttrEnd = 0xFFFFFFFF;

// Attribute header.
constexpr size_t kAttrType = 0;              // u32
constexpr size_t kAttrLength = 4;            // u32
constexpr size_t kAttrNonResident = 8;       // u8
constexpr size_t kAttrNameLength = 9;        // u8, characters
constexpr size_t kAttrNameOffset = 10;       // u16
constexpr size_t kAttrFlags = 12;            // u16
constexpr size_t kAttrValueLength = 16;      // u32, resident
constexpr size_t kAttrValueOffset = 20;      // u16, resident
constexpr size_t kAttrRunsOffset = 32;       // u16, non-resident: where the run list starts
constexpr size_t kAttrCompressionUnit = 34;  // u8, non-resident (log2 of clusters)
constexpr size_t kAttrAllocatedSize = 40;    // u64, non-resident
constexpr size_t kAttrDataSize = 48;         // u64, non-resident
constexpr size_t kAttrInitializedSize = 56;  // u64, non-resident: bytes past it read as zeros
constexpr size_t kNonResidentHeader = 64;
constexpr uint16_t kAttrIsCompressed = 0x0001;

// $STANDARD_INFORMATION value.
constexpr size_t kSiCreationTime = 0;      // u64
constexpr size_t kSiModificationTime = 8;  // u64
constexpr size_t kSiFlags = 32;            // u32
constexpr uint32_t kSiDirectoryFlag = 0x10;

// $FILE_NAME value.
constexpr size_t kFnParent = 0;             // u32, low half of the parent reference
constexpr size_t kFnCreationTime = 8;       // u64
constexpr size_t kFnModificationTime = 16;  // u64
constexpr size_t kFnAccessTime = 32;        // u64
constexpr size_t kFnDataSize = 48;          // u64
constexpr size_t kFnFlags = 56;             // u32
constexpr size_t kFnNameLength = 64;        // u8, characters
constexpr size_t kFnNamespace = 65;         // u8
constexpr size_t kFnName = 66;              // UTF-16
constexpr uint32_t kFnDirectoryFlag = 0x10000000;
constexpr uint8_t kNamespacePosix = 0;
constexpr uint8_t kNamespaceWin32 = 1;
constexpr uint8_t kNamespaceDos = 2;
constexpr uint8_t kNamespaceWin32AndDos = 3;

// $ATTRIBUTE_LIST entry.
constexpr size_t kAlType = 0;        // u32
constexpr size_t kAlLength = 4;      // u16
constexpr size_t kAlNameLength = 6;  // u8
constexpr size_t kAlRecord = 16;     // u32, low half of the record reference

// Index entry (in $INDEX_ROOT and index blocks).
constexpr size_t kIeRecord = 0;     // u32, low half of the file reference
constexpr size_t kIeLength = 8;     // u16
constexpr size_t kIeFlags = 12;     // u16
constexpr size_t kIeFileName = 16;  // the $FILE_NAME key
constexpr uint16_t kIeLastEntry = 0x0002;
constexpr size_t kIeMinimum = 16;

// $INDEX_ROOT value: attribute type, collation, block size, clusters per block, then
// the node header.
constexpr size_t kIrBlockSize = 8;  // u32
constexpr size_t kIrNodeHeader = 16;
// Node header (inside $INDEX_ROOT and at 24 in an index block).
constexpr size_t kNhFirstEntry = 0;     // u32, from the node header
constexpr size_t kNhEntriesLength = 4;  // u32, from the node header

// Index block.
constexpr uint8_t kIndxMagic[4] = {'I', 'N', 'D', 'X'};
constexpr size_t kIndxNodeHeader = 24;

}  // namespace ntfs
