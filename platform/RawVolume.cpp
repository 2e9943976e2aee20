#include "platform/RawVolume.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace platform {

namespace {

constexpr int kFirstFreeDescriptor = 3;

// A source is the device it lives on plus its inode; a block device is its number.
using SourceId = std::pair<dev_t, ino_t>;

struct InjectedFaults {
    std::mutex lock;
    std::map<SourceId, std::set<uint64_t>> sectors;
    std::atomic<bool> any{false};
};

InjectedFaults& Faults() {
    static InjectedFaults faults;
    return faults;
}

SourceId IdOf(const struct stat& st) {
    if (S_ISBLK(st.st_mode)) return {st.st_rdev, 0};
    return {st.st_dev, st.st_ino};
}

// First injected sector inside [offset, offset + count) of the source, if any.
std::optional<uint64_t> FirstInjected(int fd, uint64_t offset, size_t count) {
    InjectedFaults& faults = Faults();
    if (!faults.any.load(std::memory_order_acquire) || count == 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    std::lock_guard<std::mutex> guard(faults.lock);
    const auto found = faults.sectors.find(IdOf(st));
    if (found == faults.sectors.end()) return std::nullopt;
    const uint64_t first = offset / kRawSectorSize;
    const uint64_t last = (offset + count - 1) / kRawSectorSize;
    const auto bad = found->second.lower_bound(first);
    if (bad == found->second.end() || *bad > last) return std::nullopt;
    return *bad;
}

}  // namespace

int OpenRawSource(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return -1;
    }
    if (fd < kFirstFreeDescriptor) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstFreeDescriptor);
        const int savedErrno = errno;
        ::close(fd);
        if (moved < 0) {
            SetLastError(ErrnoToWin32(savedErrno));
            return -1;
        }
        fd = moved;
    }
    return fd;
}

void CloseRawSource(int fd) {
    if (fd >= 0) ::close(fd);
}

BOOL RawRead(int fd, void* buffer, size_t count, uint64_t offset, size_t* done) {
    size_t got = 0;
    if (done) *done = 0;
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && count != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // An injected sector behaves like a medium error: the bytes before it arrive, the
    // read of the sector itself fails.
    size_t limit = count;
    bool injected = false;
    if (const auto bad = FirstInjected(fd, offset, count)) {
        limit = static_cast<size_t>(*bad * kRawSectorSize > offset ? *bad * kRawSectorSize - offset : 0);
        injected = true;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (got < limit) {
        const ssize_t n = ::pread(fd, bytes + got, limit - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno();
            if (done) *done = got;
            return FALSE;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (done) *done = got;
    if (injected && got == limit) {
        SetLastError(ErrnoToWin32(EIO));
        return FALSE;
    }
    return TRUE;
}

std::optional<uint64_t> RawSize(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) return std::nullopt;
        return bytes;
    }
    if (S_ISREG(st.st_mode)) return static_cast<uint64_t>(st.st_size);
    return std::nullopt;
}

BOOL InjectUnreadableSector(const std::string& path, uint64_t sector) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    InjectedFaults& faults = Faults();
    std::lock_guard<std::mutex> guard(faults.lock);
    faults.sectors[IdOf(st)].insert(sector);
    faults.any.store(true, std::memory_order_release);
    return TRUE;
}

void ClearInjected() {
    InjectedFaults& faults = Faults();
    std::lock_guard<std::mutex> guard(faults.lock);
    faults.sectors.clear();
    faults.any.store(false, std::memory_order_release);
}

}  // namespace platform
