// Read-only file reader that reports every failure by throwing an int code
// (1 no handle, 2 open failed, 3 seek missed, 5 file too large for 32-bit calls,
// 6 no open file, 7 out of memory).
#pragma once

#include <cstdint>

class LLFile {
public:
    explicit LLFile(const char* path);
    ~LLFile();
    LLFile(const LLFile&) = delete;
    LLFile& operator=(const LLFile&) = delete;

    uint32_t GetSize32();
    long Seek32(long position);
    int Read(uint32_t bytes, void* buffer);
    // New malloc'd, zero-filled buffer of exactly `bytes`, read from `position`; the
    // caller frees it.
    void* ReadAt32(long position, uint32_t bytes);

private:
    char* m_pszName = nullptr;
    int m_hFile = 0;        // fd + 1, so 0 means "none"
    uint64_t m_nReserved = 0;
    uint64_t m_nSize = 0;
};
