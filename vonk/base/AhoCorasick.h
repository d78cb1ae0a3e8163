// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

inline constexpr std::array<std::uint8_t, 256> kAsciiLower = [] {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<std::uint8_t>((i >= 'A' && i <= 'Z') ? i + 32 : i);
    return t;
}();

// Multi-pattern search over ASCII-lower-cased input. Patterns are given
// already lower-cased; a hit reports the pattern's index.
//
// The automaton is a full transition table (one row per trie node, one
// column per byte class; bytes that occur in no pattern share one class), so
// the scan costs one table load per input byte; a transition holds the
// offset of the next state's row, which spares a multiplication per byte.
//
// A handful of patterns is searched without the automaton: each pattern's
// rarest byte is looked for with a vector compare (memchr where case does
// not matter) and the pattern checked around it, which reads many bytes per
// instruction where the table walk reads one. Patterns of two to four bytes
// (the database's literals) are not walked either: each place where a
// pattern's first two bytes stand is looked up in a small table, for each
// length, so the lookups do not wait on one another as the walk's steps do.
// Every way reports each pattern in the order of the end of its first
// occurrence (a longer one first when two end together); the automaton and
// the lookups may also repeat a pattern at later occurrences.
class AhoCorasick {
public:
    // Where a pattern can lie, as offsets into what is scanned: it starts at
    // or after `from` and ends at or before `end`. Outside it a hit would
    // only make a candidate that its rule then rejects, so the search may
    // skip it: a handful of patterns is looked for only there, the
    // automaton starts at the earliest `from`.
    struct Window {
        std::uint32_t from = 0;
        std::uint32_t end = 0xFFFFFFFFu;
    };
    // `windows`, when given, has one entry per pattern.
    void build(const std::vector<std::string_view>& patterns, std::span<const Window> windows = {});
    bool empty() const { return m_fewMode ? m_few.empty() : m_shortMode ? m_shortCount == 0 : m_states <= 1; }

    template <typename OnHit>
    void scan(const std::uint8_t* data, std::size_t size, OnHit&& onHit) const
    {
        if (empty())
            return;
        if (m_fewMode) {
            Found found[kFewPatterns];
            std::size_t n = findFew(data, size, found);
            for (std::size_t i = 0; i < n; ++i)
                onHit(found[i].index);
            return;
        }
        if (m_shortMode) {
            scanShort(data, size, onHit);
            return;
        }
        std::uint32_t state = 0;
        const std::uint32_t* table = m_table.data();
        const std::uint8_t* cls = m_class.data();
        const std::uint32_t width = m_classes;
        PairBlock block;
        for (std::size_t i = m_scanFrom; i < size; ++i) {
            if (state == 0) {
                // At the root most bytes start no pattern: skip them with
                // independent loads instead of the dependent table walk.
                // Where every pattern has two bytes, a walk starts only at a
                // pair that begins one, found 64 starts at a time without a
                // branch per byte (in text, letters that start patterns are
                // everywhere); else sixteen bytes at a time when only a few
                // bytes can start one.
                if (m_pairStarts) {
                    i = nextPairStart(data, size, i, block);
                    if (i + 1 >= size)
                        break;
                } else {
                    if (m_fewStarts)
                        i = skipFew(data, size, i);
                    while (i < size && !m_starts[data[i]])
                        ++i;
                    if (i == size)
                        break;
                }
            }
            // The table holds each next state as the offset of its row.
            std::uint32_t next = table[state + cls[data[i]]];
            state = next & kStateMask;
            if (next & kOutputFlag) {
                for (std::uint32_t s = state / width; s != kNone; s = m_out[s]) {
                    if (m_pattern[s] != kNone)
                        onHit(m_pattern[s]);
                }
            }
        }
    }

