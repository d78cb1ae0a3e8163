// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Compiled byte sequences: the patterns with gaps, alternatives and byte sets
// that imported signatures are written in, as a small program kept in the
// database's pool. The compiler writes it, the loader validates it, the
// matcher runs it.
//
// A program is a list of steps, matched in order from position 0 of a view
// of the file (the head read forward, or the tail read backward for patterns
// anchored at the end, whose programs are stored reversed):
//
//   Lit  n b1..bn      n (1 to 255) fixed bytes
//   Set  bitmap[32]    one byte out of a set (bit v of byte v/8)
//   Gap  min max       skip min to max bytes (both u32; kUnbounded: any number)
//   Alt  n {len body}  one of n (2 to 255) alternatives, each a u16 length and
//                      a body of Lit and Set steps (all of them fixed width)
//
// A pattern that may start anywhere begins with Gap 0 kUnbounded; one at a
// fixed offset with Gap off off.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gv::vonk::seq {

enum Op : std::uint8_t { Lit = 1, Set = 2, Gap = 3, Alt = 4 };
inline constexpr std::uint32_t kUnbounded = 0xFFFFFFFFu;
inline constexpr std::size_t kMaxProgram = 4096;
inline constexpr std::size_t kMaxSteps = 256;

// Where the view starts: the file's first byte read forward, or its last read
// backward; a variable pattern is looked for in the head.
enum class Reference : std::uint8_t { Bof, Eof, Variable };
inline constexpr std::uint8_t kLastReference = static_cast<std::uint8_t>(Reference::Variable);

// One decoded step; `data` points into the program.
struct Step {
    Op op = Lit;
    std::uint32_t a = 0; // Lit: length; Gap: min; Alt: count
    std::uint32_t b = 0; // Gap: max; Alt: bytes of the alternatives
    const std::uint8_t* data = nullptr;
};

// Decodes a whole program; false when it is malformed (lengths out of range,
// a truncated step, an alternative that is not fixed width, too many steps).
bool decode(std::span<const std::uint8_t> program, std::vector<Step>& steps);

// A program that begins with fixed bytes at a fixed place (a literal
// first, or after a gap of fixed width) fails wherever those bytes differ:
// true when `bytes` (the view's first ones, in reading order, as many as
// are at hand) show that it fails. Reads only the program's first steps;
// false when it cannot tell.
bool failsAtStart(std::span<const std::uint8_t> program, const std::uint8_t* bytes, std::size_t count, bool backward);

// The width of an alternative's body, or -1 when malformed.
int bodyWidth(const std::uint8_t* body, std::size_t len);

// Roughly the bits of information the program checks: 8 per fixed byte, less
// for sets, the narrowest alternative, one bit less per doubling of a gap's
// freedom (16 for an unbounded one).
std::uint32_t evidence(std::span<const std::uint8_t> program);

// True when every fixed byte is printable text.
bool textLike(std::span<const std::uint8_t> program);

// The best run of fixed bytes to find candidates by: at a fixed distance
// from the view's start (`fixed`), or somewhere within the first `extent`
// bytes. Bytes are in view order. Empty `bytes` when there is none.
struct Hint {
    bool fixed = false;
    std::uint32_t offset = 0;
    std::uint32_t extent = 0;
    std::vector<std::uint8_t> bytes;
};
Hint hintOf(std::span<const std::uint8_t> program, std::uint32_t window);

} // namespace gv::vonk::seq
