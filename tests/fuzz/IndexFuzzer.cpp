// NTFS directory index nodes: the entries of an $INDEX_ROOT value and of INDX blocks
// (fixups applied in place), and the fields read from every entry kept.
#include <cstring>
#include <vector>

#include "fslib/core/ByteView.h"
#include "fslib/ntfs/IndexEntries.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void ReadEntries(const std::vector<uint8_t>& entries) {
    size_t off = 0;
    while (off < entries.size()) {
        IndexEntryView e{ByteView(entries.data() + off, entries.size() - off)};
        e.Record();
        e.IsDirectory();
        e.NameSpace();
        e.Name();
        uint16_t length = e.Length();
        // Only whole entries are kept, each at least a header long.
        FUZZ_CHECK(length > 0 && length <= entries.size() - off);
        off += length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: bit 0 chooses INDX blocks over a root value, bits 1-3 the block size.
    if (size < 1) return -1;
    std::vector<uint8_t> bytes(data + 1, data + size);
    std::vector<uint8_t> entries;
    if (data[0] & 1) {
        uint32_t blockSize = 512u << ((data[0] >> 1) & 3);
        CollectIndexBlocks(bytes.data(), bytes.size(), blockSize, 512, &entries);
    } else {
        CollectIndexRoot(ByteView(bytes.data(), bytes.size()), &entries);
    }
    ReadEntries(entries);
    return 0;
}
