// What an opened FAT file or directory is made of: its cluster runs, the directory entry
// it was opened from, and the handle record that the parser's handle table holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fslib/core/HandleObject.h"

constexpr uint32_t kFatDirEntrySize = 32;

struct ClusterRun {
    uint64_t nClusterCount = 0;
    uint64_t nFirstCluster = 0;
};

class CFATParser;

struct FATFileRecord {
    CFATParser* pParser = nullptr;         // not owning
    uint8_t entry[kFatDirEntrySize] = {};  // the 32-byte entry it was opened from
    std::string szName;                    // long name, or empty
    std::vector<ClusterRun> runs;
    uint64_t nAllocatedSize = 0;  // clusters x cluster size

    bool IsDirectory() const { return (entry[11] & 0x10) != 0; }
    uint32_t FileSize() const {
        return static_cast<uint32_t>(entry[28]) | (static_cast<uint32_t>(entry[29]) << 8) |
               (static_cast<uint32_t>(entry[30]) << 16) | (static_cast<uint32_t>(entry[31]) << 24);
    }
};

// A slot of the FAT parser's handle table. bHasData (the owns-data flag) also marks a
// directory for enumeration; dwExtra holds the read position of an opened file.
struct CFATHandle final : CHandleObject {
    std::unique_ptr<FATFileRecord> pRecord;  // null for the root directory
};
