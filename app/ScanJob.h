// The worker half of a scan: open the volume, recognise its file system, build the
// matching parser, run its scan and mark the folders that hold deleted items.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "fslib/core/FileSystemParser.h"

// One row of the drive table.
struct DriveEntry {
    char letter = 0;
    std::unique_ptr<CFileSystemParser> parser;  // null until the first scan
    std::vector<NodeEntry*> listedNodes;        // what the browser lists for the current folder
    int supportState = 0;                       // 0 not probed, 1 supported, -1 not supported
    int scanStatus = 0;                         // status of the latest parser scan (0, -1000, ...)
};

struct ScanOptions {
    // Keep the made-up "$$folder_%u" folders of NTFS orphans in the tree.
    bool attachOrphans = false;
    // Shows a message box (error icon, OK); null leaves the message to the log.
    std::function<void(const char* text)> showError;
};

// 0 = tree ready, -1 = failed (volume not opened, unknown file system, nonzero scan status;
// in the last case the tree found so far is kept).
int ScanDrive(DriveEntry* entry, const ScanOptions& options = {});
BOOL IsDriveSupported(char letter);
// After this pass a folder's isDeleted byte means "something deleted lies below".
BOOL MarkFoldersWithDeletedContent(NodeEntry* folder);
// Frees the tree of the drive's latest scan and empties its listing, keeping the parser
// (an NTFS parser is scanned again and would only detach the old tree). The caller makes
// sure that nothing shows a row of it any more.
void ReleaseTree(DriveEntry* entry);
