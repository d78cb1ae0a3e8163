// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs of bytes that every sample holds at the same place: counted from the
// start within the head window, or from the end within the tail window.

#include "vonk/learner/Sample.h"

#include <cstdint>
#include <vector>

namespace gv::learner {

struct ByteRun {
    // From the start when >= 0; from the end when < 0 (-1 is the last byte).
    std::int64_t offset = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const ByteRun&) const = default;
};

class SharedBytes {
public:
    // Runs of at least minLength bytes, in offset order. An offset counts
    // only when every sample is long enough to have a byte there.
    static std::vector<ByteRun> fromStart(const std::vector<Sample>& samples, std::size_t minLength);
    // The same from the end; offsets are negative and runs are written in
    // file order (the run's first byte is at `offset` from the end).
    static std::vector<ByteRun> fromEnd(const std::vector<Sample>& samples, std::size_t minLength);
};

} // namespace gv::learner
