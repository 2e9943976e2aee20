// NTFS run lists (mapping pairs): a header byte with the sizes of the length and offset
// fields, then the fields; offsets are signed and relative to the previous run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fslib/core/ByteView.h"

// One decoded run. Only a run without offset bytes is sparse (first cluster 0 then); a
// run whose offset field is present is real even at cluster 0 (the boot file's data).
struct DataRun {
    uint64_t length = 0;  // clusters
    uint64_t firstCluster = 0;
    bool sparse = false;
    bool IsSparse() const { return sparse; }
};

enum RunListStatus : int {
    RUNS_OK = 0,
    RUNS_BAD_HEADER = -1,        // a field of more than 8 bytes, or a run past the list's end
    RUNS_NEGATIVE_CLUSTER = -2,  // offsets add up below cluster 0 or overflow
    RUNS_TOO_LONG = -3,          // more runs or clusters than the volume can hold
};

// Reads the run at pos: 1 with its fields and the position of the next run, 0 at the end
// of the list (header 0 or end of the view) or on a bad header. hasOffset is false for
// a run without offset bytes.
int GetRun(const ByteView& list, size_t pos, int64_t* offset, uint64_t* length, bool* hasOffset, size_t* next);

// Counts the runs up to the end marker (or a bad header) and adds up their lengths.
// Returns the bytes the run list takes.
size_t CalcDataRunsLength(const ByteView& list, uint32_t* runCount, uint64_t* totalClusters);

// Appends the decoded runs of list to out. Runs are refused when they would make the
// total exceed maxClusters (what the volume holds) or the list exceed maxRuns.
int DecodeRunList(const ByteView& list, uint64_t maxClusters, size_t maxRuns, std::vector<DataRun>* out);

// Sum of the lengths, saturating.
uint64_t TotalRunClusters(const std::vector<DataRun>& runs);
