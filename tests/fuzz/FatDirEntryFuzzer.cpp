// FAT directory data and the boot sector: every 32-byte entry read as a short entry
// and as the start of a long name, the allocation table read at every width, and the
// boot sector's geometry check.
#include <string>

#include "fslib/core/ByteView.h"
#include "fslib/fat/FATBootSector.h"
#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATTable.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return -1;
    ByteView dir(data, size);
    for (size_t off = 0; off + fatdir::kEntrySize <= size; off += fatdir::kEntrySize) {
        ByteView entry = dir.Sub(off, fatdir::kEntrySize);
        fatdir::FormatShortName(entry);
        fatdir::ShortNameToUtf8(entry);
        std::u16string piece;
        uint8_t order = 0;
        if (fatdir::IsLongNameEntry(entry)) {
            fatdir::ReadLongNamePiece(entry, &piece, &order);
            FUZZ_CHECK(piece.size() <= 13);
        }
        std::u16string name;
        uint32_t count = 0;
        if (fatdir::ReadLongName(&name, dir, off, &count)) {
            FUZZ_CHECK(name.size() < fatdir::kMaxLongName);
            FUZZ_CHECK(off + uint64_t{count} * fatdir::kEntrySize <= size);
        }
    }
    // The same bytes as a FAT copy: the last entry each width holds and one past it.
    for (uint32_t cluster : {0u, 1u, 2u, static_cast<uint32_t>(size * 2 / 3), static_cast<uint32_t>(size / 2),
                             static_cast<uint32_t>(size / 4), static_cast<uint32_t>(size), 0xFFFFFFFFu}) {
        fattable::Fat12Entry(dir, cluster);
        fattable::Fat16Entry(dir, cluster);
        fattable::Fat32Entry(dir, cluster);
    }
    FATBootSector boot = FATBootSector::Read(dir.Sub(0, size < 512 ? size : 512));
    boot.TotalSectors();
    boot.LastCluster(size / 512);
    for (bool fat32 : {false, true}) {
        boot.CheckGeometry(fat32, size / 512);
        boot.CheckGeometry(fat32, 0);
    }
    boot.RootDirectorySectors();
    return 0;
}
