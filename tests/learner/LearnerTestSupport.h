#pragma once
// Helpers shared by the learner's tests: samples made in memory, a temporary
// folder, and child processes run with a time limit.

#include "Sample.h"

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

extern char** environ;

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

struct RunResult {
    int exit = -1;
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs exe with args, stdin from /dev/null, killing it after timeoutMs.
inline RunResult run(const std::string& exe, const std::vector<std::string>& args, int timeoutMs = 60000)
{
    RunResult r;
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0)
        return r;
    if (::pipe(errPipe) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return r;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&fa, outPipe[0]);
    posix_spawn_file_actions_addclose(&fa, errPipe[0]);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> argv{exe};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, exe.c_str(), &fa, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        r.err = "cannot start " + exe;
        return r;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buf[65536];
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            r.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        for (auto& f : fds) {
            if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = ::read(f.fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(f.fd);
                f.fd = -1;
                --open;
            } else {
                (&f == &fds[0] ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    for (auto& f : fds) {
        if (f.fd >= 0)
            ::close(f.fd);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

} // namespace gv::learner::test
