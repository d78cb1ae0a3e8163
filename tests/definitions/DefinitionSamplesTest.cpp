// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped definitions under test: every row of samples.tsv is a small
// sample made from its content column and the answer `vonk --tsv` gave for
// it when it was recorded. A change to a definition, the ranking or the
// matcher that changes one of those answers fails here.

#include "support/RunProgram.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Sample {
    int line = 0;
    std::string id, mime, ext;
    std::string content; // "- why": no sample for this type yet
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool hexBytes(std::string_view hex, std::string& out)
{
    if (hex.empty() || hex.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexValue(hex[i]), lo = hexValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

// The content column, in words: "text" with the escapes \\ \" \n \r \t \0
// \xHH; hex bytes (89504E47); HH*N, the byte HH N times; @N, zero bytes up
// to offset N.
bool decode(const std::string& content, std::string& out, std::string& error)
{
    std::size_t i = 0;
    while (i < content.size()) {
        if (content[i] == ' ') {
            ++i;
            continue;
        }
        if (content[i] == '"') {
            for (++i; i < content.size() && content[i] != '"'; ++i) {
                if (content[i] != '\\') {
                    out += content[i];
                    continue;
                }
                const char e = i + 1 < content.size() ? content[++i] : '\0';
                switch (e) {
                case '\\': out += '\\'; break;
                case '"': out += '"'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case '0': out += '\0'; break;
                case 'x':
                    if (i + 2 >= content.size() || !hexBytes(content.substr(i + 1, 2), out)) {
                        error = "\\x needs two hex digits";
                        return false;
                    }
                    i += 2;
                    break;
                default: error = std::string("unknown escape \\") + e; return false;
                }
            }
            if (i >= content.size()) {
                error = "unterminated text";
                return false;
            }
            ++i;
            continue;
        }
        const std::size_t end = std::min(content.find(' ', i), content.size());
        const std::string word = content.substr(i, end - i);
        i = end;
        const std::size_t star = word.find('*');
        if (word[0] == '@') {
            const std::size_t offset = std::stoul(word.substr(1));
            if (offset < out.size()) {
                error = word + " goes back";
                return false;
            }
            out.resize(offset, '\0');
        } else if (star != std::string::npos) {
            std::string byte;
            if (!hexBytes(word.substr(0, star), byte) || byte.size() != 1) {
                error = "bad repeated byte " + word;
                return false;
            }
            out.append(std::stoul(word.substr(star + 1)), byte[0]);
        } else if (!hexBytes(word, out)) {
            error = "bad hex " + word;
            return false;
        }
    }
    return true;
}

std::vector<std::string> split(const std::string& line, char sep)
{
    std::vector<std::string> parts;
    std::stringstream ss(line);
    std::string part;
    while (std::getline(ss, part, sep))
        parts.push_back(part);
    return parts;
}

std::vector<Sample> readTable()
{
    std::vector<Sample> samples;
    std::ifstream in(GV_DEFINITION_SAMPLES);
    EXPECT_TRUE(in) << "cannot read " << GV_DEFINITION_SAMPLES;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> f = split(line, '\t');
        if (f.size() != 4) {
            ADD_FAILURE() << "samples.tsv:" << n << ": needs id, MIME type, extension and content";
            continue;
        }
        samples.push_back({n, f[0], f[1], f[2], f[3]});
    }
    return samples;
}

// The ids of the shipped sources, as "type ID" lines declare them.
std::set<std::string> shippedIds()
{
    std::set<std::string> ids;
    for (const auto& e : std::filesystem::directory_iterator(GV_DEFINITIONS_DIR)) {
        if (e.path().extension() != ".vdef")
            continue;
        std::ifstream in(e.path());
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string keyword, id;
            if (words >> keyword >> id && keyword == "type")
                ids.insert(id);
        }
    }
    return ids;
}

TEST(DefinitionSamples, EachSampleGetsItsRecordedAnswer)
{
    const std::vector<Sample> samples = readTable();
    ASSERT_FALSE(samples.empty());
    // The samples stay in the build folder afterwards: the Windows build
    // compares both editions' answers on them (compare-editions.sh).
    const std::filesystem::path corpus = GV_SAMPLES_CORPUS;
    std::filesystem::remove_all(corpus);
    ASSERT_TRUE(std::filesystem::create_directories(corpus)) << corpus;
    std::map<std::string, const Sample*> byPath;
    std::vector<std::string> args{"--tsv", "-d", GV_VONK_DATABASE};
    for (const Sample& s : samples) {
        if (s.content.starts_with("-"))
            continue;
        std::string bytes, error;
        if (!decode(s.content, bytes, error)) {
            ADD_FAILURE() << "samples.tsv:" << s.line << ": " << error;
            continue;
        }
        // No extension: the answer comes from the content alone.
        const std::string path = (corpus / ("line" + std::to_string(s.line))).generic_string();
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        byPath[path] = &s;
        args.push_back(path);
    }
    // In batches: a command line of every sample's name would pass the
    // length some systems allow a command line.
    std::string out;
    const std::size_t fixed = 3;
    for (std::size_t from = fixed; from < args.size(); from += 200) {
        std::vector<std::string> batch(args.begin(), args.begin() + fixed);
        batch.insert(batch.end(), args.begin() + static_cast<std::ptrdiff_t>(from),
                     args.begin() + static_cast<std::ptrdiff_t>(std::min(args.size(), from + 200)));
        const gv::test::RunResult r = gv::test::RunProgram(GV_VONK_EXE, batch, {}, 120000);
        ASSERT_EQ(r.exit, 0) << r.err;
        out += r.out;
    }
    std::set<std::string> answered;
    for (const std::string& line : split(out, '\n')) {
        const std::vector<std::string> f = split(line, '\t');
        ASSERT_GE(f.size(), 4u) << line;
        const auto it = byPath.find(f[0]);
        ASSERT_NE(it, byPath.end()) << line;
        answered.insert(f[0]);
        const Sample& s = *it->second;
        EXPECT_EQ(f[3] + " " + f[1] + " " + f[2], s.id + " " + s.mime + " " + s.ext)
            << "samples.tsv:" << s.line << ": the sample of " << s.id << " (vonk: " << line << ")";
    }
    EXPECT_EQ(answered.size(), byPath.size()) << "every sample has one answer";
}

// A new definition comes with a sample, or with a row that says it has none.
TEST(DefinitionSamples, EveryShippedTypeHasARow)
{
    std::set<std::string> listed;
    for (const Sample& s : readTable())
        listed.insert(s.id);
    for (const std::string& id : shippedIds())
        EXPECT_TRUE(listed.count(id)) << id << " has no row in samples.tsv";
}

} // namespace
