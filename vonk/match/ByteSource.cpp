// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace gv::vonk {

std::size_t FdSource::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(m_fd, dst + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

std::size_t MemorySource::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    // An empty read may come with no buffer at all (memcpy forbids null).
    if (offset >= m_data.size() || n == 0)
        return 0;
    std::size_t k = std::min<std::uint64_t>(n, m_data.size() - offset);
    std::memcpy(dst, m_data.data() + offset, k);
    return k;
}

} // namespace gv::vonk
