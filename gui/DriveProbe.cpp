#include "gui/DriveProbe.h"

#include "app/VolumeProbe.h"

QString NotSupportedReason(const platform::DriveSource& drive) {
    const QString source = QString::fromStdString(drive.DisplayName());
    const QString known = QString::fromUtf8(kScannedFileSystems);
    const VolumeProbe probe = ProbeVolume(drive.letter, {.layout = true, .quiet = true});
    if (!probe.opened) {
        if (probe.openError == ERROR_ACCESS_DENIED)
            return QStringLiteral(
                       "Reading %1 needs administrator rights: run Quenvar as root (for example with "
                       "sudo), or join the group that owns the disk devices (usually \"disk\").")
                .arg(source);
        if (probe.openError == ERROR_FILE_NOT_FOUND || probe.openError == ERROR_PATH_NOT_FOUND)
            return QStringLiteral("%1 cannot be found. Use View > Refresh Drives after plugging a drive in.")
                .arg(source);
        return QStringLiteral("%1 cannot be opened: %2").arg(source, QString::fromStdString(probe.OpenCause()));
    }
    if (!probe.firstSectorRead) return QStringLiteral("The first sector of %1 cannot be read.").arg(source);
    if (!probe.table.entries.empty())
        return QStringLiteral("%1 is a partitioned disk (%2): its partitions are listed below it; choose one to scan.")
            .arg(source, QString::fromUtf8(PartitionSchemeName(probe.table.scheme)));
    if (!probe.table.error.empty())
        return QStringLiteral("%1 holds no %2 file system; partition table refused: %3")
            .arg(source, known, QString::fromStdString(probe.table.error));
    return QStringLiteral("%1 holds no %2 file system.").arg(source, known);
}
