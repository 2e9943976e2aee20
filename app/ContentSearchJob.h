// The worker half of a search by content: open the volume, take its allocation map when
// its file system is recognised, search, and write what was found into a folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fslib/carve/ContentSearch.h"
#include "fslib/core/FileSystemParser.h"

struct ContentSearchOutcome {
    int status = -1;                   // 0 done, -1000 stopped by the user (files found so far kept), -1 not opened
    const char* fileSystem = nullptr;  // recognised file system, or null (every sector searched)
    bool freeClustersOnly = false;
    uint64_t bytesSearched = 0;
    std::vector<carve::FoundFile> files;
    // What the files are read from again when they are written.
    std::unique_ptr<CFileSystemParser> parser;
    std::unique_ptr<CDiskDrive> rawDrive;
    CDiskDrive* Drive() const { return parser ? parser->GetDiskDrive() : rawDrive.get(); }
};

// Searches the letter's volume. `observer` (may be null) hears of each file and of the
// progress as they come. UserBreak stops the search.
void RunContentSearch(char letter, const carve::SearchOptions& options, carve::ISearchSink* observer,
                      ContentSearchOutcome* out);

struct FoundFilesWritten {
    bool refused = false;  // the destination lies on the scanned device
    uint32_t written = 0;
    uint32_t failed = 0;
    std::string message;  // why it was refused, or the first failure
};

// Writes each found file as DESTINATION/<type name>/<f-name>, never over an existing file
// ("(1)" and so on are added) and never onto the scanned device. A photo's EXIF date
// becomes its modification time.
FoundFilesWritten WriteFoundFiles(char letter, const ContentSearchOutcome& outcome, const std::string& destination);
