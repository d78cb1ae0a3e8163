// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/base/Checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace gv::vonk {

#if defined(GV_CHECKSUM_AVX2)
std::uint64_t xxh3Avx2(const std::uint8_t* data, std::size_t size, std::uint32_t seed);
#endif

// Every start checks the whole database (megabytes), so the check has to
// cost a small fraction of a millisecond: XXH3 reads a few bytes per
// instruction where a table-driven CRC-32 needs several instructions a byte,
// and twice as many again with 32-byte vectors, where the processor has
// them (the same value either way).
std::uint32_t checksum32(const std::uint8_t* data, std::size_t size, std::uint32_t seed)
{
#if defined(GV_CHECKSUM_AVX2)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide)
        return static_cast<std::uint32_t>(xxh3Avx2(data, size, seed));
#endif
    return static_cast<std::uint32_t>(XXH3_64bits_withSeed(data, size, seed));
}

} // namespace gv::vonk
