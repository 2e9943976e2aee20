#include "fslib/ntfs/DataRun.h"

#include "common/logger/Logger.h"

int GetRun(const ByteView& list, size_t pos, int64_t* offset, uint64_t* length, bool* hasOffset, size_t* next) {
    if (!list.Data()) {
        g_Logger.Info("GetRun - runlist is equal to null");
        return 0;
    }
    if (!list.Has(pos, 1)) return 0;
    uint8_t header = list.U8(pos);
    if (header == 0) return 0;
    size_t lengthBytes = header & 0x0F;
    size_t offsetBytes = header >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) return 0;
    if (!list.Has(pos + 1, lengthBytes + offsetBytes)) return 0;
    *length = list.UN(pos + 1, lengthBytes);
    *offset = offsetBytes ? list.SN(pos + 1 + lengthBytes, offsetBytes) : 0;
    *hasOffset = offsetBytes != 0;
    *next = pos + 1 + lengthBytes + offsetBytes;
    return 1;
}

size_t CalcDataRunsLength(const ByteView& list, uint32_t* runCount, uint64_t* totalClusters) {
    size_t pos = 0;
    uint32_t count = 0;
    uint64_t total = 0;
    int64_t offset;
    uint64_t length;
    bool hasOffset;
    size_t next;
    while (GetRun(list, pos, &offset, &length, &hasOffset, &next)) {
        ++count;
        total = (total + length < total) ? ~uint64_t{0} : total + length;
        pos = next;
    }
    if (runCount) *runCount = count;
    if (totalClusters) *totalClusters = total;
    return pos;
}

int DecodeRunList(const ByteView& list, uint64_t maxClusters, size_t maxRuns, std::vector<DataRun>* out) {
    size_t pos = 0;
    int64_t running = 0;
    uint64_t total = 0;
    int64_t offset;
    uint64_t length;
    bool hasOffset;
    size_t next;
    while (true) {
        if (!list.Has(pos, 1) || list.U8(pos) == 0) return RUNS_OK;
        if (!GetRun(list, pos, &offset, &length, &hasOffset, &next)) return RUNS_BAD_HEADER;
        if (out->size() >= maxRuns) return RUNS_TOO_LONG;
        if (length > maxClusters || total + length > maxClusters) return RUNS_TOO_LONG;
        total += length;
        DataRun run;
        run.length = length;
        if (hasOffset) {
            if (__builtin_add_overflow(running, offset, &running) || running < 0) return RUNS_NEGATIVE_CLUSTER;
            run.firstCluster = static_cast<uint64_t>(running);
        } else {
            run.sparse = true;
        }
        out->push_back(run);
        pos = next;
    }
}

uint64_t TotalRunClusters(const std::vector<DataRun>& runs) {
    uint64_t total = 0;
    for (const DataRun& r : runs) total = (total + r.length < total) ? ~uint64_t{0} : total + r.length;
    return total;
}
