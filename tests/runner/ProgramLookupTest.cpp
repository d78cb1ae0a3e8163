#include "ProgramLookup.h"
#include "RunnerTestSupport.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {

using gv::test::TempDir;

class ProgramLookup : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_first.path().empty());
        ASSERT_FALSE(m_second.path().empty());
        m_first.writeFile("tool", "#!/bin/sh\n", 0755);
        m_second.writeFile("tool", "#!/bin/sh\n", 0755);
        m_second.writeFile("only2", "#!/bin/sh\n", 0755);
        m_first.writeFile("noexec", "#!/bin/sh\n", 0644);
        m_second.writeFile("noexec", "#!/bin/sh\n", 0755);
        ::mkdir((m_first.path() + "/folder").c_str(), 0755);
        m_second.writeFile("folder", "#!/bin/sh\n", 0755);
    }
    TempDir m_first;
    TempDir m_second;
};

TEST_F(ProgramLookup, SearchesFoldersInOrderAndSkipsWhatCannotRun)
{
    const std::vector<std::string> dirs{m_first.path(), m_second.path()};
    const struct {
        const char* word;
        std::string expected; // empty: not found
    } cases[] = {
        {"tool", m_first.path() + "/tool"},
        {"only2", m_second.path() + "/only2"},
        {"noexec", m_second.path() + "/noexec"}, // not executable in the first
        {"folder", m_second.path() + "/folder"}, // a folder is no program
        {"missing", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        const auto found = gv::findProgram(c.word, dirs);
        EXPECT_EQ(found.value_or(""), c.expected) << "word: " << c.word;
    }
}

TEST_F(ProgramLookup, WordWithSlashIsAPathNeverSearched)
{
    const std::vector<std::string> dirs{m_second.path()};
    EXPECT_EQ(gv::findProgram(m_first.path() + "/tool", dirs).value_or(""), m_first.path() + "/tool");
    // Relative paths are taken from the start folder, not from the search list.
    EXPECT_EQ(gv::findProgram("./tool", dirs, m_first.path()).value_or(""), m_first.path() + "/./tool");
    EXPECT_FALSE(gv::findProgram("./only2", dirs, m_first.path()));
    EXPECT_FALSE(gv::findProgram(m_first.path() + "/noexec", dirs));
}

TEST_F(ProgramLookup, EmptyAndRelativeEntriesMeanTheStartFolder)
{
    EXPECT_EQ(gv::findProgram("only2", {""}, m_second.path()).value_or(""), m_second.path() + "/only2");
    EXPECT_EQ(gv::findProgram("only2", {"."}, m_second.path()).value_or(""), m_second.path() + "/./only2");
}

TEST(ProgramFolder, IsTheFolderOfThisExecutable)
{
    const std::string& folder = gv::programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(gv::test::kChild.substr(0, gv::test::kChild.rfind('/')), folder);
    // Links resolved: the folder the file really lies in.
    char self[PATH_MAX] = {};
    ASSERT_TRUE(::realpath("/proc/self/exe", self));
    EXPECT_EQ(std::filesystem::path(self).parent_path().string(), folder);
}

} // namespace
