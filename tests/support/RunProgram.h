// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a program the way the command-line tests need it: no input (standard
// input is /dev/null, NUL on Windows), standard output and error captured
// apart, an optional working folder, and a time limit after which the child
// is killed, so no test can hang on it. Arguments and paths are UTF-8.

#include <chrono>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <thread>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace gv::test {

struct RunResult {
    int exit = -1; // exit status, or 128 + signal
    bool timedOut = false;
    std::string out;
    std::string err;
};

#ifdef _WIN32

inline std::wstring Widen(const std::string& s)
{
    if (s.empty())
        return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

// One argument quoted so that the C runtime's parsing of the command line
// (CommandLineToArgvW) gives it back unchanged.
inline std::wstring QuoteArgument(const std::wstring& a)
{
    if (!a.empty() && a.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return a;
    std::wstring q = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, L'\\');
    return q + L"\"";
}

inline RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                            const std::string& cwd = {}, int timeoutMs = 60000)
{
    RunResult r;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0))
        return r;
    if (!::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        ::CloseHandle(outRead);
        ::CloseHandle(outWrite);
        return r;
    }
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    std::wstring line = QuoteArgument(Widen(exe));
    for (const auto& a : args)
        line += L" " + QuoteArgument(Widen(a));
    const std::wstring folder = Widen(cwd);
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessW(Widen(exe).c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
        folder.empty() ? nullptr : folder.c_str(), &si, &pi);
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    if (nul != INVALID_HANDLE_VALUE)
        ::CloseHandle(nul);
    if (!started) {
        ::CloseHandle(outRead);
        ::CloseHandle(errRead);
        r.err = "cannot start " + exe;
        return r;
    }
    ::CloseHandle(pi.hThread);
    // A pipe is read to its end by a thread of its own, so a child that
    // fills one while we wait on the other cannot stall.
    auto drain = [](HANDLE h, std::string& into) {
        char buf[65536];
        DWORD n = 0;
        while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
            into.append(buf, n);
    };
    std::thread outReader(drain, outRead, std::ref(r.out));
    std::thread errReader(drain, errRead, std::ref(r.err));
    if (::WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_TIMEOUT) {
        r.timedOut = true;
        ::TerminateProcess(pi.hProcess, 128 + 9);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
    }
    outReader.join();
    errReader.join();
    DWORD code = 0;
    if (::GetExitCodeProcess(pi.hProcess, &code))
        r.exit = static_cast<int>(code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(outRead);
    ::CloseHandle(errRead);
    return r;
}

#else

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

#endif

} // namespace gv::test
