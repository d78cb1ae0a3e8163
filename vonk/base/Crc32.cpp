// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/base/Crc32.h"

#include <zlib.h>

#include <algorithm>

namespace gv::vonk {

// The whole database is checked at every start, so the check must cost well
// under a millisecond per megabyte: zlib's CRC-32 (the same polynomial and
// conditioning) runs several bytes per table step.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc)
{
    uLong c = crc;
    while (size > 0) {
        const std::size_t n = std::min<std::size_t>(size, 1u << 30);
        c = ::crc32(c, data, static_cast<uInt>(n));
        data += n;
        size -= n;
    }
    return static_cast<std::uint32_t>(c);
}

} // namespace gv::vonk
