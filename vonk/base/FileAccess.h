// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // skipped rather than failed); `regular` that a listing or a stat just
    // said it is a regular file, which spares looking at it again before
    // opening it. What a listing said is checked on what was opened; `size`,
    // what a stat of the path said just before, is taken as it stands.
    static Result open(const std::string& path, bool listed, bool regular = false,
        std::optional<std::uint64_t> size = std::nullopt);
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

// Descriptors of judged files, closed some at a time: over many small files
// a call into the system per file to close it is a large part of the run
// where each call carries a fixed cost, and a run of consecutive
// descriptors closes in one call. At most `capacity` wait; the rest close
// when the batch ends.
class ClosingBatch {
public:
    explicit ClosingBatch(std::size_t capacity);
    ~ClosingBatch();
    ClosingBatch(const ClosingBatch&) = delete;
    ClosingBatch& operator=(const ClosingBatch&) = delete;
    // Takes `fd` over; it may be closed at once.
    void add(int fd) noexcept;
    void flush() noexcept;

private:
    std::vector<int> m_fds;
    std::size_t m_capacity;
};

// Reads the whole of a regular file of at most `limit` bytes, for sources
// read in full (definitions, imported type lists). Anything else is refused
// with a reason and without reading: a FIFO would block the read and a
// device such as /dev/zero would never end.
bool readWholeFile(const std::string& path, std::uint64_t limit, std::string& text, std::string& error);

// Writes `bytes` as the whole content of `path` so that a reader never sees
// it half-written and a failed write leaves the old content: a regular file
// is written beside itself under a name no other writer uses, then renamed
// over. A symbolic link keeps being a link: the file it leads to is replaced.
// A device, FIFO or terminal (/dev/stdout) is written as it is, since a
// rename would replace it. On failure `error` says why ("cannot write ...").
bool replaceFile(const std::string& path, std::string_view bytes, std::string& error);

} // namespace gv::vonk
