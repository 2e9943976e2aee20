#include "platform/RawVolume.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "platform/ImageSource.h"

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
std::optional<uint64_t> FirstInjected(const SourceId& id, uint64_t offset, size_t count) {
    InjectedFaults& faults = Faults();
    if (!faults.any.load(std::memory_order_acquire) || count == 0) return std::nullopt;
    std::lock_guard<std::mutex> guard(faults.lock);
    const auto found = faults.sectors.find(id);
    if (found == faults.sectors.end()) return std::nullopt;
    const uint64_t first = offset / kRawSectorSize;
    const uint64_t last = (offset + count - 1) / kRawSectorSize;
    const auto bad = found->second.lower_bound(first);
    if (bad == found->second.end() || *bad > last) return std::nullopt;
    return *bad;
}

// The open sources by handle. A handle is the descriptor of the named file itself,
// kept open for as long as the source is, so the kernel keeps handles unique and any
// container back-end reads through handles of its own.
struct OpenSource {
    int fd = -1;
    SourceId id{};  // the file injected faults are keyed by: a split set's first segment
    std::unique_ptr<ImageSource> source;
    ~OpenSource() {
        source.reset();
        if (fd >= 0) ::close(fd);
    }
};

struct SourceTable {
    std::mutex lock;
    std::map<int, std::shared_ptr<OpenSource>> open;
};

SourceTable& Sources() {
    static SourceTable table;
    return table;
}

std::shared_ptr<OpenSource> FindSource(int fd) {
    SourceTable& table = Sources();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto found = table.open.find(fd);
    return found == table.open.end() ? nullptr : found->second;
}

thread_local std::string t_openFailure;

}  // namespace

int OpenRawSource(const std::string& path) {
    t_openFailure.clear();
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
    auto entry = std::make_shared<OpenSource>();
    entry->fd = fd;
    OpenFailure failure;
    entry->source = OpenImageSource(path, fd, &failure);
    if (!entry->source) {
        t_openFailure = failure.message;
        SetLastError(ErrnoToWin32(failure.error != 0 ? failure.error : EINVAL));
        return -1;  // the entry closes the descriptor
    }
    struct stat st {};
    const std::string identity = entry->source->IdentityPath();
    if (!identity.empty() ? ::stat(identity.c_str(), &st) == 0 : ::fstat(fd, &st) == 0) entry->id = IdOf(st);
    SourceTable& table = Sources();
    std::lock_guard<std::mutex> guard(table.lock);
    table.open[fd] = std::move(entry);
    return fd;
}

std::string RawSourceOpenFailure() { return t_openFailure; }

void CloseRawSource(int fd) {
    if (fd < 0) return;
    std::shared_ptr<OpenSource> entry;
    {
        SourceTable& table = Sources();
        std::lock_guard<std::mutex> guard(table.lock);
        const auto found = table.open.find(fd);
        if (found == table.open.end()) return;
        entry = std::move(found->second);
        table.open.erase(found);
    }
    // A read still running on another thread holds the source until it returns.
}

BOOL RawRead(int fd, void* buffer, size_t count, uint64_t offset, size_t* done) {
    if (done) *done = 0;
    const std::shared_ptr<OpenSource> entry = fd >= 0 ? FindSource(fd) : nullptr;
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && count != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // An injected sector behaves like a medium error: the bytes before it arrive, the
    // read of the sector itself fails. It names a sector of the disk the source
    // presents, whatever container holds it.
    size_t limit = count;
    bool injected = false;
    if (const auto bad = FirstInjected(entry->id, offset, count)) {
        limit = static_cast<size_t>(*bad * kRawSectorSize > offset ? *bad * kRawSectorSize - offset : 0);
        injected = true;
    }
    size_t got = 0;
    const int error = limit == 0 ? 0 : entry->source->Read(buffer, limit, offset, &got);
    if (done) *done = got;
    if (error != 0) {
        SetLastError(ErrnoToWin32(error));
        return FALSE;
    }
    if (injected && got == limit) {
        SetLastError(ErrnoToWin32(EIO));
        return FALSE;
    }
    return TRUE;
}

std::optional<uint64_t> RawSize(int fd) {
    const std::shared_ptr<OpenSource> entry = fd >= 0 ? FindSource(fd) : nullptr;
    if (!entry) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    // A folder or a character device has no sectors to offer.
    if (!S_ISBLK(st.st_mode) && !S_ISREG(st.st_mode)) return std::nullopt;
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) return std::nullopt;
        return bytes;
    }
    return entry->source->Size();
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
