// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing an output file whole: links stay links, devices and FIFOs stay
// what they are, concurrent writers never share a temporary file, and the
// compiler writes its database the same way. The compiler's sources are
// read, or refused by name, never blocked on and never read without end.

#include "vonk/base/FileAccess.h"
#include "TestSupport.h"
#include "support/RunProgram.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// windows.h (through the test support) names a function of its own so.
#undef ReplaceFile

namespace fs = std::filesystem;
using namespace gv::vonk;
using namespace gv::vonk::test;

namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::u8string u = e.path().filename().u8string();
        names.emplace_back(u.begin(), u.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

#ifndef _WIN32
bool isCharDevice(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}
#endif

} // namespace

TEST(ReplaceFile, RegularFilesAndLinksGetTheNewContentAndKeepWhatTheyAre)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links, permission bits, FIFOs and /dev are POSIX";
#else
    TempDir dir;
    fs::create_directory(dir / "sub");
    writeFile(dir / "sub/real", "old");
    ::chmod((dir / "sub/real").c_str(), 0640);
    fs::create_symlink("sub/real", dir / "link");          // relative, into another folder
    fs::create_symlink("link", dir / "chain");             // a link to a link
    fs::create_symlink("sub/new-target", dir / "dangling"); // its target is made
    struct Case {
        std::string name;   // what is written to
        std::string target; // where the content must land
    };
    const std::vector<Case> cases{
        {dir / "plain", dir / "plain"},
        {dir / "link", dir / "sub/real"},
        {dir / "chain", dir / "sub/real"},
        {dir / "dangling", dir / "sub/new-target"},
    };
    int round = 0;
    for (const auto& c : cases) {
        const std::string content = "content " + std::to_string(++round) + std::string(1000, 'x');
        std::string error;
        ASSERT_TRUE(replaceFile(c.name, content, error)) << c.name << ": " << error;
        EXPECT_TRUE(error.empty()) << error;
        EXPECT_EQ(readText(c.target), content) << c.name;
        EXPECT_EQ(fs::is_symlink(c.name), c.name != c.target) << c.name;
    }
    EXPECT_EQ(fs::read_symlink(dir / "link"), "sub/real");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "sub/real").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replacement keeps the file's permissions";
    // No temporary file is left behind anywhere.
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"chain", "dangling", "link", "plain", "sub"}));
    EXPECT_EQ(namesIn(dir / "sub"), (std::vector<std::string>{"new-target", "real"}));
#endif
}

TEST(ReplaceFile, FailuresSayWhyAndLeaveNothingBehind)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links, permission bits, FIFOs and /dev are POSIX";
#else
    TempDir dir;
    fs::create_directory(dir / "folder");
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    for (const std::string& path : {dir / "no/such/folder/out", dir / "folder", dir / "loop-a"}) {
        std::string error;
        EXPECT_FALSE(replaceFile(path, "bytes", error)) << path;
        EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"folder", "loop-a", "loop-b"}));
    EXPECT_TRUE(namesIn(dir / "folder").empty());
#endif
}

TEST(ReplaceFile, DevicesAndFifosAreWrittenAsTheyAreNeverRenamedOver)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links, permission bits, FIFOs and /dev are POSIX";
#else
    TempDir dir;
    // /dev/null reached through a link in our own folder: were it renamed
    // over, only the link would suffer.
    if (isCharDevice("/dev/null")) {
        fs::create_symlink("/dev/null", dir / "null");
        std::string error;
        EXPECT_TRUE(replaceFile(dir / "null", "discarded", error)) << error;
        EXPECT_TRUE(fs::is_symlink(dir / "null"));
        EXPECT_EQ(fs::read_symlink(dir / "null"), "/dev/null");
        EXPECT_TRUE(isCharDevice("/dev/null"));
    }

    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A reader opened first (without waiting for a writer), so the write
    // side opens at once and nothing here can block.
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const std::string content = "through the pipe\n" + std::string(2000, 'p');
    std::string error;
    EXPECT_TRUE(replaceFile(fifo, content, error)) << error;
    std::string got(content.size() + 16, '\0');
    ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    ASSERT_GE(n, 0);
    got.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(got, content);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(namesIn(dir.path()).size(), isCharDevice("/dev/null") ? 2u : 1u) << "no temporary file beside the FIFO";
#endif
}

TEST(ReplaceFile, ConcurrentWritersNeverShareATemporaryFile)
{
    // With one temporary name per target, one writer truncates what another
    // is about to rename: failed renames and mixed contents.
    TempDir dir;
    const std::string out = dir / "out";
    constexpr int kThreads = 6;
    constexpr int kRounds = 15;
    std::set<std::string> written;
    std::vector<std::string> contents;
    for (int t = 0; t < kThreads; ++t) {
        for (int r = 0; r < kRounds; ++r)
            contents.push_back(std::string(48 * 1024, static_cast<char>('A' + t)) + std::to_string(r));
    }
    written.insert(contents.begin(), contents.end());
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                std::string error;
                if (!replaceFile(out, contents[static_cast<std::size_t>(t * kRounds + r)], error))
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(written.count(readText(out)), 1u) << "the file holds exactly one writer's content";
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"out"}));
}

