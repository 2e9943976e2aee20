// NTFS run lists: the run-by-run reader, the length census and the decoder must agree
// with one another and keep to the volume's size.
#include <vector>

#include "fslib/core/ByteView.h"
#include "fslib/ntfs/DataRun.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {
constexpr size_t kMaxRuns = 4096;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first four bytes are the clusters the volume holds; the rest is the list.
    if (size < 4) return -1;
    ByteView head(data, 4);
    uint64_t maxClusters = head.U32(0);
    ByteView list(data + 4, size - 4);

    uint32_t count = 0;
    uint64_t total = 0;
    size_t used = CalcDataRunsLength(list, &count, &total);
    FUZZ_CHECK(used <= list.Size());

    std::vector<DataRun> runs;
    int rc = DecodeRunList(list, maxClusters, kMaxRuns, &runs);
    FUZZ_CHECK(runs.size() <= kMaxRuns);
    FUZZ_CHECK(TotalRunClusters(runs) <= maxClusters);
    if (rc == RUNS_OK) {
        // Both stop at the same end marker, so they see the same runs.
        FUZZ_CHECK(runs.size() == count);
        FUZZ_CHECK(TotalRunClusters(runs) == total);
    }
    return 0;
}
