// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "vonk/base/Checksum.h"
#include "vonk/format/DbFormat.h"
#include "vonk/format/RuleTraits.h"
#include "vonk/match/TextModel.h"
#include "vonk/report/DatabaseListing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace gv::vonk;

namespace {

std::vector<std::uint8_t> goodBytes()
{
    return test::compileFileBytes(GV_TEST_VDEF);
}

// Rewrites the body checksum so a change reaches the structural checks.
void reseal(std::vector<std::uint8_t>& b)
{
    db::Header h;
    std::memcpy(&h, b.data(), sizeof h);
    h.bodyHash = 0;
    h.bodyHash = checksum32(b.data() + sizeof h, b.size() - sizeof h, checksum32(reinterpret_cast<const std::uint8_t*>(&h), sizeof h));
    std::memcpy(b.data(), &h, sizeof h);
}

TEST(Database, LoadsWhatTheWriterWrote)
{
    std::string error;
    auto db = Database::fromBytes(goodBytes(), error);
    ASSERT_TRUE(db) << error;
    EXPECT_EQ(db->header().version, db::kVersion);
}

TEST(Database, TruncatedAtEveryHeaderLengthAndBeyondIsAClearError)
{
    auto good = goodBytes();
    for (std::size_t len = 0; len < good.size(); len += (len < 256 ? 1 : 97)) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
        std::string error;
        EXPECT_FALSE(Database::fromBytes(cut, error)) << "length " << len;
        EXPECT_FALSE(error.empty()) << "length " << len;
    }
}

TEST(Database, FlippedBytesAreAClearError)
{
    auto good = goodBytes();
    for (std::size_t i = 0; i < good.size(); i += (i < 64 ? 1 : 13)) {
        auto bad = good;
        bad[i] ^= 0x5A;
        std::string error;
        EXPECT_FALSE(Database::fromBytes(bad, error)) << "byte " << i;
        EXPECT_FALSE(error.empty()) << "byte " << i;
    }
}

TEST(Database, StructuralDamageIsCaughtEvenWithAValidChecksum)
{
    // Each flipped byte in the records, with the checksum recomputed, must
    // either be rejected or load into something the matcher can run safely;
    // the second case is covered by the fuzz target. Here: out-of-range
    // indices in the first definition record must be rejected.
    auto good = goodBytes();
    const std::size_t def0 = sizeof(db::Header);
    for (std::size_t field : {offsetof(db::DefRecord, root), offsetof(db::DefRecord, parent), offsetof(db::DefRecord, id)}) {
        auto bad = good;
        std::uint32_t huge = 0x7FFFFFF0;
        std::memcpy(bad.data() + def0 + field, &huge, 4);
        reseal(bad);
        std::string error;
        EXPECT_FALSE(Database::fromBytes(bad, error)) << "field at " << field;
        EXPECT_FALSE(error.empty());
    }
    // A definition's rules must be a list of them, whatever kind of rule
    // the definition's root index lands on.
    db::DefRecord d0;
    std::memcpy(&d0, good.data() + def0, sizeof d0);
    const std::size_t root = def0 + std::size_t{reinterpret_cast<const db::Header*>(good.data())->defCount} * sizeof(db::DefRecord)
        + std::size_t{d0.root} * sizeof(db::NodeRecord) + offsetof(db::NodeRecord, kind);
    for (auto kind : {db::NodeKind::Any, db::NodeKind::Text}) {
        auto bad = good;
        bad[root] = static_cast<std::uint8_t>(kind);
        reseal(bad);
        std::string error;
        EXPECT_FALSE(Database::fromBytes(bad, error)) << static_cast<int>(kind);
        EXPECT_NE(error.find("definition's rules"), std::string::npos) << error;
    }
}

