// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shared temporary folder, and the file helpers of the window program's
// tests.

#include "support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace gv::testing {

using TempFolder = gv::test::TempFolder;

inline std::string readFile(const std::string& path)
{
    // One bulk read: the carried identifier is megabytes, and a character
    // at a time is slow enough in a sanitizer build to trip the tests'
    // watchdogs.
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline bool exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found;
}

} // namespace gv::testing
