#pragma once
// Helpers shared by the learner's tests: samples made in memory, a temporary
// folder, and child processes run with a time limit.

#include "Sample.h"
#include "../support/RunProgram.h"

#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
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

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / ("vonk-learn-" + std::string(6, 'X'))).string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string write(const std::string& rel, const std::string& content) const
    {
        std::filesystem::path p = std::filesystem::path(m_path) / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }

private:
    std::string m_path;
};

using gv::test::RunResult;

// Runs exe with args, stdin from /dev/null, killing it after timeoutMs.
inline RunResult run(const std::string& exe, const std::vector<std::string>& args, int timeoutMs = 60000)
{
    return gv::test::RunProgram(exe, args, {}, timeoutMs);
}

} // namespace gv::learner::test
