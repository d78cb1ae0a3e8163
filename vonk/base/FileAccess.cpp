// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/base/FileAccess.h"

#include "vonk/base/Platform.h"

#include <algorithm>

namespace gv::vonk {

bool readWholeFile(const std::string& path, std::uint64_t limit, std::string& text, std::string& error)
{
    text.clear();
    FileAccess::Result file = FileAccess::open(path, false);
    if (file.status == FileAccess::Status::Empty)
        return true;
    if (file.status != FileAccess::Status::Ok) {
        error = file.reason;
        return false;
    }
    FdGuard guard(file.fd);
    const std::string tooLarge = "larger than " + std::to_string(limit) + " bytes, not read";
    if (file.size > limit) {
        error = tooLarge;
        return false;
    }
    // The file may grow while it is read: the limit holds for what is read.
    text.resize(static_cast<std::size_t>(file.size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == text.size())
            text.resize(std::min<std::uint64_t>(limit + 1, text.size() * 2));
        std::string readError;
        std::size_t n = platform::readAt(file.fd, got, reinterpret_cast<std::uint8_t*>(text.data()) + got, text.size() - got, &readError);
        if (!readError.empty()) {
            error = readError;
            text.clear();
            return false;
        }
        if (n == 0)
            break;
        got += n;
        if (got > limit) {
            error = tooLarge;
            text.clear();
            return false;
        }
    }
    text.resize(got);
    return true;
}

FdGuard::~FdGuard()
{
    if (m_fd >= 0)
        platform::closeFile(m_fd);
}

ClosingBatch::ClosingBatch(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1))
{
    // Reserved here so that adding never allocates (and never throws).
    m_fds.reserve(m_capacity);
}

ClosingBatch::~ClosingBatch()
{
    flush();
}

void ClosingBatch::add(int fd) noexcept
{
    if (fd < 0)
        return;
    m_fds.push_back(fd);
    if (m_fds.size() >= m_capacity)
        flush();
}

void ClosingBatch::flush() noexcept
{
    platform::closeFiles(m_fds);
    m_fds.clear();
}

} // namespace gv::vonk
