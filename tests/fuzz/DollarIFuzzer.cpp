// The $I record of later Recycle Bins: the whole input is the file's bytes.
#include <string>

#include "fslib/core/RecycleBinVista.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > recyclebin::kMaxDollarISize + 64) return -1;
    recyclebin::DollarIRecord record;
    if (!recyclebin::ParseDollarI(ByteView(data, size), &record)) return 0;
    FUZZ_CHECK(record.version == recyclebin::kDollarIVersion1 || record.version == recyclebin::kDollarIVersion2);
    FUZZ_CHECK(!record.path.empty());
    FUZZ_CHECK(record.path.find('\0') == std::string::npos);
    // Each UTF-16 unit before the NUL becomes at most three bytes of UTF-8.
    const size_t maxChars = record.version == recyclebin::kDollarIVersion1 ? recyclebin::kDollarIPathBytesV1 / 2 - 1
                                                                           : recyclebin::kDollarIMaxPathChars - 1;
    FUZZ_CHECK(record.path.size() <= 3 * maxChars);
    recyclebin::IsVistaBinFolder(record.path);
    return 0;
}
