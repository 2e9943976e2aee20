#include "common/logger/LLFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/logger/Logger.h"
#include "common/logger/MemoryProbe.h"
#include "platform/Win32.h"

namespace {
constexpr long kPathProbeLimit = 1000000;
constexpr const char* kLargeFileMessage = "LLFile: error: 32 bit function used to access >2GB file";
}  // namespace

LLFile::LLFile(const char* name) {
    LOGGER_CHECK_STRING(name);
    // An unreadable path would fault in the next line; it is a failed open instead.
    if (!IsReadableString(name, kPathProbeLimit)) throw static_cast<int>(kOpenFailed);
    g_Logger.InfoValue("LLFile: File to open:", name);
    const size_t length = std::strlen(name);
    m_pszName = static_cast<char*>(std::malloc(length + 1));
    if (!m_pszName) throw static_cast<int>(kNoMemory);
    std::memcpy(m_pszName, name, length + 1);

    const int fd = ::open(m_pszName, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder opens for reading here, but it is no file: refused as an open failure.
        ::close(fd);
        errno = EACCES;
    } else if (fd >= 0) {
        m_hFile = fd + 1;
    }
    if (fd < 0 || !m_hFile) {
        platform::SetLastErrorFromErrno();
        std::free(m_pszName);
        m_pszName = nullptr;
        throw static_cast<int>(kOpenFailed);
    }
    g_Logger.Info("File opened.");
    m_nSize = static_cast<uint64_t>(st.st_size);
}

LLFile::~LLFile() {
    if (m_hFile) ::close(m_hFile - 1);
    m_hFile = 0;
    std::free(m_pszName);
    m_pszName = nullptr;
}

uint32_t LLFile::GetSize32() {
    if (IsLarge()) {
        g_Logger.Error(kLargeFileMessage);
        throw static_cast<int>(kTooLarge);
    }
    return static_cast<uint32_t>(m_nSize);
}

long LLFile::Seek32(long position) {
    if (IsLarge()) {
        g_Logger.Error(kLargeFileMessage);
        throw static_cast<int>(kTooLarge);
    }
    if (!m_hFile) {
        g_Logger.Error("LLFile: cannot do Seek because file is not opened");
        throw static_cast<int>(kNotOpen);
    }
    // The upper word is 0: the position is taken as an unsigned 32-bit offset.
    const off_t offset = static_cast<off_t>(static_cast<uint32_t>(position));
    const off_t result = ::lseek(m_hFile - 1, offset, SEEK_SET);
    if (result < 0) platform::SetLastErrorFromErrno();
    if (result != static_cast<off_t>(position)) {
        g_Logger.Error("Seek failed: res != pos!");
        throw static_cast<int>(kSeekFailed);
    }
    return static_cast<long>(result);
}

int LLFile::Read(uint32_t bytes, void* buffer) {
    if (!m_hFile) {
        g_Logger.Error("File not opened");
        throw static_cast<int>(kNotOpen);
    }
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::read(m_hFile - 1, out + done, bytes - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            platform::SetLastErrorFromErrno();
            return FALSE;
        }
        if (n == 0) break;  // end of file: a short read is no error
        done += static_cast<size_t>(n);
    }
    return TRUE;
}

void* LLFile::ReadAt32(long position, uint32_t bytes) {
    if (IsLarge()) throw static_cast<int>(kTooLarge);
    Seek32(position);
    // calloc: zero-filled, and pages past the data are never touched.
    void* buffer = std::calloc(bytes ? bytes : 1, 1);
    if (!buffer) throw static_cast<int>(kNoMemory);
    try {
        Read(bytes, buffer);
    } catch (...) {
        std::free(buffer);
        throw;
    }
    return buffer;
}
