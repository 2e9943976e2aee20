#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Win32.h"

namespace platform {

InstanceLock::~InstanceLock() { Release(); }

std::string InstanceLock::LockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = (runtime && runtime[0] == '/') ? runtime : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder + kInstanceLockName;
}

bool InstanceLock::TryAcquire() {
    if (m_hFile >= 0) return true;
    // The file is left in place on exit: removing it could let a third process lock a
    // fresh file while a second still holds the old one.
    const int fd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        SetLastError(errno == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ErrnoToWin32(errno));
        ::close(fd);
        return false;
    }
    m_hFile = fd;
    return true;
}

void InstanceLock::Release() {
    if (m_hFile < 0) return;
    ::flock(m_hFile, LOCK_UN);
    ::close(m_hFile);
    m_hFile = -1;
}

}  // namespace platform
