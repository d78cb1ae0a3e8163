// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One rule the learner may write: a pattern at a fixed offset, or a string
// somewhere in the head or tail window.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vonk/learner/Sample.h"

namespace gv::learner {

struct LearnedRule {
    enum class Kind { At, Head, Tail };
    Kind kind = Kind::At;
    std::int64_t offset = 0; // At: from the start (>= 0) or from the end (< 0)
    std::size_t window = 0;  // Head, Tail: the N of "head N" / "tail N"
    std::vector<std::uint8_t> bytes;
    bool text = false;       // printable: written as a string, not hex

    // Filled in by the learner.
    int bits = 0;                 // evidence as the database ranks it
    std::size_t referenceHits = 0; // reference files in which the rule holds

    // Whether the rule holds for a file seen through its windows; a rule
    // that reaches beyond them does not hold.
    bool holds(const Sample& file) const;
    // The evidence the database gives the rule when it holds.
    int evidenceBits() const;
    // The rule in the definition source's syntax ("at 0 hex 4D 5A").
    std::string source() const;
};

} // namespace gv::learner
