// SPDX-License-Identifier: GPL-3.0-or-later
// Import of shared-mime-info package files: rule mapping checked by
// identifying made-up files, precedence of our own definitions, malformed
// input, and `vonk --list` / `--info` on a database built by vonk-defs.
// Import of PRONOM signature files: the signature language, and how its
// formats join our types or become types of their own.

#include "TestSupport.h"
#include "support/RunProgram.h"

#include "vonk/match/ByteSource.h"
#include "vonk/match/Matcher.h"
#include "vonk/build/MimeInfoImport.h"
#include "vonk/build/PureMagicImport.h"
#include "vonk/build/PronomImport.h"
#include "vonk/build/SignatureSyntax.h"
#include "vonk/match/SequenceEngine.h"
#include "vonk/match/Probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace gv::vonk::test {
namespace {

const char* const kOurs = R"(
type png
  desc "PNG image"
  ext  png
  mime image/png image/x-png
  cat  image
  at 0 hex 89 50 4E 47

type zip
  desc "ZIP archive"
  ext  zip
  mime application/zip
  cat  archive
  at 0 str "PK\x03\x04"

type makefile
  desc "Makefile"
  ext  mk
  mime text/x-makefile
  cat  text
  text
  head 4096 str ":\n\t"
)";

// Line numbers matter: warnings are checked against them.
const char* const kPackage = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE mime-info [ <!ELEMENT mime-info (mime-type)+> ]>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-nest">
    <comment>Nested &lt;test&gt; format</comment>
    <comment xml:lang="it">Formato annidato</comment>
    <generic-icon name="package-x-generic"/>
    <glob pattern="*.nest"/>
    <glob pattern="*.NST"/>
    <glob pattern="Nestfile"/>
    <magic priority="60">
      <match type="string" value="NEST" offset="0">
        <match type="big16" value="0x0102" offset="4"/>
        <match type="little32" value="0x0a0b0c0d" offset="4"/>
      </match>
      <match type="string" value="ALT\x21" offset="8:16"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-masked">
    <comment>Masked format</comment>
    <magic>
      <match type="string" value="\x4d\x00\x53\x4b" mask="0xff00ffff" offset="2"/>
      <match type="byte" value="0x40" mask="0xf0" offset="0"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-host">
    <comment>Host-order format</comment>
    <magic>
      <match type="host16" value="070707" offset="0"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-ranged">
    <comment>Ranged number</comment>
    <magic>
      <match type="big32" value="0xCAFED00D" offset="4:40"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-sub">
    <comment>Refined nest</comment>
    <sub-class-of type="application/x-nest"/>
    <magic priority="70">
      <match type="string" value="SUB" offset="12"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-zipped">
    <comment>Zipped thing</comment>
    <sub-class-of type="application/x-missing"/>
    <sub-class-of type="application/zip"/>
    <magic>
      <match type="string" value="zipped" offset="30"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-thing+xml">
    <comment>Thing document</comment>
    <root-XML namespaceURI="urn:example:thing" localName="thing"/>
  </mime-type>
  <mime-type type="image/png">
    <comment>Their PNG</comment>
    <magic><match type="string" value="\x89PNG" offset="0"/></magic>
  </mime-type>
  <mime-type type="image/x-apng">
    <comment>Aliased to ours</comment>
    <alias type="image/x-png"/>
    <magic><match type="string" value="\x89PNG" offset="0"/></magic>
  </mime-type>
  <mime-type type="video/x-weakchild">
    <comment>Weaker refinement</comment>
    <sub-class-of type="application/x-nest"/>
    <magic priority="40">
      <match type="string" value="NEST" offset="0"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-wordy">
    <comment>Starts with a word</comment>
    <magic>
      <match type="string" value="PREFIX" offset="0"/>
    </magic>
  </mime-type>
  <mime-type type="text/x-nameonly">
    <comment>Known by name</comment>
    <glob pattern="*.nmo"/><sub-class-of type="application/zip"/>
  </mime-type>
  <mime-type type="application/x-badrules">
    <comment>Partly broken</comment>
    <magic>
      <match type="big16" value="0x10000" offset="0"/>
      <match type="string" value="GOOD" offset="0"/>
      <match type="quad64" value="1" offset="0"/>
    </magic>
  </mime-type>
</mime-info>
)";

class MimeInfoImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DefinitionParser parser;
        parser.parse(kOurs, "ours.vdef");
        ASSERT_TRUE(parser.finish());
        m_defs = parser.definitions();
        ASSERT_TRUE(m_import.parse(kPackage, "pkg.xml"));
        m_added = m_import.mergeInto(m_defs);
        std::string error;
        m_db = Database::fromBytes(DatabaseWriter::build(m_defs), error);
        ASSERT_TRUE(m_db) << error;
        m_matcher = std::make_unique<Matcher>(*m_db);
    }

    const SourceDefinition* def(const std::string& id) const
    {
        auto it = std::find_if(m_defs.begin(), m_defs.end(), [&](const SourceDefinition& d) { return d.id == id; });
        return it == m_defs.end() ? nullptr : &*it;
    }

    // Ids of every matching definition, best first.
    // With `name`, the answers that rest on it end in " (by name)".
    std::vector<std::string> identify(const std::string& bytes, const std::string& name = {})
    {
        MemorySource src(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        m_probe.reset(src);
        std::vector<std::string> ids;
        for (const auto& c : m_matcher->identify(m_probe, name))
            ids.emplace_back(std::string(m_db->str(m_db->def(c.def).id)) + (c.byName ? " (by name)" : ""));
        return ids;
    }

    bool matches(const std::string& bytes, const std::string& id)
    {
        auto ids = identify(bytes);
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    }

    std::vector<SourceDefinition> m_defs;
    MimeInfoImport m_import;
    std::size_t m_added = 0;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Matcher> m_matcher;
    Probe m_probe;
};

