// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "vonk/base/FileAccess.h"
#include "vonk/base/Platform.h"
#include "vonk/report/ReportWriter.h"
#include "vonk/report/TargetExpander.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace gv::vonk;

namespace {

std::vector<std::string> expand(const std::string& target, bool recursive = false, std::vector<std::string>* problems = nullptr)
{
    std::vector<std::string> shown;
    TargetExpander(recursive).expand(target, [&](const TargetItem& item) {
        if (!item.problem.empty()) {
            if (problems)
                problems->push_back(item.problem);
            return;
        }
        shown.push_back(item.shown);
    });
    return shown;
}

// Windows names hold no '*': there the folder has one name less.
#ifdef _WIN32
constexpr bool kStarInNames = false;
#else
constexpr bool kStarInNames = true;
#endif

class Expansion : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"b.bin", "a.txt", ".hidden", "c.txt", "star*name", "with blank.txt"}) {
            if (kStarInNames || std::string(name) != "star*name")
                test::writeFile(dir.file(name), "x");
        }
        std::filesystem::create_directory(dir.file("sub"));
        test::writeFile(dir.file("sub/inner.txt"), "y");
    }
    test::TempDir dir;
};

TEST_F(Expansion, FolderMeansItsFilesSortedByName)
{
    const std::string d = dir.path();
    std::vector<std::string> all{d + "/.hidden", d + "/a.txt", d + "/b.bin", d + "/c.txt", d + "/star*name", d + "/sub", d + "/with blank.txt"};
    if (!kStarInNames)
        all.erase(all.begin() + 4);
    EXPECT_EQ(expand(d), all);
}

TEST_F(Expansion, PatternsMatchHiddenFilesAndKeepTheUsersPrefix)
{
    const std::string d = dir.path();
    EXPECT_EQ(expand(d + "/*.txt"), (std::vector<std::string>{d + "/a.txt", d + "/c.txt", d + "/with blank.txt"}));
    EXPECT_EQ(expand(d + "/?.bin"), (std::vector<std::string>{d + "/b.bin"}));
    EXPECT_EQ(expand(d + "/.h*"), (std::vector<std::string>{d + "/.hidden"}));
    // A doubled separator before the pattern is harmless.
    EXPECT_EQ(expand(d + "//*.bin"), (std::vector<std::string>{d + "/b.bin"}));
    EXPECT_EQ(expand(d + "/*").size(), kStarInNames ? 7u : 6u);
}

