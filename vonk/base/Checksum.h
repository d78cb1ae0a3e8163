// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace gv::vonk {

// The database's checksum: the low 32 bits of XXH3-64 over the data, seeded
// with `seed` (chain a header into a body by passing the header's value).
// It guards against damage, not against a forger: the loader's bounds checks
// keep a hostile file harmless, this tells a damaged one apart.
std::uint32_t checksum32(const std::uint8_t* data, std::size_t size, std::uint32_t seed = 0);

} // namespace gv::vonk
