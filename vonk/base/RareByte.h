// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace gv::vonk {

// How often a byte turns up in the files the identifier reads, text and
// binary alike, coarsely: searches look for a pattern's rarest byte first.
inline int byteCommonness(std::uint8_t b)
{
    if (b == 0 || b == 0xFF || b == ' ' || b == '\n' || b == '\r' || b == '\t')
        return 4;
    if ((b | 0x20) >= 'a' && (b | 0x20) <= 'z')
        return 3;
    return b >= '0' && b <= '9' ? 2 : 1;
}

// The position of the rarest byte of `bytes[0..n)` among those whose mask
// byte is 0xFF (every byte when `mask` is null); n when none qualifies.
// `skip` is left out: the second rarest is rarestByte(..., first).
inline std::size_t rarestByte(const std::uint8_t* bytes, std::size_t n, const std::uint8_t* mask = nullptr,
    std::size_t skip = static_cast<std::size_t>(-1))
{
    std::size_t best = n;
    for (std::size_t i = 0; i < n; ++i) {
        if ((mask && mask[i] != 0xFF) || i == skip)
            continue;
        if (best == n || byteCommonness(bytes[i]) < byteCommonness(bytes[best]))
            best = i;
        if (byteCommonness(bytes[best]) == 1)
            break;
    }
    return best;
}

} // namespace gv::vonk
