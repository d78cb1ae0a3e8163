// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows runner with real "cmd /c" children, under Wine in the test
// stage.
#include "ConsoleTextDecoder.h"
#include "DOSOutputsWin32.h"
#include "WideText.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace gv {
namespace {

// The child program lies beside the test program (one bin folder).
std::string childPath()
{
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return Narrow(path.substr(0, path.rfind(L'\\') + 1)) + "runner_win32_child.exe";
}

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

std::string childCommand(const std::string& arguments)
{
    return "cmd /c \"\"" + childPath() + "\" " + arguments + "\"";
}

// The process ids that the "forever" children print.
std::vector<DWORD> waitingPids(const std::string& text)
{
    std::vector<DWORD> pids;
    for (std::size_t at = text.find("waiting "); at != std::string::npos; at = text.find("waiting ", at + 1)) {
        if (text.find('\n', at) != std::string::npos)
            pids.push_back(static_cast<DWORD>(std::stoul(text.substr(at + 8))));
    }
    return pids;
}

struct DecoderCase {
    const char* name;
    unsigned codePage;
    std::vector<std::string> reads;
    std::vector<std::string> chunks; // text after each read, then after finish
};

TEST(ConsoleTextDecoderTest, ReadsBecomeWholeUtf8Text)
{
    const DecoderCase cases[] = {
        { "utf8 passes", 437, { "caf\xC3\xA9 \xE2\x82\xAC" }, { "caf\xC3\xA9 \xE2\x82\xAC", "" } },
        { "utf8 split waits", 437, { "a\xE2\x82", "\xAC" "b" }, { "a", "\xE2\x82\xAC" "b", "" } },
        { "oem byte converted", 437, { "\x82t\x82" }, { "\xC3\xA9t\xC3\xA9", "" } },
        { "oem next to utf8", 850, { "\x82 \xC3\xA9" }, { "\xC3\xA9 \xC3\xA9", "" } },
        { "double-byte split waits", 932, { "x\x82", "\xA0" }, { "x", "\xE3\x81\x82", "" } },
        { "cut at end converted", 437, { "a\xC3" }, { "a", "\xE2\x94\x9C" } },
        { "controls pass", 437, { std::string("\r\n\0\t", 4) }, { std::string("\r\n\0\t", 4), "" } },
    };
    for (const DecoderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleTextDecoder decoder(c.codePage);
        std::vector<std::string> got;
        for (const std::string& read : c.reads) {
            got.emplace_back();
            decoder.decode(read.data(), read.size(), got.back());
        }
        got.emplace_back();
        decoder.finish(got.back());
        EXPECT_EQ(got, c.chunks);
    }
}

TEST(DOSOutputsWin32Test, SixHundredBytesArriveIn256ByteReadsWholeAndInOrder)
{
    DOSOutputs runner;
    Recorder rec;
    runner.setListener(&rec);
    runner.setMessageSink(&rec);
    const std::string result = runner.ExecuteCommand(childCommand("count 600"));

    std::string expected;
    for (int i = 0; i < 600; ++i)
        expected += static_cast<char>('0' + i % 10);
    EXPECT_TRUE(rec.messages.empty());
    ASSERT_GE(rec.chunks.size(), 4u);
    EXPECT_EQ(rec.chunks.back(), "");
    for (const std::string& chunk : rec.chunks)
        EXPECT_LE(chunk.size(), 256u);
    EXPECT_EQ(rec.joined(), expected);
    EXPECT_EQ(result, expected);
    EXPECT_EQ(runner.Outputs(), expected);
    EXPECT_FALSE(runner.IsRunning());
}

TEST(DOSOutputsWin32Test, CharacterAcrossTheReadBoundaryArrivesWhole)
{
    DOSOutputs runner;
    Recorder rec;
    runner.setListener(&rec);
    std::string hex;
    for (int i = 0; i < 255; ++i)
        hex += "61";
    runner.ExecuteCommand(childCommand("hex " + hex + "C3A962"));
    ASSERT_GE(rec.chunks.size(), 3u);
    EXPECT_EQ(rec.chunks[0], std::string(255, 'a'));
    EXPECT_EQ(rec.joined(), std::string(255, 'a') + "\xC3\xA9" "b");
}

TEST(DOSOutputsWin32Test, NonAsciiFileNameReachesTheInterpreter)
{
    test::TempFolder folder("gv-runner");
    const std::string name = folder.path() + "/\xC3\x9F\xE2\x82\xAC\xE6\xBC\xA2 x.txt";
    {
        std::ofstream out(std::filesystem::path(Widen(name)), std::ios::binary);
        out << "found-by-wide-name";
    }
    std::string windowsName = name;
    std::replace(windowsName.begin(), windowsName.end(), '/', '\\');
    DOSOutputs runner;
    Recorder rec;
    runner.setMessageSink(&rec);
    EXPECT_NE(runner.ExecuteCommand("cmd /c type \"" + windowsName + "\"").find("found-by-wide-name"),
        std::string::npos)
        << runner.Outputs();
    EXPECT_TRUE(rec.messages.empty());
}

TEST(DOSOutputsWin32Test, TheRealInterpreterRunsNotOneInTheCurrentFolder)
{
    test::TempFolder folder("gv-cmd");
    const std::filesystem::path planted = std::filesystem::path(Widen(folder.path())) / L"cmd.exe";
    std::filesystem::copy_file(std::filesystem::path(Widen(childPath())), planted);
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ::SetCurrentDirectoryW(planted.parent_path().c_str());
    DOSOutputs runner;
    const std::string result = runner.ExecuteCommand("cmd /c echo real");
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(result, "real\r\n");
}

TEST(DOSOutputsWin32Test, StopEndsTheInterpreterAndWhatItStarted)
{
    DOSOutputs runner;
    Recorder rec;
    runner.setListener(&rec);
    std::mutex mutex;
    std::condition_variable poked;
    int pokes = 0;
    runner.setChunkNotifier([&] {
        std::lock_guard lock(mutex);
        ++pokes;
        poked.notify_all();
    });
    ASSERT_TRUE(runner.Start(childCommand("forever")));
    EXPECT_FALSE(runner.Start(childCommand("count 1")));

    // Pumped only when the notifier says so, as a window does on its
    // posted message.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool stopped = false;
    bool running = true;
    while (running && std::chrono::steady_clock::now() < deadline) {
        {
            std::unique_lock lock(mutex);
            poked.wait_until(lock, deadline, [&] { return pokes > 0; });
            pokes = 0;
        }
        running = runner.PumpAvailable();
        if (!stopped && waitingPids(rec.joined()).size() == 2) {
            stopped = true;
            runner.Stop();
        }
    }
    // The run may end by giving up on the pipe; the processes themselves
    // must be gone, the grandchild too.
    EXPECT_TRUE(stopped);
    for (DWORD pid : waitingPids(rec.joined())) {
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (process) {
            EXPECT_EQ(::WaitForSingleObject(process, 3000), WAIT_OBJECT_0) << "process " << pid << " still runs";
            ::CloseHandle(process);
        }
    }
    EXPECT_FALSE(running);
    EXPECT_FALSE(runner.IsRunning());
    ASSERT_FALSE(rec.chunks.empty());
    EXPECT_EQ(rec.chunks.back(), "");
}

TEST(DOSOutputsWin32Test, StopAndWaitGivesTheRunUpQuietly)
{
    DOSOutputs runner;
    Recorder rec;
    runner.setListener(&rec);
    ASSERT_TRUE(runner.Start(childCommand("forever")));
    const auto started = std::chrono::steady_clock::now();
    runner.StopAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_TRUE(rec.chunks.empty());
}

TEST(DOSOutputsWin32Test, FailuresAreReportedAndNothingRuns)
{
    struct Case {
        const char* argument;
        const char* message;
    };
    const Case cases[] = {
        { "", "Command Line empty" },
        { "no-such-program-gv.exe /x", "File or command not found" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        DOSOutputs runner;
        Recorder rec;
        runner.setListener(&rec);
        runner.setMessageSink(&rec);
        EXPECT_EQ(runner.ExecuteCommand(c.argument), "");
        EXPECT_EQ(rec.messages, std::vector<std::string> { c.message });
        EXPECT_TRUE(rec.chunks.empty());
        EXPECT_EQ(runner.CommandLine(), c.argument);
        EXPECT_FALSE(runner.IsRunning());
    }
}

} // namespace
} // namespace gv
