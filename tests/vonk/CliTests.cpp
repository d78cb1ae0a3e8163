// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests: run the vonk executable on files made here, against the
// test definitions database, with a time limit on every run.

#include "support/RunProgram.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using gv::test::RunResult;

RunResult runExe(const std::string& exe, const std::vector<std::string>& args, const std::string& cwd = {}, int timeoutMs = 15000)
{
    return gv::test::RunProgram(exe, args, cwd, timeoutMs);
}

RunResult vonk(std::vector<std::string> args, const std::string& cwd = {})
{
    args.insert(args.begin(), std::string("-d:") + GV_TEST_DB);
    return runExe(GV_VONK_EXE, args, cwd);
}

class Cli : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes)
    {
        std::string p = m_dir + "/" + name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const std::string kPng = std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    gv::test::TempFolder m_folder{"vonk-cli"};
    const std::string m_dir = m_folder.path();
};

TEST_F(Cli, IdentifiesAFileWithPercentageExtensionAndDescription)
{
    auto p = write("pic.png", kPng);
    RunResult r = vonk({p});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, p + "\n  100.0%  .png   PNG test image\n\n");
}

TEST_F(Cli, VerboseShowsMimeRulesAndSize)
{
    auto p = write("pic", kPng);
    RunResult r = vonk({p, "-v"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_NE(r.out.find("(16 bytes)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[image/png]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("matched: at 0 hex 89 50 4E 47 0D 0A 1A 0A  (at offset 0)"), std::string::npos) << r.out;
}

TEST_F(Cli, OptionFormsAndPositions)
{
    auto p = write("x.gif", "GIF89a....");
    // -r:nn and -d:FILE forms, options before or after the targets.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {p, "-r:1"}, {"-r:1", p}, {"-r", "1", p}, {p, "-v", "-r:1"}}) {
        RunResult r = vonk(args);
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_NE(r.out.find("GIF test image"), std::string::npos);
    }
    RunResult r = runExe(GV_VONK_EXE, {std::string("-d:") + GV_TEST_DB, p});
    EXPECT_EQ(r.exit, 0) << r.err;
    // After "--" every argument is a target, in order after those before it,
    // even one that reads as an option; a second "--" is a name too.
    write("-r:1", "GIF89a....");
    RunResult dashes = vonk({"--tsv", p, "--", "-r:1", "--", p}, m_dir);
    EXPECT_EQ(dashes.exit, 1) << dashes.err;
    EXPECT_EQ(dashes.out.substr(0, p.size() + 1), p + "\t");
    EXPECT_NE(dashes.out.find("\n-r:1\timage/gif"), std::string::npos) << dashes.out;
    EXPECT_NE(dashes.out.find("\n--\terror"), std::string::npos) << dashes.out;
    EXPECT_NE(dashes.out.rfind("\n" + p + "\t"), std::string::npos) << dashes.out;
}

TEST_F(Cli, LimitsCandidatesAndPercentagesAddUp)
{
    // docx matches docx and zip; -r:1 shows one and says more exist.
    std::string zipped = std::string("PK\x03\x04", 4) + "......";
    auto p = write("a.zip", zipped);
    RunResult r = vonk({"--json", p});
    ASSERT_EQ(r.exit, 0);
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["path"], p);
    EXPECT_EQ(j["candidates"][0]["id"], "zip");
    EXPECT_EQ(j["candidates"][0]["percent"], 100.0);
    EXPECT_EQ(j["candidates"][0]["mime"], "application/zip");
}

TEST_F(Cli, JsonIsOneObjectPerFileAndNothingElse)
{
    auto a = write("a", kPng);
    auto b = write("b", "plain text\n");
    auto e = write("e", "");
    RunResult r = vonk({"--json", a, b, e, m_dir + "/missing"});
    EXPECT_EQ(r.exit, 1);
    std::vector<nlohmann::json> lines;
    std::size_t pos = 0;
    while (pos < r.out.size()) {
        auto nl = r.out.find('\n', pos);
        lines.push_back(nlohmann::json::parse(r.out.substr(pos, nl - pos)));
        pos = nl + 1;
    }
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0]["status"], "identified");
    EXPECT_EQ(lines[0]["size"], 16);
    EXPECT_EQ(lines[1]["status"], "unknown");
    EXPECT_EQ(lines[1]["text"], "ASCII");
    EXPECT_EQ(lines[1]["line_endings"], "LF");
    EXPECT_EQ(lines[0]["text"], nullptr); // a PNG is binary
    EXPECT_EQ(lines[2]["status"], "empty");
    EXPECT_EQ(lines[3]["status"], "error");
    EXPECT_EQ(lines[3]["error"], "no such file");
    // Every record has the same members, null where there is no value.
    for (const auto& line : lines) {
        std::vector<std::string> keys;
        for (const auto& [key, value] : line.items())
            keys.push_back(key);
        EXPECT_EQ(keys, (std::vector<std::string>{"by_name", "candidates", "confidence", "error", "line_endings", "matches", "path", "path_bytes", "size", "status", "text"})) << line.dump();
    }
    EXPECT_EQ(lines[0]["confidence"], "high");
    for (int i : {1, 2, 3})
        EXPECT_EQ(lines[i]["confidence"], nullptr) << lines[i].dump();
    EXPECT_EQ(lines[3]["size"], nullptr);
    EXPECT_EQ(lines[0]["error"], nullptr);
}

