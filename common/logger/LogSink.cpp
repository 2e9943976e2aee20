#include "common/logger/LogSink.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// Bumped in every child made by fork, so a sink can tell that it was inherited.
std::atomic<unsigned> g_nForkGeneration{0};

unsigned ForkGeneration() {
    static std::once_flag registered;
    std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, [] { ++g_nForkGeneration; }); });
    return g_nForkGeneration.load(std::memory_order_relaxed);
}

size_t PageSize() {
    static const size_t size = [] {
        const long n = ::sysconf(_SC_PAGESIZE);
        return n > 0 ? static_cast<size_t>(n) : size_t{4096};
    }();
    return size;
}

// Length of the file without the run of NUL bytes at its end. A dead process leaves
// at most one allocation step of them, so the search stops after twice that much.
uint64_t DataLength(int fd, uint64_t size) {
    char block[65536];
    uint64_t end = size;
    const uint64_t floor = size > 2 * LogSink::kChunk ? size - 2 * LogSink::kChunk : 0;
    while (end > floor) {
        const size_t n = end - floor < sizeof(block) ? static_cast<size_t>(end - floor) : sizeof(block);
        const ssize_t got = ::pread(fd, block, n, static_cast<off_t>(end - n));
        if (got != static_cast<ssize_t>(n)) return end;  // unreadable: keep what is there
        size_t i = n;
        while (i > 0 && block[i - 1] == '\0') --i;
        if (i > 0) return end - n + i;
        end -= n;
    }
    return end;
}

uint64_t FileSize(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return UINT64_MAX;
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace

LogSink::LogSink(int fd) : m_hFile(fd), m_nForkGeneration(ForkGeneration()) {}

bool LogSink::IsInheritedByFork() const {
    return m_nForkGeneration != g_nForkGeneration.load(std::memory_order_relaxed);
}

LogSink* LogSink::Open(const char* path) {
    if (!path || !*path) {
        errno = ENOENT;
        return nullptr;
    }
    int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        // A file we may append to but not read can still take lines one write at a time.
        fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        return new LogSink(fd);
    }
    auto* sink = new LogSink(fd);
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // Two processes cannot share a mapping's idea of where the data ends; whoever
    // comes second appends with plain writes.
    if (!regular || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || !sink->StartMapping(static_cast<uint64_t>(st.st_size)))
        sink->SwitchToAppend();
    return sink;
}

bool LogSink::StartMapping(uint64_t size) {
    const uint64_t length = DataLength(m_hFile, size);
    if (length != size && ::ftruncate(m_hFile, static_cast<off_t>(length)) != 0) return false;
    m_nLength = length;
    m_nAllocated = length;
    m_bMapMode = true;
    return true;
}

LogSink::~LogSink() {
    if (m_pWindow) ::munmap(m_pWindow, m_nWindowSize);
    // Trim the allocation back unless someone else appended behind it meanwhile, or
    // the parent process still writes into it.
    if (m_bMapMode && !IsInheritedByFork() && FileSize(m_hFile) == m_nAllocated) {
        if (::ftruncate(m_hFile, static_cast<off_t>(m_nLength)) != 0) {
            // The NUL tail stays; the next Open strips it.
        }
    }
    ::close(m_hFile);
}

void LogSink::SwitchToAppend() {
    if (m_pWindow) ::munmap(m_pWindow, m_nWindowSize);
    m_pWindow = nullptr;
    m_nWindowSize = 0;
    if (m_bMapMode && !IsInheritedByFork() && FileSize(m_hFile) == m_nAllocated) {
        if (::ftruncate(m_hFile, static_cast<off_t>(m_nLength)) != 0) {
            // Left allocated: the lines that follow come after a NUL gap.
        }
    }
    m_bMapMode = false;
    const int flags = ::fcntl(m_hFile, F_GETFL);
    if (flags >= 0) ::fcntl(m_hFile, F_SETFL, flags | O_APPEND);
}

