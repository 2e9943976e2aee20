#include "common/logger/MemoryProbe.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kProbePage = 4096;

// Copies up to n bytes at p into out through the kernel; -1 when none could be read,
// 1 when the probe itself is unavailable (then the memory is taken as readable).
int ProbeCopy(const void* p, size_t n, char* out) {
    iovec local{out, n};
    iovec remote{const_cast<void*>(p), n};
    const ssize_t got = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (got == static_cast<ssize_t>(n)) return 0;
    if (got < 0 && (errno == ENOSYS || errno == EPERM)) return 1;
    return -1;
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
        const int r = ProbeCopy(reinterpret_cast<const void*>(at), 1, scratch);
        if (r < 0) return false;
        if (r > 0) return true;
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
        const int r = ProbeCopy(reinterpret_cast<const void*>(at), n, chunk);
        if (r < 0) return false;
        if (r > 0 || std::memchr(chunk, '\0', n)) return true;
        at += n;
        left -= n;
    }
    return true;
}
