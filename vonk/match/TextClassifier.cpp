// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextClassifier.h"

#include <algorithm>
#include <cstring>

namespace gv::vonk {

namespace {

// Control bytes that occur in ordinary text: BEL, BS, TAB, LF, VT, FF, CR, ESC
// and the DOS end-of-file mark SUB.
bool textControl(std::uint8_t c)
{
    return c == 7 || c == 8 || c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 26 || c == 27;
}

using Block = std::uint8_t __attribute__((vector_size(16)));

Block splat(std::uint8_t b)
{
    Block v;
    for (int k = 0; k < 16; ++k)
        v[k] = b;
    return v;
}

bool allSet(Block m)
{
    std::uint64_t lo, hi;
    std::memcpy(&lo, &m, 8);
    std::memcpy(&hi, reinterpret_cast<const char*>(&m) + 8, 8);
    return (lo & hi) == ~std::uint64_t{0};
}

// True when all sixteen bytes are printable ASCII, tabs or line ends.
bool plainBlock(const std::uint8_t* p)
{
    static const Block space = splat(0x20), del = splat(0x7F), tab = splat('\t'), lf = splat('\n'), cr = splat('\r');
    Block v;
    std::memcpy(&v, p, 16);
    return allSet(((v >= space) & (v < del)) | (v == tab) | (v == lf) | (v == cr));
}

std::size_t countZeros(const std::uint8_t* d, std::size_t n)
{
    static const Block zero = splat(0);
    std::size_t zeros = 0, i = 0;
    while (i + 16 <= n) {
        // Each lane counts to at most 255 before it is added up.
        Block lanes = zero;
        for (int round = 0; round < 255 && i + 16 <= n; ++round, i += 16) {
            Block v;
            std::memcpy(&v, d + i, 16);
            lanes -= (v == zero); // a match is all ones, that is -1
        }
        for (int k = 0; k < 16; ++k)
            zeros += lanes[k];
    }
    for (; i < n; ++i)
        zeros += d[i] == 0;
    return zeros;
}

bool plausible(std::uint32_t cp)
{
    if (cp < 0x20)
        return textControl(static_cast<std::uint8_t>(cp));
    if (cp == 0x7F || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return false;
    return cp < 0xFFFE;
}

// True when every code unit is a plausible text character.
bool utf16Text(const std::uint8_t* d, std::size_t n, bool big, bool truncated)
{
    std::size_t units = n / 2;
    if (units == 0)
        return false;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = big ? (d[2 * i] << 8 | d[2 * i + 1]) : (d[2 * i + 1] << 8 | d[2 * i]);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units)
                return truncated;
            std::uint32_t v = big ? (d[2 * i + 2] << 8 | d[2 * i + 3]) : (d[2 * i + 3] << 8 | d[2 * i + 2]);
            if (v < 0xDC00 || v > 0xDFFF)
                return false;
            ++i;
            continue;
        }
        if (!plausible(u))
            return false;
    }
    return true;
}

bool utf32Text(const std::uint8_t* d, std::size_t n, bool big)
{
    std::size_t units = n / 4;
    if (units == 0)
        return false;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint8_t* p = d + 4 * i;
        std::uint32_t u = big ? (std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3])
                              : (std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0]);
        if (!plausible(u))
            return false;
    }
    return true;
}

} // namespace

std::string TextInfo::describe() const
{
    std::string s;
    switch (encoding) {
    case Encoding::Binary: return "binary";
    case Encoding::Ascii: s = "ASCII"; break;
    case Encoding::Utf8: s = "UTF-8"; break;
    case Encoding::Utf16Le: s = "UTF-16LE"; break;
    case Encoding::Utf16Be: s = "UTF-16BE"; break;
    case Encoding::Utf32Le: s = "UTF-32LE"; break;
    case Encoding::Utf32Be: s = "UTF-32BE"; break;
    case Encoding::EightBit: s = "8-bit (not UTF-8)"; break;
    }
    if (bom)
        s += " with BOM";
    return s;
}