bool LogSink::Remap(size_t need) {
    if (m_pWindow) ::munmap(m_pWindow, m_nWindowSize);
    m_pWindow = nullptr;
    m_nWindowSize = 0;
    // Someone appended behind our allocation: mapping over it would overwrite their lines.
    if (FileSize(m_hFile) != m_nAllocated) return false;
    const size_t page = PageSize();
    const uint64_t start = m_nLength & ~static_cast<uint64_t>(page - 1);
    const size_t lead = static_cast<size_t>(m_nLength - start);
    size_t size = kChunk;
    if (lead + need > size) size = (lead + need + page - 1) & ~(page - 1);
    const uint64_t end = start + size;
    if (end > m_nAllocated) {
        // Real blocks, not a hole: a full disk must fail here, not as SIGBUS on a store.
        if (::posix_fallocate(m_hFile, static_cast<off_t>(m_nAllocated), static_cast<off_t>(end - m_nAllocated)) != 0) {
            // A partial allocation may have moved the end of the file; put it back.
            if (::ftruncate(m_hFile, static_cast<off_t>(m_nAllocated)) != 0) {}
            return false;
        }
        m_nAllocated = end;
    }
    void* window = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_hFile, static_cast<off_t>(start));
    if (window == MAP_FAILED) return false;
    m_pWindow = static_cast<char*>(window);
    m_nWindowStart = start;
    m_nWindowSize = size;
    m_nPopulated = start;
    return true;
}

void LogSink::Populate(uint64_t end) {
    const uint64_t windowEnd = m_nWindowStart + m_nWindowSize;
    uint64_t target = m_nPopulated + kPopulateStep;
    if (target < end) target = end;
    if (target > windowEnd) target = windowEnd;
    const size_t page = PageSize();
    target = (target + page - 1) & ~static_cast<uint64_t>(page - 1);
    if (target > windowEnd) target = windowEnd;
    if (::madvise(m_pWindow + (m_nPopulated - m_nWindowStart), static_cast<size_t>(target - m_nPopulated),
                  MADV_POPULATE_WRITE) != 0) {
        // An older kernel: the stores fault the pages in one by one instead.
        m_bPopulate = false;
        return;
    }
    m_nPopulated = target;
}

bool LogSink::Append(const iovec* parts, int count) {
    if (m_bMapMode && IsInheritedByFork()) SwitchToAppend();
    if (!m_bMapMode) return AppendWrite(parts, count);
    size_t total = 0;
    for (int i = 0; i < count; ++i) total += parts[i].iov_len;
    if (!m_pWindow || m_nLength + total > m_nWindowStart + m_nWindowSize) {
        if (!Remap(total)) {
            SwitchToAppend();
            return AppendWrite(parts, count);
        }
    }
    if (m_bPopulate && m_nLength + total > m_nPopulated) Populate(m_nLength + total);
    char* out = m_pWindow + (m_nLength - m_nWindowStart);
    for (int i = 0; i < count; ++i) {
        std::memcpy(out, parts[i].iov_base, parts[i].iov_len);
        out += parts[i].iov_len;
    }
    m_nLength += total;
    return true;
}

bool LogSink::AppendWrite(const iovec* parts, int count) {
    iovec local[kMaxParts];
    if (count > kMaxParts) count = kMaxParts;
    std::memcpy(local, parts, sizeof(iovec) * static_cast<size_t>(count));
    iovec* vec = local;
    while (count > 0) {
        const ssize_t n = ::writev(m_hFile, vec, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        size_t done = static_cast<size_t>(n);
        while (count > 0 && done >= vec->iov_len) {
            done -= vec->iov_len;
            ++vec;
            --count;
        }
        if (count > 0) {
            vec->iov_base = static_cast<char*>(vec->iov_base) + done;
            vec->iov_len -= done;
        }
        if (n == 0 && count > 0) return false;
    }
    return true;
}