TEST(Database, ParentCyclesAndWrongDepthsAreRejected)
{
    // The matcher walks parents without a bound of its own.
    const std::size_t def0 = sizeof(db::Header);
    const struct {
        std::uint32_t parent;
        std::uint16_t depth;
    } cases[] = {{0, 0}, {0, 1}, {db::kNoParent, 1}};
    for (const auto& c : cases) {
        auto bad = goodBytes();
        std::memcpy(bad.data() + def0 + offsetof(db::DefRecord, parent), &c.parent, 4);
        std::memcpy(bad.data() + def0 + offsetof(db::DefRecord, depth), &c.depth, 2);
        reseal(bad);
        std::string error;
        EXPECT_FALSE(Database::fromBytes(bad, error)) << c.parent << " " << c.depth;
        EXPECT_NE(error.find("depth"), std::string::npos) << error;
    }
}

TEST(Database, UnknownDefinitionFlagsAreRejected)
{
    // A newer compiler's meaning for a flag must not be silently ignored;
    // rules' traits are flags only in a file whose header says they are.
    const std::size_t def0 = sizeof(db::Header);
    const struct {
        std::uint32_t header;
        std::uint16_t def;
    } cases[] = {{db::kHeaderRuleTraits, 0x8000}, {0, 1 << db::kDefTraitShift}, {2, 0}};
    for (const auto& c : cases) {
        auto bad = goodBytes();
        std::memcpy(bad.data() + offsetof(db::Header, flags), &c.header, 4);
        std::memcpy(bad.data() + def0 + offsetof(db::DefRecord, flags), &c.def, 2);
        reseal(bad);
        std::string error;
        EXPECT_FALSE(Database::fromBytes(bad, error)) << c.header << " " << c.def;
        EXPECT_NE(error.find("flags"), std::string::npos) << error;
    }
}

TEST(Database, RuleTraitsStoredByTheCompilerAreThoseDerivedAtLoad)
{
    // A file that does not carry them (an older compiler's) is read alike.
    auto stored = goodBytes();
    auto derived = stored;
    db::Header h;
    std::memcpy(&h, derived.data(), sizeof h);
    ASSERT_EQ(h.flags, db::kHeaderRuleTraits);
    h.flags = 0;
    std::memcpy(derived.data(), &h, sizeof h);
    for (std::uint32_t d = 0; d < h.defCount; ++d) {
        const std::size_t at = sizeof h + d * sizeof(db::DefRecord) + offsetof(db::DefRecord, flags);
        std::uint16_t flags;
        std::memcpy(&flags, derived.data() + at, 2);
        flags &= static_cast<std::uint16_t>(~db::kDefTraitFlags);
        std::memcpy(derived.data() + at, &flags, 2);
    }
    reseal(derived);
    std::string error;
    auto a = Database::fromBytes(stored, error);
    ASSERT_TRUE(a) << error;
    auto b = Database::fromBytes(derived, error);
    ASSERT_TRUE(b) << error;
    std::uint8_t seen = 0;
    for (std::uint32_t d = 0; d < a->defCount(); ++d) {
        EXPECT_EQ(a->ruleTraits(d), b->ruleTraits(d)) << a->str(a->def(d).id);
        seen |= a->ruleTraits(d);
    }
    EXPECT_EQ(seen & (db::kTraitStructure | db::kTraitMarkup | db::kTraitText), db::kTraitStructure | db::kTraitMarkup | db::kTraitText);
}

TEST(Database, UnknownLiteralZonesAreRejected)
{
    // The zone picks the search a literal joins; an unknown one must not
    // index past them.
    auto bad = goodBytes();
    db::Header h;
    std::memcpy(&h, bad.data(), sizeof h);
    ASSERT_GT(h.literalCount, 0u);
    const std::size_t lit0 = sizeof(db::Header) + std::size_t{h.defCount} * sizeof(db::DefRecord)
        + std::size_t{h.nodeCount} * sizeof(db::NodeRecord) + std::size_t{h.anchorCount} * sizeof(db::AnchorRecord);
    bad[lit0 + offsetof(db::LiteralRecord, zone)] = 3;
    reseal(bad);
    std::string error;
    EXPECT_FALSE(Database::fromBytes(bad, error));
    EXPECT_NE(error.find("literal"), std::string::npos) << error;
}

