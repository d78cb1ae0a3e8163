// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace gv::vonk {

// Unpacks a raw deflate stream (as ZIP members hold it) into at most `limit`
// bytes: a stream that would give more (a decompression bomb) is cut there.
// A stream that is damaged or cut short gives what came out before the
// damage; nothing at all (not even a clean empty stream) gives nullopt.
std::optional<std::string> inflateRaw(const std::uint8_t* data, std::size_t size, std::size_t limit);

} // namespace gv::vonk
