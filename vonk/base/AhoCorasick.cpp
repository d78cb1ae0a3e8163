// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/base/AhoCorasick.h"

#include "vonk/base/AnchoredSearch.h"
#include "vonk/base/RareByte.h"

#include <algorithm>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define GV_NIBBLE_PAIRS 1
#include <immintrin.h>
#else
#define GV_NIBBLE_PAIRS 0
#endif

namespace gv::vonk {

std::size_t AhoCorasick::firstOf(const FewPattern& p, const std::uint8_t* data, std::size_t from, std::size_t lastStart)
{
    const std::size_t len = p.text.size();
    const std::uint8_t* base = data + from;
    auto matchesAt = [&](std::size_t s) {
        for (std::size_t i = 0; i < len; ++i) {
            if (kAsciiLower[base[s + i]] != static_cast<std::uint8_t>(p.text[i]))
                return false;
        }
        return true;
    };
    const AnchorByte first{p.anchor, p.lower, p.upper};
    const AnchorByte second{p.anchor2, p.lower2, p.upper2};
    const std::size_t at = findAnchored(base, lastStart - from, first, p.anchor2 < len ? &second : nullptr, matchesAt);
    return at == kNotFound ? kNotFound : from + at;
}

std::size_t AhoCorasick::findFew(const std::uint8_t* data, std::size_t size, Found* found) const
{
    // The patterns are looked for a stretch at a time, all of them in one
    // stretch before the next: the stretch is read from the cache each time
    // rather than the whole zone once per pattern.
    constexpr std::size_t kStretch = 16384;
    std::size_t n = 0;
    bool done[kFewPatterns] = {};
    std::size_t left = m_few.size();
    for (std::size_t from = 0; from < size && left; from += kStretch) {
        for (std::size_t i = 0; i < m_few.size(); ++i) {
            const FewPattern& p = m_few[i];
            const std::size_t len = p.text.size();
            const std::size_t end = std::min<std::size_t>(size, p.window.end);
            const std::size_t first = std::max<std::size_t>(from, p.window.from);
            if (done[i] || end < len || first > end - len)
                continue;
            const std::size_t lastStart = std::min(from + kStretch - 1, end - len);
            if (first > lastStart)
                continue;
            const std::size_t at = firstOf(p, data, first, lastStart);
            if (at != kNotFound) {
                found[n++] = {at + len, len, p.index};
                done[i] = true;
                --left;
            }
        }
    }
    std::sort(found, found + n, [](const Found& a, const Found& b) {
        return a.end != b.end ? a.end < b.end : a.length > b.length;
    });
    return n;
}

void AhoCorasick::build(const std::vector<std::string_view>& patterns, std::span<const Window> windows)
{
    m_few.clear();
    m_shortMode = false;
    const bool windowed = windows.size() == patterns.size();
    m_scanFrom = 0;
    if (windowed && !windows.empty()) {
        m_scanFrom = windows[0].from;
        for (const Window& w : windows)
            m_scanFrom = std::min<std::size_t>(m_scanFrom, w.from);
    }
    m_fewMode = patterns.size() <= kFewPatterns;
    if (m_fewMode) {
        for (std::uint32_t p = 0; p < patterns.size(); ++p) {
            if (patterns[p].empty())
                continue;
            FewPattern f{std::string(patterns[p]), p, 0, 0, 0, 0, 0, 0, windowed ? windows[p] : Window{}};
            const auto* text = reinterpret_cast<const std::uint8_t*>(f.text.data());
            auto upper = [](std::uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 32) : c; };
            f.anchor = static_cast<std::uint32_t>(rarestByte(text, f.text.size()));
            f.lower = text[f.anchor];
            f.upper = upper(f.lower);
            f.anchor2 = static_cast<std::uint32_t>(rarestByte(text, f.text.size(), nullptr, f.anchor));
            if (f.anchor2 < f.text.size()) {
                f.lower2 = text[f.anchor2];
                f.upper2 = upper(f.lower2);
            }
            m_few.push_back(std::move(f));
        }
        return;
    }
    // Byte classes: each byte used by a pattern gets its own class; the
    // scan folds case through the class map.
    m_class.fill(0);
    m_classes = 1;
    for (auto p : patterns) {
        for (char ch : p) {
            auto c = static_cast<std::uint8_t>(ch);
            if (m_class[c] == 0)
                m_class[c] = static_cast<std::uint8_t>(m_classes++);
            if (m_classes >= 255)
                break;
        }
    }
    // Patterns of two to four bytes, none left out for want of a class,
    // are looked up rather than walked.
    m_shortMode = m_classes < 255 && std::all_of(patterns.begin(), patterns.end(), [](std::string_view p) {
        return p.empty() || (p.size() >= 2 && p.size() <= 4);
    });
    if (m_shortMode) {
        buildShort(patterns);
        buildPairs(patterns);
        return;
    }
    std::array<std::uint8_t, 256> folded{};
    for (int b = 0; b < 256; ++b)
        folded[static_cast<std::size_t>(b)] = m_class[kAsciiLower[static_cast<std::size_t>(b)]];