TEST(Wildcards, MatchCharactersNotBytesAndOnlyStarAndQuestionMark)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"caf?.txt", "caf\xC3\xA9.txt", true},
        {"??", "\xE2\x82\xAC", false},
        {"[ab]*", "[ab]c", true},
        {"[ab]*", "ac", false},
        {"a\\?", "ab", false},
        {"*a*b", "xaxxab", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TargetExpander::matches(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST_F(Expansion, RecursiveDescendsIntoSubfolders)
{
    auto all = expand(dir.path(), true);
    EXPECT_NE(std::find(all.begin(), all.end(), dir.file("sub/inner.txt")), all.end());
    EXPECT_EQ(std::find(all.begin(), all.end(), dir.file("sub")), all.end());
    EXPECT_EQ(expand(dir.path() + "/*.txt", true).size(), 4u);
}

TEST_F(Expansion, ProblemsAreReportedNotThrown)
{
    std::vector<std::string> problems;
    EXPECT_TRUE(expand(dir.path() + "/*.none", false, &problems).empty());
    EXPECT_EQ(problems, std::vector<std::string>{"no file matches"});
    problems.clear();
    EXPECT_TRUE(expand(dir.path() + "/missing/*", false, &problems).empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("no such folder"), std::string::npos);
    // A plain missing name is passed on: opening it reports the problem.
    EXPECT_EQ(expand(dir.file("nothere")), std::vector<std::string>{dir.file("nothere")});

#ifndef _WIN32
    // A folder that cannot be listed says why (no descriptor left for it
    // here, which holds for root too).
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> held;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;)
        held.push_back(fd);
    problems.clear();
    expand(dir.path(), false, &problems);
    for (int fd : held)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(problems, std::vector<std::string>{std::string("cannot list the folder: ") + std::strerror(EMFILE)});
#endif
}

// Names are UTF-8 inside; the system's own form (UTF-16 on Windows) is used
// only at its calls, so no name is mangled on its way through.
std::filesystem::path utf8Path(const std::string& s)
{
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

TEST_F(Expansion, NamesInAnyScriptArriveWhole)
{
    const std::string names[] = {"caf\xC3\xA9.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", "\xF0\x9F\x93\x84.txt"};
    for (const auto& n : names)
        std::ofstream(utf8Path(dir.file(n)), std::ios::binary) << "hello";
    auto shown = expand(dir.path() + "/*.txt");
    for (const auto& n : names) {
        ASSERT_NE(std::find(shown.begin(), shown.end(), dir.file(n)), shown.end()) << n;
        FileAccess::Result r = FileAccess::open(dir.file(n), true);
        FdGuard guard(r.fd);
        EXPECT_EQ(r.status, FileAccess::Status::Ok) << n << ": " << r.reason;
        EXPECT_EQ(r.size, 5u) << n;
    }
}

TEST_F(Expansion, BackslashesSeparateFoldersOnWindows)
{
#ifndef _WIN32
    GTEST_SKIP() << "a backslash separates folders only on Windows; elsewhere it escapes (Wildcards)";
#else
    std::string d = dir.path();
    std::replace(d.begin(), d.end(), '/', '\\');
    const struct {
        std::string target;
        std::vector<std::string> shown;
    } cases[] = {
        {d + "\\*.bin", {d + "\\b.bin"}},
        {d + "\\sub\\*", {d + "\\sub\\inner.txt"}},
        {d + "\\sub", {d + "\\sub\\inner.txt"}},
        {d + "\\\\?.bin", {d + "\\b.bin"}},
        {d + "/sub\\i*", {d + "/sub\\inner.txt"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expand(c.target), c.shown) << c.target;
    EXPECT_TRUE(TargetExpander::matches("x\\*", "x\\y")) << "a backslash is no escape here";
    // ...nor in the report: the name is shown as Windows writes it.
    EXPECT_EQ(ReportWriter::printable(d + "\\b.bin"), d + "\\b.bin");
#endif
}

struct AccessCase {
    const char* name;
    std::function<std::string(const test::TempDir&)> make; // returns the path
    FileAccess::Status status;
    const char* reason;
};

class Access : public ::testing::TestWithParam<AccessCase> {};

TEST_P(Access, ReportsEachKindOfProblem)
{
    const AccessCase& c = GetParam();
    test::TempDir dir;
    std::string path = c.make(dir);
    FileAccess::Result r = FileAccess::open(path, false);
    FdGuard guard(r.fd);
    EXPECT_EQ(r.status, c.status) << c.name << ": " << r.reason;
    EXPECT_NE(r.reason.find(c.reason), std::string::npos) << c.name << ": " << r.reason;
    if (c.status == FileAccess::Status::Ok)
        EXPECT_GE(r.fd, 0);
    else
        EXPECT_LT(r.fd, 0);
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Files, Access, ::testing::Values(
    AccessCase{"regular", [](const test::TempDir& d) { test::writeFile(d.file("f"), "abc"); return d.file("f"); }, FileAccess::Status::Ok, ""},
    AccessCase{"missing", [](const test::TempDir& d) { return d.file("none"); }, FileAccess::Status::Failed, "no such file"},
    AccessCase{"missing folder", [](const test::TempDir& d) { return d.file("none/f"); }, FileAccess::Status::Failed, "no such file"},
    AccessCase{"empty", [](const test::TempDir& d) { test::writeFile(d.file("e"), ""); return d.file("e"); }, FileAccess::Status::Empty, "empty"},
    AccessCase{"folder", [](const test::TempDir& d) { return d.path(); }, FileAccess::Status::Failed, "folder"},
    AccessCase{"device", [](const test::TempDir&) { return std::string("NUL"); }, FileAccess::Status::Failed, "device"}));
#else
INSTANTIATE_TEST_SUITE_P(Files, Access, ::testing::Values(
    AccessCase{"regular", [](const test::TempDir& d) { test::writeFile(d.file("f"), "abc"); return d.file("f"); }, FileAccess::Status::Ok, ""},
    AccessCase{"missing", [](const test::TempDir& d) { return d.file("none"); }, FileAccess::Status::Failed, "no such file"},
    AccessCase{"empty", [](const test::TempDir& d) { test::writeFile(d.file("e"), ""); return d.file("e"); }, FileAccess::Status::Empty, "empty"},
    AccessCase{"folder", [](const test::TempDir& d) { return d.path(); }, FileAccess::Status::Failed, "folder"},
    AccessCase{"fifo", [](const test::TempDir& d) { ::mkfifo(d.file("p").c_str(), 0600); return d.file("p"); }, FileAccess::Status::Failed, "FIFO"},
    AccessCase{"device", [](const test::TempDir& d) {
        std::string dev = test::characterDevice();
        return dev.empty() ? d.file("no-device") : dev; }, FileAccess::Status::Failed, ""},
    AccessCase{"socket", [](const test::TempDir& d) {
        int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::string p = d.file("s");
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", p.c_str());
        (void)::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::close(s);
        return p; }, FileAccess::Status::Failed, "socket"},
    AccessCase{"dangling link", [](const test::TempDir& d) { (void)::symlink(d.file("gone").c_str(), d.file("l").c_str()); return d.file("l"); }, FileAccess::Status::Failed, "dangling"},
    AccessCase{"link loop", [](const test::TempDir& d) {
        (void)::symlink(d.file("l2").c_str(), d.file("l1").c_str());
        (void)::symlink(d.file("l1").c_str(), d.file("l2").c_str());
        return d.file("l1"); }, FileAccess::Status::Failed, "loop"},
    AccessCase{"link to file", [](const test::TempDir& d) {
        test::writeFile(d.file("t"), "abc");
        (void)::symlink(d.file("t").c_str(), d.file("l").c_str());
        return d.file("l"); }, FileAccess::Status::Ok, ""}));
#endif

// Small files are mapped, large ones may be read into memory of their own:
// either way every byte arrives, and what is released is what was taken.
TEST(WholeFile, SmallAndLargeFilesArriveWhole)
{
    test::TempDir dir;
    for (std::size_t size : {std::size_t{100}, (std::size_t{3} << 20) + 123}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 31 % 251);
        test::writeFile(dir.file("f"), bytes);
        platform::MappedFile m = platform::mapFile(dir.file("f"), std::uint64_t{1} << 30);
        ASSERT_EQ(m.status, platform::MappedFile::Status::Mapped) << size;
        ASSERT_EQ(m.length, size);
        EXPECT_GE(m.extent, m.length);
        EXPECT_EQ(std::memcmp(m.address, bytes.data(), size), 0) << size;
        platform::unmapFile(m.address, m.extent);
        EXPECT_EQ(platform::mapFile(dir.file("f"), size - 1).status, platform::MappedFile::Status::TooLarge);
    }
    EXPECT_EQ(platform::mapFile(dir.path(), 1 << 20).status, platform::MappedFile::Status::NotRegular);
}

#ifndef _WIN32
// A batch closes every descriptor it was given, runs of consecutive ones
// together, and never one it was not given that lies between them.
TEST(ClosingBatch, ClosesWhatItHoldsAndNothingBetween)
{
    test::TempDir dir;
    test::writeFile(dir.file("f"), "abc");
    auto isOpen = [](int fd) { return ::fcntl(fd, F_GETFD) != -1; };
    auto openSome = [&](int n) {
        std::vector<int> fds;
        for (int i = 0; i < n; ++i)
            fds.push_back(::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC));
        return fds;
    };
    // The third is held by someone else, between ours.
    std::vector<int> fds = openSome(6);
    const int foreign = fds[2];
    fds.erase(fds.begin() + 2);
    {
        ClosingBatch batch(4);
        for (int fd : fds)
            batch.add(fd);
        // The fourth filled the batch: those four are closed, the fifth waits.
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_FALSE(isOpen(fds[i])) << i;
        EXPECT_TRUE(isOpen(fds[4]));
        EXPECT_TRUE(isOpen(foreign));
    }
    EXPECT_FALSE(isOpen(fds[4])) << "the rest close when the batch ends";
    EXPECT_TRUE(isOpen(foreign));
    ::close(foreign);
}
#endif

#ifdef __linux__
// A run held to one processor counts one: it then starts no thread that
// could only take turns with its own, and judges with one worker.
TEST(Processors, UsableAreThoseTheProcessIsHeldTo)
{
    cpu_set_t all;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(platform::usableProcessors(), static_cast<unsigned>(CPU_COUNT(&all)));
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c) {
        if (CPU_ISSET(c, &all)) {
            CPU_SET(c, &one);
            break;
        }
    }
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(platform::usableProcessors(), 1u);
    ASSERT_EQ(::sched_setaffinity(0, sizeof all, &all), 0);
}
#endif

TEST(Access, ListedFolderIsSkippedNotFailed)
{
    test::TempDir dir;
    EXPECT_EQ(FileAccess::open(dir.path(), true).status, FileAccess::Status::Skipped);
}

#ifndef _WIN32
// A named file is opened on what its stat said an instant before: the size
// comes with it and an empty file is not opened at all; anything else comes
// without, and opening it looks again.
TEST(Access, NamedFilesGoByTheirStat)
{
    test::TempDir dir;
    test::writeFile(dir.file("f"), "abcd");
    test::writeFile(dir.file("e"), "");
    ::mkfifo(dir.file("p").c_str(), 0600);
    std::vector<TargetItem> items;
    for (const char* name : {"f", "e", "p"})
        TargetExpander(false).expand(dir.file(name), [&](TargetItem&& item) { items.push_back(std::move(item)); });
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].regular && items[0].size == 4u);
    EXPECT_TRUE(items[1].regular && items[1].size == 0u);
    EXPECT_FALSE(items[2].regular || items[2].size);
    std::vector<FileAccess::Result> opened;
    for (const TargetItem& item : items)
        opened.push_back(FileAccess::open(item.path, false, item.regular, item.size));
    FdGuard guard(opened[0].fd);
    EXPECT_EQ(opened[0].status, FileAccess::Status::Ok);
    EXPECT_EQ(opened[0].size, 4u);
    EXPECT_EQ(opened[1].status, FileAccess::Status::Empty);
    EXPECT_LT(opened[1].fd, 0);
    EXPECT_NE(opened[2].reason.find("FIFO"), std::string::npos) << opened[2].reason;
}
#endif

TEST(Access, PermissionDenied)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no permission bits to take away with chmod";
#else
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    test::TempDir dir;
    test::writeFile(dir.file("secret"), "x");
    ::chmod(dir.file("secret").c_str(), 0);
    auto r = FileAccess::open(dir.file("secret"), false);
    EXPECT_EQ(r.status, FileAccess::Status::Failed);
    EXPECT_NE(r.reason.find("permission denied"), std::string::npos);
#endif
}

} // namespace
