// exFAT directory data, the boot region and the up-case table: every slot read as the
// start of an entry set, the bytes as a boot region and as an up-case table.
#include <string>

#include "fslib/core/ByteView.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/exfat/ExFatBootSector.h"
#include "fslib/exfat/ExFatEntrySet.h"
#include "fslib/exfat/ExFatUpcase.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return -1;
    ByteView dir(data, size);
    static exfat::Upcase upcase;
    for (size_t off = 0; off + exfat::kEntrySize <= size; off += exfat::kEntrySize) {
        exfat::EntrySet set;
        if (!exfat::ReadEntrySet(dir, off, upcase, &set)) continue;
        FUZZ_CHECK(set.nEntries >= 1 && set.nEntries <= 256);
        FUZZ_CHECK(off + uint64_t{set.nEntries} * exfat::kEntrySize <= size);
        FUZZ_CHECK(set.name.size() <= exfat::kMaxNameLength ||
                   (set.bNameLength == 0 && set.name.size() <= set.nEntries * exfat::kCharsPerNameEntry));
        FUZZ_CHECK(!set.bChecksumOk || set.bComplete);
        FUZZ_CHECK(!set.bNameHashOk || (set.name.size() & 0xFF) == set.bNameLength);
    }
    exfat::Upcase table;
    table.Load(dir);
    exfat::UpcaseChecksum(dir);
    for (uint32_t sector : {512u, 1024u, 4096u}) exfat::VerifyBootRegion(dir, sector);
    if (size >= 512) {
        exfat::BootSector boot = exfat::BootSector::Read(dir);
        boot.Check(size);
        boot.Check(0);
        IsExFatBootSector(data, size);
    }
    return 0;
}
