// Expert Witness images (E01 and its segments) through libewf.
#include <libewf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/ImageSource.h"
#include "platform/LibraryError.h"

namespace platform {

namespace {

using EwfError = LibraryError<libewf_error_t, libewf_error_sprint, libewf_error_backtrace_sprint, libewf_error_free>;

struct HandleDeleter {
    void operator()(libewf_handle_t* handle) const {
        libewf_handle_close(handle, nullptr);
        libewf_handle_free(&handle, nullptr);
    }
};
using Handle = std::unique_ptr<libewf_handle_t, HandleDeleter>;

class GlobbedNames {
public:
    GlobbedNames() = default;
    GlobbedNames(const GlobbedNames&) = delete;
    GlobbedNames& operator=(const GlobbedNames&) = delete;
    ~GlobbedNames() {
        if (names != nullptr) libewf_glob_free(names, count, nullptr);
    }
    char** names = nullptr;
    int count = 0;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The set is globbed from its first segment (.E01, .e01, .s01, .L01 ...), whichever
// segment the user named.
std::string FirstSegment(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.size() - dot != 4 || path.find('/', dot) != std::string::npos) return path;
    std::string first = path;
    first[dot + 2] = '0';
    first[dot + 3] = '1';
    return Exists(first) ? first : path;
}

class EwfSource final : public LockedLibrarySource {
public:
    bool Open(const std::string& path, OpenFailure* failure) {
        EwfError error;
        GlobbedNames segments;
        const std::string first = FirstSegment(path);
        if (libewf_glob(first.c_str(), first.size(), LIBEWF_FORMAT_UNKNOWN, &segments.names, &segments.count, &error) !=
                1 ||
            segments.count < 1) {
            return Fail(failure, "its segment files could not be found: " + error.Take());
        }
        libewf_handle_t* raw = nullptr;
        if (libewf_handle_initialize(&raw, &error) != 1) return Fail(failure, error.Take());
        m_handle.reset(raw);
        if (libewf_handle_open(raw, segments.names, segments.count, LIBEWF_OPEN_READ, &error) != 1) {
            raw = m_handle.release();
            libewf_handle_free(&raw, nullptr);
            return Fail(failure, error.Take());
        }
        // A chunk whose checksum fails arrives as zeros and is reported unreadable below,
        // never as the damaged bytes.
        libewf_handle_set_read_zero_chunk_on_error(raw, 1, nullptr);
        size64_t size = 0;
        uint32_t sectorBytes = 0;
        if (libewf_handle_get_media_size(raw, &size, &error) != 1 ||
            libewf_handle_get_bytes_per_sector(raw, &sectorBytes, &error) != 1 || sectorBytes == 0) {
            return Fail(failure, "no media size: " + error.Take());
        }
        m_size = size;
        m_sectorBytes = sectorBytes;
        m_first = segments.names[0];
        return true;
    }

    std::string IdentityPath() const override { return m_first; }

protected:
    bool ReadLocked(void* buffer, size_t count, uint64_t offset) override {
        const ssize_t got =
            libewf_handle_read_random(m_handle.get(), buffer, count, static_cast<off64_t>(offset), nullptr);
        if (got < 0 || static_cast<size_t>(got) != count) return false;
        return !OverlapsChecksumError(offset, count);
    }

private:
    static bool Fail(OpenFailure* failure, const std::string& why) {
        failure->error = EINVAL;
        failure->message = "the EWF image could not be opened: " + why;
        return false;
    }

    // libewf keeps the sector ranges whose chunks failed their checksum.
    bool OverlapsChecksumError(uint64_t offset, size_t count) const {
        uint32_t errors = 0;
        if (libewf_handle_get_number_of_checksum_errors(m_handle.get(), &errors, nullptr) != 1) return false;
        for (uint32_t i = 0; i < errors; ++i) {
            uint64_t start = 0, sectors = 0;
            if (libewf_handle_get_checksum_error(m_handle.get(), i, &start, &sectors, nullptr) != 1) continue;
            const uint64_t begin = start * m_sectorBytes;
            const uint64_t end = begin + sectors * m_sectorBytes;
            if (begin < offset + count && offset < end) return true;
        }
        return false;
    }

    Handle m_handle;
    std::string m_first;
    uint64_t m_sectorBytes = 512;
};

}  // namespace

std::unique_ptr<ImageSource> OpenEwfSource(const std::string& path, OpenFailure* failure) {
    auto source = std::make_unique<EwfSource>();
    if (!source->Open(path, failure)) return nullptr;
    return source;
}

}  // namespace platform
