// VMDK images (sparse, stream-optimised, flat extents behind a descriptor) through libvmdk.
#include <libvmdk.h>

#include <cerrno>

#include "platform/ImageSource.h"
#include "platform/LibraryError.h"

namespace platform {

namespace {

using VmdkError =
    LibraryError<libvmdk_error_t, libvmdk_error_sprint, libvmdk_error_backtrace_sprint, libvmdk_error_free>;

struct FileDeleter {
    void operator()(libvmdk_handle_t* file) const {
        libvmdk_handle_close(file, nullptr);
        libvmdk_handle_free(&file, nullptr);
    }
};

class VmdkSource final : public LockedLibrarySource {
public:
    bool Open(const std::string& path, OpenFailure* failure) {
        VmdkError error;
        libvmdk_handle_t* raw = nullptr;
        if (libvmdk_handle_initialize(&raw, &error) != 1) return Fail(failure, error.Take());
        if (libvmdk_handle_open(raw, path.c_str(), LIBVMDK_OPEN_READ, &error) != 1) {
            libvmdk_handle_free(&raw, nullptr);
            return Fail(failure, error.Take());
        }
        m_file.reset(raw);
        // The extents (the data files a descriptor names, or the sparse file itself)
        // are looked for beside the descriptor.
        if (libvmdk_handle_open_extent_data_files(raw, &error) != 1) return Fail(failure, error.Take());
        size_t parentName = 0;
        if (libvmdk_handle_get_utf8_parent_filename_size(raw, &parentName, nullptr) == 1 && parentName > 1) {
            // Without its parent a delta disk's unchanged grains would read as zeros:
            // wrong data, not missing data.
            return Fail(failure, "it is a delta disk; open its parent disk instead");
        }
        size64_t size = 0;
        if (libvmdk_handle_get_media_size(raw, &size, &error) != 1) return Fail(failure, error.Take());
        m_size = size;
        return true;
    }

protected:
    bool ReadLocked(void* buffer, size_t count, uint64_t offset) override {
        const ssize_t got =
            libvmdk_handle_read_buffer_at_offset(m_file.get(), buffer, count, static_cast<off64_t>(offset), nullptr);
        return got >= 0 && static_cast<size_t>(got) == count;
    }

private:
    static bool Fail(OpenFailure* failure, const std::string& why) {
        failure->error = EINVAL;
        failure->message = "the VMDK image could not be opened: " + why;
        return false;
    }

    std::unique_ptr<libvmdk_handle_t, FileDeleter> m_file;
};

}  // namespace

std::unique_ptr<ImageSource> OpenVmdkSource(const std::string& path, OpenFailure* failure) {
    auto source = std::make_unique<VmdkSource>();
    if (!source->Open(path, failure)) return nullptr;
    return source;
}

}  // namespace platform
