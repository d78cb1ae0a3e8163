// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "vonk/base/AhoCorasick.h"
#include "vonk/base/AnchoredSearch.h"
#include "vonk/base/RareByte.h"

#include "vonk/match/DerStructure.h"
#include "vonk/match/EbmlHeader.h"
#include "vonk/match/Matcher.h"
#include "vonk/match/MediaHeaders.h"
#include "vonk/match/OleDirectory.h"
#include "vonk/match/Probe.h"
#include "vonk/match/TiffDirectory.h"
#include "vonk/match/ZipPackage.h"
#include "vonk/match/SequenceEngine.h"
#include "vonk/build/SignatureSyntax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <chrono>
#include <limits>
#include <random>
#include <tuple>
#include <numeric>

using namespace gv::vonk;
using namespace std::string_literals;
using gv::vonk::test::makeOle;
using gv::vonk::test::makeZip;

namespace {

// Identifies in-memory bytes and returns the ids of the matches, best first.
class Identify {
public:
    explicit Identify(const Database& db) : m_db(db), m_matcher(db) {}

    std::vector<std::string> ids(const std::string& bytes, std::string_view name = {})
    {
        m_bytes = bytes;
        // Kept with the probe, which reads through it again to explain.
        m_src = std::make_unique<MemorySource>(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(m_bytes.data()), m_bytes.size()));
        m_probe.reset(*m_src);
        const auto& c = m_matcher.identify(m_probe, name);
        m_last = c;
        std::vector<std::string> out;
        for (const auto& x : c)
            out.emplace_back(m_db.str(m_db.def(x.def).id));
        return out;
    }
    const std::vector<Candidate>& last() const { return m_last; }
    // Why `def` matched the bytes last identified.
    std::vector<RuleHit> explain(std::uint32_t def) { return m_matcher.explain(m_probe, def); }

private:
    const Database& m_db;
    Matcher m_matcher;
    Probe m_probe;
    std::string m_bytes;
    std::unique_ptr<MemorySource> m_src;
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

// A rule that reads a container's directory finds candidates by the
// container's own marks, rather than being tried on every file.
TEST(RuleKinds, ContainerRulesAreTriedOnlyOnTheirContainers)
{
    for (const char* rules : {" ole-has \"Workbook\"\n", " ole-clsid \"000C1084-0000-0000-C000-000000000046\"\n", " zip-has \"word/\"\n"}) {
        auto db = test::compile(head("t", rules));
        ASSERT_TRUE(db) << rules;
        EXPECT_TRUE(db->always().empty()) << rules;
    }
}

// A tail literal is found within its own reach of the end, also where a
// literal of wider reach shares its search: the search starts as far from
// the end as the wider one reaches.
TEST(RuleKinds, TailLiteralsOfDifferentReachesShareASearch)
{
    auto db = test::compile(head("wide", " tail 4096 str \"WIDEMARK\"\n") + head("near", " tail 1026 str \"NEARMARK\"\n"));
    ASSERT_TRUE(db);
    Identify id(*db);
    for (std::size_t size : {1200u, 5000u, 70000u}) {
        EXPECT_EQ(id.ids(padTo("", size - 20) + padTo("NEARMARK", 20)), std::vector<std::string>{"near"}) << size;
        EXPECT_EQ(id.ids(padTo("", size - 1030) + padTo("NEARMARK", 1030)), std::vector<std::string>{}) << size;
        EXPECT_EQ(id.ids(padTo("", size - 1100) + padTo("WIDEMARK", 1100)), std::vector<std::string>{"wide"}) << size;
    }
}

// Integers in a TIFF's byte order.
std::string tiffInt(std::uint64_t v, int width, bool bigEndian)
{
    std::string s;
    for (int i = 0; i < width; ++i)
        s += static_cast<char>((v >> (8 * (bigEndian ? width - 1 - i : i))) & 0xFF);
    return s;
}

struct TiffEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::string field; // the 4-byte value or offset, as written
};

// A classic TIFF whose first directory, at 8, holds `entries` and links to
// `next`; `tail` follows the directory.
std::string makeTiff(const std::vector<TiffEntry>& entries, std::uint32_t next = 0, const std::string& tail = {},
                     bool bigEndian = false)
{
    std::string s = bigEndian ? std::string("MM\0*", 4) : std::string("II*\0", 4);
    s += tiffInt(8, 4, bigEndian) + tiffInt(entries.size(), 2, bigEndian);
    for (const auto& e : entries)
        s += tiffInt(e.tag, 2, bigEndian) + tiffInt(e.type, 2, bigEndian) + tiffInt(e.count, 4, bigEndian) + padTo(e.field, 4, '\0');
    return s + tiffInt(next, 4, bigEndian) + tail;
}

// Where `tail` starts in makeTiff's output.
std::uint32_t tiffTailAt(std::size_t entryCount)
{
    return static_cast<std::uint32_t>(8 + 2 + 12 * entryCount + 4);
}

std::string der(std::uint8_t tag, const std::string& body)
{
    std::string s(1, static_cast<char>(tag));
    if (body.size() < 128) {
        s += static_cast<char>(body.size());
    } else {
        s += '\x82';
        s += static_cast<char>(body.size() >> 8);
        s += static_cast<char>(body.size() & 0xFF);
    }
    return s + body;
}
std::string seq(const std::string& body) { return der(0x30, body); }
const std::string kAlgorithm = seq(der(0x06, "\x2A\x03"));
const std::string kPkcs7("\x2A\x86\x48\x86\xF7\x0D\x01\x07", 8);
std::string integer(std::uint8_t v) { return der(0x02, std::string(1, static_cast<char>(v))); }

