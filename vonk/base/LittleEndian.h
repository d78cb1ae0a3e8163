// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Little-endian integers read from bytes that need no alignment (container
// headers and directories).

#include <cstdint>

namespace gv::vonk {

inline std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

inline std::uint64_t le64(const std::uint8_t* p)
{
    return std::uint64_t{le32(p)} | (std::uint64_t{le32(p + 4)} << 32);
}

} // namespace gv::vonk
