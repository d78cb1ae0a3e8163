// SPDX-License-Identifier: GPL-3.0-or-later
// StopAndWait(): the blocking stop a closing window or a start that failed
// halfway relies on. After it returns the run must be over for good: no
// live or unreaped process of ours, no pipe, no late chunk, and the runner
// ready for the next run with its listener still in place.

#include "CommandLineWords.h"
#include "DOSOutputs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using gv::DOSOutputs;
using Clock = std::chrono::steady_clock;

const std::string kTestChild = GV_TEST_CHILD;

std::string commandOf(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + gv::quoteCommandWord(word);
    return line;
}

struct Chunks : gv::IReceiveOutputs, gv::IRunnerMessages {
    std::vector<std::string> chunks;
    std::vector<std::string> messages;
    void ReceiveOutputs(const std::string& CommandOutputs) override { chunks.push_back(CommandOutputs); }
    void ShowRunnerFailure(const std::string& message) override { messages.push_back(message); }
    std::string joined() const
    {
        std::string all;
        for (const std::string& c : chunks)
            all += c;
        return all;
    }
};

// The state letter of /proc/PID/stat (R, S, Z...) and the parent's pid;
// state 0 once the process is gone.
struct ProcInfo {
    char state = 0;
    pid_t parent = 0;
};

ProcInfo procInfo(pid_t pid)
{
    const int fd = ::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0)
        return {};
    const std::string text(buffer, static_cast<std::size_t>(n));
    const auto paren = text.rfind(')');
    if (paren == std::string::npos || paren + 4 >= text.size())
        return {};
    return {text[paren + 2], static_cast<pid_t>(std::atol(text.c_str() + paren + 4))};
}

bool running(pid_t pid)
{
    const char state = procInfo(pid).state;
    return state != 0 && state != 'Z' && state != 'X';
}

bool unreapedChildOfOurs(pid_t pid)
{
    const ProcInfo info = procInfo(pid);
    return info.state != 0 && info.parent == ::getpid();
}

long numberAfter(const std::string& text, const std::string& key)
{
    const auto at = text.find(key + " ");
    if (at == std::string::npos)
        return -1;
    return std::atol(text.c_str() + at + key.size() + 1);
}

template <typename Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds limit = 2000ms)
{
    const auto end = Clock::now() + limit;
    while (!predicate()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Pumps a started run as an event loop would until its output holds
// `marker` (or the run ends, or the time is up).
bool pumpUntil(DOSOutputs& runner, const std::string& marker, std::chrono::milliseconds limit = 3000ms)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (runner.Outputs().find(marker) != std::string::npos)
            return true;
        pollfd fd{runner.OutputFd(), POLLIN, 0};
        ::poll(&fd, 1, 20);
        if (!runner.PumpAvailable())
            return runner.Outputs().find(marker) != std::string::npos;
    }
    return false;
}

// Kills the listed process groups if the test has not finished in time,
// so a StopAndWait() that never returns fails the test instead of hanging.
class KillSwitch {
public:
    KillSwitch(std::vector<pid_t> groups, std::chrono::milliseconds limit)
        : m_thread([this, groups, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                  m_fired = true;
                  for (const pid_t group : groups)
                      if (group > 1)
                          ::kill(-group, SIGKILL);
              }
          })
    {
    }
    ~KillSwitch()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    bool fired() const { return m_fired; }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::atomic<bool> m_fired = false;
    std::thread m_thread;
};

struct Case {
    const char* name;
    std::vector<std::string> words;
    // Printed once the run is under way (for a printer, once it prints).
    // A number follows "pid" (the group leader) and "child" (a second
    // process of the group) if any.
    const char* marker;
};

std::vector<Case> cases()
{
    return {
        {"waiting group", {kTestChild, "hang"}, "child"},
        {"waiting group that ignores SIGTERM", {kTestChild, "hang-ignore-term"}, "child"},
        {"program that keeps printing", {"sh", "-c", "echo pid $$; exec yes"}, "y\ny\ny\ny\n"},
        {"program that keeps printing and ignores SIGTERM", {"sh", "-c", "echo pid $$; trap '' TERM; exec yes"},
         "y\ny\ny\ny\n"},
    };
}

