// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace gv::vonk {

std::optional<std::string> inflateRaw(const std::uint8_t* data, std::size_t size, std::size_t limit)
{
    z_stream z{};
    // Negative window bits: a bare stream, without zlib's header and check.
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    std::string out(limit, '\0');
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX));
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(limit, UINT_MAX));
    int rc = Z_OK;
    while (rc == Z_OK && z.avail_out > 0 && z.avail_in > 0)
        rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = limit - z.avail_out;
    inflateEnd(&z);
    if (produced == 0 && rc != Z_STREAM_END)
        return std::nullopt;
    out.resize(produced);
    return out;
}

} // namespace gv::vonk