TEST(Database, LiteralsInAnyOrderGiveTheSameSearches)
{
    // The compiler writes literals grouped as the loader uses them; a file
    // with them in another order must still give the same searches.
    std::string source;
    for (const char* word : {"zebra", "apple", "mango", "apple"})
        source += "type t-" + std::to_string(source.size()) + "\n desc \"d\"\n ext x\n mime a/b\n cat data\n head 100 str \"" + word + "\"\n";
    DefinitionParser parser;
    parser.parse(source, "test.vdef");
    ASSERT_TRUE(parser.finish());
    auto good = DatabaseWriter::build(parser.definitions());
    db::Header h;
    std::memcpy(&h, good.data(), sizeof h);
    ASSERT_EQ(h.literalCount, 4u);
    const std::size_t lit0 = sizeof(db::Header) + std::size_t{h.defCount} * sizeof(db::DefRecord)
        + std::size_t{h.nodeCount} * sizeof(db::NodeRecord) + std::size_t{h.anchorCount} * sizeof(db::AnchorRecord);
    auto reversed = good;
    for (std::size_t i = 0; i < h.literalCount; ++i)
        std::memcpy(reversed.data() + lit0 + i * sizeof(db::LiteralRecord),
            good.data() + lit0 + (h.literalCount - 1 - i) * sizeof(db::LiteralRecord), sizeof(db::LiteralRecord));
    reseal(reversed);
    std::string error;
    auto a = Database::fromBytes(good, error);
    auto b = Database::fromBytes(reversed, error);
    ASSERT_TRUE(a && b) << error;
    for (int set = 0; set < Database::kLiteralSets; ++set) {
        ASSERT_EQ(a->patterns(set), b->patterns(set)) << set;
        for (std::uint32_t p = 0; p < a->patterns(set).size(); ++p) {
            auto da = a->literalDefs(set, p), db = b->literalDefs(set, p);
            EXPECT_EQ(std::vector<std::uint32_t>(da.begin(), da.end()), std::vector<std::uint32_t>(db.begin(), db.end())) << set << " " << p;
        }
    }
}

TEST(Database, LiteralsAreSearchedByWindowsThatRarelyStartInText)
{
    // Four bytes of a literal make its search; in text the windows that
    // begin with two letters (or a letter after a blank) would stop it
    // nearly everywhere, a line's start only once a line.
    const struct {
        const char* literal; // as the definition writes it
        const char* window;
    } cases[] = {{"<body", "<bod"}, {"$(call", "$(ca"}, {"mscoree.dll", ".dll"}, {"#include", "#inc"}, {"zebra", "zebr"},
        {"\\nimport", "\nimp"}};
    for (const auto& c : cases) {
        DefinitionParser parser;
        parser.parse(std::string("type t\n desc \"d\"\n ext x\n mime a/b\n cat data\n head 100 str \"") + c.literal + "\"\n", "test.vdef");
        ASSERT_TRUE(parser.finish()) << c.literal;
        std::string error;
        auto built = Database::fromBytes(DatabaseWriter::build(parser.definitions()), error);
        ASSERT_TRUE(built) << error;
        std::vector<std::string> windows;
        for (int set = 0; set < Database::kLiteralSets; ++set) {
            for (std::string_view w : built->patterns(set))
                windows.emplace_back(w);
        }
        EXPECT_EQ(windows, std::vector<std::string>{c.window}) << c.literal;
    }
}

