// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte signature language of the PRONOM registry and its container
// signatures, parsed into tokens and compiled into a SequenceProgram:
//
//   4D 5A  'text'          fixed bytes (hex pairs; Latin-1 strings in quotes)
//   ??                     any byte
//   {4} {2-8} {2-*} *      gaps: fixed, bounded, at least n, any length
//   (00 01|FF|'a' ??)      alternatives of fixed-width byte matchers
//   [30:39] [30-39]        a byte in a range; ['0'-'9'] too
//   [!00:1F]               a byte outside the range (or set)
//   [&01] [!&01]           a byte with (or without) all the mask's bits set
//   [00 0A 'aeiou' &80]    a byte out of a set of any of the above
//
// Whitespace between elements is ignored.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

struct SigToken {
    enum Kind : std::uint8_t { Byte, Set, Gap, Alt };
    Kind kind = Byte;
    std::uint8_t byte = 0;
    std::array<std::uint8_t, 32> set{}; // bit v of set[v / 8]
    std::uint32_t min = 0;              // gap: at least min, at most max
    std::uint32_t max = 0;              // (seq::kUnbounded: any)
    std::vector<std::vector<SigToken>> alternatives; // of Byte and Set tokens only

    static SigToken gap(std::uint32_t min, std::uint32_t max);
};
using SigPattern = std::vector<SigToken>;

// Parses `text`; on failure returns false and says why, with the position.
bool parseSignature(std::string_view text, SigPattern& out, std::string& error);

// The same pattern read from its end: tokens, fixed bytes and alternatives
// reversed, for patterns matched backward from the end of a file.
SigPattern reversedPattern(const SigPattern& p);

// Compiles to a SequenceProgram; empty (with `error`) when the pattern is
// beyond the program's limits or checks no byte.
std::vector<std::uint8_t> compileSignature(const SigPattern& p, std::string& error);

} // namespace gv::vonk
