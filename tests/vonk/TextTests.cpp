// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextClassifier.h"
#include "vonk/match/TextSniffer.h"

#include <gtest/gtest.h>

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

} // namespace