TEST_F(MimeInfoImportTest, RuleTreesMatchAsTheirMatchesSay)
{
    const std::string pad(64, 'z');
    struct Case {
        const char* what;
        std::string bytes;
        const char* id;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"parent and first nested match", "NEST\x01\x02" + pad, "mime:application/x-nest", true},
        {"parent and second nested match", std::string("NEST\x0d\x0c\x0b\x0a", 8) + pad, "mime:application/x-nest", true},
        {"parent without any nested match", "NEST\x02\x01" + pad, "mime:application/x-nest", false},
        {"nested match without its parent", "XEST\x01\x02" + pad, "mime:application/x-nest", false},
        {"sibling at the start of its range", std::string(8, 'y') + "ALT!" + pad, "mime:application/x-nest", true},
        {"sibling at the end of its range", std::string(16, 'y') + "ALT!" + pad, "mime:application/x-nest", true},
        {"sibling past its range", std::string(17, 'y') + "ALT!" + pad, "mime:application/x-nest", false},
        {"string mask ignores the masked byte", "..M?SK" + pad, "mime:application/x-masked", true},
        {"string mask keeps the other bytes", "..M?SX" + pad, "mime:application/x-masked", false},
        {"byte mask", "\x4f" + pad, "mime:application/x-masked", true},
        {"host order, little-endian", std::string("\xc7\x71", 2) + pad, "mime:application/x-host", true},
        {"host order, big-endian", std::string("\x71\xc7", 2) + pad, "mime:application/x-host", true},
        {"number searched in a range", std::string(30, 'q') + "\xca\xfe\xd0\x0d" + pad, "mime:application/x-ranged", true},
        {"number in the other byte order", std::string(30, 'q') + "\x0d\xd0\xfe\xca" + pad, "mime:application/x-ranged", false},
        {"xml root with namespace", "<?xml version=\"1.0\"?>\n<thing xmlns=\"urn:example:thing\"/>\n", "mime:application/x-thing+xml", true},
        {"xml root in another namespace", "<?xml version=\"1.0\"?>\n<thing xmlns=\"urn:other\"/>\n", "mime:application/x-thing+xml", false},
        {"valid rule kept beside broken ones", "GOOD" + pad, "mime:application/x-badrules", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matches(c.bytes, c.id), c.expected) << c.what;
}

TEST_F(MimeInfoImportTest, OurDefinitionsWinEveryConflict)
{
    // image/png is ours; image/x-apng claims our alias image/x-png.
    EXPECT_EQ(def("mime:image/png"), nullptr);
    EXPECT_EQ(def("mime:image/x-apng"), nullptr);
    EXPECT_EQ(m_import.typesOurs(), 2u);
    EXPECT_EQ(m_added, m_import.typesSeen() - 2);
    EXPECT_EQ(identify("\x89PNG\r\n\x1a\n" + std::string(32, '\0')), std::vector<std::string>{"png"});

    // Imported magic that also holds for one of ours ranks below it.
    std::string zipped = test::makeZip({{"zipped", "x"}});
    zipped.replace(30, 6, "zipped");
    auto ids = identify(zipped);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.front(), "mime:application/x-zipped") << "a refinement holds, so it carries its parent's score";
    ASSERT_NE(def("mime:application/x-zipped"), nullptr);
    EXPECT_EQ(def("mime:application/x-zipped")->parent, "zip") << "the first parent that exists";
    // A word at the start of a text file says less than its bits: our
    // weaker but text-aware definition keeps first place.
    auto text = identify("PREFIX ?= /usr\nall:\n\techo hi\n");
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text[0], "makefile");
    EXPECT_EQ(text[1], "mime:application/x-wordy");
    for (const auto& d : m_defs) {
        if (d.file.rfind("shared-mime-info:", 0) == 0 && !d.contentless) {
            EXPECT_LT(d.weight, 0) << d.id << " is not damped";
        }
    }
}

