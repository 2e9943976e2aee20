// VHD and VHDX images through libvhdi.
#include <fcntl.h>
#include <libvhdi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ImageSource.h"
#include "platform/LibraryError.h"
#include "platform/VhdxLog.h"

namespace platform {

namespace {

using VhdiError =
    LibraryError<libvhdi_error_t, libvhdi_error_sprint, libvhdi_error_backtrace_sprint, libvhdi_error_free>;

struct FileDeleter {
    void operator()(libvhdi_file_t* file) const {
        libvhdi_file_close(file, nullptr);
        libvhdi_file_free(&file, nullptr);
    }
};

class VhdiSource final : public LockedLibrarySource {
public:
    bool Open(const std::string& path, const char* kind, OpenFailure* failure) {
        m_kind = kind;
        // The image format library reads a VHDX as its headers say and ignores a log
        // that holds newer metadata and data: what it would give is stale.
        if (std::strcmp(kind, "VHDX") == 0 && HasPendingLog(path))
            return Fail(failure, "this VHDX has a log that was not replayed; its contents would be stale");
        VhdiError error;
        libvhdi_file_t* raw = nullptr;
        if (libvhdi_file_initialize(&raw, &error) != 1) return Fail(failure, error.Take());
        if (libvhdi_file_open(raw, path.c_str(), LIBVHDI_OPEN_READ, &error) != 1) {
            libvhdi_file_free(&raw, nullptr);
            return Fail(failure, error.Take());
        }
        m_file.reset(raw);
        uint32_t diskType = 0;
        if (libvhdi_file_get_disk_type(raw, &diskType, &error) == 1 && diskType == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
            // Without its parent a differencing disk's unchanged blocks would read as
            // zeros: wrong data, not missing data.
            return Fail(failure, "it is a differencing disk; open its parent disk instead");
        }
        size64_t size = 0;
        if (libvhdi_file_get_media_size(raw, &size, &error) != 1) return Fail(failure, error.Take());
        m_size = size;
        return true;
    }

protected:
    bool ReadLocked(void* buffer, size_t count, uint64_t offset) override {
        const ssize_t got =
            libvhdi_file_read_buffer_at_offset(m_file.get(), buffer, count, static_cast<off64_t>(offset), nullptr);
        return got >= 0 && static_cast<size_t>(got) == count;
    }

private:
    static bool HasPendingLog(const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat st {};
        bool pending = false;
        if (fstat(fd, &st) == 0) {
            pending = VhdxHasPendingLog(
                [fd](uint64_t offset, void* buffer, size_t count) {
                    return pread(fd, buffer, count, static_cast<off_t>(offset)) == static_cast<ssize_t>(count);
                },
                static_cast<uint64_t>(st.st_size));
        }
        close(fd);
        return pending;
    }

    bool Fail(OpenFailure* failure, const std::string& why) const {
        failure->error = EINVAL;
        failure->message = std::string("the ") + m_kind + " image could not be opened: " + why;
        return false;
    }

    const char* m_kind = "VHD";

    std::unique_ptr<libvhdi_file_t, FileDeleter> m_file;
};

}  // namespace

std::unique_ptr<ImageSource> OpenVhdiSource(const std::string& path, const char* kind, OpenFailure* failure) {
    auto source = std::make_unique<VhdiSource>();
    if (!source->Open(path, kind, failure)) return nullptr;
    return source;
}

}  // namespace platform
