// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/learner/Sample.h"

#include <algorithm>

namespace gv::learner {

Sample Sample::fromBytes(std::string path, const std::vector<std::uint8_t>& bytes, const Window& window)
{
    Sample s;
    s.path = std::move(path);
    s.size = bytes.size();
    std::size_t h = std::min(bytes.size(), window.head);
    std::size_t t = std::min(bytes.size(), window.tail);
    s.head.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(h));
    s.tail.assign(bytes.end() - static_cast<std::ptrdiff_t>(t), bytes.end());
    return s;
}

Sample Sample::fromText(std::string path, const std::string& text, const Window& window)
{
    return fromBytes(std::move(path), std::vector<std::uint8_t>(text.begin(), text.end()), window);
}

} // namespace gv::learner