    // At most this many patterns are searched one by one.
    static constexpr std::size_t kFewPatterns = 8;

private:
    // Short patterns: the lowered bytes (first byte lowest) with the length
    // above them, and the pattern's index; key 0 marks a free slot.
    struct ShortSlot {
        std::uint64_t key = 0;
        std::uint32_t index = 0;
    };
    static std::uint64_t shortKey(std::uint32_t bytes, std::size_t length) { return bytes | std::uint64_t{length} << 32; }
    // A two-byte pattern (the lowest two of `bytes`), or a longer one's
    // first three bytes, as a bit of m_shortTwos or m_shortThrees. The
    // bitmaps are small enough to stay in the nearest cache; a bit that
    // two share only costs a look in the table.
    static std::uint32_t twoHash(std::uint32_t bytes) { return ((bytes & 0xFFFFu) * 0x9E3779B1u) >> (32 - kShortBits); }
    static std::uint32_t threeHash(std::uint32_t bytes) { return ((bytes & 0xFFFFFFu) * 0x9E3779B1u) >> (32 - kShortBits); }
    static constexpr unsigned kShortBits = 14;
    static bool hasBit(const std::vector<std::uint64_t>& bits, std::uint32_t k) { return (bits[k >> 6] >> (k & 63)) & 1; }
    std::size_t shortSlot(std::uint64_t key) const
    {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shortShift);
    }
    // The pattern of `length` bytes that `bytes` spell, or kNone.
    std::uint32_t findShort(std::uint32_t bytes, std::size_t length) const
    {
        const std::uint64_t key = shortKey(bytes, length);
        const std::size_t mask = m_short.size() - 1;
        for (std::size_t i = shortSlot(key);; i = (i + 1) & mask) {
            if (m_short[i].key == key)
                return m_short[i].index;
            if (m_short[i].key == 0)
                return kNone;
        }
    }

    template <typename OnHit>
    void scanShort(const std::uint8_t* data, std::size_t size, OnHit&& onHit) const
    {
        // Hits come from the starts in order; one that ends sooner may be
        // found at a later start, so each waits until no later start can
        // end before it. At most three lengths from four starts wait.
        struct Hit {
            std::size_t end;
            std::size_t length;
            std::uint32_t index;
        };
        Hit waiting[12];
        std::size_t count = 0;
        auto release = [&](std::size_t upTo) {
            std::size_t k = 0;
            while (k < count && waiting[k].end <= upTo)
                onHit(waiting[k++].index);
            std::copy(waiting + k, waiting + count, waiting);
            count -= k;
        };
        for (std::size_t at = m_scanFrom; at + 1 < size; at += 64) {
            const std::uint64_t first = pairMask(data, size, at, std::min<std::size_t>(64, size - 1 - at));
            for (std::uint64_t starts = first; starts; starts &= starts - 1) {
                const std::size_t i = at + static_cast<std::size_t>(std::countr_zero(starts));
                // A hit from here ends after i + 1.
                release(i + 1);
                // Most starts begin no pattern beyond their pair: the first two
                // and three bytes are tested in bitmaps before the table.
                const std::size_t avail = std::min<std::size_t>(size - i, 4);
                std::uint32_t bytes = kAsciiLower[data[i]] | std::uint32_t{kAsciiLower[data[i + 1]]} << 8;
                const bool two = (m_shortLengths & 4u) && hasBit(m_shortTwos, twoHash(bytes));
                bool longer = false;
                if (avail > 2) {
                    bytes |= std::uint32_t{kAsciiLower[data[i + 2]]} << 16;
                    longer = hasBit(m_shortThrees, threeHash(bytes));
                    if (longer && avail > 3)
                        bytes |= std::uint32_t{kAsciiLower[data[i + 3]]} << 24;
                }
                if (!two && !longer)
                    continue;
                for (std::size_t length = two ? 2 : 3; length <= (longer ? avail : 2); ++length) {
                    if (!(m_shortLengths & (1u << length)))
                        continue;
                    const std::uint32_t index = findShort(length == 4 ? bytes : bytes & ((1u << (8 * length)) - 1), length);
                    if (index == kNone)
                        continue;
                    // Kept in order of end, a longer one first at the same end.
                    Hit h{i + length, length, index};
                    std::size_t slot = count;
                    while (slot > 0 && (waiting[slot - 1].end > h.end || (waiting[slot - 1].end == h.end && waiting[slot - 1].length < h.length))) {
                        waiting[slot] = waiting[slot - 1];
                        --slot;
                    }
                    waiting[slot] = h;
                    ++count;
                }
            }
        }
        release(size);
    }

    using Block = std::uint8_t __attribute__((vector_size(16)));

    struct FewPattern {
        std::string text;      // lower-cased
        std::uint32_t index;   // as given to build()
        std::uint32_t anchor;  // position of the byte searched for
        std::uint8_t lower;    // that byte, and its upper-case twin (or
        std::uint8_t upper;    // the same byte when case does not apply)
        std::uint32_t anchor2; // the next rarest byte, checked with the first
        std::uint8_t lower2;   // where that one turns out common; anchor2 is
        std::uint8_t upper2;   // the length when the pattern has one byte
        Window window;
    };
    struct Found {
        std::size_t end;
        std::size_t length;
        std::uint32_t index;
    };
    // Fills `found` with the patterns present, ordered as the automaton
    // would first report them; returns how many.
    std::size_t findFew(const std::uint8_t* data, std::size_t size, Found* found) const;
    // The first start of `p` in [from, lastStart] (lastStart + len <= size),
    // or kNotFound.
    static std::size_t firstOf(const FewPattern& p, const std::uint8_t* data, std::size_t from, std::size_t lastStart);

    // First position at or after i whose 16-byte block holds a start byte
    // (or the start of the last partial block).
    std::size_t skipFew(const std::uint8_t* data, std::size_t size, std::size_t i) const
    {
        while (i + 16 <= size) {
            Block v;
            std::memcpy(&v, data + i, 16);
            Block hit = v == m_startBlock[0];
            for (std::size_t k = 1; k < m_startCount; ++k)
                hit |= v == m_startBlock[k];
            std::uint64_t lo, hi;
            std::memcpy(&lo, &hit, 8);
            std::memcpy(&hi, reinterpret_cast<const char*>(&hit) + 8, 8);
            if (lo | hi)
                return i;
            i += 16;
        }
        return i;
    }

    // Which of 64 starts from `at` begin a pattern's first two bytes.
    struct PairBlock {
        std::size_t at = 0;
        std::size_t len = 0; // 0: none computed yet
        std::uint64_t mask = 0;
    };
    // The first start at or after i whose two bytes begin a pattern, or size.
    std::size_t nextPairStart(const std::uint8_t* data, std::size_t size, std::size_t i, PairBlock& b) const
    {
        for (;;) {
            if (b.len && i >= b.at && i - b.at < b.len) {
                const std::uint64_t rest = b.mask >> (i - b.at);
                if (rest)
                    return i + static_cast<std::size_t>(std::countr_zero(rest));
                i = b.at + b.len;
            }
            if (i + 1 >= size)
                return size;
            b.at = i;
            b.len = std::min<std::size_t>(64, size - 1 - i);
            b.mask = pairMask(data, size, i, b.len);
        }
    }

    // Which of the `len` (at most 64) starts from i have two bytes that
    // begin a pattern.
    std::uint64_t pairMask(const std::uint8_t* data, std::size_t size, std::size_t i, std::size_t len) const
    {
        const std::uint64_t* pairs = m_pairs.data();
        std::uint64_t mask = 0;
        auto pairAt = [&](std::size_t k) {
            const std::uint32_t key = data[i + k] | std::uint32_t{data[i + k + 1]} << 8;
            return (pairs[key >> 6] >> (key & 63)) & 1;
        };
        if (m_nibblePairs && len == 64 && size - i > 64) {
            // Starts whose two bytes may begin a pattern, 16 at a time;
            // only those are looked up.
            for (std::uint64_t maybe = pairCandidates(data + i); maybe; maybe &= maybe - 1) {
                const auto k = static_cast<std::size_t>(std::countr_zero(maybe));
                mask |= pairAt(k) << k;
            }
        } else {
            for (std::size_t k = 0; k < len; ++k)
                mask |= pairAt(k) << k;
        }
        return mask;
    }

    // A superset of the starts among data[0, 64) whose pair (with the next
    // byte; data[64] is read) begins a pattern: each byte's two nibbles are
    // looked up in tables of pattern groups with one shuffle per sixteen
    // bytes, a start kept when some group has both its bytes.
    std::uint64_t pairCandidates(const std::uint8_t* data) const;
    void buildNibblePairs(const std::vector<std::string_view>& patterns);
    void buildPairs(const std::vector<std::string_view>& patterns);
    void buildShort(const std::vector<std::string_view>& patterns);
    // Whether this processor runs pairCandidates.
    static bool simdPairs();

    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr std::uint32_t kOutputFlag = 0x80000000u;
    static constexpr std::uint32_t kStateMask = 0x7FFFFFFFu;

    std::uint32_t m_states = 0;
    std::uint32_t m_classes = 1;
    std::array<std::uint8_t, 256> m_class{};  // folded byte -> class
    std::array<bool, 256> m_starts{};         // byte can begin a pattern
    bool m_fewStarts = false;                 // at most kFewStarts such bytes
    static constexpr std::size_t kFewStarts = 8;
    std::size_t m_startCount = 0;
    Block m_startBlock[kFewStarts] = {};
    bool m_pairStarts = false;                // every pattern has two bytes or more:
    std::vector<std::uint64_t> m_pairs;       // the byte pairs (either case) that begin one
    bool m_nibblePairs = false;               // pairCandidates can run here
    // Per byte of the pair, by low and by high nibble: the groups with a
    // pattern whose byte there has that nibble.
    alignas(16) std::uint8_t m_nibbles[4][16] = {};
    std::vector<std::uint32_t> m_table;       // [row + class] -> next row | flag (row: state * classes)
    std::vector<std::uint32_t> m_pattern;     // pattern ending at a state
    std::vector<std::uint32_t> m_out;         // next state on the output chain
    bool m_fewMode = false;
    std::vector<FewPattern> m_few;
    bool m_shortMode = false;
    std::vector<ShortSlot> m_short; // a power of two long
    unsigned m_shortShift = 64;
    std::size_t m_shortCount = 0;
    unsigned m_shortLengths = 0; // bit n: some pattern has n bytes
    std::vector<std::uint64_t> m_shortTwos;   // the two-byte patterns, hashed
    std::vector<std::uint64_t> m_shortThrees; // the first three bytes of longer ones, hashed
    std::size_t m_scanFrom = 0; // no pattern starts before this
};

} // namespace gv::vonk
