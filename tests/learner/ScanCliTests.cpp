// SPDX-License-Identifier: GPL-3.0-or-later
// End to end: vonk-scan learns a made-up type from generated samples, the
// compiler takes the result with the shipped definitions, and vonk then
// recognises held-out samples and nothing else. Every child process runs
// with a time limit.

#include "LearnerTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace gv::learner::test;
namespace fs = std::filesystem;

namespace {

std::string le(std::uint64_t v, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// The made-up format: a 6-byte magic, a little-endian version (1 to 3), the
// body's length, then the body.
std::string qxfFile(std::mt19937& rng, std::size_t bodyLen)
{
    std::string body = randomBytes(rng, bodyLen);
    return std::string("QXF\x7f" "DB") + le(1 + rng() % 3, 2) + le(bodyLen, 4) + body;
}

// Files of other types, as their documented headers start them.
std::vector<std::pair<std::string, std::string>> otherTypes(std::mt19937& rng, const std::string& tag)
{
    using namespace std::string_literals;
    std::vector<std::pair<std::string, std::string>> out{
        {"pic" + tag + ".png", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s + randomBytes(rng, 300)},
        {"anim" + tag + ".gif", "GIF89a"s + randomBytes(rng, 200)},
        {"doc" + tag + ".pdf", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n%%EOF\n"s},
        {"prog" + tag, "\x7f" "ELF\x02\x01\x01\0"s + randomBytes(rng, 500)},
        {"arch" + tag + ".gz", "\x1f\x8b\x08\0"s + randomBytes(rng, 400)},
        {"data" + tag + ".zip", "PK\x03\x04\x14\0\0\0"s + randomBytes(rng, 100) + "PK\x05\x06"s + std::string(18, '\0')},
        {"notes" + tag + ".txt", "Shopping list\nmilk\nbread\nQXF is not a magic here\n"},
        {"conf" + tag + ".json", "{\"name\": \"qxf\", \"version\": 2}\n"},
        {"run" + tag + ".sh", "#!/bin/sh\necho hello\n"},
        {"noise" + tag + ".bin", randomBytes(rng, 3000)},
        // Near misses: the magic shifted by one, or cut short.
        {"shifted" + tag + ".bin", "x" + std::string("QXF\x7f" "DB") + randomBytes(rng, 200)},
        {"short" + tag + ".bin", "QXF\x7f" "DC" + randomBytes(rng, 200)},
    };
    return out;
}

std::vector<nlohmann::json> jsonLines(const std::string& out)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty())
            lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

RunResult scan(const std::vector<std::string>& args) { return run(GV_VONK_SCAN_EXE, args); }

} // namespace

TEST(ScanEndToEnd, LearnedTypeIsRecognisedInHeldOutSamplesAndNowhereElse)
{
    TempDir dir;
    std::mt19937 rng(2026);
    const std::size_t trainSizes[] = {40, 90, 300, 700, 1200, 2500, 4000, 9000};
    for (std::size_t i = 0; i < std::size(trainSizes); ++i)
        dir.write("qxf/train" + std::to_string(i) + ".qxf", qxfFile(rng, trainSizes[i]));
    const std::size_t heldSizes[] = {0, 17, 333, 5000, 70000, 250000};
    std::vector<std::string> held;
    for (std::size_t i = 0; i < std::size(heldSizes); ++i)
        held.push_back(dir.write("held/h" + std::to_string(i), qxfFile(rng, heldSizes[i])));
    for (const auto& [name, content] : otherTypes(rng, "-ref"))
        dir.write("reference/" + name, content);
    std::vector<std::string> others;
    for (const auto& [name, content] : otherTypes(rng, "-other"))
        others.push_back(dir.write("others/" + name, content));

    const std::string learned = dir.path() + "/defs/qxf-learned.vdef";
    fs::create_directories(dir.path() + "/defs");
    RunResult r = scan({dir.path() + "/qxf", "--reference", dir.path() + "/reference", "-o", learned});
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.exit, 0) << r.err;
    std::string source = readFile(learned);
    EXPECT_NE(source.find("type qxf\n"), std::string::npos) << source;
    EXPECT_NE(source.find("ext  qxf\n"), std::string::npos) << source;

    // The shipped definitions and the learned one, compiled together.
    for (const auto& e : fs::directory_iterator(GV_DEFINITIONS_DIR)) {
        if (e.path().extension() == ".vdef")
            fs::copy_file(e.path(), dir.path() + "/defs/" + e.path().filename().string());
    }
    const std::string db = dir.path() + "/learned.vkd";
    r = run(GV_VONK_DEFS_EXE, {"-q", "-o", db, dir.path() + "/defs"});
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.exit, 0) << r.err << source;

    std::vector<std::string> args{"-d:" + db, "--json"};
    args.insert(args.end(), held.begin(), held.end());
    r = run(GV_VONK_EXE, args);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exit, 0) << r.err;
    auto heldLines = jsonLines(r.out);
    ASSERT_EQ(heldLines.size(), held.size()) << r.out;
    for (const auto& j : heldLines) {
        ASSERT_FALSE(j["candidates"].empty()) << j.dump();
        EXPECT_EQ(j["candidates"][0]["id"], "qxf") << j.dump();
    }

    args = {"-d:" + db, "--json", "-r:100"};
    args.insert(args.end(), others.begin(), others.end());
    r = run(GV_VONK_EXE, args);
    ASSERT_FALSE(r.timedOut);
    auto otherLines = jsonLines(r.out);
    ASSERT_EQ(otherLines.size(), others.size()) << r.out;
    for (const auto& j : otherLines) {
        for (const auto& c : j["candidates"])
            EXPECT_NE(c["id"], "qxf") << j.dump();
    }
}