std::string be32(std::uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// An ISO media box: size, type, body.
std::string box(const std::string& type, const std::string& body)
{
    return be32(static_cast<std::uint32_t>(8 + body.size())) + type + body;
}

// An ID3v2 tag of the given version whose frames take `size` bytes.
std::string id3(std::uint32_t size, char version = 3, char flags = 0)
{
    std::string h = std::string("ID3", 3) + version + '\0' + flags;
    for (int shift : {21, 14, 7, 0})
        h += static_cast<char>((size >> shift) & 0x7F);
    return h + std::string(size, 'T');
}

// An office-style package: content types, the root relationship to the main
// part, and the part.
std::string package(const std::string& contentType, bool deflate = false,
                    const std::string& relationship = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument")
{
    return makeZip({{"[Content_Types].xml", "<Types><Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" ContentType=\""
                         + contentType + "\"/></Types>", deflate},
                    {"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"" + relationship + "\" Target=\"word/document.xml\"/></Relationships>", deflate},
                    {"word/document.xml", "<w:document/>", deflate}});
}

// A CompObj stream: header, user type, clipboard format, program id.
std::string compObjStream(const std::string& userType, const std::string& clipboard, const std::string& progId)
{
    auto text = [](const std::string& t) { return test::le32(static_cast<std::uint32_t>(t.size() + 1)) + t + '\0'; };
    return std::string("\x01\x00\xFE\xFF\x03\x0A\x00\x00", 8) + std::string(20, '\xFF') + text(userType) + text(clipboard) + text(progId)
        + test::le32(0x71B239F4);
}

// makeOle's file with a CompObj stream among the root's children, kept in
// the mini stream as writers keep small streams: sector 3 holds the mini
// allocation table, sectors 4 and on the mini stream.
std::string oleWithCompObj(const std::string& compObj)
{
    const std::vector<std::string> names{"Data", "\x01" "CompObj"};
    std::string f = makeOle(names);
    const std::uint32_t miniSectors = static_cast<std::uint32_t>((compObj.size() + 63) / 64);
    const std::uint32_t sectors = (miniSectors * 64 + 511) / 512;
    auto put32 = [&](std::size_t at, std::uint32_t v) { f.replace(at, 4, test::le32(v)); };
    put32(0x38, 4096); // streams below 4096 bytes live in the mini stream
    put32(0x3C, 3);
    put32(0x40, 1);
    put32(512 + 4 * 3, 0xFFFFFFFE);
    for (std::uint32_t k = 0; k < sectors; ++k)
        put32(512 + 4 * (4 + k), k + 1 < sectors ? 5 + k : 0xFFFFFFFE);
    put32(1024 + 0x74, 4);
    put32(1024 + 0x78, miniSectors * 64);
    put32(1024 + 2 * 128 + 0x78, static_cast<std::uint32_t>(compObj.size()));
    std::string miniFat(512, '\xFF');
    for (std::uint32_t k = 0; k < miniSectors; ++k)
        miniFat.replace(4 * k, 4, test::le32(k + 1 < miniSectors ? k + 1 : 0xFFFFFFFE));
    std::string stream = compObj;
    stream.resize(sectors * 512, '\0');
    return f + miniFat + stream;
}

INSTANTIATE_TEST_SUITE_P(Rules, RuleKinds, ::testing::Values(
    RuleCase{"at hex", " at 2 hex AB CD\n", "\x01\x01\xAB\xCD", "\x01\xAB\xCD\x01"},
    // Without a trigger, tried on every file: for binary ones too when a way
    // to hold does not read text.
    RuleCase{"text or bytes", " any\n  json\n  at 1 u8 >= 0xF0\n end\n", "\x01\xF5\x02\0\0\0\x03\x80\0\0\x1B\x7F"s,
        "\x01\x05\x02\0\0\0\x03\x80\0\0\x1B\x7F"s},
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
    // Past the first stretch a binary file's head is searched in a later pass.
    RuleCase{"head far", " head 65536 str \"FARMARK\"\n", padTo("", 65529) + "FARMARK", padTo("", 65530) + "FARMARK"},
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
    RuleCase{"tiff-tag", " tiff-tag 50706\n", makeTiff({{50706, 1, 4, "\x01\x04\0\0"}}), makeTiff({{50707, 1, 4, "\x01\x04\0\0"}})},
    RuleCase{"tiff-tag value", " tiff-tag 262 = 32803\n", makeTiff({{262, 3, 1, "\x23\x80"}}), makeTiff({{262, 3, 1, "\x02\0"}})},
    RuleCase{"tiff-make", " tiff-make \"NIKON\"\n", makeTiff({{271, 2, 6, tiffInt(tiffTailAt(1), 4, false)}}, 0, std::string("NIKON\0", 6)),
             makeTiff({{271, 2, 6, tiffInt(tiffTailAt(1), 4, false)}}, 0, std::string("Nikon\0", 6))},
    RuleCase{"der-shape", " der-shape \"public-key\"\n", seq(kAlgorithm + der(0x03, "\0")), seq(kAlgorithm + der(0x03, "\0")) + "\n"},
    RuleCase{"after-tags", " after-tags\n at 0 str \"fLaC\"\n size = 4\n end\n", id3(5) + "fLaC",
             // a size byte with the top bit set is not syncsafe: no tag
             id3(5).replace(9, 1, "\x85") + "fLaC"},
    RuleCase{"bmff-brand", " bmff-brand \"M4A \"\n", box("ftyp", "mp42\0\0\0\0isomM4A "s),
             // the brand lies past the end of the box
             box("ftyp", "mp42\0\0\0\0isom"s) + "M4A "},
    RuleCase{"bmff-major", " bmff-major \"qt  \"\n", box("ftyp", "qt  \0\0\0\0qt  "s), box("ftyp", "isom\0\0\0\0qt  "s)},
    RuleCase{"bmff-box", " bmff-box \"moov\"\n", box("free", "12345678") + box("moov", ""),
             be32(17) + "free12345678" + box("moov", "")},
    RuleCase{"size by count", " size = 4 + 3 * at 0 u8\n", padTo("\x02", 10), padTo("\x02", 11)},
    RuleCase{"size by count of none", " size = 4 + 3 * at 1 be16\n", padTo(std::string("\x01\0\x01", 3), 7), std::string(4, '\0')},
    RuleCase{"xml-root of any name", " xml-root \"*\"\n", "<!-- c --><inventory/>", "inventory"},
    RuleCase{"delimited", " delimited \",\"\n", "a,b\n1,2\n", "a,b\n1,2,3\n"},
    RuleCase{"delimited by tabs", " delimited \"\\t\"\n", "a\tb\n1\t2\n", "a,b\n1,2\n"},
    RuleCase{"key-value", " key-value\n", "[s]\nk=v\n", "k=v\nl=w\n"},
    RuleCase{"some", " at 0 str \"S\"\n some 2\n head 100 str \"aa\"\n head 100 str \"bb\"\n head 100 str \"cc\"\n end\n", "S cc aa", "S aa"},
    RuleCase{"zip-content-type", " zip-content-type \"application/vnd.ms-word.template.macroEnabledTemplate.main+xml\"\n",
             package("application/vnd.ms-word.template.macroEnabledTemplate.main+xml", true),
             package("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml", true)},
    RuleCase{"zip-text", " zip-text \"a-1.dist-info/WHEEL\" str \"Wheel-Version: 1.0\"\n",
             makeZip({{"a-1.dist-info/WHEEL", std::string(5000, ' ') + "Wheel-Version: 1.0\n", true}}),
             makeZip({{"a-1.dist-info/WHEEL", "Wheel-Version: 2.0\n", true}})},
    RuleCase{"zip-has with a star", " zip-has \"*.dist-info/WHEEL\"\n", makeZip({{"a-1.dist-info/WHEEL", "x"}}),
             makeZip({{"src/a-1.dist-info/WHEEL", "x"}})},
    RuleCase{"ole-compobj", " ole-compobj \"MSProject.MPP\"\n", oleWithCompObj(compObjStream("Microsoft Project", "MSProject.MPP14", "MSProject.Project.9")),
             oleWithCompObj(compObjStream("Microsoft Word", "MSWordDoc", "Word.Document.8"))},
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

// Member content: stored or deflated, never more than the bound, and nothing
// from members that lie, are encrypted or are packed another way.
// A few patterns are looked for a stretch of the zone at a time: one that
// spans two stretches, or lies far in, is still found, in the same order.
TEST(MultiSearch, FewPatternsAcrossStretches)
{
    for (std::size_t at : {16382u, 16383u, 16384u, 40000u}) {
        std::string data(50000, 'x');
        data.replace(at, 3, "Ab-");
        data.replace(10, 2, "qq");
        AhoCorasick ac;
        ac.build({"ab-", "zz", "qq"});
        std::vector<std::uint32_t> got;
        ac.scan(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), [&](std::uint32_t p) { got.push_back(p); });
        EXPECT_EQ(got, (std::vector<std::uint32_t>{2, 0})) << at;
    }
}

// Many short patterns: one found at a later start that ends sooner comes
// first, and of two that end together the longer one.
TEST(MultiSearch, ShortPatternsComeInOrderOfTheirEnds)
{
    AhoCorasick ac;
    ac.build({"q1", "q2", "q3", "q4", "q5", "q6", "cd", "abcd", "bc", ""});
    const std::string data = "--ABcd--bc";
    std::vector<std::uint32_t> got;
    ac.scan(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), [&](std::uint32_t p) { got.push_back(p); });
    EXPECT_EQ(got, (std::vector<std::uint32_t>{8, 7, 6, 8}));
}

TEST(ZipDirectory, ReadsMemberContentWithinBounds)
{
    const std::string text = "<Types>" + std::string(3000, 'x') + "</Types>";
    const std::string zip = makeZip({{"a.xml", text, true}});
    // Packed larger than one piece read and unpacked larger than the first
    // output: read and grown in steps.
    std::string noisy;
    std::mt19937 rng(3);
    while (noisy.size() < 50000)
        noisy += static_cast<char>('!' + rng() % 90);
    // The central directory entry's fields, patched to lie.
    auto patched = [&](std::size_t field, std::uint32_t value, int width = 4) {
        std::string b = zip;
        std::size_t cd = b.find("PK\x01\x02");
        b.replace(cd + field, width, test::le32(value).substr(0, width));
        return b;
    };
    // Stored bytes marked as deflated: a reserved block type at once.
    std::string notDeflate = makeZip({{"a.xml", "\xFF\xFF\xFF\xFF"}});
    notDeflate.replace(8, 2, test::le16(8));
    notDeflate.replace(notDeflate.find("PK\x01\x02") + 10, 2, test::le16(8));
    struct Case {
        const char* what;
        std::string bytes;
        std::optional<std::string> content;
    };
    const Case cases[] = {
        {"stored", makeZip({{"a.xml", "<a/>"}}), "<a/>"},
        {"deflated", zip, text},
        {"deflated, in pieces", makeZip({{"a.xml", noisy, true}}), noisy},
        {"behind a self-extractor", makeZip({{"a.xml", text, true}}, std::string(777, 'M')), text},
        {"a bomb is cut at the bound", makeZip({{"a.xml", std::string(1u << 20, '\0'), true}}), std::string(ZipDirectory::kMaxMemberBytes, '\0')},
        {"a packed size beyond the file", patched(20, 0x7FFFFFFF), text},
        {"encrypted", patched(8, 1, 2), std::nullopt},
        {"packed another way", patched(10, 12, 2), std::nullopt},
        {"a local header offset past the end", patched(42, 0x7FFFFFF0), std::nullopt},
        {"not a deflate stream", notDeflate, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySource src({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
        Probe probe;
        probe.reset(src);
        ZipDirectory d;
        d.read(src, probe.tail(65536));
        ASSERT_TRUE(d.valid());
        EXPECT_EQ(d.read(src, "a.xml"), c.content);
        EXPECT_FALSE(d.read(src, "b.xml"));
    }
    // Four bytes of a deflated stream give what they hold, a prefix or nothing.
    std::string cut = patched(20, 4);
    MemorySource src({reinterpret_cast<const std::uint8_t*>(cut.data()), cut.size()});
    Probe probe;
    probe.reset(src);
    ZipDirectory d;
    d.read(src, probe.tail(65536));
    auto prefix = d.read(src, "a.xml");
    EXPECT_TRUE(!prefix || text.starts_with(*prefix));
}

// Bytes past the head come from the first read, from one block read around
// them, or from a read of their own when many: the right bytes either way,
// in any order, across block edges, and nothing past the end. A large
// file's head is read in part first, the rest when asked for: a few bytes
// there come with a block, many with the rest of the head. The tail too,
// for a file a little larger than the head and for a large one.
TEST(Probe, BytesPastTheHeadAreTheFilesOwn)
{
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + (i >> 8));
    const std::pair<std::uint64_t, std::size_t> ranges[] = {{65588, 8}, {65600, 8}, {66559, 4}, {65530, 12}, {32769, 5}, {16380, 8},
        {100000, 3000}, {65590, 2}, {36865, 4}, {140000, 1024}, {199990, 10}, {130000, 1}, {69000, 700}, {20000, 6000}, {40000, 4}};
    for (std::size_t size : {66000u, 200000u}) {
        const std::string file = bytes.substr(0, size);
        MemorySource src({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()});
        Probe probe;
        probe.reset(src);
        EXPECT_EQ(probe.headRead().size(), size > 65536 + Probe::kPastHead ? Probe::kFirstRead : 65536u) << size;
        EXPECT_EQ(probe.headSize(), 65536u);
        for (const auto& [pos, n] : ranges) {
            const std::uint8_t* p = probe.bytesAt(pos, n);
            if (pos + n > size) {
                EXPECT_EQ(p, nullptr) << pos;
                continue;
            }
            ASSERT_NE(p, nullptr) << pos;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), file.substr(pos, n)) << pos;
        }
        for (std::size_t n : {4096u, 65536u}) {
            auto t = probe.tail(n);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.data()), t.size()), file.substr(size - t.size())) << size;
            EXPECT_EQ(t.size(), std::min<std::size_t>(n, size));
        }
        const auto head = probe.head();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(head.data()), head.size()), file.substr(0, 65536)) << size;
    }
}

