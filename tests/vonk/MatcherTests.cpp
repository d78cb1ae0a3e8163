// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "vonk/match/EbmlHeader.h"
#include "vonk/match/Matcher.h"
#include "vonk/match/OleDirectory.h"
#include "vonk/match/Probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace gv::vonk;
using gv::vonk::test::makeOle;
using gv::vonk::test::makeZip;

namespace {

// Identifies in-memory bytes and returns the ids of the matches, best first.
class Identify {
public:
    explicit Identify(const Database& db) : m_db(db), m_matcher(db) {}

    std::vector<std::string> ids(const std::string& bytes)
    {
        m_bytes = bytes;
        MemorySource src({reinterpret_cast<const std::uint8_t*>(m_bytes.data()), m_bytes.size()});
        m_probe.reset(src);
        const auto& c = m_matcher.identify(m_probe);
        m_last = c;
        std::vector<std::string> out;
        for (const auto& x : c)
            out.emplace_back(m_db.str(m_db.def(x.def).id));
        return out;
    }
    const std::vector<Candidate>& last() const { return m_last; }

private:
    const Database& m_db;
    Matcher m_matcher;
    Probe m_probe;
    std::string m_bytes;
    std::vector<Candidate> m_last;
};

std::string head(const std::string& id, const std::string& rules)
{
    return "type " + id + "\n desc \"" + id + "\"\n ext " + id + "\n mime x/" + id + "\n cat data\n" + rules;
}

std::string padTo(std::string s, std::size_t n, char fill = '\x01')
{
    if (s.size() < n)
        s.append(n - s.size(), fill);
    return s;
}

struct RuleCase {
    const char* name;
    std::string rules;
    std::string matching;
    std::string failing;
};

class RuleKinds : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleKinds, MatchesOnlyWhatTheRuleSays)
{
    const RuleCase& c = GetParam();
    auto db = test::compile(head("t", c.rules));
    ASSERT_TRUE(db);
    Identify id(*db);
    EXPECT_EQ(id.ids(c.matching), std::vector<std::string>{"t"}) << c.name << " should match";
    EXPECT_TRUE(id.ids(c.failing).empty()) << c.name << " should not match";
}

const std::string kBig = padTo("START", 200000, '\x02') + "ENDMARK!";

