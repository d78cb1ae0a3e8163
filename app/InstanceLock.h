#pragma once

#include <string>

namespace gv {

// A kernel lock (flock) on a file: one running copy per user (a file in the
// user's runtime folder) or per deployment folder (a file beside the
// deployed files). The kernel releases it when the holder ends in any way:
// a crash or a kill leaves no stale lock behind. The holder removes the
// file when it lets the lock go; a taker checks that the file it locked is
// still the one under the name, so a file removed meanwhile never lets two
// holders in.
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
    // Removes the file and lets the lock go (the destructor does the same).
    void Release();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace gv