TextInfo classifyText(const std::uint8_t* d, std::size_t n, bool truncated)
{
    TextInfo info;
    if (n >= 4 && d[0] == 0xFF && d[1] == 0xFE && d[2] == 0 && d[3] == 0) {
        if (utf32Text(d + 4, n - 4, false) || n == 4)
            info = {Encoding::Utf32Le, true};
        return info;
    }
    if (n >= 4 && d[0] == 0 && d[1] == 0 && d[2] == 0xFE && d[3] == 0xFF) {
        if (utf32Text(d + 4, n - 4, true) || n == 4)
            info = {Encoding::Utf32Be, true};
        return info;
    }
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
        if (n == 2 || utf16Text(d + 2, n - 2, false, truncated))
            info = {Encoding::Utf16Le, true};
        return info;
    }
    if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF) {
        if (n == 2 || utf16Text(d + 2, n - 2, true, truncated))
            info = {Encoding::Utf16Be, true};
        return info;
    }
    bool bom8 = n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF;

    // Without a BOM, NUL bytes decide between wide encodings and binary.
    const bool anyZero = std::memchr(d, 0, n) != nullptr;
    if (anyZero && !bom8 && n >= 4) {
        // Wide text is checked unit by unit from the start: when its first
        // units already fail every wide reading, the whole must too, and
        // counting the zeros of a binary head is spared.
        const std::size_t m = std::min<std::size_t>(n, 256) & ~std::size_t{3};
        if (!utf16Text(d, m, false, true) && !utf16Text(d, m, true, true) && !utf32Text(d, m, false) && !utf32Text(d, m, true))
            return info;
    }
    const std::size_t zeros = anyZero ? countZeros(d, n) : 0;
    if (zeros && !bom8) {
        if (n >= 4 && n % 4 == 0 && zeros * 4 >= n * 2) {
            if (d[1] == 0 && d[2] == 0 && d[3] == 0 && utf32Text(d, n, false))
                return {Encoding::Utf32Le, false};
            if (d[0] == 0 && d[1] == 0 && d[2] == 0 && utf32Text(d, n, true))
                return {Encoding::Utf32Be, false};
        }
        if (n >= 2 && zeros * 3 >= n) {
            std::size_t evenZeros = 0, oddZeros = 0;
            for (std::size_t i = 0; i + 1 < n; i += 2) {
                evenZeros += d[i] == 0;
                oddZeros += d[i + 1] == 0;
            }
            if (oddZeros > evenZeros * 4 && utf16Text(d, n & ~std::size_t{1}, false, truncated))
                return {Encoding::Utf16Le, false};
            if (evenZeros > oddZeros * 4 && utf16Text(d, n & ~std::size_t{1}, true, truncated))
                return {Encoding::Utf16Be, false};
        }
        return info;
    }

    bool ascii = true, utf8 = true, eightBit = true;
    std::size_t i = bom8 ? 3 : 0;
    while (i < n) {
        // Most text is runs of printable ASCII: skip them sixteen at a time.
        if (i + 16 <= n && plainBlock(d + i)) {
            i += 16;
            continue;
        }
        std::uint8_t c = d[i];
        if (c < 0x80) {
            if ((c < 0x20 && !textControl(c)) || c == 0x7F)
                return info;
            ++i;
            continue;
        }
        ascii = false;
        if (c < 0xA0 && c != 0x85)
            eightBit = false; // C1 controls are rare in real 8-bit text
        if (!utf8) {
            ++i;
            continue;
        }
        int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (len == 0 || c > 0xF4) {
            utf8 = false;
            ++i;
            continue;
        }
        if (i + len > n) {
            // Cut by the end of the head: fine if what is there is well formed.
            bool ok = truncated;
            for (std::size_t k = i + 1; k < n; ++k)
                ok = ok && (d[k] & 0xC0) == 0x80;
            if (ok)
                break;
            utf8 = false;
            ++i;
            continue;
        }
        std::uint32_t cp = c & (0x7F >> len);
        for (int k = 1; k < len; ++k) {
            if ((d[i + k] & 0xC0) != 0x80) {
                utf8 = false;
                break;
            }
            cp = (cp << 6) | (d[i + k] & 0x3F);
        }
        if (utf8 && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)))
            utf8 = false;
        i += utf8 ? len : 1;
    }
    if (ascii)
        return {bom8 ? Encoding::Utf8 : Encoding::Ascii, bom8};
    if (utf8)
        return {Encoding::Utf8, bom8};
    if (eightBit)
        return {Encoding::EightBit, false};
    return info;
}

std::string asciiView(const std::uint8_t* d, std::size_t n, const TextInfo& info, std::size_t limit)
{
    std::string out;
    std::size_t start = 0;
    int unit = 1;
    bool big = false;
    switch (info.encoding) {
    case Encoding::Utf16Le: unit = 2; break;
    case Encoding::Utf16Be: unit = 2; big = true; break;
    case Encoding::Utf32Le: unit = 4; break;
    case Encoding::Utf32Be: unit = 4; big = true; break;
    default: break;
    }
    if (info.bom)
        start = info.encoding == Encoding::Utf8 ? 3 : static_cast<std::size_t>(unit);
    if (unit == 1) {
        std::size_t len = std::min(n - std::min(n, start), limit);
        out.assign(reinterpret_cast<const char*>(d + start), len);
        return out;
    }
    for (std::size_t i = start; i + unit <= n && out.size() < limit; i += unit) {
        std::uint32_t u = 0;
        for (int k = 0; k < unit; ++k)
            u = big ? (u << 8) | d[i + k] : u | (std::uint32_t{d[i + k]} << (8 * k));
        out += u < 0x80 ? static_cast<char>(u) : '?';
    }
    return out;
}

} // namespace gv::vonk