TEST(StopAndWaitTest, EndsTheRunForGoodWithoutTellingTheListener)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        DOSOutputs runner;
        Chunks rec;
        runner.setListener(&rec);
        runner.setMessageSink(&rec);
        ASSERT_TRUE(runner.Start(commandOf(c.words)));
        ASSERT_TRUE(pumpUntil(runner, c.marker)) << runner.Outputs();
        const std::string seen = runner.Outputs();
        const pid_t pid = static_cast<pid_t>(numberAfter(seen, "pid"));
        const pid_t grandchild = static_cast<pid_t>(numberAfter(seen, "child"));
        ASSERT_GT(pid, 0) << seen;
        ASSERT_TRUE(running(pid));
        const std::size_t chunksBefore = rec.chunks.size();
        const std::string heard = rec.joined();

        {
            KillSwitch guard({pid}, 5000ms);
            const auto start = Clock::now();
            runner.StopAndWait();
            EXPECT_LT(Clock::now() - start, 1500ms);
            EXPECT_FALSE(guard.fired());
        }

        EXPECT_FALSE(runner.IsRunning());
        EXPECT_EQ(runner.OutputFd(), -1);
        EXPECT_FALSE(running(pid));
        EXPECT_FALSE(unreapedChildOfOurs(pid));
        if (grandchild > 0) {
            EXPECT_TRUE(eventually([&] { return !running(grandchild); }));
        }
        // Nothing reached the listener during the wait, not even the end.
        EXPECT_EQ(rec.chunks.size(), chunksBefore);
        EXPECT_FALSE(runner.PumpAvailable());
        EXPECT_EQ(rec.chunks.size(), chunksBefore);
        // What was read meanwhile is still part of the run's output.
        EXPECT_EQ(runner.Outputs().compare(0, heard.size(), heard), 0);
        EXPECT_GE(runner.Outputs().size(), heard.size());
        EXPECT_TRUE(rec.messages.empty());

        // The next run starts normally and the listener hears it all.
        rec.chunks.clear();
        EXPECT_EQ(runner.ExecuteCommand(commandOf({kTestChild, "raw", "6f6b"})), "ok");
        EXPECT_EQ(rec.joined(), "ok");
        ASSERT_FALSE(rec.chunks.empty());
        EXPECT_EQ(rec.chunks.back(), "");
    }
}

TEST(StopAndWaitTest, IdleRunnerIsLeftAsItWas)
{
    DOSOutputs runner;
    Chunks rec;
    runner.setListener(&rec);
    runner.setMessageSink(&rec);
    runner.StopAndWait();
    EXPECT_EQ(runner.Outputs(), "");
    ASSERT_EQ(runner.ExecuteCommand(commandOf({kTestChild, "raw", "6561726c696572"})), "earlier");
    rec.chunks.clear();

    const auto start = Clock::now();
    runner.StopAndWait();
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_EQ(runner.Outputs(), "earlier");
    EXPECT_TRUE(rec.chunks.empty());
    EXPECT_TRUE(rec.messages.empty());
    EXPECT_FALSE(runner.IsRunning());
}

// A writer that made itself a session leader cannot be reached by the
// group's signals; the wait still gives up on it in bounded time.
TEST(StopAndWaitTest, WriterOutsideTheGroupDoesNotHoldTheWaitOpen)
{
    DOSOutputs runner;
    Chunks rec;
    runner.setListener(&rec);
    ASSERT_TRUE(runner.Start(commandOf(
        {"sh", "-c", "echo pid $$; setsid sh -c 'echo escaped $$; exec sleep 6' & wait"})));
    ASSERT_TRUE(pumpUntil(runner, "escaped")) << runner.Outputs();
    const pid_t pid = static_cast<pid_t>(numberAfter(runner.Outputs(), "pid"));
    const pid_t escaped = static_cast<pid_t>(numberAfter(runner.Outputs(), "escaped"));
    ASSERT_GT(pid, 0);
    ASSERT_GT(escaped, 0);
    const std::size_t chunksBefore = rec.chunks.size();

    {
        KillSwitch guard({pid, escaped}, 5000ms);
        const auto start = Clock::now();
        runner.StopAndWait();
        EXPECT_LT(Clock::now() - start, 2500ms);
        EXPECT_FALSE(guard.fired());
    }
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_EQ(runner.OutputFd(), -1);
    EXPECT_FALSE(running(pid));
    EXPECT_FALSE(unreapedChildOfOurs(pid));
    EXPECT_EQ(rec.chunks.size(), chunksBefore);
    ::kill(-escaped, SIGKILL);
}

// A listener may give the run up too; it is inside the runner's read then,
// so the runner only stops and ends the run when that read goes on.
struct GiveUpOnFirstChunk : Chunks {
    DOSOutputs* runner = nullptr;
    void ReceiveOutputs(const std::string& CommandOutputs) override
    {
        Chunks::ReceiveOutputs(CommandOutputs);
        if (chunks.size() == 1)
            runner->StopAndWait();
    }
};

TEST(StopAndWaitTest, FromTheListenerItStopsAndTheRunEndsNormally)
{
    for (const bool blocking : {true, false}) {
        SCOPED_TRACE(blocking ? "ExecuteCommand" : "PumpAvailable");
        DOSOutputs runner;
        GiveUpOnFirstChunk rec;
        rec.runner = &runner;
        runner.setListener(&rec);
        // The child's own safety alarm bounds a run that never ends.
        const std::string line = commandOf({kTestChild, "hang"});
        const auto start = Clock::now();
        if (blocking) {
            runner.ExecuteCommand(line);
        } else {
            ASSERT_TRUE(runner.Start(line));
            pumpUntil(runner, "never printed", 3000ms);
        }
        EXPECT_LT(Clock::now() - start, 1500ms);
        const pid_t leader = static_cast<pid_t>(numberAfter(runner.Outputs(), "pid"));
        ASSERT_GT(leader, 0) << runner.Outputs();
        EXPECT_FALSE(runner.IsRunning());
        EXPECT_FALSE(running(leader));
        EXPECT_FALSE(unreapedChildOfOurs(leader));
        ASSERT_FALSE(rec.chunks.empty());
        EXPECT_EQ(rec.chunks.back(), "");
    }
}

} // namespace
