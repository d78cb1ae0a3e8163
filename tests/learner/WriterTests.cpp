// SPDX-License-Identifier: GPL-3.0-or-later
// The written source: what the compiler's parser reads back, and the checks
// on values the user gives.

#include "vonk/build/DatabaseWriter.h"
#include "vonk/build/DefinitionParser.h"
#include "vonk/learner/DefinitionWriter.h"
#include "LearnerTestSupport.h"
#include "vonk/learner/SampleReader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace gv::learner;
using namespace gv::learner::test;

namespace {

LearnedRule rule(LearnedRule::Kind kind, std::int64_t offset, std::size_t window, const std::string& b, bool text)
{
    LearnedRule r;
    r.kind = kind;
    r.offset = offset;
    r.window = window;
    r.bytes = bytes(b);
    r.text = text;
    r.bits = r.evidenceBits();
    return r;
}

} // namespace

TEST(DefinitionWriter, WritesASourceTheCompilerReadsBackExactly)
{
    LearnResult res;
    res.ok = true;
    res.references = 10;
    res.rules = {
        rule(LearnedRule::Kind::At, 0, 0, std::string("\x89QX\0\xff", 5), false),
        rule(LearnedRule::Kind::At, -6, 0, "TRAIL#", true),
        rule(LearnedRule::Kind::Head, 0, 512, "say \"hi\" \\ # not a comment", true),
        rule(LearnedRule::Kind::Tail, 0, 128, "end-mark", true),
    };
    DefinitionInfo info{"qx-format", "QX \"quoted\" format", {"qx", "qxf"}, {"application/x-qx"}, "data", {"a note"}};
    std::string text = DefinitionWriter::write(info, res);
    EXPECT_TRUE(DefinitionWriter::check(text, "learned.vdef").empty()) << text;

    gv::vonk::DefinitionParser parser;
    parser.parse(text, "learned.vdef");
    ASSERT_TRUE(parser.finish()) << text;
    ASSERT_EQ(parser.definitions().size(), 1u);
    const auto& d = parser.definitions().front();
    EXPECT_EQ(d.id, "qx-format");
    EXPECT_EQ(d.desc, "QX \"quoted\" format");
    EXPECT_EQ(d.exts, (std::vector<std::string>{"qx", "qxf"}));
    EXPECT_EQ(d.mimes, (std::vector<std::string>{"application/x-qx"}));
    EXPECT_EQ(d.category, "data");
    ASSERT_EQ(d.root.children.size(), res.rules.size());
    for (std::size_t i = 0; i < res.rules.size(); ++i)
        EXPECT_EQ(d.root.children[i].bytes, res.rules[i].bytes) << res.rules[i].source();
    EXPECT_EQ(d.root.children[1].off, -6);
    EXPECT_EQ(d.root.children[2].off, 512);
}

TEST(DefinitionWriter, EvidenceWrittenIsWhatTheCompilerGives)
{
    // Long strings in a narrow window, single bytes in a wide one, long
    // fixed runs: the figures at the database's limits.
    LearnResult res;
    res.ok = true;
    res.rules = {
        rule(LearnedRule::Kind::Head, 0, 128, "configuration-of-the-frobnicator", true),
        rule(LearnedRule::Kind::Head, 0, 4096, "\x01", false),
        rule(LearnedRule::Kind::Tail, 0, 1, "Z", true),
        rule(LearnedRule::Kind::Tail, 0, 64, "trailer!", true),
        rule(LearnedRule::Kind::At, 0, 0, std::string(25, 'Q'), true),
        rule(LearnedRule::Kind::At, 3, 0, "\xca", false),
        rule(LearnedRule::Kind::At, -4, 0, "EOF!", true),
    };
    DefinitionInfo info{"evidence", "Evidence", {"-"}, {"application/x-evidence"}, "data", {}};
    std::string text = DefinitionWriter::write(info, res);
    gv::vonk::DefinitionParser parser;
    parser.parse(text, "evidence.vdef");
    ASSERT_TRUE(parser.finish()) << text;
    const auto& compiled = parser.definitions().front().root.children;
    ASSERT_EQ(compiled.size(), res.rules.size());
    for (std::size_t i = 0; i < res.rules.size(); ++i) {
        EXPECT_EQ(res.rules[i].bits, static_cast<int>(gv::vonk::DatabaseWriter::evidenceOf(compiled[i])))
            << res.rules[i].source();
        EXPECT_NE(text.find(res.rules[i].source() + " "), std::string::npos);
    }
    EXPECT_EQ(res.rules[0].bits, 160);
    EXPECT_NE(text.find("# 160 bits"), std::string::npos) << text;
}