TEST(Database, ImportedSourcesAreKeptAndChecked)
{
    DefinitionParser parser;
    parser.parse("type ours\n desc \"Ours\"\n ext -\n mime a/b\n cat data\n at 0 str \"OURS\"\n", "ours.vdef");
    ASSERT_TRUE(parser.finish());
    auto bytes = DatabaseWriter::build(parser.definitions(), 0, "tika list\t1.2\n");
    std::string error;
    auto built = Database::fromBytes(bytes, error);
    ASSERT_TRUE(built) << error;
    EXPECT_EQ(built->str(built->header().sources), "tika list\t1.2\n");
    db::StrRef beyond{built->header().poolSize, 1};
    std::memcpy(bytes.data() + offsetof(db::Header, sources), &beyond, sizeof beyond);
    reseal(bytes);
    EXPECT_FALSE(Database::fromBytes(bytes, error));
    EXPECT_NE(error.find("imported sources"), std::string::npos) << error;
}

TEST(Database, WrongVersionSaysSo)
{
    const struct {
        std::uint32_t version;
        const char* advice;
    } cases[] = {
        {db::kVersion - 1, "rebuild it with vonk-defs"},
        {db::kVersion + 1, "this vonk reads version"},
    };
    for (const auto& c : cases) {
        auto bad = goodBytes();
        std::memcpy(bad.data() + offsetof(db::Header, version), &c.version, 4);
        std::string error;
        EXPECT_FALSE(Database::fromBytes(bad, error));
        EXPECT_NE(error.find("version " + std::to_string(c.version)), std::string::npos) << error;
        EXPECT_NE(error.find(c.advice), std::string::npos) << error;
    }
}

TEST(Database, HostileTextModelSectionsAreRejected)
{
    DefinitionParser parser;
    parser.parseFile(GV_TEST_VDEF);
    ASSERT_TRUE(parser.finish());
    const auto good = test::makeTextModel({"text", "code"}, {{"if", {-3, 3}}, {"the", {4, -4}}});
    const std::size_t names = sizeof(db::TextModelHeader);
    const std::size_t bias = names + 2 * db::kTextClassName;
    const std::size_t slots = bias + 2 * 4;
    auto set32 = [](std::vector<std::uint8_t>& m, std::size_t at, std::uint32_t v) { std::memcpy(m.data() + at, &v, 4); };
    auto firstUsedSlot = [&](const std::vector<std::uint8_t>& m) {
        std::size_t at = slots;
        while (m[at] == 0 && m[at + 1] == 0 && m[at + 2] == 0 && m[at + 3] == 0)
            at += sizeof(db::TextModelSlot);
        return at;
    };
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    } cases[] = {
        {"bad signature", [](auto& m) { m[0] = 'X'; }},
        {"newer version", [&](auto& m) { set32(m, offsetof(db::TextModelHeader, version), db::kTextModelVersion + 1); }},
        {"one class", [&](auto& m) { set32(m, offsetof(db::TextModelHeader, classCount), 1); }},
        {"huge class count", [&](auto& m) { set32(m, offsetof(db::TextModelHeader, classCount), 0x40000000); }},
        {"slots not a power of two", [&](auto& m) { set32(m, offsetof(db::TextModelHeader, slotCount), 15); }},
        {"no more slots than features", [&](auto& m) { set32(m, offsetof(db::TextModelHeader, featureCount), 16); }},
        {"zero calibration", [&](auto& m) { set32(m, offsetof(db::TextModelHeader, unitsPerNat1000), 0); }},
        {"reserved field set", [&](auto& m) { set32(m, offsetof(db::TextModelHeader, reserved), 1); }},
        {"one byte short", [](auto& m) { m.pop_back(); }},
        {"one byte more", [](auto& m) { m.push_back(0); }},
        {"empty class name", [&](auto& m) { m[names] = 0; }},
        {"unterminated class name", [&](auto& m) { std::fill(m.begin() + names, m.begin() + names + db::kTextClassName, 'a'); }},
        {"control byte in a name", [&](auto& m) { m[names + 1] = '\n'; }},
        {"bias out of range", [&](auto& m) { set32(m, bias, 0x7FFFFFFF); }},
    };
    std::string error;
    auto ok = Database::fromBytes(DatabaseWriter::build(parser.definitions(), 0, {}, good), error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->textModel().size(), good.size());
    for (const auto& c : cases) {
        auto bad = good;
        c.damage(bad);
        error.clear();
        EXPECT_FALSE(Database::fromBytes(DatabaseWriter::build(parser.definitions(), 0, {}, bad), error)) << c.name;
        EXPECT_NE(error.find("text model"), std::string::npos) << c.name << ": " << error;
    }
    // The slots are checked as they are read, not at every start: a damaged
    // one counts as no feature, and a full table still ends the search.
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    } slotCases[] = {
        {"rows out of range", [&](auto& m) {
             for (std::size_t at = firstUsedSlot(m); at < slots + 16 * sizeof(db::TextModelSlot); at += sizeof(db::TextModelSlot))
                 set32(m, at + 4, 2);
         }},
        {"no empty slot", [&](auto& m) {
             for (std::size_t at = slots; at < slots + 16 * sizeof(db::TextModelSlot); at += sizeof(db::TextModelSlot)) {
                 set32(m, at, static_cast<std::uint32_t>(at));
                 set32(m, at + 4, 9);
             }
         }},
    };
    for (const auto& c : slotCases) {
        auto bad = good;
        c.damage(bad);
        auto d = Database::fromBytes(DatabaseWriter::build(parser.definitions(), 0, {}, bad), error);
        ASSERT_TRUE(d) << c.name << ": " << error;
        TextModel m(d->textModel());
        TextModel::Work w;
        TextModel::Verdict v;
        m.judge("if the if", w, v);
        ASSERT_EQ(v.ranked.size(), 2u) << c.name;
        EXPECT_DOUBLE_EQ(v.ranked[0].probability, 0.5) << c.name;
    }
}