TEST_F(MimeInfoImportTest, DefinitionFieldsComeFromTheType)
{
    const SourceDefinition* nest = def("mime:application/x-nest");
    ASSERT_NE(nest, nullptr);
    EXPECT_EQ(nest->desc, "Nested <test> format");
    EXPECT_EQ(nest->exts, (std::vector<std::string>{"nest", "nst"}));
    EXPECT_EQ(nest->mimes, std::vector<std::string>{"application/x-nest"});
    EXPECT_EQ(nest->category, "archive");
    EXPECT_EQ(nest->file, "shared-mime-info:pkg.xml");
    EXPECT_EQ(nest->line, 4);
    EXPECT_TRUE(nest->imported);
    EXPECT_FALSE(def("png")->imported);

    const SourceDefinition* sub = def("mime:application/x-sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->parent, "mime:application/x-nest");
    EXPECT_GT(sub->weight, nest->weight) << "a higher priority ranks higher";
    auto ids = identify("NEST\x01\x02zzzzzzSUB" + std::string(32, 'z'));
    ASSERT_GE(ids.size(), 2u);
    EXPECT_EQ(ids[0], "mime:application/x-sub");
    EXPECT_EQ(ids[1], "mime:application/x-nest");

    // A refinement with a lower priority than its parent must not outrank it.
    const SourceDefinition* weak = def("mime:video/x-weakchild");
    ASSERT_NE(weak, nullptr);
    EXPECT_TRUE(weak->parent.empty());
    ids = identify("NEST\x01\x02" + std::string(32, 'z'));
    ASSERT_GE(ids.size(), 2u);
    EXPECT_EQ(ids[0], "mime:application/x-nest");

    const SourceDefinition* thing = def("mime:application/x-thing+xml");
    ASSERT_NE(thing, nullptr);
    EXPECT_EQ(thing->exts, std::vector<std::string>{"-"});
    EXPECT_EQ(thing->category, "data");
}

TEST_F(MimeInfoImportTest, TypesKnownOnlyByNameAreListedButNeverMatch)
{
    const SourceDefinition* named = def("mime:text/x-nameonly");
    ASSERT_NE(named, nullptr);
    EXPECT_TRUE(named->contentless);
    EXPECT_EQ(named->category, "text");
    EXPECT_EQ(named->exts, std::vector<std::string>{"nmo"});
    for (const std::string& bytes : {std::string("plain text\n"), std::string(100, '\0'), std::string("nmo")})
        EXPECT_FALSE(matches(bytes, "mime:text/x-nameonly"));
}

TEST_F(MimeInfoImportTest, ANameNamesWhatContentCannotTellFromItsCarrier)
{
    const std::string zip = test::makeZip({{"a.txt", "a"}});
    std::string zipped = test::makeZip({{"zipped", "x"}});
    const std::string named = "mime:text/x-nameonly (by name)";
    struct Case {
        const char* what;
        std::string bytes;
        std::string name;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"the carrier with the type's extension", zip, "dir.v/a.NMO", {named, "zip"}},
        {"no name: content alone", zip, "", {"zip"}},
        {"another extension", zip, "a.zip", {"zip"}},
        {"a hidden name is no extension", zip, ".nmo", {"zip"}},
        {"the carrier did not match", "plain text\n", "a.nmo", {}},
        {"content found something more specific", zipped, "a.nmo", {"mime:application/x-zipped", "zip"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(identify(c.bytes, c.name), c.expected) << c.what;
}

TEST_F(MimeInfoImportTest, UnusableRulesAreWarnedAboutWithTheirLine)
{
    const auto& w = m_import.warnings();
    auto has = [&](const std::string& prefix) {
        return std::any_of(w.begin(), w.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
    };
    int badLine = 0, quadLine = 0, line = 1;
    for (const char* p = kPackage; *p; ++p) {
        if (std::string_view(p).starts_with("<match type=\"big16\" value=\"0x10000\""))
            badLine = line;
        if (std::string_view(p).starts_with("<match type=\"quad64\""))
            quadLine = line;
        line += *p == '\n';
    }
    EXPECT_TRUE(has("pkg.xml:" + std::to_string(badLine) + ": value '0x10000'")) << testing::PrintToString(w);
    EXPECT_TRUE(has("pkg.xml:" + std::to_string(quadLine) + ": match type 'quad64'")) << testing::PrintToString(w);
    EXPECT_EQ(w.size(), 2u) << testing::PrintToString(w);
}

TEST(MimeInfoImportXml, MalformedFilesAreSkippedWithTheirLine)
{
    struct Case {
        const char* what;
        std::string xml;
        std::string warning;
    };
    const std::string open = "<?xml version=\"1.0\"?>\n<mime-info>\n";
    const std::vector<Case> cases = {
        {"mismatched end tag", open + "<mime-type type=\"a/b\">\n</mime-info>\n", "bad.xml:4: not well-formed XML: unexpected </mime-info> (expected </mime-type>)"},
        {"unclosed root", open + "<mime-type type=\"a/b\"/>\n", "bad.xml:4: not well-formed XML: <mime-info> (line 2) is never closed"},
        {"unknown entity", open + "<mime-type type=\"a/b\"><comment>&nbsp;</comment></mime-type>\n</mime-info>\n", "bad.xml:3: not well-formed XML: unknown entity &nbsp;"},
        {"unquoted attribute", open + "<mime-type type=a/b/>\n</mime-info>\n", "bad.xml:3: not well-formed XML: attribute type has no quoted value"},
        {"unterminated comment", open + "<!-- never ends\n</mime-info>\n", "bad.xml:3: not well-formed XML: unterminated comment"},
        {"two roots", open + "</mime-info>\n<mime-info/>\n", "bad.xml:4: not well-formed XML: a second root element"},
        {"bad character reference", open + "<mime-type type=\"a/b\"><comment>&#xD800;</comment></mime-type></mime-info>", "bad.xml:3: not well-formed XML: bad character reference"},
        {"other document", "<svg/>", "bad.xml:1: root element is <svg>, not <mime-info>"},
        {"empty file", "", "bad.xml:1: not well-formed XML: no root element"},
        {"lines inside a doctype are counted", "<?xml version=\"1.0\"?>\n<!DOCTYPE mime-info [\n<!ENTITY a \"]>\">\n]>\n<mime-info>\n</mime-type>\n",
            "bad.xml:6: not well-formed XML: unexpected </mime-type>"},
        {"unterminated doctype", "<?xml version=\"1.0\"?>\n<!DOCTYPE mime-info [\n<!ELEMENT x ANY>\n", "bad.xml:2: not well-formed XML: unterminated DOCTYPE"},
    };
    for (const auto& c : cases) {
        MimeInfoImport imp;
        EXPECT_FALSE(imp.parse(c.xml, "bad.xml")) << c.what;
        ASSERT_EQ(imp.warnings().size(), 1u) << c.what;
        EXPECT_EQ(imp.warnings()[0].substr(0, c.warning.size()), c.warning) << c.what;
        EXPECT_EQ(imp.typesSeen(), 0u) << c.what << ": nothing is kept from a malformed file";
    }
}

TEST(MimeInfoImportXml, DeepNestingIsBoundedAndCyclesAreRefused)
{
    std::string deep = "<mime-info><mime-type type=\"a/deep\"><magic>";
    for (int i = 0; i < 40; ++i)
        deep += "<match type=\"byte\" value=\"" + std::to_string(i) + "\" offset=\"" + std::to_string(i) + "\">";
    for (int i = 0; i < 40; ++i)
        deep += "</match>";
    deep += "</magic></mime-type>";
    // Each is the other's parent; only one link can be kept.
    deep += "<mime-type type=\"a/one\"><sub-class-of type=\"a/two\"/><magic><match type=\"string\" value=\"one\" offset=\"0\"/></magic></mime-type>";
    deep += "<mime-type type=\"a/two\"><sub-class-of type=\"a/one\"/><magic><match type=\"string\" value=\"two\" offset=\"0\"/></magic></mime-type>";
    deep += "</mime-info>";
    MimeInfoImport imp;
    ASSERT_TRUE(imp.parse(deep, "deep.xml"));
    std::vector<SourceDefinition> defs;
    EXPECT_EQ(imp.mergeInto(defs), 3u);
    DefinitionParser check;
    check.definitions() = defs;
    EXPECT_TRUE(check.finish()) << (check.errors().empty() ? "" : check.errors()[0].format());
    std::string error;
    EXPECT_TRUE(Database::fromBytes(DatabaseWriter::build(defs), error)) << error;
    // Too deep a chain is dropped whole, so a/deep has no content rule left.
    EXPECT_TRUE(defs[0].contentless);
    EXPECT_NE(defs[1].parent.empty(), defs[2].parent.empty());
}

// ---- several sources: Tika's dialect, puremagic, the merge rule ----

const char* const kTika = R"(<?xml version="1.0"?>
<mime-info>
  <mime-type type="application/x-nest">
    <alias type="application/x-nest-alt"/>
    <glob pattern="*.nst2"/>
    <magic priority="50">
      <match value="0x4E455354" type="string" offset="0"/>
      <match value="TSEN" offset="0"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-nest;version=2">
    <sub-class-of type="application/x-nest"/>
    <magic><match value="NEST2" offset="0"/></magic>
  </mime-type>
  <mime-type type="image/png"><_comment>Theirs</_comment><magic><match value="PNGX" offset="0"/></magic></mime-type>
  <mime-type type="application/x-tcase ">
    <_comment>Tika case</_comment>
    <magic>
      <match value="hello" type="stringignorecase" offset="0"/>
      <match value="WIDE" type="unicodeLE" offset="10"/>
    </magic>
  </mime-type>
  <mime-type type="text/x-robots">
    <magic><match minShouldMatch="2">
      <match value="user-agent:" type="stringignorecase" offset="0"/>
      <match value="\nallow:" offset="0:100"/>
      <match value="\ndisallow:" offset="0:100"/>
    </match></magic>
  </mime-type>
  <mime-type type="application/x-nsonly"><root-XML namespaceURI="urn:ns-only"/></mime-type>
  <mime-type type="text/x-nameonly"><magic><match value="PK\003\004" offset="0"/></magic></mime-type>
</mime-info>
)";

const char* const kPureMagic = R"({
  "headers": [
    ["4e455354", 0, ".nest", "application/x-nest", "Repeat"],
    ["0000000000000000", 0, ".zz", "", "Zero Thing"],
    ["5a45524f", 0, ".zz4", "application/octet-stream", "Zero Thing"],
    ["zz", 0, ".x", "a/b", "Bad hex"]
  ],
  "footers": [["454e44", -3, ".end", "application/x-ender", "Ender"]],
  "extension_only": [["", 0, ".txt", "text/plain", "Text"]]
})";

TEST(ImportMerge, LaterSourcesOnlyAddWhatTheFirstLacks)
{
    DefinitionParser parser;
    parser.parse(kOurs, "ours.vdef");
    ASSERT_TRUE(parser.finish());
    std::vector<SourceDefinition> defs = parser.definitions();
    MimeInfoImport smi, tika(MimeInfoImport::Dialect::Tika);
    PureMagicImport pure;
    ASSERT_TRUE(smi.parse(kPackage, "pkg.xml"));
    ASSERT_TRUE(tika.parse(kTika, "tika.xml"));
    ASSERT_TRUE(pure.parse(kPureMagic, "magic.json"));
    ImportMerge::Result r = ImportMerge::mergeInto(defs, {&smi.types(), &tika.types(), &pure.types()});
    std::string error;
    auto db = Database::fromBytes(DatabaseWriter::build(defs), error);
    ASSERT_TRUE(db) << error;
    Matcher matcher(*db);
    Probe probe;
    auto matches = [&](const std::string& bytes, const std::string& id) {
        MemorySource src(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        probe.reset(src);
        for (const auto& c : matcher.identify(probe, {}))
            if (db->str(db->def(c.def).id) == id && !c.byName)
                return true;
        return false;
    };
    auto def = [&](const std::string& id) -> const SourceDefinition* {
        auto it = std::find_if(defs.begin(), defs.end(), [&](const SourceDefinition& d) { return d.id == id; });
        return it == defs.end() ? nullptr : &*it;
    };

    const std::string pad(64, '.');
    struct Case {
        const char* what;
        std::string bytes;
        const char* id;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"a later source's extra magic", "TSEN" + pad, "mime:application/x-nest", true},
        {"a variant's magic goes to its MIME type", "NEST2" + pad, "mime:application/x-nest", true},
        {"case-insensitive string", "HeLLo" + pad, "tika:application/x-tcase", true},
        {"UTF-16LE string", std::string(10, '.') + std::string("W\0I\0D\0E\0", 8) + pad, "tika:application/x-tcase", true},
        {"UTF-16LE string written narrow", std::string(10, '.') + "WIDE" + pad, "tika:application/x-tcase", false},
        {"two of minShouldMatch 2", "User-Agent: *\ndisallow: /\n", "tika:text/x-robots", true},
        {"one of minShouldMatch 2", "User-Agent: *\nHost: x\n", "tika:text/x-robots", false},
        {"namespace without a local name", "<?xml version=\"1.0\"?>\n<any xmlns=\"urn:ns-only\"/>\n", "tika:application/x-nsonly", true},
        {"header without a MIME type", std::string(8, '\0') + pad, "puremagic:zero-thing", true},
        {"octet-stream counts as none, same description same type", "ZERO" + pad, "puremagic:zero-thing", true},
        {"footer at the end", pad + "END", "puremagic:application/x-ender", true},
        {"footer elsewhere", "END" + pad, "puremagic:application/x-ender", false},
        {"no flat magic for a refinement told by name", makeZip({{"a", "b"}}), "mime:text/x-nameonly", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matches(c.bytes, c.id), c.expected) << c.what;

    // One definition per MIME type: ours untouched, the first source's
    // carrying what the later ones added, and where it came from.
    EXPECT_EQ(def("tika:image/png"), nullptr);
    EXPECT_EQ(def("png")->desc, "PNG image");
    EXPECT_EQ(def("tika:application/x-nest"), nullptr);
    EXPECT_EQ(def("puremagic:application/x-nest"), nullptr);
    EXPECT_EQ(def("tika:application/x-nest;version=2"), nullptr);
    const SourceDefinition* nest = def("mime:application/x-nest");
    ASSERT_NE(nest, nullptr);
    EXPECT_EQ(nest->exts, (std::vector<std::string>{"nest", "nst", "nst2"}));
    EXPECT_EQ(nest->mimes, (std::vector<std::string>{"application/x-nest", "application/x-nest-alt"}));
    EXPECT_EQ(nest->file, "shared-mime-info:pkg.xml:4 + tika:tika.xml:3 + tika:tika.xml");
    EXPECT_EQ(def("tika:application/x-tcase")->desc, "Tika case");
    EXPECT_EQ(def("puremagic:zero-thing")->exts, (std::vector<std::string>{"zz", "zz4"}));
    EXPECT_EQ(r.ours, 3u) << "image/png twice, image/x-apng by its alias";
    // A run of one byte value says little, however long.
    EXPECT_EQ(ImportMerge::strength(def("puremagic:zero-thing")->root), 32u) << "ZERO: 4 bytes; eight zeros count as one";
    ASSERT_EQ(pure.warnings().size(), 1u);
    EXPECT_NE(pure.warnings()[0].find("magic.json:6: signature 'zz' is not hex bytes"), std::string::npos) << pure.warnings()[0];
}

// ---- end to end: vonk-defs imports, vonk lists ----

using gv::test::RunResult;

// A time limit on every run, so a hung child fails the test instead of the run.
RunResult run(const std::string& exe, const std::vector<std::string>& args)
{
    return gv::test::RunProgram(exe, args, {}, 60000);
}

int countLines(const std::string& s, const std::string& prefix)
{
    int n = 0;
    std::size_t pos = 0;
    while (pos < s.size()) {
        auto end = s.find('\n', pos);
        if (s.compare(pos, prefix.size(), prefix) == 0)
            ++n;
        pos = end == std::string::npos ? s.size() : end + 1;
    }
    return n;
}

TEST(MimeInfoImportCli, CompilerImportsAndVonkListsAndDescribes)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("mime"));
    writeFile(dir.file("mime/pkg.xml"), kPackage);
    writeFile(dir.file("mime/broken.xml"), "<mime-info><mime-type type=\"a/b\">\n");
    writeFile(dir.file("ours.vdef"), kOurs);
    const std::string db = dir.file("t.vkd");

    RunResult c = run(GV_VONK_DEFS_EXE, {"--mime-dir", dir.file("mime"), "-o", db, dir.file("ours.vdef")});
    ASSERT_EQ(c.exit, 0) << c.err;
    EXPECT_NE(c.out.find("3 definitions from 1 source(s), 11 imported"), std::string::npos) << c.out;
    EXPECT_NE(c.err.find("broken.xml:2: not well-formed XML"), std::string::npos) << c.err;

    RunResult list = run(GV_VONK_EXE, {"-d:" + db, "--list"});
    ASSERT_EQ(list.exit, 0) << list.err;
    EXPECT_EQ(countLines(list.out, "mime:"), 11);
    EXPECT_NE(list.out.find("png\tpng\timage/png image/x-png\tPNG image\t"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("mime:application/x-nest\tnest nst\tapplication/x-nest\tNested <test> format\tshared-mime-info:"
                  // the folder as given, with '/' between folders on every system
                  + (std::filesystem::path(dir.file("mime")) / "pkg.xml").generic_string() + ":4\tcontent\n"),
        std::string::npos) << list.out;
    // Counts by source and by kind add up to the total.
    EXPECT_NE(list.out.find("# 14 definitions: 3 ours, 11 imported; 13 can match by content\n"
                            "# source ours: 3 (content 3, container 0, xml-root 0, name only 0)\n"
                            "# source shared-mime-info: 11 (content 9, container 0, xml-root 1, name only 1)\n"
                            "# by kind: content 12, container 0, xml-root 1, name only 1\n"),
        std::string::npos) << list.out;

    RunResult info = run(GV_VONK_EXE, {"-d:" + db, "--info"});
    ASSERT_EQ(info.exit, 0) << info.err;
    EXPECT_NE(info.out.find("definitions:  14 (3 ours, 11 imported; 13 can match by content)\n"
                            "imported:     shared-mime-info " + dir.file("mime") + ", version as found on the build machine\n"),
        std::string::npos) << info.out;
    EXPECT_NE(info.out.find("size:         " + std::to_string(std::filesystem::file_size(db)) + " bytes"), std::string::npos) << info.out;
    std::string bytes = readText(db);
    std::uint32_t crc = 0;
    std::memcpy(&crc, bytes.data() + offsetof(db::Header, bodyHash), 4);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", crc);
    EXPECT_NE(info.out.find(std::string("checksum:     ") + hex), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("version:      " + std::to_string(db::kVersion)), std::string::npos) << info.out;

    // Verbose reports say where an imported definition came from.
    writeFile(dir.file("sample.nest"), "NEST\x01\x02" + std::string(40, 'z'));
    RunResult v = run(GV_VONK_EXE, {"-d:" + db, "-v", dir.file("sample.nest")});
    ASSERT_EQ(v.exit, 0) << v.err;
    EXPECT_NE(v.out.find("pkg.xml:4 (imported)"), std::string::npos) << v.out;

    // Every report says when the answer rests on the name; --content-only
    // leaves the name out.
    const std::string nmo = dir.file("archive.nmo");
    writeFile(nmo, makeZip({{"a.txt", "a"}}));
    RunResult named = run(GV_VONK_EXE, {"-d:" + db, nmo});
    EXPECT_NE(named.out.find("Known by name  (by name)\n"), std::string::npos) << named.out;
    EXPECT_NE(named.out.find("ZIP archive\n"), std::string::npos) << named.out;
    RunResult tsv = run(GV_VONK_EXE, {"-d:" + db, "--tsv", nmo});
    EXPECT_EQ(tsv.out, nmo + "\ttext/x-nameonly\tnmo\tmime:text/x-nameonly\tKnown by name\tname\t\n");
    RunResult contentOnly = run(GV_VONK_EXE, {"-d:" + db, "--tsv", "--content-only", nmo});
    EXPECT_EQ(contentOnly.out, nmo + "\tapplication/zip\tzip\tzip\tZIP archive\tcontent\t\n");
    RunResult json = run(GV_VONK_EXE, {"-d:" + db, "--json", nmo});
    EXPECT_EQ(countLines(json.out, "{"), 1);
    EXPECT_NE(json.out.find("\"by_name\":true"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"by_name\":false"), std::string::npos) << json.out;

    // Without the import, or without the package, only ours; never an error.
    RunResult none = run(GV_VONK_DEFS_EXE, {"--no-import", "-o", db, dir.file("ours.vdef")});
    ASSERT_EQ(none.exit, 0) << none.err;
    RunResult missing = run(GV_VONK_DEFS_EXE, {"--mime-dir", dir.file("nowhere"), "-o", db, dir.file("ours.vdef")});
    ASSERT_EQ(missing.exit, 0) << missing.err;
    EXPECT_NE(missing.err.find("warning: " + dir.file("nowhere") + " not found"), std::string::npos) << missing.err;
    RunResult after = run(GV_VONK_EXE, {"-d:" + db, "--info"});
    EXPECT_NE(after.out.find("definitions:  3 (3 ours, 0 imported"), std::string::npos) << after.out;

    // The committed layout: each source's version comes from its ORIGIN
    // note and is kept in the database; a missing source is a warning.
    std::filesystem::create_directories(dir.file("tp/mime-info/shared-mime-info"));
    writeFile(dir.file("tp/mime-info/shared-mime-info/pkg.xml"), kPackage);
    writeFile(dir.file("tp/mime-info/shared-mime-info/ORIGIN"), "source: shared-mime-info\nversion: 9.9-1\n");
    RunResult vendored = run(GV_VONK_DEFS_EXE, {"--imports", dir.file("tp"), "-o", db, dir.file("ours.vdef")});
    ASSERT_EQ(vendored.exit, 0) << vendored.err;
    EXPECT_NE(vendored.err.find("tika-mimetypes.xml not found"), std::string::npos) << vendored.err;
    RunResult versions = run(GV_VONK_EXE, {"-d:" + db, "--info"});
    EXPECT_NE(versions.out.find("imported:     shared-mime-info pkg.xml (shared-mime-info), version 9.9-1\n"), std::string::npos) << versions.out;

    RunResult mixed = run(GV_VONK_EXE, {"-d:" + db, "--list", dir.file("sample.nest")});
    EXPECT_EQ(mixed.exit, 2);
    EXPECT_TRUE(mixed.out.empty());
}

// An imported comment is the description: its control characters must not
// reach the terminal or the console pane raw, in the report or the listing.
TEST(MimeInfoImportCli, ControlCharactersOfACommentAreEscaped)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("mime"));
    writeFile(dir.file("mime/ctl.xml"), R"(<?xml version="1.0"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-ctl">
    <comment>Bell&#7;&#27;[2J&#10;line</comment>
    <magic priority="50"><match type="string" value="CTLFORMAT" offset="0"/></magic>
  </mime-type>
</mime-info>
)");
    writeFile(dir.file("ours.vdef"), kOurs);
    const std::string db = dir.file("t.vkd");
    RunResult c = run(GV_VONK_DEFS_EXE, {"--mime-dir", dir.file("mime"), "-o", db, dir.file("ours.vdef")});
    ASSERT_EQ(c.exit, 0) << c.err;
    writeFile(dir.file("sample"), "CTLFORMAT" + std::string(40, '\x01'));
    RunResult report = run(GV_VONK_EXE, {"-d:" + db, "-v", dir.file("sample")});
    ASSERT_EQ(report.exit, 0) << report.err;
    EXPECT_NE(report.out.find("Bell\\x07\\x1B[2J\\nline"), std::string::npos) << report.out;
    RunResult list = run(GV_VONK_EXE, {"-d:" + db, "--list"});
    EXPECT_NE(list.out.find("\tBell\\x07\\x1B[2J line\t"), std::string::npos) << list.out;
    for (const RunResult* r : {&report, &list})
        EXPECT_EQ(r->out.find_first_of("\x07\x1B"), std::string::npos) << r->out;
}

