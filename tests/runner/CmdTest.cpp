// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLineWords.h"
#include "DOSOutputs.h"
#include "RunnerTestSupport.h"
#include "support/RunProgram.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace std::chrono_literals;
using gv::test::kCmd;
using gv::test::numberAfter;
using gv::test::Recorder;
using gv::test::TempDir;
using gv::test::Watchdog;

// Runs the interpreter directly (its output ignored) for its exit code.
int exitCodeOf(const std::vector<std::string>& args)
{
    const gv::test::RunResult r = gv::test::RunProgram(kCmd, args, {}, 10000);
    EXPECT_FALSE(r.timedOut) << "cmd did not end in time";
    return r.exit;
}

class CmdStandIn : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_dir.path().empty());
        m_dir.writeFile("gv-probe", "#!/bin/sh\nprintf '%s|' from-cwd \"$@\"\n", 0755);
        m_dir.writeFile("printf", "#!/bin/sh\necho cwd-printf\n", 0755);
        m_runner.setListener(&m_rec);
        m_runner.setMessageSink(&m_rec);
        m_runner.setWorkingDirectory(m_dir.path());
    }

    std::string run(const std::string& line)
    {
        Watchdog dog(m_runner, 5000ms);
        std::string result = m_runner.ExecuteCommand(line);
        dog.cancel();
        EXPECT_FALSE(dog.fired()) << line;
        EXPECT_TRUE(m_rec.messages.empty()) << line;
        return result;
    }

    TempDir m_dir;
    gv::DOSOutputs m_runner;
    Recorder m_rec;
};

TEST_F(CmdStandIn, RunsTheProgramWithItsWordsUntouched)
{
    const struct {
        std::string line;
        std::string expected;
    } cases[] = {
        // Found through the program folder, as the window's command lines are.
        {"cmd /c gv-probe", "from-cwd|"},
        {"cmd /C gv-probe", "from-cwd|"},
        {R"(cmd /c gv-probe "a b" 'c\d' e\ f "" '$(id)' *)", R"(from-cwd|a b|c\d|e f||$(id)|*|)"},
        {"cmd /c gv-probe " + gv::quoteCommandWord("it's a \"file\"\n.txt"), "from-cwd|it's a \"file\"\n.txt|"},
        // The current folder's program, not PATH's.
        {"cmd /c printf x", "cwd-printf\n"},
        {"cmd /c /usr/bin/printf %s-%s a b", "a-b"},
        {"cmd /c ./gv-probe z", "from-cwd|z|"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.line), c.expected) << c.line;
}

TEST_F(CmdStandIn, ReplacesItselfWithTheProgram)
{
    // The program leads the group the runner made for the interpreter, so
    // it is the very process the runner started.
    m_runner.setWorkingDirectory(gv::test::kChild.substr(0, gv::test::kChild.rfind('/')));
    const std::string ids = run("cmd /c ./runner_test_child ids");
    const long pid = numberAfter(ids, "pid");
    ASSERT_GT(pid, 0) << ids;
    EXPECT_EQ(numberAfter(ids, "pgid"), pid);
}

TEST_F(CmdStandIn, UnknownProgramIsTheInterpretersOwnComplaint)
{
    const struct {
        std::string line;
        std::string named;
    } cases[] = {
        {"cmd /c gv-no-such-program arg", "'gv-no-such-program'"},
        {"cmd /c 'two words'", "'two words'"},
        // The interpreter does not search the runner's program folder.
        {"cmd /c runner_test_child ids", "'runner_test_child'"},
        {"cmd /c ./missing", "'./missing'"},
        // Nor PATH: only the current folder can offer a bare name.
        {"cmd /c gv-planted", "'gv-planted'"},
        {"cmd /c sh -c 'echo from PATH'", "'sh'"},
    };
    TempDir planted;
    planted.writeFile("gv-planted", "#!/bin/sh\necho ran-from-path\n", 0755);
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", (planted.path() + ":" + savedPath).c_str(), 1);
    for (const auto& c : cases) {
        m_rec.chunks.clear();
        const std::string output = run(c.line);
        EXPECT_NE(output.find("cmd: "), std::string::npos) << output;
        EXPECT_NE(output.find(c.named), std::string::npos) << output;
        EXPECT_EQ(output.find("ran-from-path"), std::string::npos) << output;
        ASSERT_FALSE(m_rec.chunks.empty());
        EXPECT_EQ(m_rec.chunks.back(), "");
    }
    ::setenv("PATH", savedPath.c_str(), 1);
}

TEST(CmdExitCodes, UsageNotFoundAndSuccess)
{
    const struct {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{}, 2},
        {{"/x", "printf", "a"}, 2},
        {{"printf", "a"}, 2},
        {{"/c"}, 2},
        {{"/c", "gv-no-such-program"}, 127},
        {{"/c", "printf", "a"}, 127},
        {{"/c", "/usr/bin/printf", "a"}, 0},
        {{"/C", "/bin/sh", "-c", "exit 7"}, 7},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args)
            shown += a + " ";
        EXPECT_EQ(exitCodeOf(c.args), c.code) << shown;
    }
}

TEST(CmdUsage, GoesThroughTheRunnerAsOutput)
{
    gv::DOSOutputs runner;
    Recorder rec;
    runner.setListener(&rec);
    runner.setMessageSink(&rec);
    EXPECT_NE(runner.ExecuteCommand("cmd").find("usage: cmd /c"), std::string::npos);
    EXPECT_TRUE(rec.messages.empty());
}

} // namespace