TEST(Database, ImportedIsTheDefinitionsFlagNotItsSourceName)
{
    DefinitionParser parser;
    parser.parse("type ours\n desc \"Ours\"\n ext -\n mime a/b\n cat data\n at 0 str \"OURS\"\n"
                 "type theirs\n desc \"Theirs\"\n ext -\n mime a/c\n cat data\n at 0 str \"THEM\"\n",
        "shared-mime-info-notes.vdef");
    ASSERT_TRUE(parser.finish());
    parser.definitions()[1].imported = true;
    std::string error;
    auto built = Database::fromBytes(DatabaseWriter::build(parser.definitions()), error);
    ASSERT_TRUE(built) << error;
    EXPECT_FALSE(built->def(0).flags & db::kDefImported);
    EXPECT_TRUE(built->def(1).flags & db::kDefImported);
    const auto counts = DatabaseListing::counts(*built);
    EXPECT_EQ(counts.ours, 1u);
    EXPECT_EQ(counts.imported, 1u);
}

TEST(Database, LoadErrorsNameTheFile)
{
    test::TempDir dir;
    struct Case {
        std::string name;
        std::string content;
        bool create;
    };
    // A sound header over a record out of range: found after the file is
    // opened, and still named.
    auto badRecord = goodBytes();
    const std::uint32_t huge = 0x7FFFFFF0;
    std::memcpy(badRecord.data() + sizeof(db::Header) + offsetof(db::DefRecord, root), &huge, 4);
    reseal(badRecord);
    const Case cases[] = {
        {"missing.vkd", "", false},
        {"empty.vkd", "", true},
        {"text.vkd", "this is not a database at all, just some words", true},
        {"record.vkd", std::string(badRecord.begin(), badRecord.end()), true},
    };
    for (const auto& c : cases) {
        std::string path = dir.file(c.name);
        if (c.create)
            test::writeFile(path, c.content);
        std::string error;
        EXPECT_FALSE(Database::load(path, error)) << c.name;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(Database::load(dir.path(), error)); // a folder
    EXPECT_NE(error.find(dir.path()), std::string::npos) << error;
}

} // namespace
