// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/format/SequenceProgram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace gv::vonk::seq {

namespace {

std::uint32_t readU32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

int setSize(const std::uint8_t* bitmap)
{
    int n = 0;
    for (int i = 0; i < 32; ++i)
        n += std::popcount(bitmap[i]);
    return n;
}

int setBits(const std::uint8_t* bitmap)
{
    const int n = setSize(bitmap);
    return n <= 1 ? 8 : std::max(0, 8 - static_cast<int>(std::ceil(std::log2(static_cast<double>(n)))));
}

// Bits of a body of Lit and Set steps (already validated).
int bodyBits(const std::uint8_t* p, std::size_t len)
{
    int bits = 0;
    std::size_t i = 0;
    while (i < len) {
        if (p[i] == Lit) {
            bits += 8 * p[i + 1];
            i += 2 + p[i + 1];
        } else {
            bits += setBits(p + i + 1);
            i += 33;
        }
    }
    return bits;
}

int gapBits(std::uint32_t min, std::uint32_t max)
{
    if (max == kUnbounded)
        return 16;
    return static_cast<int>(std::log2(static_cast<double>(max - min) + 1.0));
}

} // namespace

int bodyWidth(const std::uint8_t* p, std::size_t len)
{
    int width = 0;
    std::size_t i = 0;
    while (i < len) {
        if (p[i] == Lit) {
            if (i + 2 > len || p[i + 1] == 0 || i + 2 + p[i + 1] > len)
                return -1;
            width += p[i + 1];
            i += 2 + p[i + 1];
        } else if (p[i] == Set) {
            if (i + 33 > len)
                return -1;
            width += 1;
            i += 33;
        } else {
            return -1;
        }
    }
    return width;
}

bool failsAtStart(std::span<const std::uint8_t> prog, const std::uint8_t* bytes, std::size_t count, bool backward)
{
    const std::uint8_t* p = prog.data();
    const std::size_t n = prog.size();
    std::size_t i = 0;
    std::uint64_t at = 0;
    if (n >= 9 && p[0] == Gap) {
        if (readU32(p + 1) != readU32(p + 5))
            return false;
        at = readU32(p + 1);
        i = 9;
    }
    if (i + 2 > n || p[i] != Lit || p[i + 1] == 0 || i + 2 + p[i + 1] > n)
        return false;
    const std::size_t len = p[i + 1];
    const std::uint8_t* lit = p + i + 2;
    if (at + len > count)
        return false;
    for (std::size_t k = 0; k < len; ++k) {
        const std::uint8_t b = backward ? bytes[count - 1 - (at + k)] : bytes[at + k];
        if (b != lit[k])
            return true;
    }
    return false;
}

bool decode(std::span<const std::uint8_t> prog, std::vector<Step>& steps)
{
    steps.clear();
    // Room for most programs at once.
    steps.reserve(8);
    if (prog.empty() || prog.size() > kMaxProgram)
        return false;
    const std::uint8_t* p = prog.data();
    const std::size_t n = prog.size();
    std::size_t i = 0;
    while (i < n) {
        if (steps.size() >= kMaxSteps)
            return false;
        Step s;
        s.op = static_cast<Op>(p[i]);
        switch (p[i]) {
        case Lit:
            if (i + 2 > n || p[i + 1] == 0 || i + 2 + p[i + 1] > n)
                return false;
            s.a = p[i + 1];
            s.data = p + i + 2;
            i += 2 + s.a;
            break;
        case Set:
            if (i + 33 > n)
                return false;
            s.data = p + i + 1;
            i += 33;
            break;
        case Gap:
            if (i + 9 > n)
                return false;
            s.a = readU32(p + i + 1);
            s.b = readU32(p + i + 5);
            if (s.b < s.a)
                return false;
            i += 9;
            break;
        case Alt: {
            if (i + 2 > n || p[i + 1] < 2)
                return false;
            s.a = p[i + 1];
            s.data = p + i + 2;
            std::size_t j = i + 2;
            for (std::uint32_t k = 0; k < s.a; ++k) {
                if (j + 2 > n)
                    return false;
                std::size_t len = std::size_t{p[j]} | std::size_t{p[j + 1]} << 8;
                if (len == 0 || j + 2 + len > n || bodyWidth(p + j + 2, len) <= 0)
                    return false;
                j += 2 + len;
            }
            s.b = static_cast<std::uint32_t>(j - (i + 2));
            i = j;
            break;
        }
        default:
            return false;
        }
        steps.push_back(s);
    }
    // A program that checks no byte at all would hold for every file.
    return std::any_of(steps.begin(), steps.end(), [](const Step& s) { return s.op != Gap; });
}

