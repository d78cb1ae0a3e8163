// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextClassifier.h"
#include "vonk/match/TextSniffer.h"
#include "vonk/match/TextTokens.h"

#include "TestSupport.h"
#include "vonk/match/TextModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace gv::vonk;

namespace {

std::string utf16le(const std::string& ascii)
{
    std::string s;
    for (char c : ascii) {
        s += c;
        s += '\0';
    }
    return s;
}

std::string utf16be(const std::string& ascii)
{
    std::string s;
    for (char c : ascii) {
        s += '\0';
        s += c;
    }
    return s;
}

struct TextCase {
    const char* name;
    std::string bytes;
    bool truncated;
    Encoding expected;
    bool bom;
};

class Classifier : public ::testing::TestWithParam<TextCase> {};

TEST_P(Classifier, JudgesEncoding)
{
    const TextCase& c = GetParam();
    TextInfo t = classifyText(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size(), c.truncated);
    EXPECT_EQ(t.encoding, c.expected) << c.name << ": " << t.describe();
    if (c.expected != Encoding::Binary) {
        EXPECT_EQ(t.bom, c.bom) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Text, Classifier, ::testing::Values(
    TextCase{"ascii", "hello, world\r\n\tindented\n", false, Encoding::Ascii, false},
    TextCase{"utf8", "caf\xC3\xA9 \xE2\x82\xAC\n", false, Encoding::Utf8, false},
    TextCase{"utf8 bom", "\xEF\xBB\xBFplain", false, Encoding::Utf8, true},
    TextCase{"utf8 cut by the head", "abc \xE2\x82", true, Encoding::Utf8, false},
    TextCase{"utf8 cut at the real end", "abc \xE2\x82", false, Encoding::Binary, false},
    TextCase{"overlong utf8", "a\xE0\x80\x80 b", false, Encoding::Binary, false},
    TextCase{"latin-1", "caf\xE9 cr\xE8me\n", false, Encoding::EightBit, false},
    TextCase{"utf16le bom", "\xFF\xFE" + utf16le("text"), false, Encoding::Utf16Le, true},
    TextCase{"utf16be bom", "\xFE\xFF" + utf16be("text"), false, Encoding::Utf16Be, true},
    TextCase{"utf16le bare", utf16le("some longer text here"), false, Encoding::Utf16Le, false},
    TextCase{"utf16be bare", utf16be("some longer text here"), false, Encoding::Utf16Be, false},
    // The first units are read ahead of the rest: a pair across them, and
    // binary only after them.
    TextCase{"utf16le bare, a pair across the first units", utf16le("\xD8" + std::string(126, 'a')) + std::string("\x3D\xD8\x00\xDE", 4) + utf16le("more"), false,
             Encoding::Utf16Le, false},
    TextCase{"utf16le text, then binary", utf16le(std::string(200, 'a')) + std::string("\0\0\x01\x02", 4), false, Encoding::Binary, false},
    TextCase{"utf32le bom", std::string("\xFF\xFE\0\0a\0\0\0b\0\0\0", 12), false, Encoding::Utf32Le, true},
    TextCase{"utf32be bare", std::string("\0\0\0a\0\0\0b\0\0\0c\0\0\0d", 16), false, Encoding::Utf32Be, false},
    TextCase{"nul in ascii", std::string("abc\0def\x01\x02", 9), false, Encoding::Binary, false},
    TextCase{"control bytes", "abc\x01\x02\x03", false, Encoding::Binary, false},
    TextCase{"binary", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), false, Encoding::Binary, false},
    TextCase{"lone surrogate utf16", std::string("\xFF\xFE\x00\xD8\x41\x00", 6), false, Encoding::Binary, false}));

struct XmlCase {
    const char* name;
    std::string text;
    bool found;
    const char* local;
    const char* ns;
};

class XmlRoots : public ::testing::TestWithParam<XmlCase> {};

TEST_P(XmlRoots, FindsRootAndNamespace)
{
    const XmlCase& c = GetParam();
    XmlRoot r = findXmlRoot(c.text);
    EXPECT_EQ(r.found, c.found) << c.name;
    if (c.found) {
        EXPECT_EQ(r.localName, c.local) << c.name;
        EXPECT_EQ(r.nameSpace, c.ns) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Xml, XmlRoots, ::testing::Values(
    XmlCase{"plain", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\"/>", true, "svg", "http://www.w3.org/2000/svg"},
    XmlCase{"prolog", "<?xml version=\"1.0\"?>\n<!-- c -> -->\n<?pi x?>\n<!DOCTYPE r [ <!ENTITY e \"]>\"> ]>\n<r a='1'>", true, "r", ""},
    XmlCase{"prefixed", "<rdf:RDF xmlns=\"urn:other\" xmlns:rdf=\"urn:rdf\">", true, "RDF", "urn:rdf"},
    XmlCase{"single quotes", "<feed xmlns='http://www.w3.org/2005/Atom'>", true, "feed", "http://www.w3.org/2005/Atom"},
    XmlCase{"not xml", "hello <world>", false, "", ""},
    XmlCase{"unclosed comment", "<!-- never ends", false, "", ""},
    XmlCase{"bad name", "< r>", false, "", ""},
    XmlCase{"digit name", "<1abc>", false, "", ""}));

struct JsonCase {
    const char* name;
    std::string text;
    bool truncated;
    bool expected;
};

class Json : public ::testing::TestWithParam<JsonCase> {};

TEST_P(Json, Validates)
{
    const JsonCase& c = GetParam();
    EXPECT_EQ(isJson(c.text, c.truncated), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Json, Json, ::testing::Values(
    JsonCase{"object", "{\"a\": [1, -2.5e3, true, null, \"x\\u00e9\"], \"b\": {}}\n", false, true},
    JsonCase{"array", " [ ] ", false, true},
    JsonCase{"scalar only", "42", false, false},
    JsonCase{"trailing comma", "{\"a\": 1,}", false, false},
    JsonCase{"trailing text", "{} x", false, false},
    JsonCase{"single quotes", "{'a': 1}", false, false},
    JsonCase{"leading zero", "[01]", false, false},
    JsonCase{"bad escape", "[\"\\q\"]", false, false},
    JsonCase{"cut by the head", "{\"a\": [1, 2, {\"b\": \"long str", true, true},
    JsonCase{"cut in a literal", "[true, fal", true, true},
    JsonCase{"cut at the real end", "{\"a\": [1, 2", false, false},
    JsonCase{"deep nesting", std::string(100000, '['), true, false},
    JsonCase{"unquoted key", "{a: 1}", false, false}));

TEST(Shebang, FindsInterpreter)
{
    const std::pair<std::string, std::string> cases[] = {
        {"#!/bin/sh\necho", "sh"},
        {"#! /usr/bin/python3.11 -u\n", "python3.11"},
        {"#!/usr/bin/env python3\n", "python3"},
        {"#!/usr/bin/env -S VAR=1 perl -w\n", "perl"},
        {"#!/usr/bin/env\n", ""},
        {"# not a shebang\n", ""},
        {"#!\n", ""},
    };
    for (const auto& [text, interp] : cases)
        EXPECT_EQ(shebangInterpreter(text), interp) << text;
}

TEST(AsciiView, DecodesWideTextForSniffers)
{
    std::string bytes = "\xFF\xFE" + utf16le("<svg/>");
    TextInfo t = classifyText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), false);
    EXPECT_EQ(asciiView(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), t, 1000), "<svg/>");
}

