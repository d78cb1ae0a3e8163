// SPDX-License-Identifier: GPL-3.0-or-later
// Confidence levels, files that are two types at once, and the ordered
// worker pipeline behind -j.

#include "vonk/match/Matcher.h"
#include "vonk/base/OrderedPipeline.h"
#include "vonk/match/Probe.h"
#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

namespace gv::vonk {
namespace {

using test::makeZip;

struct Ranked {
    std::string id;
    double percent;
    Confidence confidence;
    bool byName;
};

std::vector<Ranked> identifyBytes(const Database& db, const std::string& bytes, const std::string& name = {})
{
    Matcher matcher(db);
    Probe probe;
    MemorySource src({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    probe.reset(src);
    std::vector<Ranked> out;
    for (const auto& c : matcher.identify(probe, name))
        out.push_back({std::string(db.str(db.def(c.def).id)), c.percent, c.confidence, c.byName});
    return out;
}

// Ids best first; answers that rest on the name end in " (by name)".
std::vector<std::string> ids(const std::vector<Ranked>& r)
{
    std::vector<std::string> v;
    for (const auto& c : r)
        v.push_back(c.id + (c.byName ? " (by name)" : ""));
    return v;
}

double shareSum(const std::vector<Ranked>& r)
{
    double sum = 0;
    for (const auto& x : r)
        sum += x.percent;
    return sum;
}

// The shipped definitions, so the polyglot cases exercise the real zip entry.
const Database& shippedDatabase()
{
    static std::unique_ptr<Database> db = [] {
        DefinitionParser parser;
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(GV_DEFINITIONS_DIR)) {
            if (e.path().extension() == ".vdef")
                files.push_back(e.path().string());
        }
        std::sort(files.begin(), files.end());
        for (const auto& f : files)
            parser.parseFile(f);
        EXPECT_TRUE(parser.finish());
        std::string error;
        auto loaded = Database::fromBytes(DatabaseWriter::build(parser.definitions()), error);
        EXPECT_TRUE(loaded) << error;
        return loaded;
    }();
    return *db;
}

std::string jpegHead()
{
    return std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20) + std::string(300, '\x11') + "\xFF\xD9";
}

TEST(Polyglot, BothTypesAreListedWithWhatStartsTheFileFirst)
{
    const Database& db = shippedDatabase();
    const std::string zip = makeZip({{"hello.txt", "hello"}, {"b/c.txt", "more"}});
    const std::string pdf = "%PDF-1.4\n1 0 obj<<>>endobj\ntrailer<<>>\n%%EOF\n";
    // An archive that starts the file is read from an end record that a
    // long comment puts far from the end.
    std::string commented = makeZip({{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", "<w/>"}});
    commented.replace(commented.size() - 2, 2, test::le16(10000));
    commented += std::string(10000, 'c');
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> firstIds; // the leading candidates, in order
    };
    const Case cases[] = {
        {"JPEG with a ZIP appended", jpegHead() + zip, {"jpeg", "zip"}},
        {"PDF with a ZIP after %%EOF", pdf + zip, {"pdf", "zip"}},
        {"ZIP behind a junk prefix", std::string(700, '\x5A') + zip, {"zip"}},
        {"plain ZIP", zip, {"zip"}},
        {"Word document", makeZip({{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", "<w/>"}}), {"docx", "zip"}},
        {"Word document with a 10 KB comment", commented, {"docx", "zip"}},
        // Office packages must open with a member; behind a stub one is
        // still the container it is.
        {"Word document behind a stub", makeZip({{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", "<w/>"}}, std::string(512, '\x01')), {"zip"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = identifyBytes(db, c.bytes);
        ASSERT_GE(r.size(), c.firstIds.size());
        std::vector<std::string> got = ids(r);
        got.resize(c.firstIds.size());
        EXPECT_EQ(got, c.firstIds);
        // A directory reached from the end record is checked structure.
        for (const auto& cand : r) {
            if (cand.id == "zip") {
                EXPECT_NE(cand.confidence, Confidence::Low);
            }
        }
    }
}

TEST(Polyglot, EndRecordWithoutAValidDirectoryIsNotAnArchive)
{
    const Database& db = shippedDatabase();
    const std::string zip = makeZip({{"a.txt", "a"}});
    std::string brokenDir = zip;
    brokenDir.replace(brokenDir.find("PK\x01\x02"), 4, "XX\x01\x02");
    const std::string emptyArchive = makeZip({});
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"stray end-record bytes after a JPEG", jpegHead() + std::string("PK\x05\x06", 4) + std::string(18, '\0')},
        {"end record whose directory is not there", jpegHead() + brokenDir},
        {"an empty archive behind a prefix", jpegHead() + emptyArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = identifyBytes(db, c.bytes);
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(r.front().id, "jpeg");
        for (const auto& cand : r)
            EXPECT_NE(cand.id, "zip");
    }
}

TEST(Confidence, FollowsAbsoluteEvidenceNotTheShare)
{
    auto db = test::compile(R"(
type two
  desc "two-byte magic"
  ext two
  mime application/x-two
  cat data
  at 0 str "QZ"

type three
  desc "three-byte magic"
  ext thr
  mime application/x-three
  cat data
  at 0 str "QXY"

type eight
  desc "eight-byte magic"
  ext eig
  mime application/x-eight
  cat data
  at 0 hex 01 02 03 04 05 06 07 08

type boosted
  desc "a two-byte magic with a large weight"
  ext bst
  mime application/x-boosted
  cat data
  weight 40
  at 0 str "WW"

type plain
  desc "text"
  ext txt
  mime text/plain
  cat text
  weight -20
  text
)");
    ASSERT_TRUE(db);
    struct Case {
        const char* name;
        std::string bytes;
        std::string id;
        Confidence level;
    };
    const std::string bin(64, '\x01');
    const Case cases[] = {
        {"lone two-byte magic is low and not certain", std::string("QZ") + '\0' + bin, "two", Confidence::Low},
        {"three fixed bytes", std::string("QXY") + '\0' + bin, "three", Confidence::Medium},
        {"eight fixed bytes", std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8) + '\0' + bin, "eight", Confidence::High},
        {"weight is not evidence", std::string("WW") + '\0' + bin, "boosted", Confidence::Low},
        {"whole-head text judgement", "just some words in a file\n", "plain", Confidence::Medium},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = identifyBytes(*db, c.bytes);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r.front().id, c.id);
        // A weak answer leaves room for doubt in its share.
        if (c.level == Confidence::Low)
            EXPECT_LT(r.front().percent, 100.0);
        else
            EXPECT_DOUBLE_EQ(r.front().percent, 100.0);
        EXPECT_EQ(r.front().confidence, c.level);
    }
    EXPECT_STREQ(confidenceName(Confidence::Low), "low");
    EXPECT_STREQ(confidenceName(Confidence::Medium), "medium");
    EXPECT_STREQ(confidenceName(Confidence::High), "high");
}

// Text answers: the plain text document, languages told by habits, and
// guesses from weak evidence.
const char* const kTextDefs = R"(
type plain
  desc "text"
  ext txt
  mime text/plain
  cat text
  weight -20
  text

type weakword
  desc "a two-letter word somewhere"
  ext ww
  mime text/x-ww
  cat text
  parent plain
  text
  head 4096 str "ab"

type habit
  desc "a language told by one habit"
  ext hab
  mime text/x-habit
  cat text
  parent plain
  min-confidence high
  text
  head 4096 str "local "

type manyhabits
  desc "a language told by several habits"
  ext mh
  mime text/x-many
  cat text
  parent plain
  min-confidence high
  text
  some 2
    head 4096 str "function "
    head 4096 str "return "
    head 4096 str "local "
    head 4096 str " end"
  end

type marker
  desc "a format with a required marker"
  ext mk
  mime text/x-marker
  cat text
  parent plain
  text
  at 0 str "<?mark"

type j
  desc "json"
  ext json
  mime application/json
  cat text
  parent plain
  json

type doc
  desc "a document format known by name only"
  ext doc longnotes
  mime text/x-doc
  cat text
  parent plain
  at 0 str "never"
)";

// kTextDefs with `doc` known by its name alone, as imported globs are.
std::unique_ptr<Database> textDefsWithNamedDoc()
{
    DefinitionParser parser;
    parser.parse(kTextDefs, "text.vdef");
    EXPECT_TRUE(parser.finish());
    auto defs = parser.definitions();
    for (auto& d : defs)
        d.contentless = d.id == "doc";
    std::string error;
    auto db = Database::fromBytes(DatabaseWriter::build(defs), error);
    EXPECT_TRUE(db) << error;
    return db;
}

TEST(TextAnswers, PlainTextOutranksGuessesWithoutStrongEvidence)
{
    auto db = test::compile(kTextDefs);
    ASSERT_TRUE(db);
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"prose", "nothing to see here\n", {"plain"}},
        {"a weak word is listed below the document", "a cab\n", {"plain", "weakword"}},
        {"one habit is only a guess", "the local shop\n", {"plain", "habit"}},
        {"a required marker stands", "<?mark ab\n", {"marker", "plain", "weakword"}},
        {"enough habits make it high", "function f()\n  local x = 1\n  return x\nend\n", {"manyhabits", "plain", "habit"}},
        {"one habit of a some 2 block is not enough", "function of the thing\n", {"plain"}},
        {"a whole short JSON document", "{\"a\": 1}", {"j", "plain"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = identifyBytes(*db, c.bytes);
        EXPECT_EQ(ids(r), c.expected);
        if (r.front().confidence != Confidence::Low)
            EXPECT_NEAR(shareSum(r), 100.0, 1e-9);
        else
            EXPECT_LT(shareSum(r), 100.0);
        if (!r.empty() && r.front().id == "manyhabits") {
            EXPECT_EQ(r.front().confidence, Confidence::High);
        }
    }
}

// A script is found by its shebang, and a document by its root element, in
// every encoding the text check reads, with or without a byte-order mark.
TEST(TextAnswers, ShebangsAndRootsInEveryEncoding)
{
    auto db = test::compile("type tool\n desc \"t\"\n ext t\n mime x/t\n cat text\n shebang \"mytool\"\n"
                            "type gadget\n desc \"g\"\n ext g\n mime x/g\n cat text\n xml-root \"gadget\"\n");
    ASSERT_TRUE(db);
    auto encode = [](const std::string& text, int unit, bool big) {
        if (unit == 1)
            return text;
        std::string s;
        for (char c : text) {
            std::string u(static_cast<std::size_t>(unit), '\0');
            u[big ? u.size() - 1 : 0] = c;
            s += u;
        }
        return s;
    };
    struct Encoding {
        const char* name;
        std::string bom;
        int unit;
        bool big;
    };
    const Encoding encodings[] = {
        {"UTF-8", "", 1, false},
        {"UTF-8 with a BOM", "\xEF\xBB\xBF", 1, false},
        {"UTF-16LE", "", 2, false},
        {"UTF-16BE", "", 2, true},
        {"UTF-16LE with a BOM", "\xFF\xFE", 2, false},
        {"UTF-16BE with a BOM", "\xFE\xFF", 2, true},
        {"UTF-32LE", "", 4, false},
        {"UTF-32BE", "", 4, true},
        {"UTF-32LE with a BOM", std::string("\xFF\xFE\0\0", 4), 4, false},
        {"UTF-32BE with a BOM", std::string("\0\0\xFE\xFF", 4), 4, true},
    };
    for (const auto& e : encodings) {
        for (const auto& [text, id] : {std::pair<std::string, std::string>{"#!/usr/bin/env mytool\nrun\n", "tool"},
                                       {"<?xml version=\"1.0\"?>\n<g:gadget xmlns:g=\"urn:x\"/>\n", "gadget"}}) {
            SCOPED_TRACE(std::string(e.name) + ", " + id);
            auto r = identifyBytes(*db, e.bom + encode(text, e.unit, e.big));
            ASSERT_FALSE(r.empty());
            EXPECT_EQ(r.front().id, id);
        }
    }
}

TEST(TextAnswers, AFewBytesOfTextAreNoConfidentAnswer)
{
    auto db = test::compile(kTextDefs);
    ASSERT_TRUE(db);
    for (const std::string& bytes : {std::string("x"), std::string("hi there\n")}) {
        SCOPED_TRACE(bytes);
        auto r = identifyBytes(*db, bytes);
        ASSERT_EQ(ids(r), std::vector<std::string>{"plain"});
        EXPECT_EQ(r.front().confidence, Confidence::Low);
        EXPECT_LT(r.front().percent, 50.0);
    }
}

TEST(Names, OrderOnlyCloseAnswersAndNameWhatContentCannotTell)
{
    auto db = textDefsWithNamedDoc();
    ASSERT_TRUE(db);
    const std::string module = "function f()\n  local x = 1\n  return x\nend\n";
    struct Case {
        const char* name;
        std::string bytes;
        std::string fileName;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"no name", "the local shop\n", "", {"plain", "habit"}},
        {"the name orders a close guess", "the local shop\n", "shop.HAB", {"habit (by name)", "plain"}},
        {"the name orders the close ones below clear content", "<?mark ab\n", "m.ww", {"marker", "weakword (by name)", "plain"}},
        {"a listed extension that changes nothing is not by name", "<?mark ab\n", "m.mk", {"marker", "plain", "weakword"}},
        {"a type known by name under its carrier", "nothing to see here\n", "notes.doc", {"doc (by name)", "plain"}},
        // Long extensions are found too, in any case, and only whole.
        {"a long extension", "nothing to see here\n", "notes.LongNotes", {"doc (by name)", "plain"}},
        {"a longer one that is not listed", "nothing to see here\n", "notes.longnotess", {"plain"}},
        {"code quoted in a document is the document", module, "notes.doc", {"doc (by name)", "manyhabits", "plain", "habit"}},
        {"the same code as a file of its own", module, "f.txt", {"manyhabits", "plain", "habit"}},
        {"a required marker contradicts the name", "<?mark ab\n", "notes.doc", {"marker", "plain", "weakword"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ids(identifyBytes(*db, c.bytes, c.fileName)), c.expected);
    }
}

TEST(Ranking, ExactTiesGoToMoreEvidenceThenById)
{
    // 16 bits and a weight of 8 tie with 24 bits and none.
    auto db = test::compile(R"(
type aweighted
  desc "a two-byte magic with weight"
  ext aw
  mime application/x-aw
  cat data
  weight 8
  at 0 str "QZ"

type bplain
  desc "a three-byte magic"
  ext bp
  mime application/x-bp
  cat data
  at 0 str "QZY"

type ctwin
  desc "the same three-byte magic"
  ext ct
  mime application/x-ct
  cat data
  at 0 str "QZY"
)");
    ASSERT_TRUE(db);
    auto r = identifyBytes(*db, std::string("QZY") + std::string(40, '\x01'));
    EXPECT_EQ(ids(r), (std::vector<std::string>{"bplain", "ctwin", "aweighted"}));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_DOUBLE_EQ(r[0].percent, r[2].percent);
}

TEST(Confidence, WholeHeadJudgementsGrowWithTheText)
{
    auto db = test::compile(R"(
type j
  desc "json"
  ext json
  mime application/json
  cat text
  json

type table
  desc "table"
  ext csv
  mime text/csv
  cat text
  delimited ","

type keys
  desc "keys"
  ext ini
  mime text/x-ini
  cat text
  key-value
)");
    ASSERT_TRUE(db);
    std::string longJson = "[";
    for (int i = 0; i < 40; ++i)
        longJson += std::string(i ? "," : "") + "{\"n\":" + std::to_string(i) + "}";
    longJson += "]";
    std::string longTable = "a,b,c\n";
    for (int i = 0; i < 6; ++i)
        longTable += "1,2,3\n";
    struct Case {
        const char* name;
        std::string bytes;
        std::string id;
        Confidence level;
    };
    const Case cases[] = {
        {"tiny JSON", "[1]", "j", Confidence::Low},
        {"a little JSON", "{\"name\": \"Anna\", \"city\": \"Rome\", \"age\": 34}", "j", Confidence::Medium},
        {"much JSON", longJson, "j", Confidence::High},
        {"two records", "a,b\n1,2\n", "table", Confidence::Low},
        {"three records of three", "a,b,c\n1,2,3\n4,5,6\n", "table", Confidence::Medium},
        {"seven records", longTable, "table", Confidence::High},
        {"a section and a key", "[s]\nk=v\n", "keys", Confidence::Medium},
        {"a longer key file", "[a]\nk=1\nl=2\n[b]\nm=3\n", "keys", Confidence::High},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = identifyBytes(*db, c.bytes);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r.front().id, c.id);
        EXPECT_EQ(r.front().confidence, c.level);
    }
}

TEST(Confidence, ADampedWeightDiscountsTheEvidence)
{
    // Imported magic such as a six-letter word at the start of a text file
    // is damped by a negative weight; its confidence follows the damping
    // (the score's floor of 1 must not read as strong evidence).
    DefinitionParser parser;
    parser.parse(R"(
type word
  desc "a word at the start"
  ext w
  mime text/x-word
  cat text
  weight -36
  at 0 str "PREFIX"
)", "test.vdef");
    ASSERT_TRUE(parser.finish());
    for (bool damped : {false, true}) {
        SCOPED_TRACE(damped);
        auto defs = parser.definitions();
        defs.front().damped = damped;
        std::string error;
        auto db = Database::fromBytes(DatabaseWriter::build(defs), error);
        ASSERT_TRUE(db) << error;
        auto r = identifyBytes(*db, "PREFIX ex: <http://example.org/>\n");
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r.front().confidence, damped ? Confidence::Low : Confidence::High);
    }
}

TEST(OrderedPipeline, ResultsComeOutInSubmissionOrderWithinTheWindow)
{
    for (unsigned workers : {1u, 2u, 4u}) {
        SCOPED_TRACE(workers);
        constexpr std::size_t kWindow = 8;
        std::atomic<int> inFlight{0};
        std::atomic<int> maxInFlight{0};
        std::vector<int> emitted;
        std::mt19937 rng(workers);
        std::vector<int> delays(300);
        for (auto& d : delays)
            d = static_cast<int>(rng() % 300);
        {
            OrderedPipeline<int, int> p(
                workers, kWindow,
                [&](unsigned index, int& job) {
                    EXPECT_LT(index, workers);
                    int now = ++inFlight;
                    int seen = maxInFlight.load();
                    while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(delays[static_cast<std::size_t>(job)]));
                    --inFlight;
                    return job * 2;
                },
                [&](int& r) { emitted.push_back(r); });
            for (int i = 0; i < 300; ++i) {
                p.submit(i);
                // Never more results held back than the window allows.
                EXPECT_LE(static_cast<std::size_t>(i + 1) - emitted.size(), kWindow);
            }
            p.finish();
        }
        ASSERT_EQ(emitted.size(), 300u);
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ(emitted[static_cast<std::size_t>(i)], i * 2);
        EXPECT_LE(maxInFlight.load(), static_cast<int>(workers));
    }
}

TEST(OrderedPipeline, AFloodOfQuickJobsComesOutWholeAndAReadyResultIsNotHeldBack)
{
    using Clock = std::chrono::steady_clock;
    for (unsigned workers : {2u, 3u}) {
        SCOPED_TRACE(workers);
        // Results are handed over in batches: quick jobs by the thousand
        // must all come out, in order, however the batches fall.
        std::vector<int> emitted;
        {
            OrderedPipeline<int, int> p(
                workers, 64, [](unsigned, int& job) { return job + 1; }, [&](int& r) { emitted.push_back(r); });
            p.setIdle([] {});
            for (int i = 0; i < 20000; ++i)
                p.submit(i);
            p.finish();
        }
        ASSERT_EQ(emitted.size(), 20000u);
        for (int i = 0; i < 20000; ++i)
            ASSERT_EQ(emitted[static_cast<std::size_t>(i)], i + 1);

        // Slow jobs: a result waits for a batch for kWakeDelay at most,
        // not for the many jobs a batch would take, and a wait that lasts
        // calls the idle hook first (what was emitted can go out).
        std::vector<Clock::time_point> done(100);
        std::vector<Clock::duration> late;
        int idles = 0;
        {
            OrderedPipeline<int, int> p(
                workers, 256,
                [&](unsigned, int& job) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    done[static_cast<std::size_t>(job)] = Clock::now();
                    return job;
                },
                [&](int& r) { late.push_back(Clock::now() - done[static_cast<std::size_t>(r)]); });
            p.setIdle([&] { ++idles; });
            for (int i = 0; i < 100; ++i)
                p.submit(i);
            p.finish();
        }
        ASSERT_EQ(late.size(), 100u);
        EXPECT_LT(*std::max_element(late.begin(), late.end()), std::chrono::milliseconds(150));
        EXPECT_GT(idles, 0);
    }
}

TEST(OrderedPipeline, AFailingJobIsReportedNotHung)
{
    for (unsigned workers : {1u, 2u}) {
        SCOPED_TRACE(workers);
        std::vector<int> emitted;
        OrderedPipeline<int, int> p(
            workers, 4,
            [](unsigned, int& job) {
                if (job == 5)
                    throw std::runtime_error("boom");
                return job;
            },
            [&](int& r) { emitted.push_back(r); });
        EXPECT_THROW(
            {
                for (int i = 0; i < 100; ++i)
                    p.submit(i);
                p.finish();
            },
            std::runtime_error);
        // Everything emitted came before the failure, in order.
        if (workers == 1) {
            EXPECT_EQ(emitted.size(), 5u);
        }
        EXPECT_LE(emitted.size(), 5u);
        for (std::size_t i = 0; i < emitted.size(); ++i)
            EXPECT_EQ(emitted[i], static_cast<int>(i));
    }
}

} // namespace
} // namespace gv::vonk
