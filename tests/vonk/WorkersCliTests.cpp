// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end: vonk with several workers writes exactly what one worker
// writes, and its confidence marks agree between the text and JSON reports.

#include "TestSupport.h"
#include "support/RunProgram.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <random>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using gv::test::RunResult;
using gv::vonk::test::TempDir;
using gv::vonk::test::writeFile;

// A time limit on every run, so a hang fails the test instead of stalling it.
RunResult vonk(std::vector<std::string> args)
{
    if (std::none_of(args.begin(), args.end(), [](const std::string& a) { return a.starts_with("-d:"); }))
        args.insert(args.begin(), std::string("-d:") + GV_TEST_DB);
    return gv::test::RunProgram(GV_VONK_EXE, args, {}, 60000);
}

// A folder of mixed files: known types, text, binary noise, empty files, a
// subfolder and a FIFO, so every kind of report line takes part.
void fillFolder(const TempDir& dir, int count)
{
    std::mt19937 rng(7);
    const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%04d", i);
        std::string bytes;
        switch (i % 6) {
        case 0: bytes = png + std::string(static_cast<std::size_t>(rng() % 5000), 'x'); break;
        case 1: bytes = gv::vonk::test::makeZip({{"a.txt", std::string(rng() % 300, 'a')}}, i % 12 == 1 ? "stub" : ""); break;
        case 2: bytes = "plain words, line " + std::to_string(i) + "\n"; break;
        case 3:
            for (std::size_t k = rng() % 20000; k > 0; --k)
                bytes += static_cast<char>(rng());
            break;
        case 4: bytes = std::string("GIF89a") + std::string(100, '\0'); break;
        case 5: break; // empty
        }
        writeFile(dir.file(name), bytes);
    }
    std::filesystem::create_directory(dir.file("sub"));
#ifndef _WIN32
    ::mkfifo(dir.file("pipe").c_str(), 0644);
#endif
}

TEST(Workers, OutputIsIdenticalToOneWorker)
{
    TempDir dir;
    fillFolder(dir, 600);
    for (const char* format : {"", "--json", "--tsv", "-v"}) {
        SCOPED_TRACE(format);
        std::vector<std::string> base{dir.path(), dir.file("missing"), dir.path() + "/f00*"};
        if (*format)
            base.push_back(format);
        auto withJobs = [&](const char* j) {
            auto a = base;
            a.push_back("-j");
            a.push_back(j);
            return vonk(a);
        };
        RunResult one = withJobs("1");
        ASSERT_EQ(one.exit, 1); // the missing file
        ASSERT_GT(one.out.size(), 1000u);
        for (const char* j : {"2", "4"}) {
            RunResult many = withJobs(j);
            EXPECT_EQ(many.exit, one.exit) << "-j " << j;
            EXPECT_TRUE(many.out == one.out) << "-j " << j << " differs from -j 1";
        }
        // The default (one worker per processor) too.
        RunResult dflt = vonk(base);
        EXPECT_EQ(dflt.exit, one.exit);
        EXPECT_TRUE(dflt.out == one.out) << "default -j differs from -j 1";
    }
}

TEST(Workers, RejectsANonsenseWorkerCount)
{
    TempDir dir;
    writeFile(dir.file("a"), "text\n");
    for (const char* j : {"0", "-3", "many"})
        EXPECT_EQ(vonk({dir.file("a"), "-j", j}).exit, 2) << j;
}

TEST(Confidence, TextMarksAgreeWithJson)
{
    TempDir dir;
    fillFolder(dir, 60);
    // The test definitions plus one that rests on two bytes of magic alone.
    gv::vonk::DefinitionParser parser;
    parser.parseFile(GV_TEST_VDEF);
    parser.parse("type weak\n desc \"weak\"\n ext wk\n mime application/x-weak\n cat data\n at 0 str \"WK\"\n", "weak.vdef");
    ASSERT_TRUE(parser.finish());
    auto bytes = gv::vonk::DatabaseWriter::build(parser.definitions());
    TempDir dbDir;
    writeFile(dbDir.file("t.vkd"), std::string(bytes.begin(), bytes.end()));
    writeFile(dir.file("weak"), std::string("WK") + std::string(40, '\x07'));
    const std::string db = "-d:" + dbDir.file("t.vkd");
    RunResult json = vonk({dir.path(), "--json", "-r:50", "-j", "1", db});
    RunResult text = vonk({dir.path(), "-r:50", "-j", "1", db});
    std::vector<bool> lowFromJson;
    for (std::size_t pos = 0; pos < json.out.size();) {
        std::size_t nl = json.out.find('\n', pos);
        auto j = nlohmann::json::parse(json.out.substr(pos, nl - pos));
        pos = nl + 1;
        if (j["status"] != "identified") {
            EXPECT_EQ(j.at("confidence"), nullptr);
            continue;
        }
        ASSERT_TRUE(j.contains("confidence"));
        EXPECT_EQ(j["confidence"], j["candidates"][0]["confidence"]);
        for (const auto& c : j["candidates"]) {
            std::string level = c["confidence"];
            EXPECT_TRUE(level == "low" || level == "medium" || level == "high") << level;
            EXPECT_TRUE(c["evidence"].is_number_unsigned());
            lowFromJson.push_back(level == "low");
        }
    }
    // Candidate lines in the text report are the ones with a percentage.
    std::vector<bool> lowFromText;
    std::size_t pos = 0;
    while (pos < text.out.size()) {
        std::size_t nl = text.out.find('\n', pos);
        std::string line = text.out.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.size() > 8 && line.compare(0, 2, "  ") == 0 && line[7] == '%')
            lowFromText.push_back(line.find("(weak evidence)") != std::string::npos);
    }
    EXPECT_EQ(lowFromText, lowFromJson);
    EXPECT_NE(std::find(lowFromJson.begin(), lowFromJson.end(), true), lowFromJson.end()) << "no weak candidate in the sample";
    EXPECT_NE(std::find(lowFromJson.begin(), lowFromJson.end(), false), lowFromJson.end()) << "no confident candidate in the sample";
}

} // namespace
