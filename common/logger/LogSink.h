// The log file behind CLogger: appends whole lines so that each one is in the file as
// soon as Append returns, even if the process dies right after.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

// A regular file that this process holds alone is written through a shared memory
// mapping that grows in windows: a line costs one copy, and the page cache keeps it
// when the process dies. The file is allocated ahead of the data, so a process that
// dies leaves trailing NUL bytes; the next Open strips them before appending. Any other
// target (a device, a pipe, a file another process is writing) gets one appending
// writev per line, and so does a child made by fork: it must neither write into its
// parent's mapping nor cut the parent's file at exit.
// Not thread-safe: the logger serialises the calls.
class LogSink {
public:
    // Opens path for appending (created when missing); nullptr with errno set on failure.
    static LogSink* Open(const char* path);
    // Cuts the file back to the data written.
    ~LogSink();
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // Appends the parts (at most kMaxParts) as one unit; false when the file refused them.
    bool Append(const iovec* parts, int count);

    bool IsMapped() const { return m_bMapMode; }

    static constexpr int kMaxParts = 8;
    // Bytes ahead of the data that a mapped file is grown by at a time.
    static constexpr size_t kChunk = 4u << 20;
    // Pages are made writable this many bytes at a time, one call instead of a fault
    // per page.
    static constexpr size_t kPopulateStep = 64u << 10;

private:
    explicit LogSink(int fd);
    bool StartMapping(uint64_t length);
    bool Remap(size_t need);
    void Populate(uint64_t end);
    void SwitchToAppend();
    bool AppendWrite(const iovec* parts, int count);
    bool IsInheritedByFork() const;

    int m_hFile;
    bool m_bMapMode = false;
    char* m_pWindow = nullptr;
    uint64_t m_nWindowStart = 0;  // file offset of m_pWindow[0]
    size_t m_nWindowSize = 0;
    uint64_t m_nLength = 0;      // end of the data
    uint64_t m_nAllocated = 0;   // file size as this process set it
    uint64_t m_nPopulated = 0;   // end of the window's pages already made writable
    bool m_bPopulate = true;     // false once the kernel refused to prefault
    unsigned m_nForkGeneration;  // fork count of the process that opened the file
};
