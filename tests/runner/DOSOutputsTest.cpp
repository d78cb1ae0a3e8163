// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLineWords.h"
#include "DOSOutputs.h"
#include "RunnerTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <functional>
#include <stdexcept>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>

namespace {

using namespace std::chrono_literals;
using gv::DOSOutputs;
using gv::test::isAlive;
using gv::test::isUnreapedChildOfOurs;
using gv::test::kChild;
using gv::test::numberAfter;
using gv::test::Recorder;
using gv::test::TempDir;
using gv::test::Watchdog;
using Clock = std::chrono::steady_clock;

const std::string kFFFD = "\xEF\xBF\xBD";

std::string child(const std::string& args)
{
    return gv::quoteCommandWord(kChild) + " " + args;
}

int openFdCount()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count;
}

// Waits (briefly) for a condition that the system settles on its own.
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

void expectGroupGone(const std::string& output)
{
    const long pid = numberAfter(output, "pid");
    const long grandchild = numberAfter(output, "child");
    ASSERT_GT(pid, 0) << output;
    ASSERT_GT(grandchild, 0) << output;
    EXPECT_FALSE(isAlive(static_cast<pid_t>(pid)));
    EXPECT_FALSE(isUnreapedChildOfOurs(static_cast<pid_t>(pid)));
    EXPECT_TRUE(eventually([&] { return !isAlive(static_cast<pid_t>(grandchild)); }));
}

class RunnerTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_runner.setListener(&m_rec);
        m_runner.setMessageSink(&m_rec);
    }

    // Blocking run under a watchdog: a run that hangs fails instead.
    std::string run(const std::string& line, std::chrono::milliseconds limit = 5000ms)
    {
        Watchdog dog(m_runner, limit);
        std::string result = m_runner.ExecuteCommand(line);
        dog.cancel();
        EXPECT_FALSE(dog.fired()) << "run outlived " << limit.count() << " ms: " << line;
        return result;
    }

    // Leaves a known earlier output behind, then forgets its events.
    void runEarlier()
    {
        ASSERT_EQ(run(child("raw 6561726c696572")), "earlier");
        m_rec.chunks.clear();
    }

    void expectFinalEmptyChunk()
    {
        ASSERT_FALSE(m_rec.chunks.empty());
        EXPECT_EQ(m_rec.chunks.back(), "");
    }

    DOSOutputs m_runner;
    Recorder m_rec;
};

TEST_F(RunnerTest, EmptyCommandLineIsReportedAndChangesNothing)
{
    runEarlier();
    m_runner.setCommandLine("");
    EXPECT_EQ(m_runner.ExecuteCommand(""), "");
    EXPECT_EQ(m_rec.messages, std::vector<std::string>{"Command Line empty"});
    EXPECT_TRUE(m_rec.chunks.empty());
    EXPECT_EQ(m_runner.Outputs(), "earlier");
    EXPECT_EQ(m_runner.CommandLine(), "");
    EXPECT_FALSE(m_runner.Start());
    EXPECT_EQ(m_rec.messages.size(), 2u);
}

TEST_F(RunnerTest, ProgramThatCannotStartIsReportedAndLeavesNothingOpen)
{
    TempDir dir;
    const std::string noExec = dir.writeFile("noexec", "#!/bin/sh\necho hi\n", 0644);
    const std::string garbage = dir.writeFile("garbage", "this is no program\n", 0755);
    const std::string lines[] = {
        "gv-no-such-program-anywhere",
        "gv-no-such-program-anywhere with args",
        "/nonexistent/folder/prog",
        "./gv-not-here",
        gv::quoteCommandWord(noExec),
        gv::quoteCommandWord(garbage),
        gv::quoteCommandWord(dir.path()),
        "   ",
        "''",
    };
    runEarlier();
    const int fdsBefore = openFdCount();
    for (const std::string& line : lines) {
        m_rec.messages.clear();
        EXPECT_EQ(m_runner.ExecuteCommand(line), "") << line;
        EXPECT_EQ(m_rec.messages, std::vector<std::string>{"File or command not found"}) << line;
        EXPECT_TRUE(m_rec.chunks.empty()) << line;
        EXPECT_EQ(m_runner.Outputs(), "earlier") << line;
        // The argument stays the command line even though the run failed.
        EXPECT_EQ(m_runner.CommandLine(), line);
        EXPECT_FALSE(m_runner.IsRunning());
    }
    EXPECT_EQ(openFdCount(), fdsBefore);
}

