// VMDK images (sparse, stream-optimised, flat extents behind a descriptor) through libvmdk
// (and libbfio, through which a single-file image is handed to it as its own extent).
#include <libbfio.h>
#include <libvmdk.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/ImageSource.h"
#include "platform/LibraryError.h"

namespace platform {

namespace {

using VmdkError =
    LibraryError<libvmdk_error_t, libvmdk_error_sprint, libvmdk_error_backtrace_sprint, libvmdk_error_free>;

struct PoolDeleter {
    void operator()(libbfio_pool_t* pool) const { libbfio_pool_free(&pool, nullptr); }
};

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
        if (!OpenExtents(path, failure)) return false;
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
    // A monolithic sparse file carries its descriptor inside and is its own only extent,
    // whatever name the descriptor gives it (the name it was created with, before a
    // rename): the extent is read from the file itself. Other sets have their extents
    // looked for beside the descriptor, by the names it gives.
    bool OpenExtents(const std::string& path, OpenFailure* failure) {
        VmdkError error;
        libvmdk_handle_t* raw = m_file.get();
        int diskType = 0, extents = 0;
        if (libvmdk_handle_get_disk_type(raw, &diskType, nullptr) == 1 &&
            (diskType == LIBVMDK_DISK_TYPE_MONOLITHIC_SPARSE || diskType == LIBVMDK_DISK_TYPE_STREAM_OPTIMIZED) &&
            libvmdk_handle_get_number_of_extents(raw, &extents, nullptr) == 1 && extents == 1) {
            libbfio_handle_t* self = nullptr;
            libbfio_pool_t* pool = nullptr;
            int entry = 0;
            if (libbfio_file_initialize(&self, nullptr) != 1 ||
                libbfio_file_set_name(self, path.c_str(), path.size(), nullptr) != 1 ||
                libbfio_pool_initialize(&pool, 0, LIBBFIO_POOL_UNLIMITED_NUMBER_OF_OPEN_HANDLES, nullptr) != 1) {
                if (self) libbfio_handle_free(&self, nullptr);
                return Fail(failure, "its extent could not be prepared");
            }
            m_pool.reset(pool);
            if (libbfio_pool_append_handle(pool, &entry, self, LIBBFIO_OPEN_READ, nullptr) != 1) {
                libbfio_handle_free(&self, nullptr);
                return Fail(failure, "its extent could not be prepared");
            }
            if (libvmdk_handle_open_extent_data_files_file_io_pool(raw, pool, &error) != 1)
                return Fail(failure, error.Take());
            return true;
        }
        if (libvmdk_handle_open_extent_data_files(raw, &error) == 1) return true;
        const std::string missing = MissingExtent(path);
        if (!missing.empty()) return Fail(failure, "its extent file " + missing + " is missing");
        return Fail(failure, error.Take());
    }

    // The first extent file the descriptor names that is not beside it; empty when all are.
    std::string MissingExtent(const std::string& path) const {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        int extents = 0;
        if (libvmdk_handle_get_number_of_extents(m_file.get(), &extents, nullptr) != 1) return {};
        for (int i = 0; i < extents; ++i) {
            libvmdk_extent_descriptor_t* extent = nullptr;
            if (libvmdk_handle_get_extent_descriptor(m_file.get(), i, &extent, nullptr) != 1) continue;
            size_t size = 0;
            std::string name;
            if (libvmdk_extent_descriptor_get_utf8_filename_size(extent, &size, nullptr) == 1 && size > 1) {
                std::vector<uint8_t> text(size);
                if (libvmdk_extent_descriptor_get_utf8_filename(extent, text.data(), size, nullptr) == 1)
                    name.assign(reinterpret_cast<const char*>(text.data()), size - 1);
            }
            libvmdk_extent_descriptor_free(&extent, nullptr);
            if (name.empty()) continue;
            std::string beside = folder + name.substr(name.rfind('/') + 1);
            if (access(beside.c_str(), R_OK) != 0) return beside;
        }
        return {};
    }

    static bool Fail(OpenFailure* failure, const std::string& why) {
        failure->error = EINVAL;
        failure->message = "the VMDK image could not be opened: " + why;
        return false;
    }

    // The pool (when the file is its own extent) outlives the handle that reads through it.
    std::unique_ptr<libbfio_pool_t, PoolDeleter> m_pool;
    std::unique_ptr<libvmdk_handle_t, FileDeleter> m_file;
};

}  // namespace

std::unique_ptr<ImageSource> OpenVmdkSource(const std::string& path, OpenFailure* failure) {
    auto source = std::make_unique<VmdkSource>();
    if (!source->Open(path, failure)) return nullptr;
    return source;
}

}  // namespace platform
