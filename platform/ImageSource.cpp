#include "platform/ImageSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/ImageFormat.h"

namespace platform {

namespace {

size_t ReadUpTo(int fd, uint8_t* buffer, size_t count, uint64_t offset) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, buffer + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

}  // namespace

std::unique_ptr<ImageSource> OpenImageSource(const std::string& path, int fd, OpenFailure* failure) {
    *failure = OpenFailure{};
    struct stat st {};
    // A block device is what the kernel presents; only image files are looked into.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return MakeFdSource(fd);

    std::vector<uint8_t> head(kFormatHeadBytes), tail(kFormatTailBytes);
    const size_t headSize = ReadUpTo(fd, head.data(), head.size(), 0);
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    size_t tailSize = 0;
    if (fileSize >= kFormatHeadBytes + kFormatTailBytes)
        tailSize = ReadUpTo(fd, tail.data(), tail.size(), fileSize - kFormatTailBytes);

    std::unique_ptr<ImageSource> source;
    const ImageFormat format = DetectImageFormat(head.data(), headSize, tail.data(), tailSize);
    switch (format) {
        case ImageFormat::Ewf: return OpenEwfSource(path, failure);
        case ImageFormat::Vhd:
        case ImageFormat::Vhdx: return OpenVhdiSource(path, ImageFormatName(format), failure);
        case ImageFormat::Vmdk: return OpenVmdkSource(path, failure);
        case ImageFormat::Qcow: return OpenQcowSource(path, failure);
        case ImageFormat::Raw: break;
    }
    source = OpenSplitRawSource(path, failure);
    if (source || failure->error != 0) return source;
    return MakeFdSource(fd);
}

}  // namespace platform
