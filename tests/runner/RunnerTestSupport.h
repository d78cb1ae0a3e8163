// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DOSOutputs.h"
#include "support/TempFolder.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace gv::test {

// Full paths of the helper programs, set by the build.
inline const std::string kChild = GV_TEST_CHILD;
inline const std::string kCmd = GV_TEST_CMD;

// Collects every chunk and every runner message.
struct Recorder : IReceiveOutputs, IRunnerMessages {
    std::vector<std::string> chunks;
    std::vector<std::string> messages;
    void ReceiveOutputs(const std::string& CommandOutputs) override { chunks.push_back(CommandOutputs); }
    void ShowRunnerFailure(const std::string& message) override { messages.push_back(message); }

    std::string joined() const
    {
        std::string all;
        for (const auto& c : chunks)
            all += c;
        return all;
    }
};

// Stops the runner from its own thread if a blocking run outlives the
// deadline, so a faulty runner fails the test instead of hanging it.
class Watchdog {
public:
    Watchdog(DOSOutputs& runner, std::chrono::milliseconds limit)
        : m_thread([this, &runner, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                  m_fired = true;
                  runner.Stop();
              }
          })
    {
    }
    ~Watchdog() { cancel(); }
    void cancel()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool fired() const { return m_fired; }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_fired = false;
    std::thread m_thread;
};

// A fresh folder, removed with everything in it afterwards.
class TempDir : public TempFolder {
public:
    TempDir()
        : TempFolder("gv-runner")
    {
    }

    std::string writeFile(const std::string& name, const std::string& text, mode_t mode) const
    {
        const std::string file = path() + "/" + name;
        std::ofstream(file, std::ios::binary) << text;
        ::chmod(file.c_str(), mode);
        return file;
    }
};

// The text of /proc/PID/stat, empty once the process is gone (it may go
// while we read, so no stream that throws on a failing read).
inline std::string procStat(pid_t pid)
{
    const int fd = ::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The third field of /proc/PID/stat: R, S, Z...; 0 when there is none.
inline char processState(pid_t pid)
{
    const std::string text = procStat(pid);
    const auto paren = text.rfind(')');
    if (paren == std::string::npos || paren + 2 >= text.size())
        return 0;
    return text[paren + 2];
}

inline pid_t parentOf(pid_t pid)
{
    const std::string text = procStat(pid);
    const auto paren = text.rfind(')');
    if (paren == std::string::npos || paren + 4 >= text.size())
        return 0;
    return static_cast<pid_t>(std::atol(text.c_str() + paren + 4));
}

// A process of ours that nobody has reaped: still a child of this one.
inline bool isUnreapedChildOfOurs(pid_t pid)
{
    return processState(pid) != 0 && parentOf(pid) == ::getpid();
}

inline bool isAlive(pid_t pid)
{
    const char state = processState(pid);
    return state != 0 && state != 'Z' && state != 'X';
}

// Reads the number that follows `key ` in `text`, -1 when absent.
inline long numberAfter(const std::string& text, const std::string& key)
{
    const auto at = text.find(key + " ");
    if (at == std::string::npos)
        return -1;
    return std::atol(text.c_str() + at + key.size() + 1);
}

} // namespace gv::test