std::uint32_t evidence(std::span<const std::uint8_t> prog)
{
    std::vector<Step> steps;
    if (!decode(prog, steps))
        return 0;
    int bits = 0;
    for (const Step& s : steps) {
        switch (s.op) {
        case Lit: bits += 8 * static_cast<int>(s.a); break;
        case Set: bits += setBits(s.data); break;
        case Gap: bits -= gapBits(s.a, s.b); break;
        case Alt: {
            int least = 1 << 30;
            const std::uint8_t* q = s.data;
            for (std::uint32_t k = 0; k < s.a; ++k) {
                std::size_t len = std::size_t{q[0]} | std::size_t{q[1]} << 8;
                least = std::min(least, bodyBits(q + 2, len));
                q += 2 + len;
            }
            bits += least;
            break;
        }
        }
    }
    return static_cast<std::uint32_t>(std::clamp(bits, 2, 160));
}

bool textLike(std::span<const std::uint8_t> prog)
{
    std::vector<Step> steps;
    if (!decode(prog, steps))
        return false;
    for (const Step& s : steps) {
        if (s.op != Lit)
            continue;
        for (std::uint32_t k = 0; k < s.a; ++k) {
            std::uint8_t c = s.data[k];
            if (!(c >= 0x20 && c < 0x7F) && c != '\n' && c != '\r' && c != '\t')
                return false;
        }
    }
    return true;
}

Hint hintOf(std::span<const std::uint8_t> prog, std::uint32_t window)
{
    Hint best;
    std::vector<Step> steps;
    if (!decode(prog, steps))
        return best;
    // Where the current step may start: [lo, hi] from the view's start.
    std::uint64_t lo = 0, hi = 0;
    bool bestZero = true;
    for (const Step& s : steps) {
        switch (s.op) {
        case Lit: {
            bool zero = std::all_of(s.data, s.data + s.a, [](std::uint8_t c) { return c == 0; });
            if (lo == hi && lo + s.a <= window) {
                // A run at a fixed place is the cheapest trigger; zero runs
                // open too many binary files to be worth one.
                if (!best.fixed || (bestZero && !zero) || (zero == bestZero && s.a > best.bytes.size())) {
                    best.fixed = true;
                    best.offset = static_cast<std::uint32_t>(lo);
                    best.bytes.assign(s.data, s.data + s.a);
                    bestZero = zero;
                }
            } else if (!best.fixed && s.a >= 2 && s.a > best.bytes.size() && lo < window) {
                best.extent = static_cast<std::uint32_t>(std::min<std::uint64_t>(window, hi + s.a));
                best.offset = 0;
                best.bytes.assign(s.data, s.data + s.a);
                bestZero = zero;
            }
            lo += s.a;
            hi += s.a;
            break;
        }
        case Set:
            ++lo;
            ++hi;
            break;
        case Gap:
            lo += s.a;
            hi = s.b == kUnbounded ? std::uint64_t{window} * 2 : hi + s.b;
            break;
        case Alt: {
            std::uint32_t minW = ~0u, maxW = 0;
            const std::uint8_t* q = s.data;
            for (std::uint32_t k = 0; k < s.a; ++k) {
                std::size_t len = std::size_t{q[0]} | std::size_t{q[1]} << 8;
                auto w = static_cast<std::uint32_t>(bodyWidth(q + 2, len));
                minW = std::min(minW, w);
                maxW = std::max(maxW, w);
                q += 2 + len;
            }
            lo += minW;
            hi += maxW;
            break;
        }
        }
        hi = std::min<std::uint64_t>(hi, std::uint64_t{window} * 2);
    }
    // A fixed run of zeros is still better than none, but a literal is better
    // than a lone zero byte.
    if (best.fixed && bestZero && best.bytes.size() < 2)
        best = {};
    return best;
}

} // namespace gv::vonk::seq
