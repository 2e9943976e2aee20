#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/Time.h"

namespace platform {

namespace {

constexpr mode_t kNewFileMode = 0666;     // narrowed by the umask
constexpr mode_t kNewFolderMode = 0777;   // narrowed by the umask
constexpr unsigned kUniqueMask = 0xFFFF;  // the name carries 16 bits of the unique number

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ENOENT means "file not found" when the folder exists and "path not found" when a
// folder on the way is missing, as the two Win32 codes do.
void SetLastErrorForPath(int err, const std::string& path) {
    if (err == ENOENT && !IsFolder(ParentOf(path))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return;
    }
    SetLastError(ErrnoToWin32(err));
}

int OpenFlags(unsigned access) {
    const bool read = access & kRead;
    const bool write = access & kWrite;
    int flags = O_CLOEXEC;
    if (read && write)
        flags |= O_RDWR;
    else if (write)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    return flags;
}

int OpenRetrying(const std::string& path, int flags) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

timespec ToTimespec(const FILETIME* ft) {
    timespec ts{};
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
    // A missing or zero time leaves the stamp as it is.
    if (ft == nullptr || !FileTimeToUnix(*ft, &seconds, &nanoseconds)) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(nanoseconds);
    return ts;
}

}  // namespace

FileHandle CreateFile(const std::string& path, unsigned access, CreateMode mode) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_HANDLE;
    }
    const int base = OpenFlags(access);
    int fd = -1;
    bool existed = false;
    switch (mode) {
        case CreateMode::CreateNew: fd = OpenRetrying(path, base | O_CREAT | O_EXCL); break;
        case CreateMode::OpenExisting: fd = OpenRetrying(path, base); break;
        case CreateMode::CreateAlways:
        case CreateMode::OpenAlways: {
            // Try to create first, so the "it already existed" report is exact.
            fd = OpenRetrying(path, base | O_CREAT | O_EXCL);
            if (fd < 0 && errno == EEXIST) {
                existed = true;
                fd = OpenRetrying(path, base | (mode == CreateMode::CreateAlways ? O_TRUNC : 0));
            }
            break;
        }
    }
    if (fd < 0) {
        SetLastErrorForPath(errno, path);
        return INVALID_FILE_HANDLE;
    }
    // A folder is not a file: opening one as a file is refused as the system does.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_HANDLE;
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return fd;
}

FileHandle OpenDirectory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) SetLastErrorForPath(errno, path);
    return fd < 0 ? INVALID_FILE_HANDLE : fd;
}

BOOL CloseFile(FileHandle h) {
    if (h < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The descriptor is gone even when close reports EINTR; retrying could close a
    // descriptor another thread has just been given.
    if (::close(h) != 0 && errno != EINTR) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL ReadFile(FileHandle h, void* buffer, uint32_t count, uint32_t* read) {
    if (read) *read = 0;
    if (h < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && count != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(h, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno();
            if (read) *read = done;
            return FALSE;
        }
        if (n == 0) break;  // end of file: a short read is a successful one
        done += static_cast<uint32_t>(n);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WriteFile(FileHandle h, const void* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    if (h < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && count != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t done = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(h, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno();
            if (written) *written = done;
            return FALSE;
        }
        if (n == 0) {
            SetLastError(ERROR_DISK_FULL);
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<uint32_t>(n);
    }
    if (written) *written = done;
    return TRUE;
}

int64_t SetFilePointer(FileHandle h, int64_t distance, int whence) {
    const off_t position = ::lseek(h, static_cast<off_t>(distance), whence);
    if (position < 0) {
        SetLastErrorFromErrno();
        return -1;
    }
    return position;
}

int64_t GetFileSize(FileHandle h) {
    struct stat st {};
    if (::fstat(h, &st) != 0) {
        SetLastErrorFromErrno();
        return -1;
    }
    return st.st_size;
}

// The creation time has no settable counterpart on Linux and is ignored.
BOOL SetFileTime(FileHandle h, const FILETIME* /*created*/, const FILETIME* accessed, const FILETIME* written) {
    const timespec times[2] = {ToTimespec(accessed), ToTimespec(written)};
    if (::futimens(h, times) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) {
        SetLastErrorForPath(errno, path);
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectory(const std::string& path) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::mkdir(path.c_str(), kNewFolderMode) != 0) {
        if (errno == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
        } else if (errno == ENOENT) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastErrorFromErrno();
        }
        return FALSE;
    }
    return TRUE;
}

bool DirectoryExists(const std::string& path) { return IsFolder(path); }

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

unsigned GetTempFileName(const std::string& dir, const std::string& prefix, unsigned unique, std::string* out) {
    auto nameFor = [&](unsigned number) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", number & kUniqueMask);
        return JoinPath(dir, prefix + hex + ".tmp");
    };
    if (unique != 0) {
        if (out) *out = nameFor(unique);
        return unique;
    }

    // Start from the clock, as the system does, then walk the 16-bit space once.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned number = static_cast<unsigned>(now.tv_nsec / 1000 ^ now.tv_sec ^ ::getpid()) & kUniqueMask;
    for (unsigned tries = 0; tries < kUniqueMask; ++tries, number = (number + 1) & kUniqueMask) {
        if (number == 0) number = 1;
        const std::string name = nameFor(number);
        const int fd = OpenRetrying(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            if (out) *out = name;
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        if (errno != EEXIST) {
            SetLastErrorForPath(errno, name);
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

std::string GetTempPath() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && dir[0] == '/') ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

BOOL GetDiskFreeSpaceEx(const std::string& path, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        SetLastErrorForPath(errno, path);
        return FALSE;
    }
    const uint64_t unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    if (freeToCaller) *freeToCaller = static_cast<uint64_t>(info.f_bavail) * unit;
    if (total) *total = static_cast<uint64_t>(info.f_blocks) * unit;
    if (totalFree) *totalFree = static_cast<uint64_t>(info.f_bfree) * unit;
    return TRUE;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    size_t end = dir.size();
    while (end > 1 && dir[end - 1] == '/') --end;
    size_t start = 0;
    while (start < name.size() && name[start] == '/') ++start;
    std::string joined = dir.substr(0, end);
    if (joined != "/") joined += '/';
    joined.append(name, start, std::string::npos);
    return joined;
}

}  // namespace platform
