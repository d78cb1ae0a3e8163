// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a program the way the command-line tests need it: no input (standard
// input is /dev/null), standard output and error captured apart, an optional
// working folder, and a time limit after which the child is killed, so no
// test can hang on it.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace gv::test {

struct RunResult {
    int exit = -1; // exit status, or 128 + signal
    bool timedOut = false;
    std::string out;
    std::string err;
};

inline RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                            const std::string& cwd = {}, int timeoutMs = 60000)
{
    RunResult r;
    int outPipe[2], errPipe[2];
    // Close-on-exec, so a child started meanwhile from another thread does
    // not hold these pipes open and keep us reading past this child's end.
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return r;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
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
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    std::vector<std::string> argv{exe};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, exe.c_str(), &fa, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        r.err = "cannot start " + exe;
        return r;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buf[65536];
    while (open > 0) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            r.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    for (auto& f : fds) {
        if (f.fd >= 0)
            ::close(f.fd);
    }
    // A child may close its output and still run on: the time limit holds
    // for its end too.
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, r.timedOut ? 0 : WNOHANG);
        if (done == pid)
            break;
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return r; // nothing known of how it ended: exit stays -1
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            r.timedOut = true;
            ::kill(pid, SIGKILL);
        } else {
            ::usleep(5000);
        }
    }
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

} // namespace gv::test
