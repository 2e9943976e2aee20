#include "app/PartitionedDisk.h"

#include "app/VolumeProbe.h"
#include "common/logger/Logger.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/disk/DiskDrive.h"

SourceLayout ReadSourceLayout(const std::string& source) {
    SourceLayout layout;
    CLogicalDrive drive;
    drive.SetQuiet(true);
    if (drive.OpenSource(source) != 0) return layout;
    layout.opened = true;
    uint8_t boot[kSectorSize];
    layout.wholeType = DetectDriveFileSystem(&drive, boot);
    if (layout.wholeType == FS_UNKNOWN) layout.table = ReadPartitionTable(&drive);
    return layout;
}

std::vector<platform::PartitionWindow> ListSourcePartitions(const std::string& source) {
    const SourceLayout layout = ReadSourceLayout(source);
    std::vector<platform::PartitionWindow> windows;
    if (!layout.table.error.empty()) {
        g_Logger.ErrorF("Partition table of %s refused: %s", source.c_str(), layout.table.error.c_str());
        return windows;
    }
    if (!layout.table.note.empty())
        g_Logger.InfoF("Partition table of %s: %s", source.c_str(), layout.table.note.c_str());
    const bool mbr = layout.table.scheme == PartitionScheme::Mbr;
    for (const PartitionEntry& e : layout.table.entries) {
        platform::PartitionWindow w;
        w.number = e.number;
        w.firstSector = e.firstSector;
        w.sectorCount = e.sectorCount;
        w.type = mbr ? e.type + " " + e.typeName : e.typeName;
        windows.push_back(std::move(w));
    }
    return windows;
}

void InstallPartitionLister() { platform::SetPartitionLister(&ListSourcePartitions); }