// Each construct of the signature language, judged by what it matches at the
// start of a file.
TEST(SignatureSyntax, EveryConstructMatchesWhatItSays)
{
    struct Case {
        const char* signature;
        std::string bytes;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"4D 5a", "MZ", true},
        {"4D5A", "MY", false},
        {"'PK' 03 04", "PK\x03\x04", true},
        {"'a' ?? 'c'", "abc", true},
        {"'a' ?? 'c'", "ac", false},
        {"'a' {2} 'd'", "axxd", true},
        {"'a' {2} 'd'", "axd", false},
        {"'a' {1-3} 'e'", "axxxe", true},
        {"'a' {1-3} 'e'", "axxxxe", false},
        {"'a' {2-*} 'z'", "axxxxxxxxz", true},
        {"'a' {2-*} 'z'", "axz", false},
        {"'a' * 'z'", "a12345z", true},
        {"'a' (01 02|'xyz') 'b'", "axyzb", true},
        {"'a' (01 02|'xyz') 'b'", "a\x01\x02" "b", true},
        {"'a' (01 02|'xyz') 'b'", "axyb", false},
        {"[30:39] [30-39] ['0'-'9']", "123", true},
        {"[30:39]", "a", false},
        {"[!00:1F]", " ", true},
        {"[!00:1F]", "\x05", false},
        {"[&81]", "\x81", true},
        {"[&81]", "\x80", false},
        {"[!&81]", "\x80", true},
        {"[00 'aeiou' 'A'-'C' &F0]", "x", false},
        {"[00 'aeiou' 'A'-'C' &F0] [00 'aeiou' 'A'-'C' &F0] [00 'aeiou' 'A'-'C' &F0]", "eB\xF3", true},
        {"[!'a'-'z']", "q", false},
        // A long literal behind a wide gap is looked for first, only as far
        // as the steps before it reach (the widest alternative included).
        {"'abcd' {0-100} 'wxyz'", "abcd" + std::string(100, '.') + "wxyz", true},
        {"'abcd' {0-100} 'wxyz'", "abcd" + std::string(101, '.') + "wxyz", false},
        {"('a'|'bbb') {0-64} 'wxyz'", "bbb" + std::string(64, '.') + "wxyz", true},
        {"'abcd' {0-100} ('x'|'yy') 'wxyz'", "abcd" + std::string(100, '.') + "yywxyz", true},
        {"'abcd' * 'wxyz'", "abcd" + std::string(300, 'w') + "wxyz", true},
        {"'abcd' * 'wxyz'", "abcd" + std::string(300, 'w') + "wxy", false},
    };
    SequenceEngine engine;
    for (const auto& c : cases) {
        SigPattern p;
        std::string error;
        ASSERT_TRUE(parseSignature(c.signature, p, error)) << c.signature << ": " << error;
        auto program = compileSignature(p, error);
        ASSERT_FALSE(program.empty()) << c.signature << ": " << error;
        std::size_t at = 0;
        std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(engine.match(program, data, false, at), c.expected) << c.signature << " on " << c.bytes;
        // Read from the end, the reversed pattern matches the same bytes.
        auto backward = compileSignature(reversedPattern(p), error);
        EXPECT_EQ(engine.match(backward, data, true, at), c.expected) << "backward: " << c.signature << " on " << c.bytes;
    }
}