TEST_F(RunnerTest, PipeFailureIsReportedWithTheErrorNumber)
{
    // One failure reported while descriptors are still free: a sanitizer
    // build checks the sink's dynamic type on its first call, and that
    // check opens a file of its own.
    m_runner.ExecuteCommand("gv-no-such-program-anywhere");
    m_rec.messages.clear();
    runEarlier();
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = 3; // standard descriptors only: no room for a pipe
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const std::string result = m_runner.ExecuteCommand(child("bytes 10"));
    ::setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(result, "");
    EXPECT_EQ(m_rec.messages, std::vector<std::string>{"CreatePipe failed. Error: " + std::to_string(EMFILE)});
    EXPECT_TRUE(m_rec.chunks.empty());
    EXPECT_EQ(m_runner.Outputs(), "earlier");
}

TEST_F(RunnerTest, WithoutSinkMessagesGoToStandardError)
{
    DOSOutputs quiet;
    testing::internal::CaptureStderr();
    EXPECT_EQ(quiet.ExecuteCommand("gv-no-such-program-anywhere"), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "File or command not found\n");
}

TEST_F(RunnerTest, CommandThatPrintsNothingGivesOneEmptyChunk)
{
    runEarlier();
    EXPECT_EQ(run(child("raw ''")), "");
    EXPECT_EQ(m_rec.chunks, std::vector<std::string>{""});
    EXPECT_EQ(m_runner.Outputs(), "");
    EXPECT_TRUE(m_rec.messages.empty());
}

TEST_F(RunnerTest, OutputArrivesInReadsOfAtMost256BytesThenAnEmptyChunk)
{
    std::string expected;
    for (int i = 0; i < 600; ++i)
        expected += static_cast<char>('a' + i % 26);

    const std::string result = run(child("bytes 600"));
    EXPECT_EQ(result, expected);
    EXPECT_EQ(m_runner.Outputs(), expected);
    EXPECT_EQ(m_rec.joined(), expected);
    expectFinalEmptyChunk();
    EXPECT_GE(m_rec.chunks.size(), 4u); // 600 bytes need three reads at least
    for (std::size_t i = 0; i < m_rec.chunks.size(); ++i) {
        EXPECT_LE(m_rec.chunks[i].size(), 256u) << "chunk " << i;
        if (i + 1 < m_rec.chunks.size()) {
            EXPECT_FALSE(m_rec.chunks[i].empty()) << "chunk " << i;
        }
    }
}

TEST_F(RunnerTest, BytesPassUnchangedOrAsReplacementCharacters)
{
    const struct {
        const char* hex;
        std::string expected;
    } cases[] = {
        {"610062", std::string("a\0b", 3)},
        {"0d0a0d", "\r\n\r"},
        {"636166666fc3a8", "caffo\xC3\xA8"},
        {"61ff62", "a" + kFFFD + "b"},
        {"6fe282", "o" + kFFFD}, // cut short by the end of output
    };
    for (const auto& c : cases) {
        m_rec.chunks.clear();
        EXPECT_EQ(run(child(std::string("raw ") + c.hex)), c.expected) << c.hex;
        EXPECT_EQ(m_rec.joined(), c.expected) << c.hex;
        expectFinalEmptyChunk();
    }
}

TEST_F(RunnerTest, CharacterSplitBetweenReadsArrivesWholeInTheLaterChunk)
{
    run(child("utf8split"));
    const std::vector<std::string> expected{std::string(255, 'a'), "\xC3\xA9", ""};
    EXPECT_EQ(m_rec.chunks, expected);
}

TEST_F(RunnerTest, StandardOutputAndErrorInterleaveInWritingOrder)
{
    EXPECT_EQ(run(child("interleave")), "out1\nerr1\nout2\nerr2\nout3\nerr3\n");
}

TEST_F(RunnerTest, StandardInputIsEmpty)
{
    EXPECT_EQ(run(child("stdin")), "stdin:eof\n");
}

TEST_F(RunnerTest, WordsReachTheProgramExactlyAsQuoted)
{
    EXPECT_EQ(run(child(R"(args "a b" 'c "d"' e\ f \\ "" $HOME *)")), "[a b][c \"d\"][e f][\\][][$HOME][*]\n");
}

