// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResourceFile.h"
#include "winhelpers/core/ResourceTable.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const unsigned char kTool[] = {0x7f, 'E', 'L', 'F', 0x00, 0xff, 0x0d, 0x0a, 0x1a, 0x00, 'x'};
const unsigned char kDefs[] = {'V', 'K', 'D', 0x00, 0x01};
const unsigned char kEmpty[] = {0};

const std::array<gv::EmbeddedResource, 3> kTable{{
    {"FILES", 9102, kTool, sizeof kTool},
    {"FILES", 9103, kDefs, sizeof kDefs},
    {"Other", 9102, kEmpty, 0},
}};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string bytesOf(const unsigned char* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

class ResourceFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gv::RegisterEmbeddedResources(kTable);
        ASSERT_FALSE(dir.empty());
        oldMask = ::umask(077);
    }
    void TearDown() override
    {
        ::umask(oldMask);
        gv::UnregisterEmbeddedResources(kTable);
    }

    // Every name in the folder, hidden ones too, in order.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    gv::test::TempFolder folder{"gvres"};
    const std::string dir = folder.path();
    mode_t oldMask = 0;
};

TEST_F(ResourceFileTest, LookupIgnoresTheCaseOfTheType)
{
    const std::pair<const char*, int> found[] = {{"FILES", 9102}, {"files", 9102}, {"FiLeS", 9103}, {"other", 9102}};
    for (const auto& [type, id] : found) {
        const gv::EmbeddedResource* r = gv::FindEmbeddedResource(type, id);
        ASSERT_NE(r, nullptr) << type << id;
        EXPECT_EQ(r->id, id);
    }
    EXPECT_EQ(gv::FindEmbeddedResource("files", 9104), nullptr);
    EXPECT_EQ(gv::FindEmbeddedResource("file", 9102), nullptr);
    EXPECT_EQ(gv::FindEmbeddedResource("filesx", 9102), nullptr);
    EXPECT_EQ(gv::FindEmbeddedResource("", 9102), nullptr);
}

TEST_F(ResourceFileTest, LaterTablesStandInAndUnregisteringRestores)
{
    const unsigned char other[] = {'n', 'e', 'w'};
    const std::array<gv::EmbeddedResource, 1> later{{{"files", 9102, other, sizeof other}}};
    gv::RegisterEmbeddedResources(later);
    EXPECT_EQ(gv::FindEmbeddedResource("FILES", 9102)->data, other);
    gv::UnregisterEmbeddedResources(later);
    EXPECT_EQ(gv::FindEmbeddedResource("FILES", 9102)->data, kTool);
}

TEST_F(ResourceFileTest, WritesAndReplacesOrKeepsAsAsked)
{
    using O = gv::ExtractOutcome;
    struct Case {
        const char* what;
        bool existsBefore;
        std::string before;
        int id;
        bool overwrite;
        O outcome;
        bool existsAfter;
        std::string after;
    };
    const std::string tool = bytesOf(kTool, sizeof kTool);
    const std::string longOld(5000, 'o');
    const Case cases[] = {
        {"new target", false, "", 9102, false, O::Written, true, tool},
        {"new target, overwrite", false, "", 9103, true, O::Written, true, bytesOf(kDefs, sizeof kDefs)},
        {"longer old file is replaced, not written over", true, longOld, 9102, true, O::Written, true, tool},
        {"existing target kept", true, "keep me", 9102, false, O::KeptExisting, true, "keep me"},
        {"missing resource keeps an existing target when not replacing", true, "keep me", 4242, false,
         O::KeptExisting, true, "keep me"},
        {"missing resource deletes the target it was to replace", true, "old", 4242, true, O::MissingResource, false,
         ""},
        {"missing resource writes nothing", false, "", 4242, true, O::MissingResource, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string target = dir + "/vonk";
        ::unlink(target.c_str());
        if (c.existsBefore)
            writeFile(target, c.before);
        EXPECT_EQ(gv::ExtractResourceFile(target, c.id, "files", c.overwrite), c.outcome);
        struct stat st {};
        const bool exists = ::lstat(target.c_str(), &st) == 0;
        EXPECT_EQ(exists, c.existsAfter);
        if (exists) {
            EXPECT_EQ(readFile(target), c.after);
        }
        if (c.outcome == O::Written) {
            EXPECT_EQ(st.st_mode & 07777, 0755u);
            EXPECT_EQ(static_cast<std::size_t>(st.st_size), c.after.size());
        }
        // No temporary file is left beside the target.
        EXPECT_EQ(entries().size(), exists ? 1u : 0u);
    }
}

TEST_F(ResourceFileTest, ReplacesALinkInsteadOfWritingThroughIt)
{
    const std::string victim = dir + "/victim";
    writeFile(victim, "precious");
    const std::string target = dir + "/vonk";
    ASSERT_EQ(::symlink(victim.c_str(), target.c_str()), 0);
    EXPECT_EQ(gv::ExtractResourceFile(target, 9102, "FILES", false), gv::ExtractOutcome::KeptExisting);
    EXPECT_EQ(gv::ExtractResourceFile(target, 9102, "FILES", true), gv::ExtractOutcome::Written);
    EXPECT_EQ(readFile(victim), "precious");
    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(readFile(target), bytesOf(kTool, sizeof kTool));
}

TEST_F(ResourceFileTest, UnwritablePlacesFailQuietly)
{
    // Root may write anywhere, so the folders are made impossible instead:
    // below a regular file, or a folder that is not there.
    const std::string regular = dir + "/regular";
    writeFile(regular, "x");
    ASSERT_EQ(::mkdir((dir + "/a folder").c_str(), 0755), 0);
    const std::string targets[] = {regular + "/vonk", dir + "/missing/vonk", dir + "/a folder", ""};
    for (const std::string& t : targets) {
        EXPECT_EQ(gv::ExtractResourceFile(t, 9102, "FILES", true), gv::ExtractOutcome::Failed) << t;
    }
    EXPECT_EQ(readFile(regular), "x");
    struct stat st {};
    ASSERT_EQ(::lstat((dir + "/a folder").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(entries().size(), 2u);
}

TEST_F(ResourceFileTest, EmptyResourceGivesAnEmptyFile)
{
    const std::string target = dir + "/empty";
    writeFile(target, "old bytes");
    EXPECT_EQ(gv::ExtractResourceFile(target, 9102, "OTHER", true), gv::ExtractOutcome::Written);
    EXPECT_EQ(readFile(target), "");
}

} // namespace
