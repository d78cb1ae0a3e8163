// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "vonk/build/DefinitionParser.h"

#include <gtest/gtest.h>

using namespace gv::vonk;

namespace {

const std::string kHead = "type t\n desc \"d\"\n ext e\n mime a/b\n cat data\n";

struct BadSource {
    const char* name;
    std::string source;
    int line;
    const char* reason; // a fragment of the message
};

class ParserErrors : public ::testing::TestWithParam<BadSource> {};

TEST_P(ParserErrors, ReportsFileLineAndReason)
{
    const BadSource& c = GetParam();
    DefinitionParser p;
    p.parse(c.source, "src.vdef");
    EXPECT_FALSE(p.finish());
    ASSERT_FALSE(p.errors().empty()) << c.name;
    const auto& e = p.errors().front();
    EXPECT_EQ(e.file, "src.vdef");
    EXPECT_EQ(e.line, c.line) << e.format();
    EXPECT_NE(e.reason.find(c.reason), std::string::npos) << e.format();
    EXPECT_EQ(e.format().rfind("src.vdef:" + std::to_string(c.line) + ": ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Vdef, ParserErrors, ::testing::Values(
    BadSource{"rule outside", "at 0 str \"x\"\n", 1, "outside a definition"},
    BadSource{"bad id", "type Bad!\n", 1, "id"},
    BadSource{"duplicate id", kHead + " at 0 str \"x\"\ntype t\n", 7, "duplicate id 't'"},
    BadSource{"unknown keyword", kHead + " frobnicate 3\n", 6, "unknown keyword"},
    BadSource{"bad hex", kHead + " at 0 hex 4G\n", 6, "bad hex byte"},
    BadSource{"odd hex", kHead + " at 0 hex 123\n", 6, "bad hex byte"},
    BadSource{"bad mask", kHead + " at 0 hex 10&ZZ\n", 6, "masked byte"},
    BadSource{"unterminated", kHead + " at 0 str \"abc\n", 6, "unterminated"},
    BadSource{"bad escape", kHead + " at 0 str \"a\\q\"\n", 6, "escape"},
    BadSource{"wildcards only", kHead + " at 0 hex ?? ??\n", 6, "wildcards"},
    BadSource{"head too long", kHead + " head 70000 str \"x\"\n", 6, "65536"},
    BadSource{"within reversed", kHead + " within 10 5 str \"x\"\n", 6, "FROM <= TO"},
    BadSource{"number too big", kHead + " at 0 u8 = 256\n", 6, "bad value"},
    BadSource{"value outside mask", kHead + " at 0 le16 & 0x00FF = 0x0100\n", 6, "outside the mask"},
    BadSource{"bad op", kHead + " size ~ 3\n", 6, "size OP VALUE"},
    BadSource{"end without block", kHead + " at 0 str \"x\"\n end\n", 7, "without an open"},
    BadSource{"block not closed", kHead + " any\n at 0 str \"x\"\n", 1, "without 'end'"},
    BadSource{"empty block", kHead + " any\n end\n", 7, "empty block"},
    BadSource{"bad category", "type t\n cat pictures\n", 2, "'cat' needs one of"},
    BadSource{"bad mime", "type t\n mime png\n", 2, "type/subtype"},
    BadSource{"weight range", "type t\n weight 99\n", 2, "-50 to 50"},
    BadSource{"missing desc", "type t\n ext e\n mime a/b\n cat data\n at 0 str \"x\"\n", 1, "no desc"},
    BadSource{"no rules", kHead, 1, "no rules"},
    BadSource{"missing parent", kHead + " parent nothere\n at 0 str \"x\"\n", 1, "'nothere'"},
    BadSource{"self parent", kHead + " parent t\n at 0 str \"x\"\n", 1, "itself"},
    BadSource{"text kind", kHead + " text klingon\n", 6, "usage: text"},
    BadSource{"zip-first form", kHead + " zip-first \"m\" hex 00\n", 6, "zip-first"},
    BadSource{"zip-text without its text", kHead + " zip-text \"WHEEL\"\n", 6, "usage: zip-text"},
    BadSource{"zip-text with an empty text", kHead + " zip-text \"WHEEL\" str \"\"\n", 6, "usage: zip-text"},
    BadSource{"separator of two characters", kHead + " delimited \",,\"\n", 6, "usage: delimited"},
    BadSource{"quote as separator", kHead + " delimited \"\\\"\"\n", 6, "usage: delimited"},
    BadSource{"key-value separator", kHead + " key-value \"-\"\n", 6, "usage: key-value"},
    BadSource{"some without a number", kHead + " some\n", 6, "usage: some N"},
    BadSource{"class id in lower case", kHead + " ole-clsid \"000c1084-0000-0000-c000-000000000046\"\n", 6, "usage: ole-clsid"},
    BadSource{"class id cut short", kHead + " ole-clsid \"000C1084-0000-0000-C000\"\n", 6, "usage: ole-clsid"},
    BadSource{"class id of zeros", kHead + " ole-clsid \"00000000-0000-0000-0000-000000000000\"\n", 6, "usage: ole-clsid"},
    BadSource{"TIFF tag past 16 bits", kHead + " tiff-tag 65536\n", 6, "usage: tiff-tag"},
    BadSource{"TIFF tag value without =", kHead + " tiff-tag 262 32803\n", 6, "usage: tiff-tag"},
    BadSource{"unknown DER shape", kHead + " der-shape \"x509\"\n", 6, "usage: der-shape"},
    BadSource{"brand of three characters", kHead + " bmff-brand \"qt \"\n", 6, "usage: bmff-brand"},
    BadSource{"records of no size", kHead + " size = 84 + 0 * at 80 le32\n", 6, "usage: size = HEADER"},
    BadSource{"box type unquoted", kHead + " bmff-box moov\n", 6, "usage: bmff-box"},
    BadSource{"some asks for more than it holds", kHead + " some 3\n at 0 str \"a\"\n at 1 str \"b\"\n end\n", 9, "'some 3' holds only 2"},
    BadSource{"min-confidence level", kHead + " min-confidence total\n at 0 str \"x\"\n", 6, "'high' or 'medium'"}));

TEST(Parser, ParentCycleIsAnError)
{
    DefinitionParser p;
    p.parse("type a\n desc \"a\"\n ext a\n mime a/a\n cat data\n parent b\n at 0 str \"a\"\n"
            "type b\n desc \"b\"\n ext b\n mime a/b\n cat data\n parent a\n at 0 str \"b\"\n",
        "cycle.vdef");
    EXPECT_FALSE(p.finish());
    ASSERT_FALSE(p.errors().empty());
    EXPECT_NE(p.errors().front().reason.find("cycle"), std::string::npos);
}

TEST(Parser, ReadsEveryStatementAndRuleKind)
{
    DefinitionParser p;
    p.parse("# comment line\n"
            "type x.y+z-1   # trailing comment\n"
            "  desc \"A # not a comment\"\n"
            "  ext .abc def\n"
            "  mime a/b c/d\n"
            "  cat document\n"
            "  weight -7\n"
            "  at -22 hex 50 4B 05 06\n"
            "  at 4 be32 & 0xFFFF0000 >= 0x10000\n"
            "  within 0 10 istr \"Ab\"\n"
            "  not any\n"
            "    size < 3\n"
            "    all\n"
            "      json\n"
            "      text utf16\n"
            "    end\n"
            "  end\n"
            "  xml-root \"svg\" \"http://www.w3.org/2000/svg\"\n",
        "ok.vdef");
    EXPECT_TRUE(p.finish());
    for (const auto& e : p.errors())
        ADD_FAILURE() << e.format();
    ASSERT_EQ(p.definitions().size(), 1u);
    const SourceDefinition& d = p.definitions()[0];
    EXPECT_EQ(d.id, "x.y+z-1");
    EXPECT_EQ(d.desc, "A # not a comment");
    EXPECT_EQ(d.exts, (std::vector<std::string>{"abc", "def"}));
    EXPECT_EQ(d.mimes, (std::vector<std::string>{"a/b", "c/d"}));
    EXPECT_EQ(d.weight, -7);
    ASSERT_EQ(d.root.children.size(), 5u);
    EXPECT_EQ(d.root.children[0].off, -22);
    EXPECT_EQ(d.root.children[1].mask, 0xFFFF0000u);
    EXPECT_EQ(d.root.children[1].op, db::CmpOp::Ge);
    // istr keeps letters case-free through a mask, other bytes exact.
    EXPECT_EQ(d.root.children[2].masks, (std::vector<std::uint8_t>{0xDF, 0xDF}));
    const SourceRule& notRule = d.root.children[3];
    ASSERT_EQ(notRule.kind, db::NodeKind::Not);
    ASSERT_EQ(notRule.children.size(), 1u);
    EXPECT_EQ(notRule.children[0].kind, db::NodeKind::Any);
    ASSERT_EQ(notRule.children[0].children.size(), 2u);
    EXPECT_EQ(notRule.children[0].children[1].children.size(), 2u);
    EXPECT_EQ(d.root.children[4].second, "http://www.w3.org/2000/svg");
    EXPECT_EQ(d.root.children[2].text, "within 0 10 istr \"Ab\"");
}

TEST(Parser, ReportsEveryErrorNotJustTheFirst)
{
    DefinitionParser p;
    p.parse(kHead + " at 0 hex ZZ\n bogus\n at 0 str \"ok\"\n", "many.vdef");
    EXPECT_FALSE(p.finish());
    ASSERT_EQ(p.errors().size(), 2u);
    EXPECT_EQ(p.errors()[0].line, 6);
    EXPECT_EQ(p.errors()[1].line, 7);
}

TEST(Parser, MissingFileIsAnError)
{
    DefinitionParser p;
    p.parseFile("/nonexistent/dir/x.vdef");
    EXPECT_FALSE(p.finish());
    ASSERT_EQ(p.errors().size(), 1u);
    EXPECT_EQ(p.errors()[0].format(), "/nonexistent/dir/x.vdef: no such file");
}

TEST(Parser, AByteOrderMarkIsNotPartOfTheSource)
{
    test::TempDir dir;
    test::writeFile(dir.file("bom.vdef"), "\xEF\xBB\xBF" + kHead + " at 0 str \"x\"\n bogus\n");
    DefinitionParser p;
    p.parseFile(dir.file("bom.vdef"));
    EXPECT_FALSE(p.finish());
    ASSERT_EQ(p.errors().size(), 1u) << p.errors()[0].format();
    EXPECT_EQ(p.errors()[0].line, 7) << "lines are counted as before";
    ASSERT_EQ(p.definitions().size(), 1u);
    EXPECT_EQ(p.definitions()[0].id, "t");
}

TEST(Writer, EvidenceGrowsWithLengthAndFixedness)
{
    DefinitionParser p;
    p.parse(kHead + " at 0 hex 01 02\n at 0 hex 01 02 03 04 05 06 07 08\n head 65536 hex 01 02 03 04 05 06 07 08\n"
                    " at 0 hex 01 ?? 03 04\n zip-has \"[Content_Types].xml\"\n text\n",
        "e.vdef");
    ASSERT_TRUE(p.finish());
    const auto& r = p.definitions()[0].root.children;
    auto ev = [&](int i) { return DatabaseWriter::evidenceOf(r[static_cast<std::size_t>(i)]); };
    EXPECT_EQ(ev(0), 16u);
    EXPECT_EQ(ev(1), 64u);
    EXPECT_LT(ev(2), ev(1)); // anywhere in 64 KiB says less than at a fixed place
    EXPECT_EQ(ev(3), 24u);   // a wildcard byte adds nothing
    EXPECT_GT(ev(4), ev(0));
    EXPECT_LT(ev(5), ev(0)); // "is text" is weak evidence
}

TEST(Writer, TestSourcesCompileAndLoad)
{
    auto bytes = test::compileFileBytes(GV_TEST_VDEF);
    std::string error;
    auto db = Database::fromBytes(bytes, error);
    ASSERT_TRUE(db) << error;
    EXPECT_GE(db->defCount(), 15u);
}

} // namespace