INSTANTIATE_TEST_SUITE_P(Rules, RuleKinds, ::testing::Values(
    RuleCase{"at hex", " at 2 hex AB CD\n", "\x01\x01\xAB\xCD", "\x01\xAB\xCD\x01"},
    RuleCase{"at wildcard and mask", " at 0 hex 4D ?? 30&F0\n", "M\x99\x3F", "M\x99\x4F"},
    RuleCase{"at istr", " at 1 istr \"HeLLo\"\n", "_hello", "_hellp"},
    RuleCase{"at negative", " at -4 str \"TAIL\"\n", "xxxxTAIL", "xxxTAILx"},
    RuleCase{"at beyond head", " at 150000 str \"DEEP\"\n", padTo("", 150000) + "DEEP", padTo("", 150000) + "DEEQ"},
    RuleCase{"at le16", " at 0 le16 = 0x0102\n", "\x02\x01", "\x01\x02"},
    RuleCase{"at be32 masked", " at 0 be32 & 0xFF00FF00 = 0x12003400\n", "\x12\x77\x34\x99", "\x12\x77\x35\x99"},
    RuleCase{"at u8 compare", " at 1 u8 <= 3\n at 0 str \"Q\"\n", "Q\x03", "Q\x04"},
    RuleCase{"at le64", " at 0 le64 > 0xFFFFFFFF\n", std::string("\0\0\0\0\x01\0\0\0", 8), std::string("\xFF\xFF\xFF\xFF\0\0\0\0", 8)},
    RuleCase{"within", " within 10 20 str \"MARK\"\n", padTo("", 20) + "MARK", padTo("", 21) + "MARK"},
    RuleCase{"within start bound", " within 10 20 str \"MARK\"\n", padTo("", 10) + "MARK", padTo("", 9) + "MARK"},
    RuleCase{"head", " head 100 str \"needle\"\n", padTo("", 94) + "needle", padTo("", 95) + "needle"},
    RuleCase{"tail", " tail 16 str \"ENDMARK!\"\n", kBig, padTo(kBig, kBig.size() + 9)},
    RuleCase{"size", " at 0 str \"S\"\n size = 10\n", padTo("S", 10), padTo("S", 11)},
    RuleCase{"size compare", " size >= 5\n at 0 str \"S\"\n", "SSSSS", "SSSS"},
    RuleCase{"not", " at 0 str \"A\"\n not at 1 str \"B\"\n", "AC", "AB"},
    RuleCase{"any", " any\n at 0 str \"X1\"\n at 0 str \"Y2\"\n end\n", "Y2", "Z3"},
    RuleCase{"all inside any", " any\n all\n at 0 str \"A\"\n at 1 str \"B\"\n end\n at 0 str \"Z\"\n end\n", "AB", "AC"},
    RuleCase{"not any", " at 0 str \"K\"\n not any\n at 1 str \"1\"\n at 1 str \"2\"\n end\n", "K3", "K2"},
    RuleCase{"text", " text ascii\n", "plain words\n", "bin\x01\x02"},
    RuleCase{"text utf16", " text utf16\n", std::string("\xFF\xFEh\0i\0", 6), "hi"},
    RuleCase{"xml-root", " xml-root \"svg\" \"http://www.w3.org/2000/svg\"\n",
             "<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\"/>", "<svg xmlns=\"urn:other\"/>"},
    RuleCase{"json", " json\n", "{\"a\": [1, 2]}", "{\"a\": [1, 2]"},
    RuleCase{"shebang", " shebang \"python\"\n", "#!/usr/bin/env python3\nprint()\n", "#!/bin/sh\n"},
    RuleCase{"zip-has", " zip-has \"word/\"\n", makeZip({{"word/document.xml", "x"}}), makeZip({{"xl/workbook.xml", "x"}})},
    RuleCase{"tail far in a large file", " tail 65536 str \"FARMARK\"\n", padTo("", 140000) + "FARMARK" + padTo("", 60000),
             padTo("", 130000) + "FARMARK" + padTo("", 70000)},
    RuleCase{"at far from the end", " at -100000 str \"BACK\"\n", padTo("", 100000) + "BACK" + padTo("", 99996),
             padTo("", 100001) + "BACK" + padTo("", 99995)},
    RuleCase{"zip-has in a large archive", " zip-has \"word/\"\n", makeZip({{"big.bin", std::string(150000, 'x')}, {"word/d.xml", "y"}}),
             makeZip({{"big.bin", std::string(150000, 'x')}, {"xl/d.xml", "y"}})},
    RuleCase{"zip-has exact", " zip-has \"mimetype\"\n", makeZip({{"a", ""}, {"mimetype", "m"}}), makeZip({{"mimetype2", "m"}})},
    RuleCase{"zip-first", " zip-first \"mimetype\" str \"application/epub+zip\"\n",
             makeZip({{"mimetype", "application/epub+zip"}, {"x", "y"}}), makeZip({{"x", "y"}, {"mimetype", "application/epub+zip"}})},
    RuleCase{"ole-has", " ole-has \"workbook\"\n", makeOle({"Workbook"}), makeOle({"WordDocument"})},
    RuleCase{"ole-clsid", " ole-clsid \"000C1084-0000-0000-C000-000000000046\"\n",
             makeOle({"x"}, std::string("\x84\x10\x0C\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16)),
             makeOle({"x"}, std::string("\x86\x10\x0C\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16))},
    RuleCase{"ebml-doctype", " ebml-doctype \"webm\"\n", std::string("\x1A\x45\xDF\xA3\x88\x42\x82\x85webm\0", 13),
             std::string("\x1A\x45\xDF\xA3\x88\x42\x82\x85webmx", 13)},
    RuleCase{"xml-root of any name", " xml-root \"*\"\n", "<!-- c --><inventory/>", "inventory"},
    RuleCase{"delimited", " delimited \",\"\n", "a,b\n1,2\n", "a,b\n1,2,3\n"},
    RuleCase{"delimited by tabs", " delimited \"\\t\"\n", "a\tb\n1\t2\n", "a,b\n1,2\n"},
    RuleCase{"key-value", " key-value\n", "[s]\nk=v\n", "k=v\nl=w\n"},
    RuleCase{"some", " at 0 str \"S\"\n some 2\n head 100 str \"aa\"\n head 100 str \"bb\"\n head 100 str \"cc\"\n end\n", "S cc aa", "S aa"},
    RuleCase{"some 0 holds alone", " at 0 str \"S\"\n some 0\n head 100 str \"aa\"\n end\n", "S", "T aa"}));

TEST(Ranking, RefinementRanksAboveItsParent)
{
    auto db = test::compile(test::readText(GV_TEST_VDEF));
    ASSERT_TRUE(db);
    Identify id(*db);
    auto docx = makeZip({{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", "<w/>"}});
    EXPECT_EQ(id.ids(docx), (std::vector<std::string>{"docx", "zip"}));
    // Member order does not matter.
    auto docx2 = makeZip({{"word/document.xml", "<w/>"}, {"[Content_Types].xml", "<Types/>"}});
    EXPECT_EQ(id.ids(docx2).front(), "docx");
    EXPECT_EQ(id.ids(makeZip({{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", "<x/>"}})).front(), "odt");
    EXPECT_EQ(id.ids(makeZip({{"a.txt", "a"}})), std::vector<std::string>{"zip"});
    EXPECT_EQ(id.ids(makeOle({"WordDocument", "\x05SummaryInformation"})), (std::vector<std::string>{"doc", "ole"}));
    // An OLE file with no Word stream is only the container.
    EXPECT_EQ(id.ids(makeOle({"Book"})), std::vector<std::string>{"ole"});
}

// What the compound-document reader lists: the entries the root's tree
// reaches, or every named entry when the tree is broken.
TEST(OleDirectory, ReadsTheRootTreeAndClassId)
{
    const std::string clsid("\x06\x09\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16);
    auto read = [](const std::string& bytes) {
        MemorySource src({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        OleDirectory d;
        d.read(src);
        return d;
    };
    auto linked = makeOle({"WordDocument", "1Table"}, clsid, {"Book"});
    auto withLink = [&](std::size_t entry, std::size_t field, std::uint32_t to) {
        std::string b = linked;
        for (int k = 0; k < 4; ++k)
            b[1024 + entry * 128 + field + k] = static_cast<char>((to >> (8 * k)) & 0xFF);
        return b;
    };
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> names;
        std::string clsid;
    };
    const Case cases[] = {
        {"stale slots are left out", linked, {"WordDocument", "1Table"}, "00020906-0000-0000-C000-000000000046"},
        {"no class id", makeOle({"Workbook"}), {"Workbook"}, ""},
        // Sibling links that loop back end the walk instead of repeating it.
        {"a looping tree", withLink(2, 0x48, 1), {"WordDocument", "1Table"}, "00020906-0000-0000-C000-000000000046"},
        // A root child beyond the directory: the tree is lost, the slots still tell.
        {"a broken root link", withLink(0, 0x4C, 4000), {"WordDocument", "1Table", "Book"}, "00020906-0000-0000-C000-000000000046"},
        {"cut inside the directory", linked.substr(0, 1100), {}, ""},
        {"cut inside the header", linked.substr(0, 300), {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OleDirectory d = read(c.bytes);
        EXPECT_EQ(d.valid(), !c.names.empty());
        auto names = d.names();
        std::sort(names.begin(), names.end());
        auto expected = c.names;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected);
        EXPECT_EQ(d.rootClsid(), c.clsid);
    }
}

TEST(EbmlHeader, ReadsTheDocTypeWhateverTheWidths)
{
    auto header = [](const std::string& body) { return std::string("\x1A\x45\xDF\xA3", 4) + static_cast<char>(0x80 | body.size()) + body; };
    const std::string version("\x42\x86\x81\x01", 4);
    struct Case {
        const char* what;
        std::string bytes;
        std::string docType;
    };
    const Case cases[] = {
        {"one-byte size", header(version + "\x42\x82\x84webm"), "webm"},
        {"NUL padding", header(version + std::string("\x42\x82\x89matroska\0", 13)), "matroska"},
        {"eight-byte sizes", std::string("\x1A\x45\xDF\xA3\x01\0\0\0\0\0\0\x0F\x42\x82\x01\0\0\0\0\0\0\x04webm", 27), "webm"},
        {"no DocType", header(version), ""},
        {"cut inside the name", header(version + "\x42\x82\x84webm").substr(0, 12), ""},
        {"a child larger than its header", header(version + "\x42\x82\x90webm"), ""},
        {"a child of unknown size", header(std::string("\x42\x86\xFF\x42\x82\x84webm", 10)), ""},
        {"not EBML", "\x1A\x45\xDF\xA4\x84\x42\x82\x84webm", ""},
        {"a zero byte where a size belongs", std::string("\x1A\x45\xDF\xA3\0\x42\x82\x84webm", 12), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(readEbmlDocType({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()}), c.docType);
    }
}

TEST(Ranking, DamagedZipDirectoryFallsBackToPlainZip)
{
    auto db = test::compile(head("zip", " at 0 str \"PK\\x03\\x04\"\n") + head("docx", " parent zip\n zip-has \"word/\"\n"));
    ASSERT_TRUE(db);
    Identify id(*db);
    std::string z = makeZip({{"word/document.xml", "x"}});
    std::string damaged = z;
    damaged[damaged.size() - 22 + 16] ^= 0x7F;  // directory offset
    damaged[damaged.size() - 22 + 12] = '\xFF'; // directory size beyond the file
    EXPECT_EQ(id.ids(damaged), std::vector<std::string>{"zip"});
    std::string cut = z.substr(0, z.size() - 10); // end record cut off
    EXPECT_EQ(id.ids(cut), std::vector<std::string>{"zip"});
    // Data before the archive (a self-extractor) shifts every offset.
    EXPECT_EQ(id.ids(makeZip({{"word/document.xml", "x"}}, std::string(1000, 'M'))), std::vector<std::string>{"docx"});
}

TEST(Ranking, LongerEvidenceWinsAndPercentagesAddUp)
{
    auto db = test::compile(head("short", " at 0 hex 11 22\n") + head("long", " at 0 hex 11 22 33 44 55 66 77 88\n")
        + head("weak", " text\n") + head("nudged", " at 0 hex 11 22\n weight 20\n"));
    ASSERT_TRUE(db);
    Identify id(*db);
    EXPECT_EQ(id.ids("\x11\x22\x33\x44\x55\x66\x77\x88"), (std::vector<std::string>{"long", "nudged", "short"}));
    double sum = 0;
    for (const auto& c : id.last())
        sum += c.percent;
    EXPECT_NEAR(sum, 100.0, 1e-9);
    EXPECT_GT(id.last()[0].percent, id.last()[1].percent);
    // Text-only evidence is weak: a magic number outranks it by far.
    auto mixed = id.ids("\x11\x22 plain");
    EXPECT_TRUE(mixed.empty() || mixed.front() != "weak");
    EXPECT_EQ(id.ids("just some text\n"), std::vector<std::string>{"weak"});
}

TEST(Ranking, ManyDefinitionsStillFoundThroughTheIndex)
{
    // 300 look-alike definitions: the index must still pick the right one,
    // and must not hand every definition to the matcher.
    std::string src;
    for (int i = 0; i < 300; ++i) {
        char magic[16];
        std::snprintf(magic, sizeof magic, "M%03dX", i);
        src += head("d" + std::to_string(i), std::string(" at 0 str \"") + magic + "\"\n");
        src += head("h" + std::to_string(i), std::string(" head 4096 str \"inside-") + magic + "\"\n");
    }
    auto db = test::compile(src);
    ASSERT_TRUE(db);
    Identify id(*db);
    Matcher probeCount(*db);
    EXPECT_EQ(id.ids("M123X rest"), std::vector<std::string>{"d123"});
    EXPECT_EQ(id.ids(padTo("", 3000) + "inside-M077X"), std::vector<std::string>{"h77"});
    std::string bytes = "M123X rest";
    MemorySource src2({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    Probe probe;
    probe.reset(src2);
    probeCount.identify(probe);
    EXPECT_LT(probeCount.evaluatedCount(), 20u);
}

TEST(Explain, NamesTheRulesAndWhereTheyHeld)
{
    auto db = test::compile(head("t", " at 0 str \"AB\"\n within 4 40 str \"KEY\"\n"));
    ASSERT_TRUE(db);
    Matcher m(*db);
    Probe probe;
    std::string bytes = "AB" + std::string(10, '.') + "KEY";
    MemorySource src({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    probe.reset(src);
    ASSERT_EQ(m.identify(probe).size(), 1u);
    auto hits = m.explain(probe, 0);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(db->str(db->node(hits[0].node).src), "at 0 str \"AB\"");
    EXPECT_EQ(hits[1].where, "at offset 12");
}

TEST(TextModel, DecidesAmongTextFormatsUnlessStructureSettlesIt)
{
    const std::string defs = "type text\n desc \"t\"\n ext txt\n mime text/plain\n cat text\n weight -20\n text\n"
        + head("md", " parent text\n min-confidence high\n text\n head 100 str \"#\"\n")
        + head("py", " parent text\n min-confidence high\n text\n any\n  shebang \"python\"\n  head 100 str \"def \"\n end\n")
        + head("js", " parent text\n min-confidence high\n text\n head 100 str \"function\"\n");
    auto model = test::makeTextModel({"text", "md", "py", "js"},
        {{"the", {90, 0, -40, -40}}, {"##", {0, 120, -40, -40}}, {"def", {-40, -40, 120, 0}}}, 16, 40000);
    auto db = test::compile(defs, model);
    ASSERT_TRUE(db);
    Identify id(*db);
    const struct {
        const char* text;
        const char* first;
        const char* second;
    } cases[] = {
        // Prose that says "function" once stays prose; the habit is ranked by the model.
        {"the cat and the dog: a function of the house", "text", nullptr},
        // Markdown quoting Python is Markdown, with Python the runner-up.
        {"## Usage\n\n    def main(): pass\n\n## More\n\n## And more\n", "md", "py"},
        // A shebang settles what a text is, whatever its words.
        {"#!/usr/bin/python\nthe the the the the the\n", "py", nullptr},
    };
    for (const auto& c : cases) {
        auto ids = id.ids(c.text);
        ASSERT_GE(ids.size(), 1u) << c.text;
        EXPECT_EQ(ids[0], c.first) << c.text;
        if (c.second) {
            ASSERT_GE(ids.size(), 2u) << c.text;
            EXPECT_EQ(ids[1], c.second) << c.text;
        }
    }
    // A near call is reported as a weak answer.
    id.ids("## def");
    EXPECT_EQ(id.last().front().confidence, Confidence::Low);
}

TEST(Explain, ShowsTheTextModelsTopThreeAndWhatWeighedMost)
{
    auto db = test::compile("type text\n desc \"t\"\n ext txt\n mime text/plain\n cat text\n text\n"
                            + head("py", " parent text\n min-confidence high\n text\n head 100 str \"def \"\n"),
        test::makeTextModel({"text", "py"}, {{"def", {-50, 50}}, {"self", {-50, 50}}}, 16, 10000));
    ASSERT_TRUE(db);
    Matcher m(*db);
    Probe probe;
    std::string bytes = "def f(self): return self\n";
    MemorySource src({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    probe.reset(src);
    const auto& c = m.identify(probe);
    ASSERT_FALSE(c.empty());
    ASSERT_EQ(db->str(db->def(c.front().def).id), "py");
    auto hits = m.explain(probe, c.front().def);
    ASSERT_GE(hits.size(), 3u);
    EXPECT_EQ(hits[hits.size() - 2].rule, "text model");
    EXPECT_EQ(hits[hits.size() - 2].where.substr(0, 3), "py ");
    EXPECT_NE(hits.back().where.find("\"self\""), std::string::npos) << hits.back().where;
}

} // namespace
