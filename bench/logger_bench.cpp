// Cost of one operations-log line with a file open: the scan and the recovery log every
// step, so a line must stay in the order of a few hundred nanoseconds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/logger/Logger.h"

namespace {

std::string ScratchLog(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/qvr-bench-" + std::to_string(getpid()) + "-" + name;
}

CLogger* g_pLog = nullptr;
std::string g_szPath;

void OpenShared(const benchmark::State& state) {
    if (state.thread_index() != 0) return;
    g_szPath = ScratchLog("shared.log");
    g_pLog = new CLogger(-1, LOG_ALL);
    g_pLog->Open(g_szPath.c_str());
}

void CloseShared(const benchmark::State& state) {
    if (state.thread_index() != 0) return;
    delete g_pLog;
    g_pLog = nullptr;
    std::remove(g_szPath.c_str());
}

void PerLine(benchmark::State& state) {
    state.counters["ns_per_line"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-9,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The common line of a scan: a printf form with a number and a short name.
void BM_InfoF(benchmark::State& state) {
    long i = 0;
    for (auto _ : state) g_pLog->InfoF("CNTFSParser: record %ld of %s read, flags 0x%04x", ++i, "$MFT", 3u);
    PerLine(state);
}
BENCHMARK(BM_InfoF)->Setup(OpenShared)->Teardown(CloseShared);
BENCHMARK(BM_InfoF)->Setup(OpenShared)->Teardown(CloseShared)->Threads(2);

void BM_InfoPlain(benchmark::State& state) {
    for (auto _ : state) g_pLog->Info("FAT directory entry read");
    PerLine(state);
}
BENCHMARK(BM_InfoPlain)->Setup(OpenShared)->Teardown(CloseShared);

void BM_InfoValue(benchmark::State& state) {
    for (auto _ : state) g_pLog->InfoValue("Recovering file", "/home/user/recovered/Documents/report-final.odt");
    PerLine(state);
}
BENCHMARK(BM_InfoValue)->Setup(OpenShared)->Teardown(CloseShared);

// A line below the minimum level: the test alone.
void BM_InfoFFiltered(benchmark::State& state) {
    g_pLog->SetMinLevel(LOG_ERROR);
    long i = 0;
    for (auto _ : state) g_pLog->InfoF("record %ld", ++i);
    g_pLog->SetMinLevel(LOG_ALL);
    PerLine(state);
}
BENCHMARK(BM_InfoFFiltered)->Setup(OpenShared)->Teardown(CloseShared);

// For comparison: the caller's own formatting of the InfoF line, without the logger.
void BM_FormatOnlyReference(benchmark::State& state) {
    char line[256];
    long i = 0;
    for (auto _ : state) {
        std::snprintf(line, sizeof(line), "CNTFSParser: record %ld of %s read, flags 0x%04x", ++i, "$MFT", 3u);
        benchmark::DoNotOptimize(line);
    }
    PerLine(state);
}
BENCHMARK(BM_FormatOnlyReference);

// For comparison: what one write() per line costs on the same file system.
void BM_WritePerLineReference(benchmark::State& state) {
    const std::string path = ScratchLog("reference.log");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_TRUNC, 0644);
    char line[128];
    long i = 0;
    for (auto _ : state) {
        const int n = std::snprintf(line, sizeof(line), "  INFO  | CNTFSParser: record %ld of %s read \n", ++i, "$MFT");
        if (::write(fd, line, static_cast<size_t>(n)) != n) state.SkipWithError("write failed");
    }
    ::close(fd);
    std::remove(path.c_str());
    PerLine(state);
}
BENCHMARK(BM_WritePerLineReference);

}  // namespace
