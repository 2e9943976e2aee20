// A plain image file or block device: the sectors are the bytes of the file.
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ImageSource.h"

namespace platform {

namespace {

class FdSource final : public ImageSource {
public:
    explicit FdSource(int fd) : m_fd(fd) {}

    // Asked each time: a device's or a growing file's size is the one of the moment.
    uint64_t Size() const override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) return 0;
        if (S_ISBLK(st.st_mode)) {
            uint64_t bytes = 0;
            return ::ioctl(m_fd, BLKGETSIZE64, &bytes) == 0 ? bytes : 0;
        }
        return S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    }

    int Read(void* buffer, size_t count, uint64_t offset, size_t* done) override {
        auto* bytes = static_cast<uint8_t*>(buffer);
        *done = 0;
        while (*done < count) {
            const ssize_t n = ::pread(m_fd, bytes + *done, count - *done, static_cast<off_t>(offset + *done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (n == 0) break;
            *done += static_cast<size_t>(n);
        }
        return 0;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<ImageSource> MakeFdSource(int fd) { return std::make_unique<FdSource>(fd); }

}  // namespace platform
