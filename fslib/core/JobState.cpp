#include "fslib/core/JobState.h"

std::atomic<uint8_t> UserBreak{0};

namespace {
std::atomic<IProgressSink*> g_pProgressTarget{nullptr};
std::atomic<int> g_nLastPosition{-1};
}  // namespace

void SetProgressTarget(IProgressSink* sink) {
    g_nLastPosition.store(-1);
    g_pProgressTarget.store(sink);
}

void SetProgress(void* /*unused*/, int position, int /*reserved*/) {
    IProgressSink* sink = g_pProgressTarget.load();
    if (!sink) return;
    if (g_nLastPosition.exchange(position) == position) return;
    sink->OnProgress(position);
}
