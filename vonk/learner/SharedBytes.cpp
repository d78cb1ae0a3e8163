// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/learner/SharedBytes.h"

#include <algorithm>

namespace gv::learner {

namespace {

// Shared runs over "views" of equal meaning: byteAt(sample, i) for i in
// [0, common), where common is what every sample has.
template <typename ByteAt>
std::vector<std::pair<std::size_t, std::size_t>> runs(const std::vector<Sample>& samples, std::size_t common,
    std::size_t minLength, ByteAt byteAt)
{
    std::vector<std::pair<std::size_t, std::size_t>> out; // [begin, end)
    std::size_t start = 0;
    bool open = false;
    for (std::size_t i = 0; i <= common; ++i) {
        bool same = i < common;
        if (same) {
            std::uint8_t b = byteAt(samples.front(), i);
            for (const Sample& s : samples) {
                if (byteAt(s, i) != b) {
                    same = false;
                    break;
                }
            }
        }
        if (same && !open) {
            start = i;
            open = true;
        } else if (!same && open) {
            if (i - start >= minLength)
                out.emplace_back(start, i);
            open = false;
        }
    }
    return out;
}

} // namespace

std::vector<ByteRun> SharedBytes::fromStart(const std::vector<Sample>& samples, std::size_t minLength)
{
    std::vector<ByteRun> out;
    if (samples.empty())
        return out;
    std::size_t common = samples.front().head.size();
    for (const Sample& s : samples)
        common = std::min(common, s.head.size());
    for (auto [b, e] : runs(samples, common, std::max<std::size_t>(minLength, 1),
             [](const Sample& s, std::size_t i) { return s.head[i]; })) {
        ByteRun r;
        r.offset = static_cast<std::int64_t>(b);
        r.bytes.assign(samples.front().head.begin() + static_cast<std::ptrdiff_t>(b),
            samples.front().head.begin() + static_cast<std::ptrdiff_t>(e));
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<ByteRun> SharedBytes::fromEnd(const std::vector<Sample>& samples, std::size_t minLength)
{
    std::vector<ByteRun> out;
    if (samples.empty())
        return out;
    std::size_t common = samples.front().tail.size();
    for (const Sample& s : samples)
        common = std::min(common, s.tail.size());
    // Index i counts back from the end: i = 0 is the last byte.
    auto back = [](const Sample& s, std::size_t i) { return s.tail[s.tail.size() - 1 - i]; };
    for (auto [b, e] : runs(samples, common, std::max<std::size_t>(minLength, 1), back)) {
        ByteRun r;
        r.offset = -static_cast<std::int64_t>(e);
        const auto& t = samples.front().tail;
        r.bytes.assign(t.end() - static_cast<std::ptrdiff_t>(e), t.end() - static_cast<std::ptrdiff_t>(b));
        out.push_back(std::move(r));
    }
    // Nearest the end first is how they were found; file order reads better.
    std::reverse(out.begin(), out.end());
    return out;
}

} // namespace gv::learner