TEST(DefinitionWriter, CheckReportsWhatTheCompilerRejects)
{
    auto errors = DefinitionWriter::check("type bad\n  desc \"x\"\n", "bad.vdef");
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front().rfind("bad.vdef:", 0), 0u) << errors.front();
    EXPECT_FALSE(DefinitionWriter::check("# only a comment\n", "empty.vdef").empty());
}

TEST(DefinitionWriter, ChecksUserGivenFields)
{
    struct Case {
        std::string (*check)(const std::string&);
        std::string value;
        bool ok;
    };
    const std::vector<Case> cases{
        {DefinitionWriter::checkId, "my-format.v2", true},
        {DefinitionWriter::checkId, "x", true},
        {DefinitionWriter::checkId, "", false},
        {DefinitionWriter::checkId, "Upper", false},
        {DefinitionWriter::checkId, "-lead", false},
        {DefinitionWriter::checkId, "has space", false},
        {DefinitionWriter::checkExt, "tar.gz", true},
        {DefinitionWriter::checkExt, "-", true},
        {DefinitionWriter::checkExt, ".png", false},
        {DefinitionWriter::checkExt, "a b", false},
        {DefinitionWriter::checkExt, "x#y", false},
        {DefinitionWriter::checkMime, "application/x-qx", true},
        {DefinitionWriter::checkMime, "application", false},
        {DefinitionWriter::checkMime, "/x", false},
        {DefinitionWriter::checkMime, "a/b/c", false},
        {DefinitionWriter::checkMime, "text/\"x\"", false},
        {DefinitionWriter::checkCategory, "image", true},
        {DefinitionWriter::checkCategory, "pictures", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.check(c.value).empty(), c.ok) << "\"" << c.value << "\"";
}

TEST(DefinitionWriter, MakesIdsFromFolderNames)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"qxf", "qxf"},
        {"My Format!", "my-format"},
        {"ABC_1", "abc_1"},
        {"--x--", "x"},
        {"__", "learned"},
        {"\xc3\xa9t\xc3\xa9", "t"},
        {"", "learned"},
    };
    for (const auto& [name, id] : cases) {
        EXPECT_EQ(DefinitionWriter::idFrom(name), id) << name;
        EXPECT_TRUE(DefinitionWriter::checkId(DefinitionWriter::idFrom(name)).empty()) << name;
    }
}

TEST(SampleReader, ReadsBoundedWindowsOfRegularFilesOnly)
{
    TempDir dir;
    std::string big(100000, 'm');
    big.replace(0, 5, "START");
    big.replace(big.size() - 3, 3, "END");
    auto path = dir.write("big.bin", big);
    SampleReader reader(Window{64, 32});
    Sample s;
    std::string err;
    ASSERT_TRUE(reader.read(path, s, err)) << err;
    EXPECT_EQ(s.size, big.size());
    ASSERT_EQ(s.head.size(), 64u);
    ASSERT_EQ(s.tail.size(), 32u);
    EXPECT_EQ(std::string(s.head.begin(), s.head.begin() + 5), "START");
    EXPECT_EQ(std::string(s.tail.end() - 3, s.tail.end()), "END");

    // Sizes around both windows: what is read matches the whole content
    // seen through the windows, and an empty file is read as size 0.
    for (std::size_t size : {0u, 1u, 31u, 32u, 33u, 63u, 64u, 65u, 96u, 97u, 5000u}) {
        std::string content;
        for (std::size_t i = 0; i < size; ++i)
            content += static_cast<char>('a' + i % 26);
        auto p = dir.write("sized/" + std::to_string(size), content);
        Sample got;
        ASSERT_TRUE(reader.read(p, got, err)) << size << ": " << err;
        Sample want = Sample::fromText(p, content, reader.window());
        EXPECT_EQ(got.size, size);
        EXPECT_EQ(got.head, want.head) << size;
        EXPECT_EQ(got.tail, want.tail) << size;
    }

    EXPECT_FALSE(reader.read(dir.path() + "/sized", s, err)); // a folder
    EXPECT_NE(err.find("folder"), std::string::npos) << err;

    auto fifo = dir.path() + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(reader.read(fifo, s, err)); // returns at once, no writer needed
    EXPECT_FALSE(reader.read(dir.path() + "/missing", s, err));
    EXPECT_FALSE(err.empty());
}

