// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace gv {

// A lock file held open without sharing and deleted on close: one running
// copy per user (a file in the user's local application-data folder) or
// per deployment folder (a file beside the deployed files). The system
// closes the handle when the holder ends in any way, so a crash or a kill
// leaves no stale lock behind; the file goes with it.
class InstanceLock {
public:
    // %LOCALAPPDATA%\gui-vonk\gui-vonk.lock, else the temporary folder.
    static std::string DefaultPath();

    explicit InstanceLock(std::string path = DefaultPath());
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock; false when another live
    // process holds it. A lock file that cannot be made at all (a
    // read-only folder) does not keep the program from starting (true,
    // nothing held).
    bool TryAcquire();
    bool IsHeld() const { return m_handle != nullptr; }
    // Lets the lock go and the file with it (the destructor does the same).
    void Release();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    void* m_handle = nullptr;
};

} // namespace gv
