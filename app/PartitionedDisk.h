// What a source holds at its start: a volume of its own, or a partition table whose
// partitions become drives of their own (installed as the drive table's lister).
#pragma once

#include <string>
#include <vector>

#include "fslib/disk/PartitionTable.h"
#include "platform/DriveTable.h"

struct SourceLayout {
    bool opened = false;    // the source could be read
    uint8_t wholeType = 0;  // the file system of the whole source (FS_UNKNOWN when none)
    PartitionTable table;   // read only when the whole source is no volume
};

// Looks at a source without logging its opening: a volume recognised at its start wins
// over anything that looks like a table there.
SourceLayout ReadSourceLayout(const std::string& source);

// The partitions the drive table should offer for a source.
std::vector<platform::PartitionWindow> ListSourcePartitions(const std::string& source);

// Makes the drive table read partition tables through ListSourcePartitions; each
// front end calls it once at start, before the table is first used.
void InstallPartitionLister();
