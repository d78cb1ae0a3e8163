// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds and reads sample and reference files. Only regular files are opened
// (a FIFO or device among the samples must not block the run), and only
// their bounded head and tail are read.

#include "vonk/learner/Sample.h"

#include <filesystem>
#include <string>
#include <vector>

namespace gv::learner {

class SampleReader {
public:
    explicit SampleReader(Window window) : m_window(window) {}

    // Reads one file's windows; false with a reason when it cannot be read
    // or is not a regular file.
    bool read(const std::filesystem::path& path, Sample& out, std::string& error) const;

    // Regular files in dir, sorted by path; hidden names (".x") are skipped,
    // and so is everything at or below `exclude` (when not empty). Listing
    // stops after `limit` files. Problems met on the way are appended.
    static std::vector<std::filesystem::path> listFiles(const std::filesystem::path& dir, bool recursive,
        const std::filesystem::path& exclude, std::size_t limit, std::vector<std::string>& problems);

    // At most n of the given paths, evenly spread over the list, so a capped
    // reference set still covers every folder of a corpus sorted by type.
    static std::vector<std::filesystem::path> spread(const std::vector<std::filesystem::path>& paths, std::size_t n);

    const Window& window() const { return m_window; }

private:
    Window m_window;
};

} // namespace gv::learner
