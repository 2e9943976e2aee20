#include "platform/Win32.h"

#include <atomic>
#include <cerrno>

namespace platform {

namespace {
thread_local DWORD t_lastError = 0;
std::atomic<bool> g_win9x{false};
}  // namespace

void SetLastError(DWORD code) { t_lastError = code; }
DWORD GetLastError() { return t_lastError; }

DWORD ErrnoToWin32(int err) {
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EINVAL:
        case ENAMETOOLONG: return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return ERROR_DISK_FULL;
        case EIO: return ERROR_READ_FAULT;
        default: return 0x10000u + static_cast<DWORD>(err);
    }
}

void SetLastErrorFromErrno() { SetLastError(ErrnoToWin32(errno)); }

const char* Win32ErrorText(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS: return "The operation completed successfully.";
        case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
        case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
        case ERROR_ACCESS_DENIED: return "Access is denied.";
        case ERROR_INVALID_HANDLE: return "The handle is invalid.";
        case ERROR_NOT_ENOUGH_MEMORY: return "Not enough storage is available to process this command.";
        case ERROR_WRITE_FAULT: return "The system cannot write to the specified device.";
        case ERROR_READ_FAULT: return "The system cannot read from the specified device.";
        case ERROR_FILE_EXISTS: return "The file exists.";
        case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
        case ERROR_DISK_FULL: return "There is not enough space on the disk.";
        case ERROR_TOO_MANY_OPEN_FILES: return "The system cannot open the file.";
        case ERROR_DIR_NOT_EMPTY: return "The directory is not empty.";
        case ERROR_ALREADY_EXISTS: return "Cannot create a file when that file already exists.";
        default: return nullptr;
    }
}

DWORD GetVersion() { return g_win9x.load() ? 0x80000000u | 0x0A04u : 0x0A000000u | 0x0A00u; }
void SetWin9xFamilyForTesting(bool win9x) { g_win9x.store(win9x); }

}  // namespace platform
