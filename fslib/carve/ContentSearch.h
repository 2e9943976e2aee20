// The search by content: reads a drive's free clusters (or every sector) sequentially in
// large blocks on one thread, tests a header at every sector start on another, and runs
// the matching format's walk to find each file's end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fslib/carve/FileFormat.h"

class CDiskDrive;
class CFileSystemParser;

namespace carve {

struct FoundFile {
    uint64_t offset = 0;  // drive byte offset of the first byte
    uint64_t length = 0;
    bool whole = false;
    std::string extension;  // "jpg", "cr2", ...
    std::string typeName;   // "JPEG image", ...
    std::string dateTaken;  // EXIF text, or empty
    uint64_t FirstSector() const { return offset / 512; }
    // "f0012345.jpg": the first sector, at least seven digits.
    std::string FileName() const;
};

struct SearchOptions {
    std::string types;         // --types words; empty = every format
    bool allClusters = false;  // also clusters the volume marks in use
    size_t blockBytes = 4u << 20;
};

struct SearchProgress {
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    uint64_t filesFound = 0;
};

class ISearchSink {
public:
    virtual ~ISearchSink() = default;
    virtual void OnFound(const FoundFile& file) = 0;
    // Called after each block.
    virtual void OnProgress(const SearchProgress& progress) {}
};

// One sequential stretch of the drive to search, in bytes.
struct SearchRegion {
    uint64_t offset = 0;
    uint64_t length = 0;
};

// The stretches of the drive the search reads, in order: the volume's free clusters when
// the parser holds an allocation map (and allClusters is off), else the whole drive. They
// are found as the search goes, so a fragmented volume costs no memory.
class RegionPlan {
public:
    RegionPlan(CDiskDrive* drive, CFileSystemParser* parser, bool allClusters);
    // Bytes in all regions (one pass over the allocation map).
    uint64_t TotalBytes();
    // The next region; false after the last.
    bool Next(SearchRegion* out);
    void Rewind() { m_nCursor = 0; }

private:
    CFileSystemParser* m_pParser = nullptr;  // null: the whole drive
    uint64_t m_nDriveBytes = 0;
    uint64_t m_nFirstByte = 0, m_nFirstCluster = 0, m_nClusterCount = 0, m_nClusterBytes = 0;
    uint64_t m_nCursor = 0;  // next cluster index (or 0/1 for the whole drive)
};

// Searches the plan's regions; 0 when done, -1000 when UserBreak stopped it (what was
// found stays reported). Nothing starting inside a whole file found before is reported.
int SearchByContent(CDiskDrive* drive, RegionPlan& plan, const SearchOptions& options, ISearchSink* sink);

// Reads [offset, offset + length) of the drive into `write` in pieces of at most 1 MiB;
// unreadable sectors come as zeros. False when `write` refused a piece.
bool CopyDriveBytes(CDiskDrive* drive, uint64_t offset, uint64_t length,
                    bool (*write)(void* context, const uint8_t* bytes, size_t n), void* context);

}  // namespace carve