TEST(ScanEndToEnd, CommandLineErrorsAreUsageErrors)
{
    TempDir dir;
    dir.write("s/a", "SAMPLE-A");
    dir.write("s/b", "SAMPLE-B");
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string stdoutHas;
        std::string stderrHas;
    };
    const std::string s = dir.path() + "/s";
    const std::vector<Case> cases{
        {{"--help"}, 0, "--reference", ""},
        {{"--version"}, 0, "vonk-scan ", ""},
        {{}, 2, "", "samples"},
        {{s, "--bogus"}, 2, "", "--bogus"},
        {{dir.path() + "/missing"}, 2, "", "missing"},
        {{s, "--reference", dir.path() + "/missing"}, 2, "", "missing"},
        {{s, "--id", "Bad Id"}, 2, "", "an id is"},
        {{s, "--ext", ".png"}, 2, "", "without a leading dot"},
        {{s, "--mime", "nonsense"}, 2, "", "TYPE/SUBTYPE"},
        {{s, "--cat", "pictures"}, 2, "", "category"},
        {{s, "--head", "10"}, 2, "", "--head"},
    };
    for (const auto& c : cases) {
        RunResult r = scan(c.args);
        ASSERT_FALSE(r.timedOut);
        std::string what = c.args.empty() ? "(no arguments)" : c.args.back();
        EXPECT_EQ(r.exit, c.exit) << what << "\n" << r.err;
        EXPECT_NE(r.out.find(c.stdoutHas), std::string::npos) << what << "\n" << r.out;
        EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << what << "\n" << r.err;
    }
}

TEST(ScanEndToEnd, RefusalExplainsAndLeavesTheOutputAlone)
{
    TempDir dir;
    std::mt19937 rng(1);
    for (int i = 0; i < 5; ++i)
        dir.write("random/r" + std::to_string(i), randomBytes(rng, 500));
    const std::string out = dir.write("keep.vdef", "# the user's own file\n");
    RunResult r = scan({dir.path() + "/random", "-o", out, "-q"});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("cannot learn a definition"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(readFile(out), "# the user's own file\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2); // no stray temp file
}

TEST(ScanEndToEnd, DefaultsComeFromTheFolderAndTheSamples)
{
    TempDir dir;
    for (int i = 0; i < 4; ++i)
        dir.write("My Notes/n" + std::to_string(i) + ".MYN",
            "MYNOTES v1\nauthor: person " + std::to_string(i * 7919) + "\nbody text " + std::to_string(i) + "\n");
    dir.write("My Notes/empty.myn", "");
    RunResult r = scan({dir.path() + "/My Notes/"});
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("type my-notes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("desc \"MYN file\"\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ext  myn\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mime application/x-my-notes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cat  text\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("at 0 str \"MYNOTES "), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("empty.myn: empty file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no --reference"), std::string::npos) << r.err;

    r = scan({dir.path() + "/My Notes", "--id", "notes", "--desc", "Notes \"file\"", "--ext", "myn", "--ext", "txt",
        "--mime", "text/x-notes", "--cat", "document", "-q"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("type notes\n  desc \"Notes \\\"file\\\"\"\n  ext  myn txt\n  mime text/x-notes\n  cat  document\n"),
        std::string::npos)
        << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

namespace {

// UTF-16 text with a byte-order mark, as some editors save notes.
std::string utf16le(const std::string& ascii)
{
    std::string out = "\xff\xfe";
    for (char c : ascii)
        out += std::string(1, c) + '\0';
    return out;
}

} // namespace

TEST(ScanEndToEnd, TheDefaultCategoryFollowsTheIdentifiersJudgementOfText)
{
    struct Case {
        std::string folder;
        std::string (*make)(int);
        std::string category;
    };
    const std::vector<Case> cases{
        {"wide", [](int i) { return utf16le("WIDENOTES 1\r\nline " + std::to_string(i * 31) + " of text\r\n"); }, "text"},
        {"plain", [](int i) { return "PLAINNOTES 1\nline " + std::to_string(i * 31) + " of text\n"; }, "text"},
        {"bin", [](int i) { return std::string("BINFMT\0\x01\x02", 9) + std::string(40, static_cast<char>(i)); }, "data"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i)
            dir.write(c.folder + "/s" + std::to_string(i), c.make(i));
        RunResult r = scan({dir.path() + "/" + c.folder, "-q"});
        ASSERT_EQ(r.exit, 0) << c.folder << ": " << r.err;
        EXPECT_NE(r.out.find("cat  " + c.category + "\n"), std::string::npos) << c.folder << ":\n" << r.out;
    }
}

TEST(ScanEndToEnd, OutputThroughALinkOrToADeviceKeepsThemWhatTheyAre)
{
    TempDir dir;
    for (int i = 0; i < 3; ++i)
        dir.write("fmt/s" + std::to_string(i), "ZQFORMAT" + std::string(1, static_cast<char>('a' + i)) + "body");
    const std::string real = dir.write("real.vdef", "old\n");
    const std::string link = dir.path() + "/link.vdef";
    fs::create_symlink("real.vdef", link);
    RunResult r = scan({dir.path() + "/fmt", "-q", "-o", link});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(readFile(real).find("type fmt\n"), std::string::npos);

    r = scan({dir.path() + "/fmt", "-q", "-o", "/dev/stdout"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("type fmt\n"), std::string::npos) << r.out;

    r = scan({dir.path() + "/fmt", "-q", "-o", dir.path() + "/no/such/folder/x.vdef"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}
