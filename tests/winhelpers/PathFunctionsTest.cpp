// SPDX-License-Identifier: GPL-3.0-or-later
#include "PathFunctions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct SplitCase {
    std::string path;
    std::string folder;
    std::string name;
    std::string extension;
    std::string pathFolder;
    std::string pathFileName;
};

class SplitPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathTest, SplitsIntoFolderNameAndExtension)
{
    const SplitCase& c = GetParam();
    const gv::PathParts p = gv::SplitPath(c.path);
    EXPECT_EQ(p.drive, "") << c.path;
    EXPECT_EQ(p.folder, c.folder) << c.path;
    EXPECT_EQ(p.name, c.name) << c.path;
    EXPECT_EQ(p.extension, c.extension) << c.path;
    EXPECT_EQ(gv::PathFolder(c.path), c.pathFolder) << c.path;
    EXPECT_EQ(gv::PathFileName(c.path), c.pathFileName) << c.path;
}

const SplitCase kSplitCases[] = {
    // path                    folder          name          ext       PathFolder      PathFileName
    {"/dir/file.txt",          "/dir/",        "file",       ".txt",   "/dir/",        "file.txt"},
    {"/dir/sub",               "/dir/sub",     "",           "",       "/dir/sub/",    ""},
    {"/dir/",                  "/dir/",        "",           "",       "/dir/",        ""},
    {"file.txt",               "",             "file",       ".txt",   "",             "file.txt"},
    {"a.b.c",                  "",             "a.b",        ".c",     "",             "a.b.c"},
    {"",                       "",             "",           "",       "",             ""},
    {"/",                      "/",            "",           "",       "/",            ""},
    {"//",                     "//",           "",           "",       "//",           ""},
    {"plain",                  "plain",        "",           "",       "plain/",       ""},
    {"/dir.d/file.txt",        "/dir.d/",      "file",       ".txt",   "/dir.d/",      "file.txt"},
    {"/dir.d/sub",             "/dir.d/sub",   "",           "",       "/dir.d/sub/",  ""},
    {"/dir.d/",                "/dir.d/",      "",           "",       "/dir.d/",      ""},
    {"/a.b/c.d/",              "/a.b/c.d/",    "",           "",       "/a.b/c.d/",    ""},
    {"/dir/file.",             "/dir/",        "file.",      "",       "/dir/",        "file."},
    {"/dir/a.b.",              "/dir/",        "a.b.",       "",       "/dir/",        "a.b."},
    {"/dir/.bashrc",           "/dir/",        "",           ".bashrc", "/dir/",       ".bashrc"},
    {".hidden",                "",             "",           ".hidden", "",            ".hidden"},
    {"/dir/archive.tar.gz",    "/dir/",        "archive.tar", ".gz",   "/dir/",        "archive.tar.gz"},
    {"/dir/..",                "/dir/..",      "",           "",       "/dir/../",     ""},
    {".",                      ".",            "",           "",       "./",           ""},
    {"rel/sub/x.y",            "rel/sub/",     "x",          ".y",     "rel/sub/",     "x.y"},
    {"/dir/my file.tar",       "/dir/",        "my file",    ".tar",   "/dir/",        "my file.tar"},
    // No drives here: a backslash is an ordinary character of a name.
    {"C:\\dir\\file.txt",      "",             "C:\\dir\\file", ".txt", "",            "C:\\dir\\file.txt"},
};

INSTANTIATE_TEST_SUITE_P(Examples, SplitPathTest, ::testing::ValuesIn(kSplitCases));

TEST(PathFunctions, TrimAtNullCutsAtTheFirstNul)
{
    const std::pair<std::string, std::string> cases[] = {
        {"abc", "abc"},
        {"ab\0cd"s, "ab"},
        {"\0x"s, ""},
        {"", ""},
        {"/path/x\0\0\0\0"s, "/path/x"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(gv::TrimAtNull(in), out);
}

TEST(PathFunctions, AddTrailingBackslashAddsOneSeparator)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"/", "/"},
        {"/data", "/data/"},
        {"/data/", "/data/"},
        {"rel", "rel/"},
        {"a\\", "a\\/"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(gv::AddTrailingBackslash(in), out) << in;
}

TEST(PathFunctions, MakeDialogFilterBuildsNulSeparatedPairs)
{
    const std::string one = gv::MakeDialogFilter("", "All files (*.*)");
    EXPECT_EQ(one.size(), 20u);
    EXPECT_EQ(one, "All files (*.*)\0*.*\0"s);
    const std::string two = gv::MakeDialogFilter(one, "Text", "*.txt;*.log");
    EXPECT_EQ(two, "All files (*.*)\0*.*\0Text\0*.txt;*.log\0"s);
}

TEST(PathFunctions, NameFiltersMatchEveryFileForStarDotStar)
{
    struct Case {
        std::string filter;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {gv::MakeDialogFilter("", "All files (*.*)"), {"All files (*.*) (*)"}},
        {gv::MakeDialogFilter(gv::MakeDialogFilter("", "Text"s, "*.txt; *.log"), "All", "*"),
         {"Text (*.txt *.log)", "All (*)"}},
        {gv::MakeDialogFilter("", "Nothing given", ""), {"Nothing given (*)"}},
        {gv::MakeDialogFilter("", "", "*.vkd"), {"*.vkd (*.vkd)"}},
        {"", {}},
        {"Broken"s, {}},
        {"A\0*.a\0\0\0"s, {"A (*.a)"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gv::NameFiltersFromDialogFilter(c.filter), c.expected);
}

} // namespace
