#include "common/logger/MemoryProbe.h"

#include <sys/uio.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace {

constexpr size_t kProbePage = 4096;

// Where the kernel refuses process_vm_readv (some sandboxes), a pipe does the same job:
// write() answers EFAULT for memory it cannot read, and the bytes come back out.
int ProbeThroughPipe(const void* p, size_t n, char* out) {
    static std::mutex lock;
    static int fds[2] = {-1, -1};
    std::lock_guard<std::mutex> guard(lock);
    if (fds[0] < 0 && ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    const ssize_t written = ::write(fds[1], p, n);
    if (written != static_cast<ssize_t>(n)) {
        // Drain whatever part went in, so the next probe starts empty.
        while (written > 0 && ::read(fds[0], out, n) > 0) {}
        return -1;
    }
    return ::read(fds[0], out, n) == static_cast<ssize_t>(n) ? 0 : -1;
}

// Copies n bytes at p into out through the kernel; -1 when they cannot all be read.
int ProbeCopy(const void* p, size_t n, char* out) {
    static std::atomic<bool> useVmRead{true};
    if (useVmRead) {
        iovec local{out, n};
        iovec remote{const_cast<void*>(p), n};
        const ssize_t got = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
        if (got == static_cast<ssize_t>(n)) return 0;
        if (got >= 0 || (errno != ENOSYS && errno != EPERM)) return -1;
        useVmRead = false;
    }
    return ProbeThroughPipe(p, n, out);
}

// Bytes from p up to the next probe-page boundary, at most limit.
size_t ToBoundary(uintptr_t p, size_t limit) {
    const size_t left = kProbePage - (p % kProbePage);
    return left < limit ? left : limit;
}

}  // namespace

bool IsReadableMemory(const void* p, size_t count) {
    if (count == 0) return true;
    if (!p) return false;
    const auto start = reinterpret_cast<uintptr_t>(p);
    if (start + count < start) return false;
    char scratch[1];
    // One byte per page is enough: protection is per page.
    for (uintptr_t at = start; at < start + count; at += ToBoundary(at, SIZE_MAX)) {
        // The probe walks addresses that may belong to no object: integers, not pointer arithmetic.
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        if (ProbeCopy(reinterpret_cast<const void*>(at), 1, scratch) < 0) return false;
    }
    return true;
}

bool IsReadableString(const char* str, long maxChars) {
    if (!str) return false;
    if (maxChars <= 0) return true;
    char chunk[kProbePage];
    auto at = reinterpret_cast<uintptr_t>(str);
    size_t left = static_cast<size_t>(maxChars);
    while (left > 0) {
        const size_t n = ToBoundary(at, left);
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        if (ProbeCopy(reinterpret_cast<const void*>(at), n, chunk) < 0) return false;
        if (std::memchr(chunk, '\0', n)) return true;
        at += n;
        left -= n;
    }
    return true;
}