    // Trie: each state keeps its children as a list (the table is filled
    // in one pass below, a row at a time).
    m_pattern.assign(1, kNone);
    m_out.assign(1, kNone);
    std::vector<std::uint32_t> firstChild(1, kNone), nextSibling(1, kNone);
    std::vector<std::uint8_t> edgeClass(1, 0);
    m_states = 1;
    for (std::uint32_t p = 0; p < patterns.size(); ++p) {
        std::uint32_t s = 0;
        bool ok = true;
        for (char ch : patterns[p]) {
            std::uint8_t c = m_class[static_cast<std::uint8_t>(ch)];
            if (c == 0) {
                ok = false; // more distinct bytes than classes: pattern left out
                break;
            }
            std::uint32_t next = firstChild[s];
            while (next != kNone && edgeClass[next] != c)
                next = nextSibling[next];
            if (next == kNone) {
                next = m_states++;
                m_pattern.push_back(kNone);
                m_out.push_back(kNone);
                nextSibling.push_back(firstChild[s]);
                firstChild[s] = next;
                firstChild.push_back(kNone);
                edgeClass.push_back(c);
            }
            s = next;
        }
        if (ok && s != 0 && m_pattern[s] == kNone)
            m_pattern[s] = p;
    }

    // Breadth-first: failure links become full transitions. A state's row
    // is its failure state's row (complete, as that state is shallower)
    // with its own edges put back. Each transition is written as the scan
    // reads it: the offset of the next state's row, flagged where that
    // state ends a pattern or leads to one through the output chain. Both
    // are known when a state is first reached: every state as shallow as
    // its failure state was reached before.
    m_table.assign(static_cast<std::size_t>(m_states) * m_classes, 0);
    std::vector<std::uint32_t> fail(m_states, 0);
    std::vector<std::uint32_t> queue;
    queue.reserve(m_states);
    auto reach = [&](std::uint32_t t, std::uint32_t f) {
        fail[t] = f;
        m_out[t] = m_pattern[f] != kNone ? f : m_out[f];
        queue.push_back(t);
        return t * m_classes | (m_pattern[t] != kNone || m_out[t] != kNone ? kOutputFlag : 0);
    };
    for (std::uint32_t t = firstChild[0]; t != kNone; t = nextSibling[t])
        m_table[edgeClass[t]] = reach(t, 0);
    for (std::size_t qi = 0; qi < queue.size(); ++qi) {
        const std::uint32_t s = queue[qi];
        std::uint32_t* row = m_table.data() + std::size_t{s} * m_classes;
        std::memcpy(row, m_table.data() + std::size_t{fail[s]} * m_classes, sizeof(std::uint32_t) * m_classes);
        for (std::uint32_t t = firstChild[s]; t != kNone; t = nextSibling[t])
            row[edgeClass[t]] = reach(t, (row[edgeClass[t]] & kStateMask) / m_classes);
    }
    m_class = folded;
    m_startCount = 0;
    for (int b = 0; b < 256; ++b) {
        auto c = m_class[static_cast<std::size_t>(b)];
        bool start = c != 0 && (m_table[c] & kStateMask) != 0;
        m_starts[static_cast<std::size_t>(b)] = start;
        if (start && m_startCount < kFewStarts) {
            Block v;
            for (int k = 0; k < 16; ++k)
                v[k] = static_cast<std::uint8_t>(b);
            m_startBlock[m_startCount] = v;
        }
        m_startCount += start;
    }
    m_fewStarts = m_startCount > 0 && m_startCount <= kFewStarts;
    buildPairs(patterns);
}

