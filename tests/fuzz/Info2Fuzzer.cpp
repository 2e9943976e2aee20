// The Recycle Bin's INFO2 index: the lookup of a record number and the number a bin
// file's name carries.
#include <cstring>
#include <string>
#include <vector>

#include "fslib/core/RecycleBin.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Bytes 0-3: the record number looked for; 4-15: a bin file name; the rest: INFO2.
    if (size < 16 || size > (1u << 20)) return -1;
    uint32_t number = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t{data[3]} << 24);
    std::string name(reinterpret_cast<const char*>(data + 4), 12);
    name.resize(std::strlen(name.c_str()));
    recyclebin::BinFileRecordNumber(name.c_str());
    recyclebin::Info2Bytes info2(std::vector<uint8_t>(data + 16, data + size));
    std::string path;
    if (recyclebin::FindInfo2Record(info2, number, &path))
        FUZZ_CHECK(path.size() <= 3 * recyclebin::kWidePathBytes / 2);
    return 0;
}
