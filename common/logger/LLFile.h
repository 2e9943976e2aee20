// Read-only file reader that reports every failure by throwing an int code
// (1 no handle, 2 open failed, 3 seek missed, 5 file too large for 32-bit calls,
// 6 no open file, 7 out of memory).
#pragma once

#include <cstdint>

class LLFile {
public:
    // Throws 2 when the file cannot be opened or is a folder (the path is logged first).
    // Code 1 (an open that succeeds without a handle) cannot happen with descriptors.
    explicit LLFile(const char* name);
    ~LLFile();
    LLFile(const LLFile&) = delete;
    LLFile& operator=(const LLFile&) = delete;

    // Throws 5 for a file of 4 GiB or more.
    uint32_t GetSize32();
    // The position is an unsigned 32-bit offset; the new position is returned.
    // Throws 5, 6 or 3.
    long Seek32(long position);
    // Reads up to `bytes` at the current position; TRUE unless the read failed.
    // Throws 6 when no file is open.
    int Read(uint32_t bytes, void* buffer);
    // New malloc'd, zero-filled buffer of exactly `bytes`, read from `position`; the
    // caller frees it. Bytes past the end of the file stay zero. Throws 5, 6, 3 or 7.
    void* ReadAt32(long position, uint32_t bytes);

    enum Code : int { kNoHandle = 1, kOpenFailed = 2, kSeekFailed = 3, kTooLarge = 5, kNotOpen = 6, kNoMemory = 7 };

private:
    bool IsLarge() const { return (m_nSize >> 32) != 0; }

    char* m_pszName = nullptr;
    int m_hFile = 0;  // fd + 1, so 0 means "none"
    uint64_t m_nReserved = 0;
    uint64_t m_nSize = 0;
};