TEST_F(RunnerTest, ChildHasItsOwnGroupDefaultSignalsAndNoOtherDescriptors)
{
    // Things the host may have done that must not reach the child.
    const int stray = ::open("/dev/null", O_RDONLY); // no close-on-exec
    ASSERT_GE(stray, 0);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t old;
    ::pthread_sigmask(SIG_BLOCK, &term, &old);

    const std::string fds = run(child("fds"));
    const std::string signals = run(child("signals"));
    const std::string ids = run(child("ids"));

    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::close(stray);

    EXPECT_EQ(fds, "fds:\n");
    EXPECT_EQ(signals, "sigpipe:default sigterm-blocked:no\n");
    const long pid = numberAfter(ids, "pid");
    ASSERT_GT(pid, 0) << ids;
    EXPECT_EQ(numberAfter(ids, "pgid"), pid);
    EXPECT_NE(numberAfter(ids, "pgid"), static_cast<long>(::getpgrp()));
}

TEST_F(RunnerTest, ChildrenAreReapedAndDescriptorsClosedWhenTheOutputEnds)
{
    const int fdsBefore = openFdCount();
    for (int i = 0; i < 5; ++i) {
        const long pid = numberAfter(run(child("ids")), "pid");
        ASSERT_GT(pid, 0);
        EXPECT_FALSE(isUnreapedChildOfOurs(static_cast<pid_t>(pid))) << "run " << i;
    }
    EXPECT_EQ(openFdCount(), fdsBefore);
}

struct ThrowOnFirstOutput : Recorder {
    void ReceiveOutputs(const std::string& chunk) override
    {
        Recorder::ReceiveOutputs(chunk);
        if (!chunk.empty())
            throw std::runtime_error("listener failed");
    }
};

TEST_F(RunnerTest, ListenerThatThrowsEndsTheRunAndTheGroup)
{
    ThrowOnFirstOutput thrower;
    m_runner.setListener(&thrower);
    EXPECT_THROW(m_runner.ExecuteCommand(child("hang")), std::runtime_error);
    EXPECT_FALSE(m_runner.IsRunning());
    expectGroupGone(thrower.joined());

    ASSERT_TRUE(m_runner.Start(child("hang")));
    pollfd fd{m_runner.OutputFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 3000), 1);
    EXPECT_THROW(m_runner.PumpAvailable(), std::runtime_error);
    EXPECT_FALSE(m_runner.IsRunning());

    // The runner is usable again afterwards.
    m_runner.setListener(&m_rec);
    EXPECT_EQ(run(child("raw 6f6b")), "ok");
}

TEST_F(RunnerTest, BackgroundProcessHoldingThePipeKeepsTheRunGoing)
{
    const auto start = Clock::now();
    EXPECT_EQ(run(child("background 300")), "early\nlate\n");
    EXPECT_GE(Clock::now() - start, 250ms);
    expectFinalEmptyChunk();
}

TEST_F(RunnerTest, ChildThatClosesItsOutputEndsTheRunAndIsReapedLater)
{
    const auto start = Clock::now();
    const std::string output = run(child("linger 500"));
    EXPECT_LT(Clock::now() - start, 400ms);
    const long pid = numberAfter(output, "pid");
    ASSERT_GT(pid, 0) << output;
    EXPECT_TRUE(eventually([&] { return !isUnreapedChildOfOurs(static_cast<pid_t>(pid)); }));
}

TEST_F(RunnerTest, EmptyArgumentRunsTheStoredCommandLine)
{
    m_runner.setCommandLine(child("raw 6869"));
    EXPECT_EQ(run(""), "hi");
    EXPECT_EQ(m_runner.CommandLine(), child("raw 6869"));
    // Outputs starts afresh with every started run.
    EXPECT_EQ(run(child("raw 686f")), "ho");
    EXPECT_EQ(m_runner.Outputs(), "ho");
}

