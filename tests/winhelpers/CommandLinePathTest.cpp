// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLinePath.h"
#include "support/TempFolder.h"

#include "runner/CommandLineWords.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::string_literals;

using TempDir = gv::test::TempFolder;

bool touch(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Undoes one level of backslash escaping, as the runner's splitter does for
// a single word: every backslash takes the next byte literally.
std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size())
            ++i;
        out += s[i];
    }
    return out;
}

class CommandLinePathFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        char buf[4096];
        ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
        oldCwd = buf;
    }
    void TearDown() override { ASSERT_EQ(::chdir(oldCwd.c_str()), 0); }

    TempDir dir;
    std::string oldCwd;
};

const std::string kNastyNames[] = {
    "plain.txt",
    "with blank.txt",
    "  leading and trailing  ",
    "tab\tand\nnewline",
    "single'quote",
    "double\"quote\"",
    "back\\slash\\",
    "$(touch INJECTED)",
    "a;touch INJECTED;b",
    "`touch INJECTED`",
    "-v",
    "bytes \xff\xfe\x80 not utf8",
    "caf\xc3\xa9",
    "*",
};

TEST_F(CommandLinePathFiles, ExistingNamesComeBackAbsoluteAndEscaped)
{
    for (const std::string& name : kNastyNames) {
        const std::string full = dir.path() + "/" + name;
        ASSERT_TRUE(touch(full)) << name;
        const std::string shortName = gv::EscapedAbsolutePath(full);
        ASSERT_FALSE(shortName.empty()) << name;
        EXPECT_EQ(unescape(shortName), full) << name;
        // Put into the identifier's command line, the name comes back as
        // exactly one word, exactly the file, and nothing else runs.
        const std::vector<std::string> words = gv::splitCommandLine("cmd /c vonk " + shortName + " -v");
        const std::vector<std::string> expected{"cmd", "/c", "vonk", full, "-v"};
        EXPECT_EQ(words, expected) << name;
    }
    struct stat st {};
    EXPECT_NE(::lstat((dir.path() + "/INJECTED").c_str(), &st), 0);
}

TEST_F(CommandLinePathFiles, RelativeNamesAreMadeAbsoluteWithoutResolvingLinks)
{
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    ASSERT_EQ(::mkdir("sub dir", 0755), 0);
    ASSERT_TRUE(touch("sub dir/f"));
    ASSERT_EQ(::symlink("sub dir", "link"), 0);
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const std::string base = cwd;

    EXPECT_EQ(gv::EscapedAbsolutePath("sub dir/f"), gv::quoteCommandWord(base + "/sub dir/f"));
    EXPECT_EQ(gv::EscapedAbsolutePath("sub dir"), gv::quoteCommandWord(base + "/sub dir"));
    EXPECT_EQ(gv::EscapedAbsolutePath("link/f"), gv::quoteCommandWord(base + "/link/f"));
}

TEST_F(CommandLinePathFiles, MissingNamesGiveEmptyText)
{
    const std::string target = dir.path() + "/gone";
    ASSERT_EQ(::symlink(target.c_str(), (dir.path() + "/dangling").c_str()), 0);
    const std::pair<std::string, bool> cases[] = {
        {dir.path() + "/missing", false},
        {dir.path() + "/missing/below", false},
        {"", false},
        {dir.path() + "\0/x"s, false},
        // A link whose target is gone is still a name in its folder.
        {dir.path() + "/dangling", true},
        {dir.path(), true},
    };
    for (const auto& [path, exists] : cases)
        EXPECT_EQ(!gv::EscapedAbsolutePath(path).empty(), exists) << path;
}

} // namespace
