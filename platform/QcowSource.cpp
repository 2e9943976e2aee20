// QCOW (version 1, 2 and 3) images through libqcow.
#include <libqcow.h>

#include <cerrno>

#include "platform/ImageSource.h"
#include "platform/LibraryError.h"

namespace platform {

namespace {

using QcowError =
    LibraryError<libqcow_error_t, libqcow_error_sprint, libqcow_error_backtrace_sprint, libqcow_error_free>;

struct FileDeleter {
    void operator()(libqcow_file_t* file) const {
        libqcow_file_close(file, nullptr);
        libqcow_file_free(&file, nullptr);
    }
};

class QcowSource final : public LockedLibrarySource {
public:
    bool Open(const std::string& path, OpenFailure* failure) {
        QcowError error;
        libqcow_file_t* raw = nullptr;
        if (libqcow_file_initialize(&raw, &error) != 1) return Fail(failure, error.Take());
        if (libqcow_file_open(raw, path.c_str(), LIBQCOW_OPEN_READ, &error) != 1) {
            libqcow_file_free(&raw, nullptr);
            return Fail(failure, error.Take());
        }
        m_file.reset(raw);
        size_t backingName = 0;
        if (libqcow_file_get_utf8_backing_filename_size(raw, &backingName, nullptr) == 1 && backingName > 1) {
            // Without its backing file an overlay's unchanged clusters would read as
            // zeros: wrong data, not missing data.
            return Fail(failure, "it is an overlay of a backing file; open the backing file instead");
        }
        uint32_t encryption = 0;
        if (libqcow_file_get_encryption_method(raw, &encryption, nullptr) == 1 &&
            encryption != LIBQCOW_ENCRYPTION_METHOD_NONE)
            return Fail(failure, "it is encrypted");
        size64_t size = 0;
        if (libqcow_file_get_media_size(raw, &size, &error) != 1) return Fail(failure, error.Take());
        m_size = size;
        return true;
    }

protected:
    bool ReadLocked(void* buffer, size_t count, uint64_t offset) override {
        const ssize_t got =
            libqcow_file_read_buffer_at_offset(m_file.get(), buffer, count, static_cast<off64_t>(offset), nullptr);
        return got >= 0 && static_cast<size_t>(got) == count;
    }

private:
    static bool Fail(OpenFailure* failure, const std::string& why) {
        failure->error = EINVAL;
        failure->message = "the QCOW image could not be opened: " + why;
        return false;
    }

    std::unique_ptr<libqcow_file_t, FileDeleter> m_file;
};

}  // namespace

std::unique_ptr<ImageSource> OpenQcowSource(const std::string& path, OpenFailure* failure) {
    auto source = std::make_unique<QcowSource>();
    if (!source->Open(path, failure)) return nullptr;
    return source;
}

}  // namespace platform
