// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few POSIX string functions the engine uses that the Windows C
// runtime lacks, given to every Windows compilation by the build
// (cmake/Windows.cmake), so the engine's sources stay the same everywhere.

#ifdef __cplusplus
#include <cstddef>

inline const void* memrchr(const void* s, int c, std::size_t n)
{
    const auto* p = static_cast<const unsigned char*>(s);
    while (n > 0) {
        if (p[--n] == static_cast<unsigned char>(c))
            return p + n;
    }
    return nullptr;
}
#endif