std::vector<std::uint32_t> featureHashes(const std::string& text)
{
    std::vector<TextFeature> f;
    textFeatures(text, f);
    std::vector<std::uint32_t> h;
    for (const auto& x : f)
        h.push_back(x.hash);
    std::sort(h.begin(), h.end());
    return h;
}

TEST(TextTokens, WhatTellsTextsApartAndWhatDoesNot)
{
    const std::string filler(kTextModelHead, 'x');
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {"x = 17\n", "x = 2.\n", true},              // numbers are all alike
        {"a \tb\r\n", "a  b \n", true},               // blanks and CR are no tokens
        {"a ====\n", "a === =\n", true},             // punctuation in pieces of three
        {"T\n=====\n", "T\n=== ==\n", false},       // but a line of one mark underlines
        {"a=1 \n", "a =1\n", false},                 // blanks before '=' tell ini from shell
        {"a: b\n\tc\n", "a :b\n\tc\n", false},       // a target's recipe line
        {filler + "if", filler + "fi", true},         // beyond the head nothing counts
        {"a\n", "\ta\n", false},                     // a line's indentation counts
        {"\ta\n", " a\n", false},
        {"a b\n", "b a\n", false},                   // so does the order of tokens
        {"If\n", "if\n", false},                     // and their case
        {"a\nb\n", "a b\n", false},                  // and where lines start
        {std::string(30, 'w') + "1", std::string(30, 'w') + "2", true}, // long words are cut
        {"// a\n// a\n// a\nx\n", "// b\nx\n", true},     // an opening block (a licence) counts once
        {"// a\nx\n", "; a\nx\n", false},                 // by its marker
        {"x\n// a\n", "x\n// b\n", false},                 // later comments count in full
        {"// a\npackage x\nimport y\n", "// a\nimport y\npackage x\n", false}, // what opens the text
    };
    for (const auto& c : cases)
        EXPECT_EQ(featureHashes(c.a) == featureHashes(c.b), c.same) << c.a.substr(0, 20) << " / " << c.b.substr(0, 20);
}

