// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the learner's tests: samples made in memory, a temporary
// folder, and child processes run with a time limit.

#include "vonk/learner/Sample.h"
#include "support/RunProgram.h"
#include "support/TempFolder.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace gv::learner::test {

inline std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

inline Sample sample(const std::string& content, const std::string& name = "s", Window w = {})
{
    return Sample::fromText(name, content, w);
}

inline std::string randomBytes(std::mt19937& rng, std::size_t n)
{
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

class TempDir : public gv::test::TempFolder {
public:
    TempDir()
        : TempFolder("vonk-learn")
    {
    }

    std::string write(const std::string& rel, const std::string& content) const
    {
        std::filesystem::path p = std::filesystem::path(path()) / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
};

using gv::test::RunResult;

// Runs exe with args, stdin from /dev/null, killing it after timeoutMs.
inline RunResult run(const std::string& exe, const std::vector<std::string>& args, int timeoutMs = 60000)
{
    return gv::test::RunProgram(exe, args, {}, timeoutMs);
}

} // namespace gv::learner::test
