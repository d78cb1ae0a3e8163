// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace gv::vonk {

// The features the text model reads from a head, each hashed to 32 bits
// (never 0). The trainer (definitions/text-model/train.py) computes the very
// same ones; a change here is a change there, and a retrained model.
//
// Per line: every token (a word of letters, digits, '_' and non-ASCII bytes;
// a number, all alike; punctuation, in pieces of at most three characters),
// every pair of neighbouring tokens, the first token with the line's kind of
// indentation, and the last token. Of the comment block a file opens with,
// only the first marker. The first token past that block. Per head: how many
// lines are indented by tabs and by spaces, the mean line length and the
// share of words among the tokens, in coarse buckets.
struct TextFeature {
    std::uint32_t hash = 0;
    // The text it came from, for explanations: offset and length in the head.
    std::uint32_t pos = 0;
    std::uint32_t len = 0;
};

// Bytes of the head the model reads.
inline constexpr std::size_t kTextModelHead = 8192;

// Fills `out` (cleared first) with the features of `text`, cut to
// kTextModelHead bytes.
void textFeatures(std::string_view text, std::vector<TextFeature>& out);

// What `n` occurrences of one feature count: one, and one more per doubling,
// so that a long file's repetitions do not drown everything else.
inline std::uint32_t featureWeight(std::uint32_t n)
{
    std::uint32_t w = 0;
    while (n) {
        ++w;
        n >>= 1;
    }
    return w;
}

} // namespace gv::vonk
