// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/base/Checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace gv::vonk {

// Every start checks the whole database (megabytes), so the check has to
// cost a small fraction of a millisecond: XXH3 reads a few bytes per
// instruction where a table-driven CRC-32 needs several instructions a byte.
std::uint32_t checksum32(const std::uint8_t* data, std::size_t size, std::uint32_t seed)
{
    return static_cast<std::uint32_t>(XXH3_64bits_withSeed(data, size, seed));
}

} // namespace gv::vonk
