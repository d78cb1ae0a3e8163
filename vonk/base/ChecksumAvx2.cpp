// SPDX-License-Identifier: GPL-3.0-or-later
// The checksum in 32-byte vectors, for processors that have them: this file
// alone is compiled for AVX2. It includes nothing but xxHash (inlined, so
// nothing of it is shared with the rest of the program): no code compiled
// for AVX2 may end up where a processor without it would run it.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstddef>
#include <cstdint>

namespace gv::vonk {

std::uint64_t xxh3Avx2(const std::uint8_t* data, std::size_t size, std::uint32_t seed)
{
    return XXH3_64bits_withSeed(data, size, seed);
}

} // namespace gv::vonk
