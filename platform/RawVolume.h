// Raw, read-only access to a volume source by byte offset, with a process-wide list of
// sectors made to fail as unreadable media would. A source is a block device or an
// image file: plain, split into numbered files (disk.001, disk.002, ...), or a
// container (EWF, VHD, VHDX, VMDK, QCOW) told by its signature, whose damaged parts
// read as unreadable sectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Win32.h"

namespace platform {

constexpr uint32_t kRawSectorSize = 512;

// Opens read-only (never for writing). The handle returned is never 0, 1 or 2, so
// 0 can stand for "no device". -1 with the last error set on failure.
int OpenRawSource(const std::string& path);

// Why the last failed OpenRawSource of this thread refused a container or split image
// ("the VHDX image could not be opened: ..."); empty when the system error says it all.
std::string RawSourceOpenFailure();
void CloseRawSource(int fd);

// Reads up to count bytes at offset. TRUE when no error occurred (*done may be short
// at the end of the source); FALSE with the last error set when the device failed,
// *done then holding the bytes read before the failure.
BOOL RawRead(int fd, void* buffer, size_t count, uint64_t offset, size_t* done);

// Bytes of the disk behind an open handle (BLKGETSIZE64, the file size, the sum of the
// segments, or the disk size a container records).
std::optional<uint64_t> RawSize(int fd);

// Makes reads of that 512-byte sector of that source fail with EIO (tests). The
// source is identified by device and inode of the file opened, so any path to it is
// affected; for a container the sector is one of the disk it holds. FALSE
// when the path cannot be examined.
BOOL InjectUnreadableSector(const std::string& path, uint64_t sector);
void ClearInjected();

}  // namespace platform