TEST(ReplaceFile, ANameInAnyScriptIsReplacedWhole)
{
    // Names reach the system in its own form (UTF-16 on Windows).
    TempDir dir;
    const std::string name = dir / "d\xC3\xA9" "fs-\xE6\x97\xA5\xE6\x9C\xAC.vkd";
    std::string error;
    ASSERT_TRUE(replaceFile(name, "old", error)) << error;
    {
        FileAccess::Result reader = FileAccess::open(name, false);
        FdGuard guard(reader.fd);
        ASSERT_EQ(reader.status, FileAccess::Status::Ok) << reader.reason;
    }
    EXPECT_TRUE(replaceFile(name, "new content", error)) << error;
    std::string text;
    EXPECT_TRUE(readWholeFile(name, 100, text, error)) << error;
    EXPECT_EQ(text, "new content");
    const auto names = namesIn(dir.path());
    ASSERT_EQ(names.size(), 1u) << "no temporary file left";
    EXPECT_EQ(names[0], name.substr(name.rfind('/') + 1));
}

TEST(CompilerOutput, LinksDevicesAndConcurrentBuildsAreHandled)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links, permission bits, FIFOs and /dev are POSIX";
#else
    TempDir dir;
    auto compileTo = [](const std::string& output) {
        return gv::test::RunProgram(GV_VONK_DEFS_EXE, {"--quiet", "--no-import", "-o", output, GV_TEST_VDEF}, {}, 60000);
    };
    auto loads = [](const std::string& path) {
        std::string error;
        return Database::load(path, error) != nullptr;
    };

    writeFile(dir / "real.vkd", "old");
    fs::create_symlink("real.vkd", dir / "link.vkd");
    auto r = compileTo(dir / "link.vkd");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "link.vkd"));
    EXPECT_TRUE(loads(dir / "real.vkd"));

    if (isCharDevice("/dev/null")) {
        fs::create_symlink("/dev/null", dir / "null.vkd");
        r = compileTo(dir / "null.vkd");
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(dir / "null.vkd"));
        EXPECT_TRUE(isCharDevice("/dev/null"));
    }

    // Two builds of one database at once: both succeed and leave a whole one.
    gv::test::RunResult first, second;
    std::thread other([&] { first = compileTo(dir / "shared.vkd"); });
    second = compileTo(dir / "shared.vkd");
    other.join();
    EXPECT_EQ(first.exit, 0) << first.err;
    EXPECT_EQ(second.exit, 0) << second.err;
    EXPECT_TRUE(loads(dir / "shared.vkd"));

    r = compileTo(dir / "no/such/folder/out.vkd");
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;

    std::vector<std::string> expected{"link.vkd", "real.vkd", "shared.vkd"};
    if (isCharDevice("/dev/null"))
        expected.insert(expected.begin() + 1, "null.vkd");
    EXPECT_EQ(namesIn(dir.path()), expected) << "no temporary file is left behind";
#endif
}

TEST(CompilerSources, WhatCannotBeReadIsNamedAndFailsTheBuild)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links, permission bits, FIFOs and /dev are POSIX";
#else
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
            | fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file(GV_TEST_VDEF, dir / "ok.vdef");
    ASSERT_EQ(::mkfifo((dir / "fifo.vdef").c_str(), 0644), 0);
    fs::create_directories(dir / "holder/x.vdef");
    fs::create_directories(dir / "locked");
    ::chmod((dir / "locked").c_str(), 0311);
    writeFile(dir / "big.vdef", "");
    ASSERT_EQ(::truncate((dir / "big.vdef").c_str(), static_cast<off_t>(DefinitionParser::kMaxSourceBytes + 1)), 0);

    // Root lists every folder: it meets one it may not list as nobody.
    std::string exe = GV_VONK_DEFS_EXE;
    std::vector<std::string> prefix;
    const bool asNobody = ::geteuid() == 0 && fs::exists("/usr/bin/setpriv");
    if (asNobody) {
        exe = "/usr/bin/setpriv";
        prefix = {"--reuid=65534", "--regid=65534", "--clear-groups", GV_VONK_DEFS_EXE};
    }
    struct Case {
        const char* what;
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        {"a FIFO", dir / "fifo.vdef", dir / "fifo.vdef: a FIFO"},
        {"a device", "/dev/zero", "/dev/zero: a character device"},
        {"a folder named like a source", dir / "holder", dir / "holder/x.vdef: a folder"},
        {"a source over the size limit", dir / "big.vdef", dir / "big.vdef: larger than"},
        {"a folder that cannot be listed", dir / "locked", dir / "locked: cannot list the folder"},
    };
    for (const Case& c : cases) {
        if (c.source == dir / "locked" && ::geteuid() == 0 && !asNobody)
            continue;
        std::vector<std::string> args = prefix;
        args.insert(args.end(), {"--quiet", "--no-import", dir / "ok.vdef", c.source});
        const gv::test::RunResult r = gv::test::RunProgram(exe, args, {}, 15000);
        EXPECT_FALSE(r.timedOut) << c.what;
        EXPECT_EQ(r.exit, 1) << c.what << ": " << r.err.substr(0, 400);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err.substr(0, 400);
    }
#endif
}