TEST(TextTokens, HashesAsTheTrainerDoesAndPointsAtTheText)
{
    std::vector<TextFeature> f;
    textFeatures("  int(x)", f);
    ASSERT_GE(f.size(), 3u);
    // The trainer's FNV-1a of "w" + "int" and of "B^ int".
    EXPECT_EQ(f[0].hash, 68474839u);
    EXPECT_EQ(f[1].hash, 1504792540u);
    EXPECT_EQ(f[0].pos, 2u);
    EXPECT_EQ(f[0].len, 3u);
}

TEST(TextModel, RanksClassesByTheirWordsWithCalibratedProbabilities)
{
    // 1000 score units a nat: one "def" (weight 1) gives code e^1.2 : e^-1.2.
    auto bytes = test::makeTextModel({"troff", "code"}, {{"def", {-60, 60}}, {"the", {50, -50}}}, 16, 1000000);
    TextModel m(bytes);
    ASSERT_EQ(m.classCount(), 2u);
    EXPECT_EQ(m.className(1), "code");
    TextModel::Work w;
    TextModel::Verdict v;
    m.judge("def", w, v, true);
    ASSERT_EQ(v.ranked.size(), 2u);
    EXPECT_EQ(v.ranked[0].cls, 1u);
    EXPECT_NEAR(v.ranked[0].probability, 1.0 / (1.0 + std::exp(-0.12)), 1e-9);
    ASSERT_FALSE(v.reasons.empty());
    EXPECT_EQ(v.reasons[0], "def");
    // Repetition counts once per doubling: four "the" weigh three.
    m.judge("def the the the the", w, v);
    EXPECT_EQ(v.ranked[0].cls, 0u);
    EXPECT_NEAR(v.ranked[0].probability, 1.0 / (1.0 + std::exp(-0.18)), 1e-9);
}

// Scores are summed many classes at a time: every class, in whole steps and
// in the rest, gets its weights' sum, negative weights included.
TEST(TextModel, EveryClassScoresItsOwnWeights)
{
    constexpr int kClasses = 37;
    std::vector<std::string> classes;
    test::ModelWord alpha{"alpha", {}}, beta{"beta", {}};
    for (int c = 0; c < kClasses; ++c) {
        classes.push_back("c" + std::to_string(c));
        alpha.weights.push_back(static_cast<std::int8_t>((c * 53) % 255 - 127));
        beta.weights.push_back(static_cast<std::int8_t>(60 - (c * 29) % 121));
    }
    auto bytes = test::makeTextModel(classes, {alpha, beta}, 16, 10000);
    TextModel m(bytes);
    TextModel::Work w;
    TextModel::Verdict v;
    // One "alpha" weighs 1, two "beta" weigh 2; 10 score units a nat.
    m.judge("alpha beta beta", w, v);
    ASSERT_EQ(v.ranked.size(), std::size_t{kClasses});
    std::vector<double> expected(kClasses);
    double total = 0.0;
    for (int c = 0; c < kClasses; ++c)
        total += expected[c] = std::exp((alpha.weights[c] + 2 * beta.weights[c]) / 10.0);
    for (const auto& r : v.ranked)
        EXPECT_NEAR(r.probability, expected[r.cls] / total, 1e-9) << "class " << r.cls;
}

TEST(TextModel, CallsProseCodeOnlyWithAMargin)
{
    // 100 score units a nat; code must be 1.25 times as probable as prose.
    auto bytes = test::makeTextModel({"text", "code", "troff"}, {{"def", {-6, 6, 0}}, {"if", {-80, 80, 0}}, {"man", {0, 0, 127}}}, 16, 100000);
    TextModel m(bytes);
    TextModel::Work w;
    TextModel::Verdict v;
    const struct {
        const char* text;
        std::uint32_t first, second;
        bool proseFirst;
    } cases[] = {
        {"def", 0, 1, true},      // code 1.13 times as probable: prose, code runner-up
        {"if", 1, 2, false},      // 4.95 times: code
        {"man def", 2, 1, false}, // only prose is put first, not other documents
    };
    for (const auto& c : cases) {
        m.judge(c.text, w, v);
        ASSERT_EQ(v.ranked.size(), 3u);
        EXPECT_EQ(v.ranked[0].cls, c.first) << c.text;
        EXPECT_EQ(v.ranked[1].cls, c.second) << c.text;
        EXPECT_EQ(v.proseFirst, c.proseFirst) << c.text;
    }
}

TEST(TextModel, SaysNothingOfPascalItsWordsTakeForAScript)
{
    auto bytes = test::makeTextModel({"text", "typescript", "javascript"}, {{"string", {-50, 50, 0}}}, 16, 10000);
    TextModel m(bytes);
    TextModel::Work w;
    TextModel::Verdict v;
    m.judge("function Find(const Name: string): Integer; overload;\n", w, v);
    EXPECT_TRUE(v.ranked.empty());
    // The buffers, reused, serve the next text whole.
    m.judge("function find(name: string): number {\n    return 1;\n}\n", w, v);
    ASSERT_FALSE(v.ranked.empty());
    EXPECT_EQ(m.className(v.ranked[0].cls), "typescript");
}

} // namespace