void AhoCorasick::buildShort(const std::vector<std::string_view>& patterns)
{
    m_shortCount = 0;
    m_shortLengths = 0;
    std::size_t slots = 16;
    while (slots < 4 * patterns.size())
        slots *= 2;
    m_short.assign(slots, ShortSlot{});
    m_shortTwos.assign((1u << kShortBits) / 64, 0);
    m_shortThrees.assign((1u << kShortBits) / 64, 0);
    m_shortShift = static_cast<unsigned>(64 - std::countr_zero(slots));
    for (std::uint32_t p = 0; p < patterns.size(); ++p) {
        const std::string_view text = patterns[p];
        if (text.empty())
            continue;
        std::uint32_t bytes = 0;
        for (std::size_t k = 0; k < text.size(); ++k)
            bytes |= std::uint32_t{static_cast<std::uint8_t>(text[k])} << (8 * k);
        // The same pattern twice answers with its first index, as the
        // automaton's state does.
        if (findShort(bytes, text.size()) != kNone)
            continue;
        const std::uint64_t key = shortKey(bytes, text.size());
        std::size_t i = shortSlot(key);
        while (m_short[i].key != 0)
            i = (i + 1) & (slots - 1);
        m_short[i] = {key, p};
        ++m_shortCount;
        m_shortLengths |= 1u << text.size();
        const std::uint32_t bit = text.size() == 2 ? twoHash(bytes) : threeHash(bytes);
        (text.size() == 2 ? m_shortTwos : m_shortThrees)[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
}

void AhoCorasick::buildPairs(const std::vector<std::string_view>& patterns)
{
    // An empty pattern never matches: it does not stand in the way.
    m_pairStarts = std::any_of(patterns.begin(), patterns.end(), [](std::string_view p) { return !p.empty(); })
        && std::all_of(patterns.begin(), patterns.end(), [](std::string_view p) { return p.empty() || p.size() >= 2; });
    m_pairs.clear();
    if (m_pairStarts) {
        m_pairs.assign(65536 / 64, 0);
        // Keyed by the bytes as they stand (first byte low): each pattern
        // byte and, for a letter, its upper-case twin, as the scan folds.
        auto cases = [](char ch) {
            const auto c = static_cast<std::uint8_t>(ch);
            return std::array<std::uint8_t, 2>{c, c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 32) : c};
        };
        for (std::string_view p : patterns) {
            if (p.empty())
                continue;
            for (std::uint8_t a : cases(p[0])) {
                for (std::uint8_t b : cases(p[1])) {
                    const std::uint32_t k = a | std::uint32_t{b} << 8;
                    m_pairs[k >> 6] |= std::uint64_t{1} << (k & 63);
                }
            }
        }
        buildNibblePairs(patterns);
    }
}

void AhoCorasick::buildNibblePairs(const std::vector<std::string_view>& patterns)
{
    m_nibblePairs = false;
    std::memset(m_nibbles, 0, sizeof m_nibbles);
    if (!simdPairs())
        return;
    // Eight groups of leading pairs, neighbours in byte order together, so
    // a group's nibbles combine into few pairs that begin no pattern.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> firsts;
    for (std::string_view p : patterns)
        if (!p.empty())
            firsts.emplace_back(kAsciiLower[static_cast<std::uint8_t>(p[0])], kAsciiLower[static_cast<std::uint8_t>(p[1])]);
    std::sort(firsts.begin(), firsts.end());
    firsts.erase(std::unique(firsts.begin(), firsts.end()), firsts.end());
    auto upper = [](std::uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 32) : c; };
    for (std::size_t k = 0; k < firsts.size(); ++k) {
        const auto bit = static_cast<std::uint8_t>(1u << (k * 8 / firsts.size()));
        for (std::uint8_t a : {firsts[k].first, upper(firsts[k].first)}) {
            m_nibbles[0][a & 15] |= bit;
            m_nibbles[1][a >> 4] |= bit;
        }
        for (std::uint8_t b : {firsts[k].second, upper(firsts[k].second)}) {
            m_nibbles[2][b & 15] |= bit;
            m_nibbles[3][b >> 4] |= bit;
        }
    }
    m_nibblePairs = true;
}

#if GV_NIBBLE_PAIRS
bool AhoCorasick::simdPairs()
{
    static const bool supported = __builtin_cpu_supports("ssse3");
    return supported;
}

__attribute__((target("ssse3"))) std::uint64_t AhoCorasick::pairCandidates(const std::uint8_t* data) const
{
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i lo0 = _mm_load_si128(reinterpret_cast<const __m128i*>(m_nibbles[0]));
    const __m128i hi0 = _mm_load_si128(reinterpret_cast<const __m128i*>(m_nibbles[1]));
    const __m128i lo1 = _mm_load_si128(reinterpret_cast<const __m128i*>(m_nibbles[2]));
    const __m128i hi1 = _mm_load_si128(reinterpret_cast<const __m128i*>(m_nibbles[3]));
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k + 1));
        __m128i m = _mm_and_si128(_mm_shuffle_epi8(lo0, _mm_and_si128(a, low)),
            _mm_shuffle_epi8(hi0, _mm_and_si128(_mm_srli_epi16(a, 4), low)));
        m = _mm_and_si128(m, _mm_shuffle_epi8(lo1, _mm_and_si128(b, low)));
        m = _mm_and_si128(m, _mm_shuffle_epi8(hi1, _mm_and_si128(_mm_srli_epi16(b, 4), low)));
        const auto none = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(m, _mm_setzero_si128())));
        mask |= std::uint64_t{~none & 0xFFFFu} << (16 * k);
    }
    return mask;
}
#else
bool AhoCorasick::simdPairs()
{
    return false;
}

std::uint64_t AhoCorasick::pairCandidates(const std::uint8_t*) const
{
    return ~std::uint64_t{0};
}
#endif

} // namespace gv::vonk
