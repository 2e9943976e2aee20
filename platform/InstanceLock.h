// The single-instance lock: a file of a fixed name in the runtime folder, held with
// flock for the life of the process. A second process fails to take it.
#pragma once

#include <string>

namespace platform {

constexpr const char* kInstanceLockName = "QVR_936DA01F-9ABD-4d9d-80C7-02AF85C822A8";

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock (also when it already did).
    bool TryAcquire();
    void Release();
    bool Held() const { return m_hFile >= 0; }

    // $XDG_RUNTIME_DIR (absolute) or /tmp, with the lock file's name.
    static std::string LockPath();

private:
    int m_hFile = -1;
};

}  // namespace platform