TEST(SignatureSyntax, MalformedSignaturesSayWhy)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"4D 5", "a hex byte needs two digits at column 4"},
        {"4D ?", "question marks"},
        {"'abc", "unclosed string"},
        {"[30:39", "unclosed '['"},
        {"[]", "empty byte set"},
        {"[!00-FF]", "matches no byte"},
        {"{5-2} 41", "ends before it starts"},
        {"{3 41", "unclosed '{'"},
        {"(41|42", "unclosed '('"},
        {"(41||42)", "empty alternative"},
        {"(41|(42|43))", "alternatives cannot nest"},
        {"(41|{2} 42)", "gaps are not allowed inside alternatives"},
        {"* {4}", "matches no byte"},
        {"41 @", "unexpected '@'"},
    };
    for (const auto& [text, why] : cases) {
        SigPattern p;
        std::string error;
        EXPECT_FALSE(parseSignature(text, p, error)) << text;
        EXPECT_NE(error.find(why), std::string::npos) << text << ": " << error;
    }
}

// Line numbers matter: warnings are checked against them.
const char* const kDroid = R"(<?xml version="1.0" encoding="UTF-8"?>
<FFSignatureFile Version="1" xmlns="http://www.nationalarchives.gov.uk/pronom/SignatureFile">
  <InternalSignatureCollection>
    <InternalSignature ID="1"><ByteSequence Reference="BOFoffset">
      <SubSequence Position="1" SubSeqMinOffset="0" SubSeqMaxOffset="0"><Sequence>89504E47</Sequence></SubSequence>
    </ByteSequence></InternalSignature>
    <InternalSignature ID="2"><ByteSequence Reference="BOFoffset">
      <SubSequence Position="1" SubSeqMinOffset="0" SubSeqMaxOffset="0"><Sequence>'GIZMO'</Sequence>
        <RightFragment MinOffset="2" MaxOffset="4" Position="1">7631</RightFragment>
        <RightFragment MinOffset="2" MaxOffset="4" Position="1">7632</RightFragment>
      </SubSequence>
    </ByteSequence>
    <ByteSequence Reference="EOFoffset">
      <SubSequence Position="1" SubSeqMinOffset="0" SubSeqMaxOffset="8"><Sequence>'END!'</Sequence></SubSequence>
    </ByteSequence></InternalSignature>
    <InternalSignature ID="3"><ByteSequence Reference="BOFoffset">
      <SubSequence Position="1" SubSeqMinOffset="0" SubSeqMaxOffset="0"><Sequence>'GIZMO' [30:</Sequence></SubSequence>
    </ByteSequence></InternalSignature>
    <InternalSignature ID="4"><ByteSequence>
      <SubSequence Position="1" SubSeqMinOffset="0"><Sequence>89504E470D0A1A0A0000000D49484452</Sequence></SubSequence>
    </ByteSequence></InternalSignature>
    <InternalSignature ID="5"><ByteSequence Reference="BOFoffset">
      <SubSequence Position="1" SubSeqMinOffset="0" SubSeqMaxOffset="0"><Sequence>'GIZMO'</Sequence></SubSequence>
    </ByteSequence></InternalSignature>
    <InternalSignature ID="6"><ByteSequence Reference="BOFoffset">
      <SubSequence Position="1" SubSeqMinOffset="0" SubSeqMaxOffset="0"><Sequence>'NAMED'</Sequence></SubSequence>
    </ByteSequence></InternalSignature>
  </InternalSignatureCollection>
  <FileFormatCollection>
    <FileFormat ID="10" Name="Their PNG" PUID="fmt/11" MIMEType="image/png"><InternalSignatureID>1</InternalSignatureID></FileFormat>
    <FileFormat ID="11" Name="Gizmo" Version="2" PUID="fmt/9001" MIMEType="text/plain"><InternalSignatureID>2</InternalSignatureID>
      <Extension>GZM</Extension><HasPriorityOverFileFormatID>14</HasPriorityOverFileFormatID></FileFormat>
    <FileFormat ID="12" Name="Broken" PUID="fmt/9002"><InternalSignatureID>3</InternalSignatureID></FileFormat>
    <FileFormat ID="13" Name="Zip by table" PUID="x-fmt/263"></FileFormat>
    <FileFormat ID="14" Name="Gizmo any version" PUID="fmt/9003"><InternalSignatureID>5</InternalSignatureID></FileFormat>
    <FileFormat ID="15" Name="Long PNG" PUID="fmt/9004" MIMEType="image/x-other"><InternalSignatureID>4</InternalSignatureID></FileFormat>
    <FileFormat ID="16" Name="Name-only lent" PUID="fmt/9005" MIMEType="text/x-nameonly"><InternalSignatureID>6</InternalSignatureID></FileFormat>
  </FileFormatCollection>
</FFSignatureFile>
)";