TEST(SampleReader, ListsSortedSkipsHiddenAndExcludedAndSpreads)
{
    TempDir dir;
    dir.write("b/2", "x");
    dir.write("b/1", "x");
    dir.write("a/1", "x");
    dir.write(".hidden/1", "x");
    dir.write("a/.dot", "x");
    dir.write("samples/1", "x");
    dir.write("top", "x");
    ::mkfifo((dir.path() + "/fifo").c_str(), 0600);
    std::vector<std::string> problems;
    auto all = SampleReader::listFiles(dir.path(), true, dir.path() + "/samples", 100, problems);
    std::vector<std::string> rel;
    for (const auto& p : all)
        rel.push_back(std::filesystem::relative(p, dir.path()).string());
    EXPECT_EQ(rel, (std::vector<std::string>{"a/1", "b/1", "b/2", "top"}));
    EXPECT_TRUE(problems.empty());

    auto flat = SampleReader::listFiles(dir.path(), false, {}, 100, problems);
    ASSERT_EQ(flat.size(), 1u);
    EXPECT_EQ(flat.front().filename(), "top");

    // Links: into the excluded folder (a file or the folder itself) they
    // are left out, elsewhere a link to a file is listed.
    std::filesystem::create_symlink("samples/1", dir.path() + "/into-samples");
    std::filesystem::create_symlink(dir.path() + "/samples", dir.path() + "/a/samples-link");
    std::filesystem::create_symlink("../top", dir.path() + "/b/to-top");
    all = SampleReader::listFiles(dir.path(), true, dir.path() + "/samples", 100, problems);
    rel.clear();
    for (const auto& p : all)
        rel.push_back(p.lexically_relative(dir.path()).string());
    EXPECT_EQ(rel, (std::vector<std::string>{"a/1", "b/1", "b/2", "b/to-top", "top"}));
    // The excluded folder named a different way, and the flat listing too.
    flat = SampleReader::listFiles(dir.path(), false, dir.path() + "/a/samples-link/", 100, problems);
    rel.clear();
    for (const auto& p : flat)
        rel.push_back(p.lexically_relative(dir.path()).string());
    EXPECT_EQ(rel, (std::vector<std::string>{"top"}));
    // A listing inside the excluded folder finds nothing.
    EXPECT_TRUE(SampleReader::listFiles(dir.path() + "/samples", true, dir.path() + "/samples", 100, problems).empty());
    EXPECT_TRUE(problems.empty());

    // The limit stops the listing.
    EXPECT_EQ(SampleReader::listFiles(dir.path(), true, {}, 2, problems).size(), 2u);
    EXPECT_FALSE(SampleReader::listFiles(dir.path() + "/missing", true, {}, 100, problems).size());
    EXPECT_EQ(problems.size(), 1u);

    std::vector<std::filesystem::path> many;
    for (int i = 0; i < 10; ++i)
        many.push_back(std::to_string(i));
    auto picked = SampleReader::spread(many, 3);
    EXPECT_EQ(picked, (std::vector<std::filesystem::path>{"0", "3", "6"}));
    EXPECT_EQ(SampleReader::spread(many, 20).size(), 10u);
}
