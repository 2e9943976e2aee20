#include "gui/DriveProbe.h"

#include "platform/RawVolume.h"

QString NotSupportedReason(const platform::DriveSource& drive) {
    const QString source = QString::fromStdString(drive.source);
    const int fd = platform::OpenRawSource(drive.source);
    if (fd < 0) {
        const DWORD error = platform::GetLastError();
        if (error == ERROR_ACCESS_DENIED)
            return QStringLiteral("Reading %1 needs administrator rights: run Quenvar as root (for example with "
                                  "sudo), or join the group that owns the disk devices (usually \"disk\").")
                .arg(source);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return QStringLiteral("%1 cannot be found. Use View > Refresh Drives after plugging a drive in.")
                .arg(source);
        return QStringLiteral("%1 cannot be opened: %2").arg(source, QString::fromUtf8(platform::Win32ErrorText(error)));
    }
    uint8_t boot[platform::kRawSectorSize] = {};
    size_t done = 0;
    const BOOL read = platform::RawRead(fd, boot, sizeof boot, 0, &done);
    platform::CloseRawSource(fd);
    if (!read || done < sizeof boot) return QStringLiteral("The first sector of %1 cannot be read.").arg(source);
    return QStringLiteral("%1 holds no NTFS, FAT12, FAT16, FAT32 or exFAT file system.").arg(source);
}
