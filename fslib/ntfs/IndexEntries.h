// NTFS directory index: the entries of $INDEX_ROOT and of "INDX" blocks, each holding a
// file reference and a $FILE_NAME key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fslib/core/ByteView.h"

// Appends every entry of one index node whose record is not a system file (0..15) to
// out, whole. nodeHeader is the node header; the node ends at the view's end. Entries
// that do not fit, or hold no complete key, end the walk.
void CollectIndexNode(const ByteView& nodeHeader, std::vector<uint8_t>* out);

// Entries of an $INDEX_ROOT value.
void CollectIndexRoot(const ByteView& value, std::vector<uint8_t>* out);

// Entries of the index blocks in data (blockSize bytes each); blocks without the INDX
// signature are skipped. Fixups are applied in place.
void CollectIndexBlocks(uint8_t* data, size_t size, uint32_t blockSize, uint16_t bytesPerSector,
                        std::vector<uint8_t>* out);

// Fields of one kept entry (the view starts at the entry).
struct IndexEntryView {
    ByteView entry;
    uint32_t Record() const;
    uint16_t Length() const;
    ByteView Key() const;  // the $FILE_NAME value
    bool IsDirectory() const;
    uint8_t NameSpace() const;
    std::u16string Name() const;
};
