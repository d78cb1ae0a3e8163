// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file seen through two bounded windows: its first and last bytes. The
// learner never needs more, so memory stays bounded whatever the file's size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gv::learner {

struct Window {
    std::size_t head = 4096;
    std::size_t tail = 4096;
};

struct Sample {
    std::string path;
    std::uint64_t size = 0;
    std::vector<std::uint8_t> head; // first min(size, window.head) bytes
    std::vector<std::uint8_t> tail; // last min(size, window.tail) bytes

    // Convenience for tests and callers that already hold the whole content.
    static Sample fromBytes(std::string path, const std::vector<std::uint8_t>& bytes, const Window& window);
    static Sample fromText(std::string path, const std::string& text, const Window& window);
};

} // namespace gv::learner
