// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace gv::vonk {

std::optional<std::string> inflateRaw(const std::uint8_t* data, std::size_t size, std::size_t limit)
{
    struct Bytes {
        const std::uint8_t* data;
        std::size_t size;
    } bytes{data, size};
    auto read = [](void* context, std::uint64_t offset, std::uint8_t* buffer, std::size_t count) -> std::size_t {
        const auto& b = *static_cast<const Bytes*>(context);
        const std::size_t n = offset >= b.size ? 0 : std::min<std::size_t>(count, b.size - static_cast<std::size_t>(offset));
        if (n)
            std::memcpy(buffer, b.data + offset, n);
        return n;
    };
    return inflateRaw(read, &bytes, size, limit);
}

std::optional<std::string> inflateRaw(StreamReader read, void* context, std::uint64_t size, std::size_t limit)
{
    z_stream z{};
    // Negative window bits: a bare stream, without zlib's header and check.
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    // The output grows as it fills, up to the limit: most members asked
    // for are small, and most large ones are wanted only in part.
    std::string out(std::min<std::size_t>(limit, 16384), '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    // Text unpacks to several times its size: a piece of this size seldom
    // needs a second.
    std::uint8_t piece[16384];
    std::uint64_t offset = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_out == 0) {
            const std::size_t used = out.size();
            if (used >= limit)
                break;
            out.resize(std::min<std::size_t>(limit, std::min<std::size_t>(used * 4, UINT_MAX)));
            z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
            z.avail_out = static_cast<uInt>(out.size() - used);
        }
        if (z.avail_in == 0) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof piece, size - offset));
            const std::size_t got = want ? read(context, offset, piece, want) : 0;
            if (got == 0)
                break;
            offset += got;
            z.next_in = piece;
            z.avail_in = static_cast<uInt>(got);
        }
        rc = inflate(&z, Z_NO_FLUSH);
    }
    const std::size_t produced = out.size() - z.avail_out;
    inflateEnd(&z);
    if (produced == 0 && rc != Z_STREAM_END)
        return std::nullopt;
    out.resize(produced);
    return out;
}

} // namespace gv::vonk
