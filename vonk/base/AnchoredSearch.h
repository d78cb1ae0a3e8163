// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#define GV_ANCHORS_AVX2 1
#include <immintrin.h>
#else
#define GV_ANCHORS_AVX2 0
#endif

namespace gv::vonk {

// One byte of a pattern the search looks for first: its place in the
// pattern and its two accepted values (the same value twice when case does
// not apply).
struct AnchorByte {
    std::size_t at;
    std::uint8_t lower;
    std::uint8_t upper;
};

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

#if GV_ANCHORS_AVX2
inline bool anchorsWide()
{
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

// The dense part of findAnchored() 32 starts at a time, from s while a
// whole vector fits; s is left where the caller goes on.
template <typename Matches>
__attribute__((target("avx2"))) std::size_t findAgreeingWide(const std::uint8_t* data, std::size_t& s, std::size_t lastStart,
    const AnchorByte& first, const AnchorByte& second, Matches& matches)
{
    const __m256i fl = _mm256_set1_epi8(static_cast<char>(first.lower)), fu = _mm256_set1_epi8(static_cast<char>(first.upper));
    const __m256i sl = _mm256_set1_epi8(static_cast<char>(second.lower)), su = _mm256_set1_epi8(static_cast<char>(second.upper));
    for (; s + 32 <= lastStart + 1; s += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + s + first.at));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + s + second.at));
        const __m256i both = _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(x, fl), _mm256_cmpeq_epi8(x, fu)),
            _mm256_or_si256(_mm256_cmpeq_epi8(y, sl), _mm256_cmpeq_epi8(y, su)));
        for (auto m = static_cast<std::uint32_t>(_mm256_movemask_epi8(both)); m; m &= m - 1) {
            const std::size_t at = s + static_cast<std::size_t>(__builtin_ctz(m));
            if (matches(at))
                return at;
        }
    }
    return kNotFound;
}
#endif

// The first start s in [0, lastStart] where the first anchor's byte is at
// s + first.at and `matches(s)` holds, or kNotFound. The caller guarantees
// that every pattern position of every such start lies inside `data`.
//
// The first anchor is the pattern's rarest byte, found by memchr, which
// reads a vector of bytes per step while that byte is rare in the data.
// Where it is not (zeros in a bitmap, digits in a table, any byte in
// compressed data, which comes every few hundred bytes), each return of
// memchr costs more than the scan; the search then checks both anchors at
// sixteen starts at a time (thirty-two where the processor has the wider
// vectors), so that only starts where both bytes agree are tried.
template <typename Matches>
std::size_t findAnchored(const std::uint8_t* data, std::size_t lastStart, AnchorByte first, const AnchorByte* second,
    Matches&& matches)
{
    // Where each of the anchor's values occurs next at or after the start
    // looked at (kNotFound: not again), so no stretch is searched twice.
    const std::uint8_t* const anchor = data + first.at;
    auto next = [&](std::uint8_t value, std::size_t from) {
        auto* hit = static_cast<const std::uint8_t*>(std::memchr(anchor + from, value, lastStart - from + 1));
        return hit ? static_cast<std::size_t>(hit - anchor) : kNotFound;
    };
    std::size_t s = 0;
    std::size_t nextLower = next(first.lower, 0);
    std::size_t nextUpper = first.upper == first.lower ? kNotFound : next(first.upper, 0);
    std::size_t tries = 0;
    // A try per 1,024 starts or more, after a few: a return of memchr
    // costs as much as comparing both anchors over some hundreds of starts.
    auto dense = [&] { return second && tries >= 8 && s < tries * 1024; };
    while (s <= lastStart && !dense()) {
        if (nextLower != kNotFound && nextLower < s)
            nextLower = next(first.lower, s);
        if (nextUpper != kNotFound && nextUpper < s)
            nextUpper = next(first.upper, s);
        s = nextLower < nextUpper ? nextLower : nextUpper;
        if (s == kNotFound)
            return kNotFound;
        ++tries;
        if (matches(s))
            return s;
        ++s;
    }
    if (s > lastStart)
        return kNotFound;
    auto agrees = [&](std::size_t at) {
        const std::uint8_t x = data[at + first.at], y = data[at + second->at];
        return (x == first.lower || x == first.upper) && (y == second->lower || y == second->upper);
    };
#if GV_ANCHORS_AVX2
    if (anchorsWide()) {
        if (const std::size_t at = findAgreeingWide(data, s, lastStart, first, *second, matches); at != kNotFound)
            return at;
    }
#endif
#if defined(__SSE2__)
    const __m128i fl = _mm_set1_epi8(static_cast<char>(first.lower)), fu = _mm_set1_epi8(static_cast<char>(first.upper));
    const __m128i sl = _mm_set1_epi8(static_cast<char>(second->lower)), su = _mm_set1_epi8(static_cast<char>(second->upper));
    for (; s + 16 <= lastStart + 1; s += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + s + first.at));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + s + second->at));
        const __m128i both = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(x, fl), _mm_cmpeq_epi8(x, fu)),
            _mm_or_si128(_mm_cmpeq_epi8(y, sl), _mm_cmpeq_epi8(y, su)));
        for (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(both)); m; m &= m - 1) {
            const std::size_t at = s + static_cast<std::size_t>(__builtin_ctz(m));
            if (matches(at))
                return at;
        }
    }
#endif
    for (; s <= lastStart; ++s) {
        if (agrees(s) && matches(s))
            return s;
    }
    return kNotFound;
}

} // namespace gv::vonk
