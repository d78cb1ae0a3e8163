// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/base/Crc32.h"

#include <array>

namespace gv::vonk {

namespace {

// Slicing-by-4 tables: the whole database is checked at every start, so the
// check must cost well under a millisecond per megabyte.
struct Tables {
    std::array<std::array<std::uint32_t, 256>, 4> t{};
    constexpr Tables()
    {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 4; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

constexpr Tables kTables;

} // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc)
{
    const auto& t = kTables.t;
    crc = ~crc;
    while (size >= 4) {
        crc ^= static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8)
            | (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
        crc = t[3][crc & 0xFF] ^ t[2][(crc >> 8) & 0xFF] ^ t[1][(crc >> 16) & 0xFF] ^ t[0][crc >> 24];
        data += 4;
        size -= 4;
    }
    while (size--)
        crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace gv::vonk
