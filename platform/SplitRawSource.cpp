// A raw image cut into numbered files (disk.001, disk.002, ...) read as one disk.
//
// Every segment but the last is as long as the first, so segment i starts at i times
// that length. A segment missing from the middle of the set, or the part a short
// middle segment lacks, reads as unreadable sectors; a segment missing after the last
// one present cannot be told from the end of the set and is simply not there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/ImageSource.h"
#include "platform/SplitNames.h"

namespace platform {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

class SplitRawSource final : public ImageSource {
public:
    ~SplitRawSource() override {
        for (const Segment& s : m_segments) {
            if (s.fd >= 0) ::close(s.fd);
        }
    }

    bool Open(const std::vector<std::optional<std::string>>& paths, OpenFailure* failure) {
        for (const auto& path : paths) {
            Segment segment;
            if (path) {
                segment.fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
                struct stat st {};
                if (segment.fd < 0 || ::fstat(segment.fd, &st) != 0) {
                    const int error = errno;
                    if (segment.fd >= 0) ::close(segment.fd);
                    failure->error = error;
                    failure->message =
                        "segment " + *path + " of the split image could not be opened: " + std::strerror(error);
                    return false;
                }
                segment.bytes = static_cast<uint64_t>(st.st_size);
            }
            m_segments.push_back(segment);
        }
        m_first = *paths.front();
        m_stride = m_segments.front().bytes;
        if (m_stride == 0) {
            failure->error = EINVAL;
            failure->message = "the first segment of the split image is empty";
            return false;
        }
        for (size_t i = 0; i + 1 < m_segments.size(); ++i) {
            if (m_segments[i].bytes > m_stride) {
                failure->error = EINVAL;
                failure->message = "the segments of the split image differ in size (segment " + std::to_string(i + 1) +
                                   " is longer than the first)";
                return false;
            }
        }
        m_size = m_stride * (m_segments.size() - 1) + m_segments.back().bytes;
        return true;
    }

    uint64_t Size() const override { return m_size; }
    std::string IdentityPath() const override { return m_first; }

    int Read(void* buffer, size_t count, uint64_t offset, size_t* done) override {
        auto* bytes = static_cast<uint8_t*>(buffer);
        *done = 0;
        if (offset >= m_size) return 0;
        count = static_cast<size_t>(std::min<uint64_t>(count, m_size - offset));
        while (*done < count) {
            const uint64_t at = offset + *done;
            const Segment& segment = m_segments[static_cast<size_t>(at / m_stride)];
            const uint64_t inside = at % m_stride;
            const size_t want = static_cast<size_t>(std::min<uint64_t>(count - *done, m_stride - inside));
            if (segment.fd < 0 || inside >= segment.bytes) return EIO;
            const size_t have = static_cast<size_t>(std::min<uint64_t>(want, segment.bytes - inside));
            size_t got = 0;
            while (got < have) {
                const ssize_t n =
                    ::pread(segment.fd, bytes + *done + got, have - got, static_cast<off_t>(inside + got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    *done += got;
                    return n < 0 ? errno : EIO;  // the segment shrank since it was opened
                }
                got += static_cast<size_t>(n);
            }
            *done += got;
            if (have < want) return EIO;  // a short middle segment
        }
        return 0;
    }

private:
    struct Segment {
        int fd = -1;  // -1: missing
        uint64_t bytes = 0;
    };
    std::vector<Segment> m_segments;
    std::string m_first;
    uint64_t m_stride = 0;
    uint64_t m_size = 0;
};

}  // namespace

std::unique_ptr<ImageSource> OpenSplitRawSource(const std::string& path, OpenFailure* failure) {
    const auto name = ParseSplitName(path);
    if (!name) return nullptr;
    const auto paths = FindSplitSegments(*name, IsRegularFile);
    if (paths.empty() && name->number >= 2 &&
        (IsRegularFile(SplitSegmentPath(*name, name->number - 1)) ||
         IsRegularFile(SplitSegmentPath(*name, name->number + 1)))) {
        // Numbered neighbours make it a set; without its start no offset is known.
        failure->error = ENOENT;
        failure->message = "the first segment " + SplitSegmentPath(*name, 1) + " of the split image is missing";
        return nullptr;
    }
    if (paths.size() < 2) return nullptr;
    auto source = std::make_unique<SplitRawSource>();
    if (!source->Open(paths, failure)) return nullptr;
    return source;
}

}  // namespace platform
