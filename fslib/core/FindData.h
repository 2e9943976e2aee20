// What directory walking gives for one entry (the fields of WIN32_FIND_DATA plus the
// wide names). Names are UTF-8; the wide ones UTF-16.
#pragma once

#include <string>

#include "platform/Win32.h"

struct FindData {
    DWORD dwFileAttributes = 0;
    FILETIME ftCreationTime = 0;
    FILETIME ftLastAccessTime = 0;
    FILETIME ftLastWriteTime = 0;
    DWORD nFileSizeHigh = 0;
    DWORD nFileSizeLow = 0;
    DWORD dwReserved0 = 0;
    DWORD dwReserved1 = 0;
    std::string cFileName;           // at most 259 characters
    std::string cAlternateFileName;  // 8.3 name, empty when the parser has none
    std::u16string wFileName;
    std::u16string wAlternateFileName;

    bool IsDirectory() const { return (dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    uint64_t Size() const { return (uint64_t{nFileSizeHigh} << 32) | nFileSizeLow; }
};

// Position of a directory walk: the directory handle, the current entry's offset in
// the directory data (0 = none), and one word of the parser's own.
struct FindContext {
    uint32_t hDirectory = static_cast<uint32_t>(-1);
    uint32_t dwPosition = 0;
    uint32_t dwExtra = 0;
};
