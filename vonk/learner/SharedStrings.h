// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Printable strings that every sample holds somewhere in its head (or tail)
// window, wherever they sit.

#include "vonk/learner/Sample.h"

#include <cstddef>
#include <string>
#include <vector>

namespace gv::learner {

enum class Zone { Head, Tail };

struct SharedString {
    std::string text;
    Zone zone = Zone::Head;
    // The smallest window that holds the string in every sample: for the
    // head, the furthest end of its first occurrence; for the tail, the
    // furthest distance from the end to the start of its last occurrence.
    std::size_t reach = 0;
};

class SharedStrings {
public:
    // Maximal shared runs of printable ASCII (0x20..0x7E) of at least
    // minLength bytes, longest first. A string that lies inside a longer
    // shared one is not listed on its own.
    static std::vector<SharedString> find(const std::vector<Sample>& samples, Zone zone, std::size_t minLength);

    // Where the string lies within the window, as `reach` above; npos when
    // the window does not hold it.
    static std::size_t reachIn(const std::vector<std::uint8_t>& window, std::string_view text, Zone zone);
};

} // namespace gv::learner
