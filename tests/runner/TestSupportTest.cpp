// SPDX-License-Identifier: GPL-3.0-or-later
// The helpers every test folder leans on: the child-program runner must
// never let a test hang, and temporary folders must go whatever a test left
// in them.

#include "RunnerTestSupport.h"
#include "support/RunProgram.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace {

using gv::test::kChild;
using gv::test::numberAfter;
using gv::test::RunProgram;
using gv::test::RunResult;
using gv::test::TempFolder;

TEST(RunProgram, CapturesOutputAndErrorApartAndGivesNoInput)
{
    TempFolder cwd("gv-run");
    const struct {
        std::vector<std::string> args;
        std::string folder;
        int exit;
        std::string out;
        std::string err;
    } cases[] = {
        {{"interleave"}, {}, 0, "out1\nout2\nout3\n", "err1\nerr2\nerr3\n"},
        {{"stdin"}, {}, 0, "stdin:eof\n", ""},
        {{"cwd"}, cwd.path(), 0, "cwd:" + cwd.path() + "\n", ""},
        {{"args", "a b", "", "it's"}, {}, 0, "[a b][][it's]\n", ""},
        {{"no-such-mode"}, {}, 2, "", "runner_test_child: unknown mode 'no-such-mode'\n"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunProgram(kChild, c.args, c.folder, 10000);
        EXPECT_FALSE(r.timedOut) << c.args[0];
        EXPECT_EQ(r.exit, c.exit) << c.args[0];
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
    }
}

TEST(RunProgram, MissingProgramIsAFailureNotAnExitCode)
{
    const RunResult r = RunProgram("/nonexistent/gv-program", {}, {}, 10000);
    EXPECT_EQ(r.exit, -1);
    EXPECT_NE(r.err.find("cannot start"), std::string::npos) << r.err;
}

TEST(RunProgram, TimeLimitHoldsWhetherOrNotTheOutputIsOpen)
{
    const struct {
        std::string mode;
        std::string arg;
    } cases[] = {
        {"hang", "0"},        // keeps its output open and waits
        {"linger", "15000"},  // closes its output, then runs on
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = RunProgram(kChild, {c.mode, c.arg}, {}, 300);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(r.timedOut) << c.mode;
        EXPECT_EQ(r.exit, 128 + SIGKILL) << c.mode;
        EXPECT_LT(took, std::chrono::seconds(5)) << c.mode;
        EXPECT_NE(r.out.find("pid "), std::string::npos) << c.mode << ": output before the limit is kept";
        // The hanging mode's own child is not ours to wait for; end it.
        if (const long grandchild = numberAfter(r.out, "child"); grandchild > 0)
            ::kill(static_cast<pid_t>(grandchild), SIGKILL);
    }
}

TEST(TempFolder, GoesWithEverythingInItEvenWithoutAccessOrWithQuotesInItsName)
{
    TempFolder outside("gv-outside");
    std::ofstream(outside.file("kept")) << "z";
    ASSERT_EQ(::chmod(outside.path().c_str(), 0500), 0);
    std::string path;
    {
        TempFolder folder("gv it's \"quoted\"");
        path = folder.path();
        ASSERT_TRUE(std::filesystem::is_directory(path));
        std::filesystem::create_directories(folder.file("locked/inner"));
        std::ofstream(folder.file("locked/inner/file")) << "x";
        std::ofstream(folder.file("plain")) << "y";
        std::filesystem::create_directory_symlink(outside.path(), folder.file("link"));
        ASSERT_EQ(::chmod(folder.file("locked/inner").c_str(), 0), 0);
        ASSERT_EQ(::chmod(folder.file("locked").c_str(), 0500), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0500), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path))) << path;
    // A link inside is removed, not followed.
    EXPECT_TRUE(std::filesystem::exists(outside.file("kept")));
    struct stat st {};
    ASSERT_EQ(::stat(outside.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0500u);
}

TEST(TempFolder, EachIsNewAndAFailureToMakeOneIsLoud)
{
    TempFolder first;
    TempFolder second;
    EXPECT_NE(first.path(), second.path());
    EXPECT_EQ(first / "a", first.path() + "/a");
    try {
        TempFolder("gv-no-such-parent/child");
        ADD_FAILURE() << "a folder in a missing parent was made";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("gv-no-such-parent/child-"), std::string::npos) << e.what();
    }
}

} // namespace
