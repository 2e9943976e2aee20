#include "gui/DriveProbe.h"

#include "app/PartitionedDisk.h"
#include "platform/RawVolume.h"

QString NotSupportedReason(const platform::DriveSource& drive) {
    const QString source = QString::fromStdString(drive.DisplayName());
    const int fd = platform::OpenRawSource(drive.source);
    if (fd < 0) {
        const DWORD error = platform::GetLastError();
        if (error == ERROR_ACCESS_DENIED)
            return QStringLiteral(
                       "Reading %1 needs administrator rights: run Quenvar as root (for example with "
                       "sudo), or join the group that owns the disk devices (usually \"disk\").")
                .arg(source);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return QStringLiteral("%1 cannot be found. Use View > Refresh Drives after plugging a drive in.")
                .arg(source);
        return QStringLiteral("%1 cannot be opened: %2")
            .arg(source, QString::fromUtf8(platform::Win32ErrorText(error)));
    }
    uint8_t boot[platform::kRawSectorSize] = {};
    size_t done = 0;
    const BOOL read = platform::RawRead(fd, boot, sizeof boot, drive.firstSector * platform::kRawSectorSize, &done);
    platform::CloseRawSource(fd);
    if (!read || done < sizeof boot) return QStringLiteral("The first sector of %1 cannot be read.").arg(source);
    if (drive.partition == 0) {
        const SourceLayout layout = ReadSourceLayout(drive.source);
        if (!layout.table.entries.empty())
            return QStringLiteral(
                       "%1 is a partitioned disk (%2): its partitions are listed below it; choose one to scan.")
                .arg(source, QString::fromUtf8(PartitionSchemeName(layout.table.scheme)));
        if (!layout.table.error.empty())
            return QStringLiteral(
                       "%1 holds no NTFS, FAT12, FAT16, FAT32 or exFAT file system, and its partition table "
                       "was refused: %2")
                .arg(source, QString::fromStdString(layout.table.error));
    }
    return QStringLiteral("%1 holds no NTFS, FAT12, FAT16, FAT32 or exFAT file system.").arg(source);
}