TEST(ZipDirectory, StarsStayWithinOneSegment)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.kml", "doc.kml", true},        {"*.kml", "files/doc.kml", false}, {"*.dist-info/WHEEL", "a-1.dist-info/WHEEL", true},
        {"Index/Slide*", "Index/Slide-7.iwa", true}, {"Index/Slide*", "Index/Tables/Slide", false}, {"a*b*c", "aXXbYYc", true},
        {"a*c", "ab/c", false},            {"*", "", true},                   {"a*", "b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zipNameMatches(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
    ZipDirectory d;
    std::string z = makeZip({{"pkg-2.0.dist-info/RECORD", ""}, {"pkg/x.py", ""}});
    MemorySource src({reinterpret_cast<const std::uint8_t*>(z.data()), z.size()});
    d.read(src, {reinterpret_cast<const std::uint8_t*>(z.data()), z.size()});
    EXPECT_TRUE(d.has("*.dist-info/"));
    EXPECT_FALSE(d.has("*.egg-info/"));
}

TEST(ZipPackage, FindsTheMainPartsContentType)
{
    const std::string office = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
    const std::string docm = "application/vnd.ms-word.document.macroEnabled.main+xml";
    auto types = [](const std::string& body) { return "<?xml version=\"1.0\"?><Types xmlns=\"urn:ct\">" + body + "</Types>"; };
    auto rels = [](const std::string& type, const std::string& target) {
        return "<Relationships><Relationship Id='r1' Type='" + type + "' Target='" + target + "'/></Relationships>";
    };
    struct Case {
        const char* what;
        std::string bytes;
        std::string type;
    };
    const Case cases[] = {
        {"through the relationship", package(docm), docm},
        {"deflated", package(docm, true), docm},
        {"strict relationships", package(docm, false, "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument"), docm},
        {"an unknown relationship", package(docm, false, "urn:other"), docm},
        {"the default for the part's extension",
         makeZip({{"[Content_Types].xml", types("<Default Extension='model' ContentType='application/vnd.ms-package.3dmanufacturing-3dmodel+xml'/>")},
                  {"_rels/.rels", rels("http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel", "/3D/3dmodel.model")}}),
         "application/vnd.ms-package.3dmanufacturing-3dmodel+xml"},
        {"part names compare without case",
         makeZip({{"[Content_Types].xml", types("<Override PartName='/XL/Workbook.xml' ContentType='a.main+xml'/>")},
                  {"_rels/.rels", rels(office, "xl/workbook.xml")}}),
         "a.main+xml"},
        {"no relationships: the part that says it is the main one",
         makeZip({{"[Content_Types].xml", types("<Override PartName='/e.bin' ContentType='application/vnd.ms-excel'/>"
                                                "<Override PartName='/d.xml' ContentType='b.main'/>")}}),
         "b.main"},
        {"no content types", makeZip({{"_rels/.rels", rels(office, "word/document.xml")}}), ""},
        {"a tag cut by the end", makeZip({{"[Content_Types].xml", "<Types><Override PartName=\"/word/document.xml\" ContentType=\"x.ma"}}), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySource src({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
        ZipDirectory d;
        d.read(src, {reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
        EXPECT_EQ(zipMainContentType(d, src), c.type);
    }
}

TEST(OleDirectory, ReadsTheCompObjStreamFromTheMiniStream)
{
    auto read = [](const std::string& bytes) {
        MemorySource src({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        OleDirectory d;
        d.read(src);
        return d.compObj();
    };
    const std::string good = oleWithCompObj(compObjStream("Microsoft Project", "MSProject.MPP14", "MSProject.Project.9"));
    // The mini allocation table's last link points back to the first, and
    // the stream claims far more than the chain holds.
    std::string looping = good;
    looping.replace(2048 + 4, 4, test::le32(0));
    looping.replace(1024 + 2 * 128 + 0x78, 4, test::le32(4000));
    std::string longName = compObjStream("x", "MSWordDoc", "Word.Document.8");
    longName.replace(28, 4, test::le32(0x7FFFFFFF));
    std::string marker = compObjStream("Paint", "", "Paint.Picture");
    marker.replace(28 + 4 + 6, 5, test::le32(0xFFFFFFFF) + test::le32(2));
    struct Case {
        const char* what;
        std::string bytes;
        std::string clipboard, progId;
    };
    const Case cases[] = {
        {"in the mini stream", good, "MSProject.MPP14", "MSProject.Project.9"},
        {"a looping chain ends the read", looping, "MSProject.MPP14", "MSProject.Project.9"},
        {"a length past the stream", oleWithCompObj(longName), "", ""},
        {"a standard clipboard format", oleWithCompObj(marker), "", "Paint.Picture"},
        {"cut inside the stream", good.substr(0, good.size() - 512 + 40), "", ""},
        {"no CompObj", makeOle({"WordDocument"}), "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto o = read(c.bytes);
        EXPECT_EQ(o.clipboardFormat, c.clipboard);
        EXPECT_EQ(o.progId, c.progId);
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

// The TIFF reader: both byte orders and offset widths, the directories it
// follows, and files that claim more than they hold.
TEST(TiffDirectory, WalksTheFirstDirectoriesSafely)
{
    const TiffEntry dngVersion{50706, 1, 4, "\x01\x04\0\0"};
    auto pointer = [](std::uint16_t tag, std::uint32_t to) { return TiffEntry{tag, 4, 1, tiffInt(to, 4, false)}; };
    // A second directory that holds only the GeoKeyDirectory tag.
    const std::string geoIfd = tiffInt(1, 2, false) + tiffInt(34735, 2, false) + tiffInt(3, 2, false) + tiffInt(4, 4, false)
        + std::string(4, '\0') + std::string(4, '\0');
    const std::string bigTiff = std::string("II+\0\x08\0\0\0", 8) + tiffInt(16, 8, false) + tiffInt(1, 8, false) + tiffInt(50706, 2, false)
        + tiffInt(1, 2, false) + tiffInt(4, 8, false) + padTo("\x01\x04", 8, '\0') + tiffInt(0, 8, false);
    std::string many = makeTiff({dngVersion}, tiffTailAt(1));
    for (std::uint32_t k = 0; k < TiffDirectory::kMaxIfds; ++k)
        many += geoIfd.substr(0, geoIfd.size() - 4) + tiffInt(static_cast<std::uint32_t>(many.size() + geoIfd.size()), 4, false);
    many.replace(many.size() - geoIfd.size() + 2, 2, tiffInt(34736, 2, false)); // the directory past the limit
    std::string hugeCount = makeTiff({dngVersion});
    hugeCount.replace(8, 2, "\xFF\xFF");
    struct Case {
        const char* what;
        std::string bytes;
        bool valid;
        std::uint16_t tag;
        bool has;
    };
    const Case cases[] = {
        {"little-endian", makeTiff({dngVersion}), true, 50706, true},
        {"big-endian", makeTiff({{50706, 1, 4, "\x01\x04\0\0"}}, 0, {}, true), true, 50706, true},
        {"BigTIFF", bigTiff, true, 50706, true},
        {"BigTIFF with another offset size", bigTiff.substr(0, 4) + "\x04" + bigTiff.substr(5), false, 50706, false},
        {"a raw's own version number", "IIRO" + makeTiff({dngVersion}).substr(4), true, 50706, true},
        {"an unknown version", "II)\0" + makeTiff({dngVersion}).substr(4), false, 50706, false},
        {"the next directory", makeTiff({dngVersion}, tiffTailAt(1), geoIfd), true, 34735, true},
        {"a sub-image directory", makeTiff({pointer(330, tiffTailAt(1))}, 0, geoIfd), true, 34735, true},
        {"the Exif directory", makeTiff({pointer(34665, tiffTailAt(1))}, 0, geoIfd), true, 34735, true},
        {"a directory that links to itself", makeTiff({pointer(330, 8)}, 8), true, 330, true},
        {"no more than the first directories", many, true, 34736, false},
        {"a directory past the end", makeTiff({dngVersion}).substr(0, 4) + tiffInt(4096, 4, false), false, 50706, false},
        {"a count larger than the file", hugeCount, true, 50706, true},
        {"cut inside the first entry", makeTiff({dngVersion}).substr(0, 18), false, 50706, false},
        {"a sub-image directory past the end", makeTiff({pointer(330, 1u << 30)}), true, 34735, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySource src({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
        TiffDirectory d;
        d.read(src);
        EXPECT_EQ(d.valid(), c.valid);
        EXPECT_EQ(d.has(c.tag), c.has);
    }
}

// The ASN.1 reader: each shape from the least its structure asks for, and
// bytes that only look like one.
TEST(DerStructure, TellsShapesApartAndRefusesWhatDoesNotFill)
{
    const std::string name = seq(der(0x31, seq(der(0x06, "\x55\x04\x03") + der(0x0C, "t"))));
    const std::string time = der(0x17, "");
    const std::string spki = seq(kAlgorithm + der(0x03, "\0"));
    const std::string signature = kAlgorithm + der(0x03, "\0");
    const std::string cert = seq(seq(der(0xA0, integer(2)) + integer(1) + kAlgorithm + name + seq(time + time) + name + spki) + signature);
    auto signedData = [&](const std::string& encap, const std::string& signers) {
        return seq(der(0x06, kPkcs7 + "\x02") + der(0xA0, seq(integer(1) + der(0x31, "") + seq(der(0x06, kPkcs7 + "\x01") + encap) + signers)));
    };
    std::string deep;
    for (int k = 0; k < 40; ++k)
        deep = "\x30\x80" + deep + std::string(2, '\0');
    struct Case {
        const char* what;
        std::string bytes;
        DerShape shape;
    };
    const Case cases[] = {
        {"certificate", cert, DerShape::Certificate},
        {"version 1 certificate", seq(seq(integer(1) + kAlgorithm + name + seq(time + time) + name + spki) + signature), DerShape::Certificate},
        {"revocation list", seq(seq(integer(1) + kAlgorithm + name + time) + signature), DerShape::Crl},
        {"signing request", seq(seq(integer(0) + name + spki + der(0xA0, "")) + signature), DerShape::CertificationRequest},
        {"detached signature", signedData("", der(0x31, seq(""))), DerShape::Pkcs7Signature},
        {"signed message", signedData(der(0xA0, der(0x04, "hi")), der(0x31, seq(""))), DerShape::Pkcs7SignedData},
        {"certificate bundle", signedData("", der(0xA0, "") + der(0x31, "")), DerShape::Pkcs7Certificates},
        {"enveloped message", seq(der(0x06, kPkcs7 + "\x03") + der(0xA0, seq(integer(0) + der(0x31, "") + seq("")))), DerShape::Pkcs7EnvelopedData},
        {"private key", seq(integer(0) + kAlgorithm + der(0x04, "k")), DerShape::Pkcs8PrivateKey},
        {"encrypted private key", seq(kAlgorithm + der(0x04, "k")), DerShape::Pkcs8EncryptedKey},
        {"RSA private key", seq(integer(0) + integer(1) + integer(1) + integer(1) + integer(1) + integer(1) + integer(1) + integer(1) + integer(1)),
         DerShape::RsaPrivateKey},
        {"RSA public key", seq(der(0x02, std::string(64, '\x55')) + der(0x02, "\x01\x00\x01")), DerShape::RsaPublicKey},
        {"two numbers of a signature's size", seq(der(0x02, std::string(32, '\x55')) + der(0x02, std::string(32, '\x55'))), DerShape::None},
        {"public key", spki, DerShape::PublicKey},
        {"EC private key", seq(integer(1) + der(0x04, "k") + der(0xA0, der(0x06, "\x2A")) + der(0xA1, der(0x03, "\0"))), DerShape::EcPrivateKey},
        {"key store", seq(integer(3) + seq(der(0x06, kPkcs7 + "\x01") + der(0xA0, der(0x04, ""))) + seq("")), DerShape::Pkcs12},
        {"indefinite lengths", "\x30\x80" + cert.substr(2) + std::string(2, '\0'), DerShape::Certificate},
        {"a byte after the structure", cert + "\n", DerShape::None},
        {"cut short", cert.substr(0, cert.size() - 1), DerShape::None},
        {"a child that overruns its parent", seq(der(0x04, "abcd").substr(0, 2) + "ab") + "cd", DerShape::None},
        {"a length larger than any file", std::string("\x30\x88\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10), DerShape::None},
        {"an indefinite length never closed", "\x30\x80" + kAlgorithm, DerShape::None},
        {"nested too deeply", deep, DerShape::None},
        {"an unknown content type", seq(der(0x06, "\x2A\x03") + der(0xA0, seq(""))), DerShape::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySource src({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
        EXPECT_EQ(readDerShape(src), c.shape);
    }
}

TEST(MediaHeaders, SkipsLeadingTags)
{
    auto ape = [](std::uint32_t size, std::uint32_t flags) {
        std::string h = "APETAGEX";
        for (std::uint32_t v : {2000u, size, 1u, flags})
            for (int k = 0; k < 4; ++k)
                h += static_cast<char>((v >> (8 * k)) & 0xFF);
        return h + std::string(8, '\0') + std::string(size, 'A');
    };
    const std::string frame("\xFF\xFB\x90\x00", 4);
    struct Case {
        const char* what;
        std::string bytes;
        std::uint64_t end;
        unsigned count;
    };
    const Case cases[] = {
        {"no tag", frame, 0, 0},
        {"one tag", id3(100) + frame, 110, 1},
        {"a version 4 footer", id3(100, 4, 0x10) + std::string(10, 'F') + frame, 120, 1},
        {"a footer flag before version 4 means nothing", id3(100, 3, 0x10) + frame, 110, 1},
        {"two tags", id3(20) + id3(30) + frame, 70, 2},
        {"an APE tag with its header, then ID3", ape(40, 0xA0000000) + id3(5) + frame, 87, 2},
        {"an APE footer is not a start", ape(40, 0x80000000) + frame, 0, 0},
        {"not syncsafe", id3(100).replace(8, 1, "\x80") + frame, 0, 0},
        {"an unknown version", id3(100, 5) + frame, 0, 0},
        {"a skippable frame of a compressed stream", std::string("\x5E\x2A\x4D\x18\x04\0\0\0meta", 12) + frame, 12, 1},
        {"an empty skippable frame at the end", std::string("\x50\x2A\x4D\x18\0\0\0\0", 8), 8, 1},
        {"cut inside the tag", id3(100).substr(0, 50), 50, 1},
        {"cut inside the header", id3(100).substr(0, 8), 0, 0},
        // The second header lies past the 64 KiB head.
        {"a tag past the head", id3(100000) + id3(10) + frame, 100030, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto* data = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
        MemorySource src({data, c.bytes.size()});
        const LeadingTags t = readLeadingTags({data, std::min<std::size_t>(c.bytes.size(), 65536)}, src);
        EXPECT_EQ(t.end, c.end);
        EXPECT_EQ(t.count, c.count);
    }
    // Tags without end: the count is bounded, and so is every read.
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += id3(0);
    MemorySource src({reinterpret_cast<const std::uint8_t*>(many.data()), many.size()});
    EXPECT_EQ(readLeadingTags({}, src).count, 8u);
}

TEST(MediaHeaders, ReadsTheFileTypeBoxAndTopLevelBoxes)
{
    const std::string ftyp = box("ftyp", "M4A \0\0\0\0M4A mp42isom"s);
    struct TypeCase {
        const char* what;
        std::string bytes;
        std::string major;
        std::vector<std::string> compatible;
    };
    const TypeCase types[] = {
        {"first box", ftyp + box("moov", ""), "M4A ", {"M4A ", "mp42", "isom"}},
        {"after a JPEG 2000 signature", box("jP  ", "\r\n\x87\n") + box("ftyp", "jpx \0\0\0\0jp2 "s), "jpx ", {"jp2 "}},
        {"a 64-bit size", be32(1) + "ftyp" + std::string(7, '\0') + '\x1C' + "heic\0\0\0\0mif1"s, "heic", {"mif1"}},
        {"cut by the end of the file", ftyp.substr(0, 22), "M4A ", {"M4A "}},
        {"too short for a brand", box("ftyp", "M4A "), "", {}},
        {"not the first box", box("free", "") + ftyp, "", {}},
        {"a size past the brands", be32(0xFFFFFFF0) + "ftypisom" + std::string(4000, 'b'), "isom", std::vector<std::string>(64, "bbbb")},
    };
    for (const auto& c : types) {
        SCOPED_TRACE(c.what);
        const FileTypeBox b = readFileTypeBox({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
        EXPECT_EQ(b.found, !c.major.empty());
        EXPECT_EQ(b.major, c.major);
        EXPECT_EQ(b.compatible, c.compatible);
    }
    struct BoxCase {
        const char* what;
        std::string bytes;
        std::vector<std::string> types;
    };
    std::string nine;
    for (int i = 0; i < 9; ++i)
        nine += box("free", "");
    const BoxCase boxes[] = {
        {"a chain", box("wide", "") + box("mdat", "data") + box("moov", "x"), {"wide", "mdat", "moov"}},
        // The header after a large media box is read from the file.
        {"past a large box", box("mdat", std::string(200000, 'd')) + box("moov", ""), {"mdat", "moov"}},
        {"a 64-bit size", be32(1) + "mdat" + std::string(7, '\0') + '\x18' + "12345678" + box("moov", ""), {"mdat", "moov"}},
        {"size 0 runs to the end", be32(0) + "mdat" + box("moov", ""), {"mdat"}},
        {"a size below a header ends the walk", box("free", "") + be32(4) + "moov", {"free"}},
        {"an unprintable type ends the walk", box("free", "") + box("mo\x01v", ""), {"free"}},
        {"a box past the end", be32(100) + "moov", {"moov"}},
        {"at most eight", nine, std::vector<std::string>(8, "free")},
    };
    for (const auto& c : boxes) {
        SCOPED_TRACE(c.what);
        const auto* data = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
        MemorySource src({data, c.bytes.size()});
        EXPECT_EQ(readTopLevelBoxes({data, std::min<std::size_t>(c.bytes.size(), 65536)}, src).types, c.types);
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

TEST(TextModel, TheNameSettlesWhatTheModelIsNotSureOf)
{
    const std::string defs = "type text\n desc \"t\"\n ext txt\n mime text/plain\n cat text\n weight -20\n text\n"
        + head("js", " parent text\n min-confidence high\n text\n head 100 str \"x\"\n")
        + head("ts", " parent text\n min-confidence high\n text\n head 100 str \"y\"\n");
    // 100 score units a nat: each "let" makes js e times as probable as ts.
    auto db = test::compile(defs, test::makeTextModel({"text", "js", "ts"}, {{"let", {-100, 50, -50}}}, 16, 100000));
    ASSERT_TRUE(db);
    Identify id(*db);
    const struct {
        const char* text;
        const char* name;
        const char* first;
    } cases[] = {
        {"let", "a.ts", "ts"},         // js 2.7 times as probable: the name decides
        {"let let let", "a.ts", "ts"}, // 7.4 times
        {"let let let let let let let", "a.ts", "js"}, // 20 times: the words
        {"let", "", "js"},
    };
    for (const auto& c : cases) {
        // Words the model does not know make it long enough to judge.
        auto ids = id.ids(std::string(c.text) + " and some more", c.name);
        ASSERT_FALSE(ids.empty()) << c.text;
        EXPECT_EQ(ids[0], c.first) << c.text << " named " << c.name << ": " << ids[0];
    }
}

TEST(TextModel, AFormatWhoseRulesFailedYieldsToItsParentsThatHeld)
{
    const std::string defs = "type text\n desc \"t\"\n ext txt\n mime text/plain\n cat text\n weight -20\n text\n"
        + head("ini", " parent text\n text\n key-value\n") + head("toml", " parent ini\n text\n head 100 str \" = \\\"\"\n");
    auto db = test::compile(defs, test::makeTextModel({"text", "ini", "toml"}, {{"version", {-100, 0, 100}}}, 16, 100000));
    ASSERT_TRUE(db);
    Identify id(*db);
    const struct {
        const char* text;
        const char* first;
    } cases[] = {
        {"[main]\nname = \"x\"\nversion = 1\n", "toml"}, // its own rule held
        {"[main]\nname = x\nversion = 1\n", "ini"},       // only the key file's
        {"version version, version version", "toml"},      // neither: the model's answer
    };
    for (const auto& c : cases) {
        auto ids = id.ids(c.text);
        ASSERT_FALSE(ids.empty()) << c.text;
        EXPECT_EQ(ids[0], c.first) << c.text;
    }
}

TEST(TextModel, StructureSettlesWhatTheWordsLeaveAlike)
{
    const std::vector<std::string> classes = {"text", "markdown", "lisp-source", "c-source", "c-header", "makefile", "go-source"};
    std::string defs = "type text\n desc \"t\"\n ext txt\n mime text/plain\n cat text\n weight -20\n text\n";
    for (std::size_t k = 1; k < classes.size(); ++k)
        defs += head(classes[k], " parent text\n min-confidence high\n text\n head 100 str \"\\x01\"\n");
    auto db = test::compile(defs, test::makeTextModel(classes,
        {{"defun", {0, 0, 120, 0, 0, 0, 0}}, {"return", {0, 0, 0, 100, 0, 0, 0}}, {"main", {0, 0, 0, 0, 0, 0, 120}}}, 16, 40000));
    ASSERT_TRUE(db);
    Identify id(*db);
    const struct {
        const char* text;
        const char* first;
    } cases[] = {
        // Too few words to weigh, but make's lines.
        {"out.go: map.go\n\tgo run map.go >out.go\n", "makefile"},
        // Notes that quote Lisp in indented blocks are a document.
        {"Notes\n=====\n\nThese are the notes of a small library for you.\nIt is loaded by the usual means of the system.\n\n"
         "    (defun a (x) x)\n    (defun b (x) x)\n    (defun c (x) x)\n\nUsage\n-----\n\nCall it with a number as its argument.\n"
         "The result comes back as a list of digits.\nMore text follows here in the same way.\n",
            "text"},
        // An include guard makes a header of what reads as a source.
        {"#ifndef A_H\n#define A_H\nint f(int x)\n{\n    return x;\n}\n#endif\n", "c-header"},
        {"#ifndef B_H\n#define B_H\n#define NAMES \"a\", \"b\"\n#endif\n", "c-header"}, // and too short to weigh
        // No package clause: not Go, whatever its words.
        {"#include <stdio.h>\nint main(void)\n{\n    return 0;\n}\n", "c-source"},
        // A heading of Markdown's own is Markdown, however short.
        {"### Thanks for your help!\n\nPlease add a test.\n", "markdown"},
    };
    for (const auto& c : cases) {
        auto ids = id.ids(c.text);
        ASSERT_FALSE(ids.empty()) << c.text;
        EXPECT_EQ(ids[0], c.first) << c.text;
    }
}

TEST(Explain, ShowsTheTextModelsTopThreeAndWhatWeighedMost)
{
    auto db = test::compile("type text\n desc \"t\"\n ext txt\n mime text/plain\n cat text\n text\n"
                            + head("py", " parent text\n min-confidence high\n text\n head 100 str \"def \"\n"),
        test::makeTextModel({"text", "py"}, {{"def", {-50, 50}}, {"self", {-50, 50}}}, 16, 10000));
    ASSERT_TRUE(db);
    Identify id(*db);
    const auto ids = id.ids("def f(self): return self\n");
    ASSERT_FALSE(ids.empty());
    ASSERT_EQ(ids.front(), "py");
    auto hits = id.explain(id.last().front().def);
    ASSERT_GE(hits.size(), 3u);
    EXPECT_EQ(hits[hits.size() - 2].rule, "text model");
    EXPECT_EQ(hits[hits.size() - 2].where.substr(0, 3), "py ");
    EXPECT_NE(hits.back().where.find("\"self\""), std::string::npos) << hits.back().where;
}

TEST(Explain, SaysWhatStructureSettled)
{
    auto db = test::compile("type text\n desc \"t\"\n ext txt\n mime text/plain\n cat text\n text\n"
                            + head("c-source", " parent text\n min-confidence high\n text\n head 100 str \"\\x01\"\n")
                            + head("c-header", " parent text\n min-confidence high\n text\n head 100 str \"\\x01\"\n"),
        test::makeTextModel({"text", "c-source", "c-header"}, {{"return", {-50, 50, -50}}}, 16, 10000));
    ASSERT_TRUE(db);
    Identify id(*db);
    const auto ids = id.ids("#ifndef A_H\n#define A_H\nint f(int x)\n{\n    return x;\n}\n#endif\n");
    ASSERT_FALSE(ids.empty());
    ASSERT_EQ(ids.front(), "c-header");
    bool said = false;
    for (const auto& h : id.explain(id.last().front().def))
        said = said || h.where == "settled by an include guard";
    EXPECT_TRUE(said);
}

} // namespace

// Gaps between repeated bytes make a naive search try every split of the
// file; a hostile file must not turn one rule into minutes of work.
TEST(SequenceEngine, HostileFilesCostBoundedWork)
{
    const std::string flood(65536, 'a');
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(flood.data()), flood.size());
    struct Case {
        const char* signature;
        bool expected;
    };
    for (const Case& c : {Case{"* 'a' * 'a' * 'a' * 'a' * 'b'", false}, Case{"* 'a' {0-5000} 'a' {0-5000} 'a' {0-5000} 'b'", false},
             Case{"* ('a'|'aa'|'aaa') * ('a'|'aa') * 'ab'", false}, Case{"* 'a' * 'a' * 'aaaa'", true},
             // Starts are skipped by the bytes that can begin what follows a gap.
             Case{"* ('c'|[62:63]) 'a'", false}, Case{"* ([61:62] 'a'|'c') 'aaaa'", true}}) {
        SigPattern p;
        std::string error;
        ASSERT_TRUE(parseSignature(c.signature, p, error)) << error;
        auto program = compileSignature(p, error);
        SequenceEngine engine;
        std::size_t at = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(engine.match(program, data, false, at), c.expected) << c.signature;
        EXPECT_EQ(engine.match(program, data, true, at), c.expected) << c.signature << " backward";
        // Unbounded, these take hours; bounded, milliseconds. The limit only
        // tells the two apart, with room for a slow emulated machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.signature;
    }
}

// A view cut where a program's latest match can end answers as the whole
// file does; a program with an unbounded gap has no such place.
TEST(SequenceEngine, ReachBoundsWhatAMatchReads)
{
    std::string file(70000, 'x');
    file.replace(1000, 4, "ABCD");
    file.replace(5000, 2, "EF");
    file.replace(60000, 2, "GH");
    const std::span<const std::uint8_t> whole(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    struct Case {
        const char* signature;
        std::size_t reach;
    };
    // Each bounded one matches the file ending right at its reach.
    for (const Case& c : {Case{"{1000} 'ABCD'", 1004}, Case{"{1000} 'ABCD' {10-3996} 'EF'", 5002}, Case{"{0-1000} ('ABCD'|'AB') 'x'", 1005},
             Case{"* 'EF'", SIZE_MAX}, Case{"{1000} 'AB' * 'GH'", SIZE_MAX}, Case{"{59990-60000} 'GH'", 60002}}) {
        SigPattern p;
        std::string error;
        ASSERT_TRUE(parseSignature(c.signature, p, error)) << error;
        const auto program = compileSignature(p, error);
        SequenceEngine engine;
        EXPECT_EQ(engine.keptReach(1, program), c.reach) << c.signature;
        std::size_t atWhole = 0, atCut = 0;
        const bool inWhole = engine.matchKept(1, program, whole, false, atWhole);
        if (c.reach < whole.size()) {
            EXPECT_TRUE(inWhole) << c.signature;
            EXPECT_EQ(engine.matchKept(1, program, whole.first(c.reach), false, atCut), inWhole) << c.signature;
            EXPECT_EQ(atCut, atWhole) << c.signature;
            EXPECT_FALSE(engine.matchKept(1, program, whole.first(c.reach - 1), false, atCut)) << c.signature;
        }
    }
}

// A program is rejected by its first bytes only where they decide: its
// answer is then the engine's.
TEST(SequenceEngine, FirstBytesRejectOnlyWhatCannotMatch)
{
    struct Case {
        const char* signature;
        std::string data;
        bool rejected;
    };
    const Case cases[] = {
        {"'ABC' * 'Z'", "ABD..Z", true},
        {"'ABC' * 'Z'", "ABC..Z", false},
        {"{4} 'AB'", "xxxxAC", true},
        {"{4} 'AB'", "xxxxAB", false},
        {"{4} 'AB'", "xxxxA", false},   // not enough bytes at hand: the engine decides
        {"{0-4} 'AB'", "xxxxAC", false}, // not at a fixed place
        {"[41:42] 'B'", "CB", false},    // not a literal first
    };
    for (const Case& c : cases) {
        SigPattern p;
        std::string error;
        ASSERT_TRUE(parseSignature(c.signature, p, error)) << error;
        const auto program = compileSignature(p, error);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.data.data());
        EXPECT_EQ(seq::failsAtStart(program, bytes, c.data.size(), false), c.rejected) << c.signature << " / " << c.data;
        // Read from the end, the same bytes reversed answer alike.
        const std::string reversed(c.data.rbegin(), c.data.rend());
        EXPECT_EQ(seq::failsAtStart(program, reinterpret_cast<const std::uint8_t*>(reversed.data()), reversed.size(), true), c.rejected)
            << c.signature;
        SequenceEngine engine;
        std::size_t at = 0;
        if (c.rejected) {
            EXPECT_FALSE(engine.match(program, {bytes, c.data.size()}, false, at)) << c.signature;
        }
    }
}

// Both ways of searching (one pattern at a time for a handful, the
// automaton for more) must report what a naive search finds, in the order
// the matcher relies on: by the end of each pattern's first occurrence,
// longer first when two end together. A wider alphabet gives the automaton
// more bytes that start a pattern than it looks for one at a time.
TEST(MultiSearch, FewAndManyPatternsAgreeWithANaiveSearch)
{
    std::mt19937 rng(7);
    const std::string narrow = std::string("aAbB-0x ", 8) + '\0';
    const std::string wide = std::string("aAbBcCdDeEfF-0x ", 16) + '\0';
    std::string alphabet;
    auto word = [&](std::size_t len) {
        std::string s;
        for (std::size_t i = 0; i < len; ++i)
            s += alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 400; ++round) {
        alphabet = round % 3 == 2 ? wide : narrow;
        const std::size_t count = round % 2 ? 1 + rng() % AhoCorasick::kFewPatterns : AhoCorasick::kFewPatterns + 1 + rng() % 12;
        // Some sets have no one-byte pattern: their starts are found by pairs.
        const std::size_t shortest = round % 6 == 4 ? 2 : 1;
        std::vector<std::string> texts;
        while (texts.size() < count) {
            std::string t = word(shortest + rng() % (5 - shortest));
            for (char& c : t)
                c = static_cast<char>(kAsciiLower[static_cast<std::uint8_t>(c)]);
            if (std::find(texts.begin(), texts.end(), t) == texts.end())
                texts.push_back(t);
        }
        // An empty pattern matches nothing and must not hide the others.
        if (round % 12 == 10)
            texts.insert(texts.begin() + static_cast<std::ptrdiff_t>(rng() % texts.size()), std::string());
        std::string data = word(rng() % (round % 4 ? 300 : 1200));
        std::string folded = data;
        for (char& c : folded)
            c = static_cast<char>(kAsciiLower[static_cast<std::uint8_t>(c)]);
        std::vector<std::tuple<std::size_t, std::size_t, std::uint32_t>> first;
        for (std::uint32_t p = 0; p < texts.size(); ++p) {
            auto at = folded.find(texts[p]);
            if (!texts[p].empty() && at != std::string::npos)
                first.emplace_back(at + texts[p].size(), std::numeric_limits<std::size_t>::max() - texts[p].size(), p);
        }
        std::sort(first.begin(), first.end());
        std::vector<std::uint32_t> expected;
        for (auto& f : first)
            expected.push_back(std::get<2>(f));

        std::vector<std::string_view> views(texts.begin(), texts.end());
        AhoCorasick ac;
        ac.build(views);
        std::vector<std::uint32_t> got;
        ac.scan(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), [&](std::uint32_t p) {
            if (std::find(got.begin(), got.end(), p) == got.end())
                got.push_back(p);
        });
        ASSERT_EQ(got, expected) << "round " << round << ", " << count << " patterns";

        // With windows: every pattern that lies in its window is reported,
        // and nothing that occurs nowhere past the earliest window's start.
        std::vector<AhoCorasick::Window> windows;
        for (std::size_t p = 0; p < texts.size(); ++p) {
            const auto from = static_cast<std::uint32_t>(rng() % (data.size() / 2 + 1));
            windows.push_back({from, from + static_cast<std::uint32_t>(rng() % (data.size() + 1))});
        }
        ac.build(views, windows);
        std::set<std::uint32_t> reported;
        ac.scan(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), [&](std::uint32_t p) { reported.insert(p); });
        std::uint32_t earliest = windows[0].from;
        for (const auto& w : windows)
            earliest = std::min(earliest, w.from);
        for (std::uint32_t p = 0; p < texts.size(); ++p) {
            const auto at = folded.find(texts[p], windows[p].from);
            const bool inWindow = !texts[p].empty() && at != std::string::npos && at + texts[p].size() <= windows[p].end;
            const bool anywhere = folded.find(texts[p], earliest) != std::string::npos;
            EXPECT_TRUE(!inWindow || reported.count(p)) << "round " << round << ", pattern " << p;
            EXPECT_TRUE(anywhere || !reported.count(p)) << "round " << round << ", pattern " << p;
        }

        // The rule search underneath, exact bytes: the first occurrence.
        const std::string& t = texts[0];
        if (!t.empty() && data.size() >= t.size()) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
            const auto* pat = reinterpret_cast<const std::uint8_t*>(t.data());
            const std::size_t k = rarestByte(pat, t.size()), k2 = rarestByte(pat, t.size(), nullptr, k);
            const AnchorByte a{k, pat[k], pat[k]}, b{k2 < t.size() ? k2 : 0, pat[k2 < t.size() ? k2 : 0], pat[k2 < t.size() ? k2 : 0]};
            const std::size_t at = findAnchored(bytes, data.size() - t.size(), a, k2 < t.size() ? &b : nullptr,
                [&](std::size_t s) { return data.compare(s, t.size(), t) == 0; });
            const std::size_t want = data.find(t);
            ASSERT_EQ(at, want == std::string::npos ? kNotFound : want) << "round " << round;
        }
    }
}
