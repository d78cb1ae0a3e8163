// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/ByteSource.h"

#include "vonk/base/Platform.h"

#include <algorithm>
#include <cstring>

namespace gv::vonk {

std::size_t FdSource::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    return platform::readAt(m_fd, offset, dst, n);
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