// With the shipped database (the one beside the executable): text that is
// nothing more specific is a text document with its encoding, and a table
// is judged by its field counts.
TEST_F(Cli, TextAnswersWithTheShippedDefinitions)
{
    auto crlf = write("notes", "Meeting on Monday\r\nBring the local figures\r\n");
    auto wide = write("wide", std::string("\xFF\xFE" "h\0i\0 \0t\0h\0e\0r\0e\0\n\0", 20));
    auto table = write("table", "id,name,city\n1,Anna,Rome\n2,Luca,Milan\n3,Sara,Turin\n");
    auto ragged = write("ragged", "id,name\n1,Anna,Rome\n2\n");
    // Too short for the model to decide, not for it to lean.
    auto leaning = write("leaning", "x <- c(1, 2, 3)\nprint(x)\n");
    RunResult text = runExe(GV_VONK_EXE, {crlf, wide, table, ragged, leaning});
    ASSERT_EQ(text.exit, 0) << text.err;
    const auto guess = text.out.find("R script  (weak evidence)", text.out.find(leaning));
    EXPECT_NE(guess, std::string::npos) << text.out;
    EXPECT_LT(text.out.find("Text document (ASCII)\n", text.out.find(leaning)), guess) << text.out;
    EXPECT_NE(text.out.find(crlf + "\n  100.0%  .txt   Text document (ASCII, CRLF line endings)\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(wide + "\n  100.0%  .txt   Text document (UTF-16LE with BOM)\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(table + "\n  "), std::string::npos);
    EXPECT_NE(text.out.find("Comma-separated values"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("Comma-separated values", text.out.find(ragged)), std::string::npos) << text.out;

    RunResult json = runExe(GV_VONK_EXE, {"--json", crlf, table});
    ASSERT_EQ(json.exit, 0) << json.err;
    auto nl = json.out.find('\n');
    auto first = nlohmann::json::parse(json.out.substr(0, nl));
    auto second = nlohmann::json::parse(json.out.substr(nl + 1));
    EXPECT_EQ(first["text"], "ASCII");
    EXPECT_EQ(first["line_endings"], "CRLF");
    EXPECT_EQ(first["candidates"][0]["id"], "text");
    EXPECT_EQ(first["candidates"][0]["description"], "Text document (ASCII, CRLF line endings)");
    EXPECT_EQ(second["candidates"][0]["id"], "csv");
    EXPECT_EQ(second["line_endings"], "LF");

    RunResult tsv = runExe(GV_VONK_EXE, {"--tsv", crlf});
    EXPECT_EQ(tsv.out, crlf + "\ttext/plain\ttxt\ttext\tText document (ASCII, CRLF line endings)\tcontent\tx-fmt/111\n") << "the last field is the type's PRONOM identifiers";
}

TEST_F(Cli, ShippedDefinitionsTellTextFormatsApart)
{
    struct Case {
        const char* name;
        std::string content;
        const char* id;
    };
    const Case cases[] = {
        {"yaml without a marker", "server:\n  host: 0.0.0.0\n  port: 8080\nlogging:\n  level: info\n", "yaml"},
        {"licence text with an indented field", "This package was made by someone.\n\nLicense:\n  The text of the licence\n goes here.\n", "text"},
        {"machine-readable copyright", "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\nUpstream-Name: x\n\nFiles: *\nCopyright: 2020 A\nLicense: MIT\n", "debian-copyright"},
        {"a key boundary quoted in prose", "To export, look for the line -----BEGIN PGP PUBLIC KEY BLOCK----- in the file.\n", "text"},
        {"an armoured key after a comment", "Comment: ours\n-----BEGIN PGP PUBLIC KEY BLOCK-----\n\nmQENBF\n-----END PGP PUBLIC KEY BLOCK-----\n", "pgp-key"},
        {"python module with many habits", "\"\"\"Tools.\"\"\"\nimport os\n\n\nclass Walker:\n    def __init__(self, root):\n        self.root = root\n\n    def names(self):\n        if self.root is None:\n            return []\n        return os.listdir(self.root)\n", "python-script"},
        {"prose with two keywords", "Let the local team know: the end of the road is near, then we go home.\n", "text"},
        {"key file with commented defaults", "[Journal]\n#Storage=auto\n#Compress=yes\n", "ini"},
        {"perl module quoting other languages' words", "package Env;\nour $VERSION = '1.06';\n\n=head1 NAME\n\nEnv - the environment as variables\n\n=cut\n\nsub import {\n    my ($callpack) = caller(0);\n    return undefined unless @_;\n    tie_all(sub { function(); });\n}\n1;\n", "perl-script"},
        {"passwd-style records", "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n", "text"},
        {"a line of prose: no mark of a document's form", "There is not much in this file: it is only one line, but it is a line that is not as simple as the others.\n", "text"},
        {"a short document: prose's forms outweigh code", "Usage\n-----\n\nRun the program with a file name.  It prints what the file holds.\n", "restructuredtext"},
    };
    std::vector<std::string> args{"--tsv"};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        args.push_back(write("case" + std::to_string(i), cases[i].content));
    RunResult r = runExe(GV_VONK_EXE, args);
    ASSERT_EQ(r.exit, 0) << r.err;
    std::size_t pos = 0;
    for (const auto& c : cases) {
        std::size_t nl = r.out.find('\n', pos);
        ASSERT_NE(nl, std::string::npos) << r.out;
        std::string line = r.out.substr(pos, nl - pos);
        pos = nl + 1;
        // path, MIME, extension, id, description
        std::size_t a = line.find('\t'), b = line.find('\t', a + 1), d = line.find('\t', b + 1), e = line.find('\t', d + 1);
        EXPECT_EQ(line.substr(d + 1, e - d - 1), c.id) << c.name << ": " << line;
    }
}

TEST_F(Cli, TsvGivesOneLinePerFileForScoring)
{
    auto a = write("a", kPng);
    RunResult r = vonk({"--tsv", a});
    EXPECT_EQ(r.out, a + "\timage/png\tpng\tpng\tPNG test image\tcontent\t\n");
}

TEST_F(Cli, UnmatchedFilesSayTextOrBinary)
{
    const std::pair<std::string, std::string> cases[] = {
        {"ascii words\n", "text (ASCII)"},
        {"caf\xC3\xA9\n", "text (UTF-8)"},
        {std::string("\xFF\xFEh\0i\0", 6), "text (UTF-16LE with BOM)"},
        {std::string("\x01\x02\x03\0\xFF", 5), "binary data"},
    };
    int i = 0;
    for (const auto& [bytes, kind] : cases) {
        auto p = write("u" + std::to_string(i++), bytes);
        RunResult r = vonk({p});
        EXPECT_EQ(r.exit, 0);
        EXPECT_EQ(r.out, p + "\n  no known type matched; looks like " + kind + "\n\n");
    }
}

TEST_F(Cli, PerFileProblemsAreReportedAndTheRunGoesOn)
{
#ifdef _WIN32
    GTEST_SKIP() << "FIFOs, symbolic links and /dev/zero are POSIX files";
#else
    auto good = write("good.png", kPng);
    std::string fifo = m_dir + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string dangling = m_dir + "/dangling";
    ASSERT_EQ(::symlink((m_dir + "/gone").c_str(), dangling.c_str()), 0);
    auto empty = write("empty", "");
    // The FIFO must not block the run: the runner's time limit would fail it.
    // /dev/zero would never end if it were read.
    RunResult r = vonk({fifo, m_dir + "/missing", dangling, "/dev/zero", empty, good});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exit, 1);
    for (const char* expected : {"error: a FIFO", "error: no such file", "error: dangling symbolic link", "error: a character device, not read", "empty file", "PNG test image"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    // The good file comes last, in target order.
    EXPECT_GT(r.out.find("PNG test image"), r.out.find("empty file"));
#endif
}

TEST_F(Cli, FoldersPatternsAndOrder)
{
    write("b.png", kPng);
    write("a.gif", "GIF87a");
    write(".hidden.png", kPng);
    std::filesystem::create_directory(m_dir + "/sub");
    write("sub/deep.png", kPng);
    RunResult r = vonk({m_dir});
    EXPECT_EQ(r.exit, 0);
    auto at = [&](const std::string& s) { return r.out.find(s); };
    EXPECT_LT(at(m_dir + "/.hidden.png\n"), at(m_dir + "/a.gif\n"));
    EXPECT_LT(at(m_dir + "/a.gif\n"), at(m_dir + "/b.png\n"));
    EXPECT_NE(at(m_dir + "/sub\n  skipped: a folder"), std::string::npos) << r.out;
    EXPECT_EQ(at("deep.png"), std::string::npos);

    RunResult pattern = vonk({m_dir + "//*.png"});
    EXPECT_EQ(pattern.exit, 0);
    EXPECT_EQ(pattern.out.find("a.gif"), std::string::npos);
    EXPECT_NE(pattern.out.find(m_dir + "/.hidden.png\n"), std::string::npos) << pattern.out;

    RunResult recursive = vonk({"-s", m_dir});
    EXPECT_NE(recursive.out.find(m_dir + "/sub/deep.png\n"), std::string::npos) << recursive.out;

    RunResult none = vonk({m_dir + "/*.none"});
    EXPECT_EQ(none.exit, 1);
    EXPECT_NE(none.out.find("no file matches"), std::string::npos);
    RunResult noFolder = vonk({m_dir + "/nothere/*"});
    EXPECT_EQ(noFolder.exit, 1);
    EXPECT_NE(noFolder.out.find("no such folder"), std::string::npos);

    // Relative pattern, from the folder itself.
    RunResult relative = vonk({"*.gif"}, m_dir);
    EXPECT_EQ(relative.out, "a.gif\n  100.0%  .gif   GIF test image\n\n");
}

TEST_F(Cli, AwkwardNames)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows names hold no quotes, newlines or bytes that are not text";
#else
    const std::string names[] = {"with blank.png", "quote\"s'.png", "new\nline.png", "bad\xFF\xFE.png", "-dash.png"};
    for (const auto& n : names)
        write(n, kPng);
    RunResult r = vonk({"--", m_dir + "/with blank.png", m_dir + "/quote\"s'.png", m_dir + "/new\nline.png", m_dir + "/bad\xFF\xFE.png", m_dir + "/-dash.png"});
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("/with blank.png\n  100.0%"), std::string::npos);
    EXPECT_NE(r.out.find("/quote\"s'.png\n  100.0%"), std::string::npos);
    // A newline in a name is escaped so the report keeps one name per line.
    EXPECT_NE(r.out.find("/new\\nline.png\n  100.0%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/bad\xFF\xFE.png\n  100.0%"), std::string::npos);
    EXPECT_NE(r.out.find("/-dash.png\n  100.0%"), std::string::npos);
    // JSON stays valid whatever the bytes of the name, and a name that is
    // not UTF-8 also comes losslessly, so two such names stay apart.
    write("bad\xFF\xFD.png", kPng);
    RunResult j = vonk({"--json", "bad\xFF\xFE.png", "bad\xFF\xFD.png", "with blank.png"}, m_dir);
    std::vector<nlohmann::json> records;
    for (std::size_t pos = 0, nl; (nl = j.out.find('\n', pos)) != std::string::npos; pos = nl + 1)
        records.push_back(nlohmann::json::parse(j.out.substr(pos, nl - pos)));
    ASSERT_EQ(records.size(), 3u) << j.out;
    EXPECT_EQ(records[0]["path_bytes"], "YmFk//4ucG5n");
    EXPECT_EQ(records[1]["path_bytes"], "YmFk//0ucG5n");
    EXPECT_EQ(records[2]["path_bytes"], nullptr);
    EXPECT_EQ(records[2]["path"], "with blank.png");

    // Text and TSV reports escape the backslash too: a backslash-n and a
    // newline in a name are told apart.
    write("n\\nl", kPng);
    for (const char* format : {"--tsv", "-r:1"}) {
        RunResult e = vonk({format, "n\\nl", "new\nline.png"}, m_dir);
        EXPECT_EQ(e.out.find("n\\nl"), std::string::npos) << format << "\n" << e.out; // a lone backslash before n
        EXPECT_NE(e.out.find("n\\\\nl"), std::string::npos) << format << "\n" << e.out;
        EXPECT_NE(e.out.find("new\\nline.png"), std::string::npos) << format << "\n" << e.out;
    }
#endif
}

// Only the last part of a target is a pattern; the folder before it is a
// name; --literal makes every target a name.
TEST_F(Cli, WildcardCharactersInRealNames)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows names hold no * or ?";
#else
    ::mkdir((m_dir + "/d").c_str(), 0755);
    write("d/a.gif", "GIF89a");
    write("d/*", kPng);
    ::mkdir((m_dir + "/w*d").c_str(), 0755);
    write("w*d/x.gif", "GIF89a");
    ::mkdir((m_dir + "/e").c_str(), 0755);
    for (const char* name : {"e/ab", "e/ac"})
        write(name, kPng);
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string out;
    };
    const std::string gif = "  100.0%  .gif   GIF test image\n\n", png = "  100.0%  .png   PNG test image\n\n";
    const Case cases[] = {
        {{"d/*"}, 0, "d/*\n" + png + "d/a.gif\n" + gif},
        {{"w*d/*"}, 0, "w*d/x.gif\n" + gif},
        {{"--literal", "d/*"}, 0, "d/*\n" + png},
        {{"d/\\*"}, 0, "d/*\n" + png},
        {{"e/a*", "--literal"}, 1, "e/a*\n  error: no such file\n\n"},
        {{"--literal", "w*d"}, 0, "w*d/x.gif\n" + gif},
    };
    for (const auto& c : cases) {
        RunResult r = vonk(c.args, m_dir);
        EXPECT_EQ(r.exit, c.exit) << testing::PrintToString(c.args) << r.err;
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args);
    }
