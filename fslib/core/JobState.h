// State shared by the scan and undelete jobs and the parsers they drive: the user-break
// byte and the progress position.
#pragma once

#include <atomic>
#include <cstdint>

// 1 = the user asked to stop. Cleared when a job starts; parsers test it in their long
// loops and return -1000.
extern std::atomic<uint8_t> UserBreak;
inline bool IsUserBreak() { return UserBreak.load(std::memory_order_relaxed) != 0; }

// Receives progress positions 0..100; the GUI and the CLI each provide one.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    virtual void OnProgress(int position) = 0;
};

// The sink of the running job, or null.
void SetProgressTarget(IProgressSink* sink);
// Forwards the position to the sink when one is set and the value changed.
void SetProgress(void* unused, int position, int reserved);
