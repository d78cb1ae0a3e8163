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

// The same for a stream of `size` bytes read piece by piece: `read(offset,
// buffer, count)` fills the buffer from that offset of the stream and
// returns how many bytes it gave. Only as much is read as the output
// needs, so a large member costs what its first `limit` bytes cost.
using StreamReader = std::size_t (*)(void* context, std::uint64_t offset, std::uint8_t* buffer, std::size_t count);
std::optional<std::string> inflateRaw(StreamReader read, void* context, std::uint64_t size, std::size_t limit);

} // namespace gv::vonk