const char* const kContainers = R"(<?xml version="1.0" encoding="UTF-8"?>
<ContainerSignatureMapping schemaVersion="1.0" signatureVersion="1">
  <ContainerSignatures>
    <ContainerSignature Id="100" ContainerType="ZIP"><Description>Gadget</Description>
      <Files><File><Path>gadget/main.xml</Path></File><File><Path>mimetype</Path></File></Files>
    </ContainerSignature>
    <ContainerSignature Id="101" ContainerType="ZIP"><Description>Needs content</Description>
      <Files><File><Path>x.xml</Path><BinarySignatures/></File></Files>
    </ContainerSignature>
  </ContainerSignatures>
  <FileFormatMappings>
    <FileFormatMapping signatureId="100" Puid="fmt/9010"/>
    <FileFormatMapping signatureId="101" Puid="fmt/9011"/>
  </FileFormatMappings>
</ContainerSignatureMapping>
)";

TEST_F(MimeInfoImportTest, PronomFormatsJoinOurTypesOrBecomeTheirOwn)
{
    PronomImport pronom;
    ASSERT_TRUE(pronom.parseMapping("# ours\nx-fmt/263 zip\n", "map"));
    std::string droid = kDroid;
    droid.replace(droid.find("</FileFormatCollection>"), 0,
        R"(<FileFormat ID="20" Name="Gadget" PUID="fmt/9010"/><FileFormat ID="21" Name="Needs content" PUID="fmt/9011"/>)");
    ASSERT_TRUE(pronom.parseSignatureFile(droid, "droid.xml"));
    ASSERT_TRUE(pronom.parseContainerFile(kContainers, "containers.xml"));
    const std::size_t added = pronom.mergeInto(m_defs);
    std::string error;
    m_db = Database::fromBytes(DatabaseWriter::build(m_defs), error);
    ASSERT_TRUE(m_db) << error;
    m_matcher = std::make_unique<Matcher>(*m_db);

    // By MIME type, by our table, or lending signatures to a name-only type.
    EXPECT_EQ(def("png")->puids, std::vector<std::string>{"fmt/11"});
    EXPECT_EQ(def("zip")->puids, std::vector<std::string>{"x-fmt/263"});
    EXPECT_EQ(def("pronom:fmt/11"), nullptr);
    ASSERT_NE(def("mime:text/x-nameonly"), nullptr);
    EXPECT_TRUE(matches("NAMED" + std::string(20, '\x01'), "mime:text/x-nameonly"));
    // A generic MIME type joins nothing; a broken signature or one that
    // needs a member's content leaves its format without rules.
    const SourceDefinition* gizmo = def("pronom:fmt/9001");
    ASSERT_NE(gizmo, nullptr);
    EXPECT_EQ(gizmo->desc, "Gizmo 2");
    EXPECT_EQ(gizmo->exts, std::vector<std::string>{"gzm"});
    EXPECT_EQ(gizmo->puids, std::vector<std::string>{"fmt/9001"});
    EXPECT_EQ(def("pronom:fmt/9002"), nullptr);
    EXPECT_EQ(def("pronom:fmt/9011"), nullptr);
    EXPECT_EQ(added, 4u) << "fmt/9001, fmt/9003, fmt/9004, fmt/9010";
    auto warned = [&](const std::string& what) {
        return std::any_of(pronom.warnings().begin(), pronom.warnings().end(), [&](const std::string& w) { return w.find(what) != std::string::npos; });
    };
    EXPECT_TRUE(warned("droid.xml:17: fmt/9002 (signature 3): a hex byte needs two digits at column 13")) << ::testing::PrintToString(pronom.warnings());
    EXPECT_TRUE(warned("fmt/9011 (container signature 101)"));

    // Both byte sequences, the fragments' alternatives and gaps, and the
    // end-anchored sequence.
    const std::string body(40, '\x01');
    auto gizmo2 = identify("GIZMO..v2" + body + "END!");
    ASSERT_GE(gizmo2.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(gizmo2.begin(), gizmo2.begin() + 2), (std::vector<std::string>{"pronom:fmt/9001", "pronom:fmt/9003"}));
    EXPECT_TRUE(matches("GIZMO....v1" + body + "END!1234", "pronom:fmt/9001"));
    EXPECT_FALSE(matches("GIZMO.....v1" + body + "END!", "pronom:fmt/9001")) << "gap too wide";
    EXPECT_FALSE(matches("GIZMO..v3" + body + "END!", "pronom:fmt/9001"));
    EXPECT_FALSE(matches("GIZMO..v1" + body + "END!123456789", "pronom:fmt/9001")) << "too far from the end";
    // A container signature refines the container.
    EXPECT_EQ(identify(test::makeZip({{"mimetype", "x"}, {"gadget/main.xml", "<g/>"}})).front(), "pronom:fmt/9010");
    EXPECT_EQ(def("pronom:fmt/9010")->parent, "zip");
    EXPECT_FALSE(matches(test::makeZip({{"mimetype", "x"}}), "pronom:fmt/9010"));
    // A signature with more bits than ours still yields to it: once ours
    // holds, one that refines nothing is not even looked for.
    EXPECT_EQ(identify("\x89PNG\r\n\x1a\n" + std::string("\0\0\0\x0dIHDR", 8) + body),
        (std::vector<std::string>{"png"}));
}

} // namespace
} // namespace gv::vonk::test
