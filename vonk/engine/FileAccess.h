#pragma once

#include <cstdint>
#include <string>

namespace gv::vonk {

// Opens a file for identification, or says why it will not be read. Special
// files (FIFO, socket, device) are recognised from their metadata and never
// opened, so a FIFO among the targets cannot block the run; the open itself
// is non-blocking as a second guard against a file swapped in meanwhile.
class FileAccess {
public:
    enum class Status {
        Ok,       // fd is open for reading
        Empty,    // a regular file of 0 bytes
        Skipped,  // not a failure: a folder met while listing a folder
        Failed,   // could not be read (missing, permission, special file...)
    };
    struct Result {
        Status status = Status::Failed;
        std::string reason;
        int fd = -1;
        std::uint64_t size = 0;
    };

    // `listed` says the path came from listing a folder (a subfolder there is
    // skipped rather than failed).
    static Result open(const std::string& path, bool listed);
};

// Closes the descriptor on scope exit.
class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard();
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;

private:
    int m_fd;
};

} // namespace gv::vonk
