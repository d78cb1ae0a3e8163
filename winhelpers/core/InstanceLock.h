#pragma once

#include <string>

namespace gv {

// One running copy per user. The lock is a kernel lock (flock) on a file in
// the user's runtime folder, so it is released by the kernel when the
// holder ends in any way: a crash or a kill leaves no stale lock behind.
class InstanceLock {
public:
    // Where the lock lives: $XDG_RUNTIME_DIR, else the temporary folder
    // with the user's id in the name.
    static std::string DefaultPath();

    explicit InstanceLock(std::string path = DefaultPath());
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock; false when another live
    // process holds it. A lock file that cannot be opened at all, or that
    // belongs to another user (who could otherwise lock us out by holding
    // it), does not keep the program from starting (true, nothing held).
    bool TryAcquire();
    bool IsHeld() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace gv