struct LookupCase {
    const char* name;
    bool useWorkingDirectory;
    std::string commandLine;
    std::string expected; // empty: "File or command not found"
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class RunnerLookup : public RunnerTest, public testing::WithParamInterface<LookupCase> {};

TEST_P(RunnerLookup, FindsTheProgramInTheDocumentedOrder)
{
    static TempDir dir;
    static const bool prepared = [] {
        dir.writeFile("gv-cwd-probe", "#!/bin/sh\necho from-cwd\n", 0755);
        dir.writeFile("runner_test_child", "#!/bin/sh\necho impostor\n", 0755);
        dir.writeFile("printf", "#!/bin/sh\necho cwd-printf\n", 0755);
        return true;
    }();
    ASSERT_TRUE(prepared);
    const LookupCase& c = GetParam();
    if (c.useWorkingDirectory)
        m_runner.setWorkingDirectory(dir.path());
    const std::string result = run(c.commandLine);
    if (c.expected.empty()) {
        EXPECT_EQ(m_rec.messages, std::vector<std::string>{"File or command not found"});
    } else {
        EXPECT_TRUE(m_rec.messages.empty());
        EXPECT_EQ(result, c.expected == "<dir>" ? "cwd:" + dir.path() + "\n" : c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunnerLookup,
    testing::Values(
        // The runner's own folder comes first, before the current one.
        LookupCase{"programFolderFirst", true, "runner_test_child raw 6f6b", "ok"},
        LookupCase{"currentFolderSecond", true, "gv-cwd-probe", "from-cwd\n"},
        LookupCase{"currentFolderBeforePath", true, "printf x", "cwd-printf\n"},
        LookupCase{"onlyInOtherFolder", false, "gv-cwd-probe", ""},
        LookupCase{"pathLast", false, "printf %s-%s a b", "a-b"},
        LookupCase{"relativePathFromWorkingDirectory", true, "./gv-cwd-probe", "from-cwd\n"},
        LookupCase{"startsInWorkingDirectory", true, "runner_test_child cwd", "<dir>"}),
    [](const testing::TestParamInfo<LookupCase>& test) { return std::string(test.param.name); });

// Stops the run from inside the event handler once the first output came.
struct StopOnFirstOutput : Recorder {
    DOSOutputs* runner = nullptr;
    void ReceiveOutputs(const std::string& chunk) override
    {
        Recorder::ReceiveOutputs(chunk);
        if (!chunk.empty())
            runner->Stop();
    }
};


TEST_F(RunnerTest, StopFromTheListenerEndsTheWholeGroup)
{
    StopOnFirstOutput stopper;
    stopper.runner = &m_runner;
    m_runner.setListener(&stopper);
    const auto start = Clock::now();
    const std::string output = run(child("hang"));
    EXPECT_LT(Clock::now() - start, 1000ms);
    ASSERT_FALSE(stopper.chunks.empty());
    EXPECT_EQ(stopper.chunks.back(), "");
    expectGroupGone(output);
}

TEST_F(RunnerTest, StopFromAnotherThreadKillsAGroupThatIgnoresTerm)
{
    std::thread stopper([this] {
        std::this_thread::sleep_for(200ms);
        m_runner.Stop();
    });
    const auto start = Clock::now();
    const std::string output = run(child("hang-ignore-term"));
    stopper.join();
    EXPECT_LT(Clock::now() - start, 1500ms);
    expectGroupGone(output);
    m_runner.Stop(); // idle: nothing happens
    EXPECT_FALSE(m_runner.IsRunning());
}

// Pumps a started run the way an event loop does, until it ends.
bool pumpToEnd(DOSOutputs& runner, std::chrono::milliseconds limit, const std::function<void()>& onIdle = {})
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        pollfd fd{runner.OutputFd(), POLLIN, 0};
        ::poll(&fd, 1, 50);
        if (!runner.PumpAvailable())
            return true;
        if (onIdle)
            onIdle();
    }
    runner.Stop();
    return false;
}

TEST_F(RunnerTest, EventLoopFormGivesTheSameChunksAndRefusesASecondRun)
{
    ASSERT_TRUE(m_runner.Start(child("bytes 600")));
    EXPECT_TRUE(m_runner.IsRunning());
    EXPECT_GE(m_runner.OutputFd(), 0);
    const int flags = ::fcntl(m_runner.OutputFd(), F_GETFL);
    EXPECT_TRUE(flags & O_NONBLOCK);
    // A child runs ahead of a busy reader by a quarter of a megabyte, as
    // far as the system allows, before write() blocks it.
    long maxRoom = 1 << 20;
    if (std::FILE* limit = std::fopen("/proc/sys/fs/pipe-max-size", "r")) {
        if (std::fscanf(limit, "%ld", &maxRoom) != 1)
            maxRoom = 1 << 20;
        std::fclose(limit);
    }
    EXPECT_GE(::fcntl(m_runner.OutputFd(), F_GETPIPE_SZ), std::min(maxRoom, 256L << 10));

    EXPECT_FALSE(m_runner.Start(child("raw 6f6b")));
    EXPECT_EQ(m_runner.ExecuteCommand(child("raw 6f6b")), "");
    EXPECT_EQ(m_runner.CommandLine(), child("bytes 600"));
    EXPECT_TRUE(m_rec.messages.empty());

    ASSERT_TRUE(pumpToEnd(m_runner, 5000ms));
    EXPECT_EQ(m_rec.joined().size(), 600u);
    EXPECT_EQ(m_runner.Outputs(), m_rec.joined());
    expectFinalEmptyChunk();
    EXPECT_FALSE(m_runner.IsRunning());
    EXPECT_EQ(m_runner.OutputFd(), -1);

    const std::size_t events = m_rec.chunks.size();
    EXPECT_FALSE(m_runner.PumpAvailable());
    EXPECT_EQ(m_rec.chunks.size(), events);
}

TEST_F(RunnerTest, EventLoopFormStopEndsTheRun)
{
    ASSERT_TRUE(m_runner.Start(child("hang")));
    bool stopped = false;
    ASSERT_TRUE(pumpToEnd(m_runner, 3000ms, [&] {
        if (!stopped && m_rec.joined().find("child") != std::string::npos) {
            m_runner.Stop();
            stopped = true;
        }
    }));
    EXPECT_TRUE(stopped);
    expectFinalEmptyChunk();
    expectGroupGone(m_runner.Outputs());
}

TEST_F(RunnerTest, PumpHandsBackControlDuringAFlood)
{
    ASSERT_TRUE(m_runner.Start(child("bytes 3000000")));
    int pumps = 0;
    std::string midway;
    ASSERT_TRUE(pumpToEnd(m_runner, 10000ms, [&] {
        if (++pumps == 2)
            midway = m_runner.Outputs();
    }));
    EXPECT_EQ(m_runner.Outputs().size(), 3000000u);
    EXPECT_GT(pumps, 0);
    // Asked for midway and again at the end, a report of many megabytes is
    // still every chunk in reading order.
    EXPECT_EQ(m_runner.Outputs(), m_rec.joined());
    EXPECT_EQ(m_runner.Outputs().compare(0, midway.size(), midway), 0);
}

TEST_F(RunnerTest, PumpLeavesNothingReadBehindWhenTheChildFallsSilent)
{
    // A slow listener makes the pump hand back control mid-flood; what it
    // has taken from the pipe must still all be handed on before the
    // child writes again, as the pipe's notifier will not tell of it.
    struct SlowRecorder : Recorder {
        void ReceiveOutputs(const std::string& chunk) override
        {
            std::this_thread::sleep_for(100us);
            Recorder::ReceiveOutputs(chunk);
        }
    } slow;
    m_runner.setListener(&slow);
    ASSERT_TRUE(m_runner.Start(child("bytes-then-hang 200000")));
    // Pumped only when the pipe is readable, as a notifier would.
    int pumps = 0;
    const auto end = Clock::now() + 5s;
    while (slow.joined().size() < 200000u && Clock::now() < end) {
        pollfd fd{m_runner.OutputFd(), POLLIN, 0};
        if (::poll(&fd, 1, 50) > 0) {
            ASSERT_TRUE(m_runner.PumpAvailable());
            ++pumps;
        }
    }
    EXPECT_EQ(slow.joined().size(), 200000u);
    EXPECT_GT(pumps, 2);
    m_runner.Stop();
    EXPECT_TRUE(pumpToEnd(m_runner, 5000ms));
    for (std::size_t i = 0; i < slow.chunks.size(); ++i)
        ASSERT_LE(slow.chunks[i].size(), 256u) << "chunk " << i;
}

TEST_F(RunnerTest, DestroyingARunningRunnerEndsTheGroup)
{
    std::string output;
    {
        DOSOutputs doomed;
        Recorder rec;
        doomed.setListener(&rec);
        ASSERT_TRUE(doomed.Start(child("hang")));
        const auto end = Clock::now() + 3s;
        while (rec.joined().find("child") == std::string::npos && Clock::now() < end) {
            pollfd fd{doomed.OutputFd(), POLLIN, 0};
            ::poll(&fd, 1, 50);
            doomed.PumpAvailable();
        }
        output = rec.joined();
    }
    expectGroupGone(output);
}

} // namespace
