// The back-ends behind a raw source handle: a plain file or device, a split raw
// image, and the container formats read through their libraries. Internal to the
// platform layer; callers use RawVolume.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

class ImageSource {
public:
    virtual ~ImageSource() = default;

    // Bytes of the disk the source presents.
    virtual uint64_t Size() const = 0;

    // Reads count bytes at offset. 0 when all arrived (fewer only at the end of the
    // source), else an errno value with *done holding the good bytes before the
    // failure; a damaged range of a container fails with EIO.
    virtual int Read(void* buffer, size_t count, uint64_t offset, size_t* done) = 0;

    // The file that stands for a set of several (its first segment), whichever one was
    // named; empty when the named file is the source.
    virtual std::string IdentityPath() const { return {}; }
};

// Why the last OpenImageSource of this thread failed, for the user.
struct OpenFailure {
    int error = 0;        // errno value
    std::string message;  // empty when strerror(error) says it all
};

// Opens the source at path read-only; fd is the caller's descriptor of that path
// (the source borrows it and must not close it). Chooses the back-end by the file's
// bytes and, for split raw images, its name.
std::unique_ptr<ImageSource> OpenImageSource(const std::string& path, int fd, OpenFailure* failure);

// A plain file or block device read with pread through a borrowed descriptor.
std::unique_ptr<ImageSource> MakeFdSource(int fd);

// Container back-ends: nullptr with *failure filled when the library refuses the file.
std::unique_ptr<ImageSource> OpenEwfSource(const std::string& path, OpenFailure* failure);
// kind: "VHD" or "VHDX", for messages (libvhdi reads both).
std::unique_ptr<ImageSource> OpenVhdiSource(const std::string& path, const char* kind, OpenFailure* failure);
std::unique_ptr<ImageSource> OpenVmdkSource(const std::string& path, OpenFailure* failure);
std::unique_ptr<ImageSource> OpenQcowSource(const std::string& path, OpenFailure* failure);
// nullptr without a failure when path is not part of a split set of two or more.
std::unique_ptr<ImageSource> OpenSplitRawSource(const std::string& path, OpenFailure* failure);

// Shared by the library back-ends, whose handles are not thread-safe: every library
// call happens under the source's lock, a request is cut into bounded pieces, and a
// failed piece is read again sector by sector so the good bytes before the damage
// still arrive.
class LockedLibrarySource : public ImageSource {
public:
    uint64_t Size() const override { return m_size; }
    int Read(void* buffer, size_t count, uint64_t offset, size_t* done) final;

protected:
    // Reads exactly count bytes at offset (inside the disk) with the lock held; false
    // when the library failed or the range is known to be damaged.
    virtual bool ReadLocked(void* buffer, size_t count, uint64_t offset) = 0;

    uint64_t m_size = 0;

private:
    std::mutex m_lock;
};

}  // namespace platform
