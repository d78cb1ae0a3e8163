// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/learner/SharedStrings.h"

#include <algorithm>
#include <string_view>

namespace gv::learner {

namespace {

bool printable(std::uint8_t b) { return b >= 0x20 && b <= 0x7E; }

std::string_view view(const std::vector<std::uint8_t>& v)
{
    return {reinterpret_cast<const char*>(v.data()), v.size()};
}

const std::vector<std::uint8_t>& windowOf(const Sample& s, Zone zone) { return zone == Zone::Head ? s.head : s.tail; }

} // namespace

std::size_t SharedStrings::reachIn(const std::vector<std::uint8_t>& window, std::string_view text, Zone zone)
{
    std::string_view w = view(window);
    if (zone == Zone::Head) {
        std::size_t p = w.find(text);
        return p == std::string_view::npos ? p : p + text.size();
    }
    std::size_t p = w.rfind(text);
    return p == std::string_view::npos ? p : w.size() - p;
}

std::vector<SharedString> SharedStrings::find(const std::vector<Sample>& samples, Zone zone, std::size_t minLength)
{
    std::vector<SharedString> found;
    if (samples.empty())
        return found;
    minLength = std::max<std::size_t>(minLength, 1);
    // Every shared string lies in the smallest window, so only its runs need
    // to be walked; the others are only searched.
    const Sample* base = &samples.front();
    for (const Sample& s : samples) {
        if (windowOf(s, zone).size() < windowOf(*base, zone).size())
            base = &s;
    }
    std::string_view b = view(windowOf(*base, zone));
    auto common = [&](std::size_t from, std::size_t len) {
        std::string_view t = b.substr(from, len);
        for (const Sample& s : samples) {
            if (&s != base && view(windowOf(s, zone)).find(t) == std::string_view::npos)
                return false;
        }
        return true;
    };

    std::size_t i = 0;
    while (i < b.size()) {
        if (!printable(static_cast<std::uint8_t>(b[i]))) {
            ++i;
            continue;
        }
        std::size_t runEnd = i;
        while (runEnd < b.size() && printable(static_cast<std::uint8_t>(b[runEnd])))
            ++runEnd;
        // Two pointers: if [s, e) is shared, so is [s + 1, e), so the end
        // never moves back and the run costs O(length) searches.
        std::size_t e = i;
        std::size_t lastEnd = i;
        for (std::size_t s = i; s + minLength <= runEnd; ++s) {
            if (e < s + minLength) {
                if (!common(s, minLength))
                    continue;
                e = s + minLength;
            }
            while (e < runEnd && common(s, e + 1 - s))
                ++e;
            if (e > lastEnd) {
                found.push_back({std::string(b.substr(s, e - s)), zone, 0});
                lastEnd = e;
            }
        }
        i = runEnd;
    }

    std::sort(found.begin(), found.end(), [](const SharedString& a, const SharedString& c) {
        return a.text.size() != c.text.size() ? a.text.size() > c.text.size() : a.text < c.text;
    });
    std::vector<SharedString> out;
    for (auto& f : found) {
        bool inside = std::any_of(out.begin(), out.end(),
            [&](const SharedString& o) { return o.text.find(f.text) != std::string::npos; });
        if (inside)
            continue;
        for (const Sample& s : samples)
            f.reach = std::max(f.reach, reachIn(windowOf(s, zone), f.text, zone));
        out.push_back(std::move(f));
    }
    return out;
}

} // namespace gv::learner