#endif
}

TEST_F(Cli, UsageErrorsExitTwo)
{
    auto p = write("a.png", kPng);
    for (const auto& args : std::vector<std::vector<std::string>>{{p, "--bogus"}, {"-x", p}, {p, "-r:zero"}, {p, "-r:0"}, {}, {"--json", "--tsv", p}}) {
        RunResult r = vonk(args);
        EXPECT_EQ(r.exit, 2) << testing::PrintToString(args) << r.out;
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(r.out.empty());
    }
    // An empty database name is refused, not taken as the usual database.
    for (const auto& args : std::vector<std::vector<std::string>>{{"-d:", p}, {p, "-d", ""}}) {
        RunResult r = runExe(GV_VONK_EXE, args);
        EXPECT_EQ(r.exit, 2) << testing::PrintToString(args) << r.out;
        EXPECT_NE(r.err.find("-d needs the name of a database file"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    RunResult help = runExe(GV_VONK_EXE, {"--help"});
    EXPECT_EQ(help.exit, 0);
    EXPECT_NE(help.out.find("-r"), std::string::npos);
    EXPECT_NE(help.out.find("Usage: vonk "), std::string::npos) << help.out;
    RunResult version = runExe(GV_VONK_EXE, {"--version"});
    EXPECT_EQ(version.exit, 0);
    EXPECT_EQ(version.out.rfind("vonk ", 0), 0u);
}

TEST_F(Cli, DatabaseProblemsExitTwoAndNameTheFile)
{
    auto p = write("a.png", kPng);
    std::ifstream in(GV_TEST_DB, std::ios::binary);
    std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string flipped = good;
    flipped[flipped.size() / 2] ^= 0x01;
    // A changed letter in a description passes every structural check: only
    // the checksum, compared while the files are judged, tells.
    std::string renamed = good;
    const auto desc = renamed.find("PNG test image");
    ASSERT_NE(desc, std::string::npos);
    renamed[desc] = 'Q';
    // The first definition's rule list out of range (a header of 72 bytes,
    // then seven texts, parent and weight): refused by the records' checks,
    // which run while the other thread compares the checksum.
    std::string badRecord = good;
    badRecord.replace(72 + 7 * 8 + 8, 4, "\xFF\xFF\xFF\x7F");
    const std::pair<std::string, std::string> cases[] = {
        {"truncated.vkd", good.substr(0, 40)},
        {"flipped.vkd", flipped},
        {"record.vkd", badRecord},
        {"renamed.vkd", renamed},
        {"garbage.vkd", "not a database"},
    };
    for (const auto& [name, bytes] : cases) {
        auto db = write(name, bytes);
        RunResult r = runExe(GV_VONK_EXE, {"-d:" + db, p, p, p});
        EXPECT_EQ(r.exit, 2) << name;
        EXPECT_NE(r.err.find(db), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
        if (name == "record.vkd") {
            EXPECT_NE(r.err.find("rule list"), std::string::npos) << r.err;
        }
    }
    RunResult missing = runExe(GV_VONK_EXE, {"-d:" + m_dir + "/none.vkd", p});
    EXPECT_EQ(missing.exit, 2);
    EXPECT_NE(missing.err.find("none.vkd"), std::string::npos);
}

TEST_F(Cli, FindsTheDatabaseBesideTheExecutableThenInTheCurrentFolder)
{
    // A copy of vonk in a folder of its own, with the database beside it.
    std::string bin = m_dir + "/bin";
    std::filesystem::create_directory(bin);
    const std::string copy = bin + "/vonk" + std::filesystem::path(GV_VONK_EXE).extension().string();
    std::filesystem::copy_file(GV_VONK_EXE, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    auto p = write("a.png", kPng);
    RunResult none = runExe(copy, {p}, m_dir);
    EXPECT_EQ(none.exit, 2);
    EXPECT_NE(none.err.find("VonkDefs.vkd"), std::string::npos);
    std::filesystem::copy_file(GV_TEST_DB, m_dir + "/VonkDefs.vkd");
    RunResult cwd = runExe(copy, {p}, m_dir);
    EXPECT_EQ(cwd.exit, 0) << cwd.err;
    std::filesystem::rename(m_dir + "/VonkDefs.vkd", bin + "/VonkDefs.vkd");
    RunResult beside = runExe(copy, {p}, "/");
    EXPECT_EQ(beside.exit, 0) << beside.err;
    EXPECT_NE(beside.out.find("PNG test image"), std::string::npos);
}

} // namespace
