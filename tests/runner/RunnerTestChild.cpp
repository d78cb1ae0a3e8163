// SPDX-License-Identifier: GPL-3.0-or-later
// A child program for the runner tests: each mode produces one precise
// kind of output or process behaviour. Modes that wait for a signal arm
// an alarm first, so a faulty test can never leave them running for long.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr unsigned kSafetyAlarmSeconds = 20;

void writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::_Exit(3);
        }
        done += static_cast<std::size_t>(n);
    }
}

void out(const std::string& text) { writeAll(STDOUT_FILENO, text); }

std::string fromHex(const char* hex)
{
    std::string bytes;
    for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        const char pair[3] = {hex[i], hex[i + 1], 0};
        bytes += static_cast<char>(std::strtoul(pair, nullptr, 16));
    }
    return bytes;
}

[[noreturn]] void waitForever()
{
    ::alarm(kSafetyAlarmSeconds);
    for (;;)
        ::pause();
}

// The mode's process and one child of it hold the output and wait.
[[noreturn]] void hang(bool ignoreTerm)
{
    if (ignoreTerm)
        std::signal(SIGTERM, SIG_IGN);
    const pid_t child = ::fork();
    if (child == 0)
        waitForever();
    out("pid " + std::to_string(::getpid()) + " child " + std::to_string(child) + "\n");
    waitForever();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const char* arg = argc > 2 ? argv[2] : "0";

    if (mode == "bytes") {
        const long count = std::atol(arg);
        std::string text;
        for (long i = 0; i < count; ++i)
            text += static_cast<char>('a' + i % 26);
        out(text);
    } else if (mode == "bytes-then-hang") {
        // A flood, then silence with the output still open.
        out(std::string(static_cast<std::size_t>(std::atol(arg)), 'x'));
        waitForever();
    } else if (mode == "raw") {
        out(fromHex(arg));
    } else if (mode == "utf8split") {
        // 257 bytes in one atomic write: the first 256-byte read ends in
        // the middle of the final character.
        out(std::string(255, 'a') + "\xC3\xA9");
    } else if (mode == "interleave") {
        for (int i = 1; i <= 3; ++i) {
            writeAll(STDOUT_FILENO, "out" + std::to_string(i) + "\n");
            writeAll(STDERR_FILENO, "err" + std::to_string(i) + "\n");
        }
    } else if (mode == "stdin") {
        ::alarm(5);
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        out(n == 0 ? "stdin:eof\n" : n > 0 ? "stdin:data\n" : "stdin:error\n");
    } else if (mode == "fds") {
        std::string list = "fds:";
        for (int fd = 3; fd < 1024; ++fd) {
            if (::fcntl(fd, F_GETFD) != -1)
                list += " " + std::to_string(fd);
        }
        out(list + "\n");
    } else if (mode == "ids") {
        out("pid " + std::to_string(::getpid()) + " pgid " + std::to_string(::getpgrp()) + "\n");
    } else if (mode == "signals") {
        struct sigaction action {};
        ::sigaction(SIGPIPE, nullptr, &action);
        sigset_t blocked;
        ::sigprocmask(SIG_BLOCK, nullptr, &blocked);
        out(std::string("sigpipe:") + (action.sa_handler == SIG_DFL ? "default" : "changed")
            + " sigterm-blocked:" + (sigismember(&blocked, SIGTERM) ? "yes" : "no") + "\n");
    } else if (mode == "cwd") {
        char buffer[4096];
        out(std::string("cwd:") + (::getcwd(buffer, sizeof buffer) ? buffer : "?") + "\n");
    } else if (mode == "args") {
        std::string text;
        for (int i = 2; i < argc; ++i)
            text += std::string("[") + argv[i] + "]";
        out(text + "\n");
    } else if (mode == "background") {
        // The mode's process ends at once; its child keeps the output
        // open for a while and writes last.
        const pid_t child = ::fork();
        if (child == 0) {
            ::usleep(static_cast<useconds_t>(std::atol(arg)) * 1000);
            out("late\n");
            std::_Exit(0);
        }
        out("early\n");
    } else if (mode == "linger") {
        out("pid " + std::to_string(::getpid()) + "\n");
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
        ::usleep(static_cast<useconds_t>(std::atol(arg)) * 1000);
    } else if (mode == "hang") {
        hang(false);
    } else if (mode == "hang-ignore-term") {
        hang(true);
    } else {
        writeAll(STDERR_FILENO, "runner_test_child: unknown mode '" + mode + "'\n");
        return 2;
    }
    return 0;
}
