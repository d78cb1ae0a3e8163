// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextCues.h"
#include "vonk/match/TextStructure.h"

#include <gtest/gtest.h>

#include <string>

using namespace gv::vonk;

namespace {

struct TableCase {
    const char* name;
    std::string text;
    char separator;
    bool truncated;
    bool consistent;
    std::size_t records; // checked when consistent
    std::size_t fields;
};

class Tables : public ::testing::TestWithParam<TableCase> {};

TEST_P(Tables, JudgesFieldCounts)
{
    const TableCase& c = GetParam();
    TableShape t = delimitedShape(c.text, c.separator, c.truncated);
    EXPECT_EQ(t.consistent, c.consistent) << c.name << ": " << t.records << " records of " << t.fields;
    if (c.consistent) {
        EXPECT_EQ(t.records, c.records) << c.name;
        EXPECT_EQ(t.fields, c.fields) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Text, Tables, ::testing::Values(
    TableCase{"plain csv", "a,b,c\n1,2,3\n4,5,6\n", ',', false, true, 3, 3},
    TableCase{"crlf and blank lines", "a,b\r\n\r\n1,2\r\n3,4\r\n\r\n", ',', false, true, 3, 2},
    TableCase{"last record without a line break", "a,b\n1,2", ',', false, true, 2, 2},
    TableCase{"quoted separators, line breaks, doubled quotes", "\"n\",\"v\"\n\"a,b\",\"line1\nline2\"\n\"say \"\"hi\"\"\",x\n", ',', false, true, 3, 2},
    TableCase{"semicolons with decimal commas", "\"Name\";\"Amount\"\n\"W\";\"12,50\"\n", ';', false, true, 2, 2},
    TableCase{"tabs", "id\tname\n1\tAnna\n2\tLuca\n", '\t', false, true, 3, 2},
    TableCase{"short trailing records", "a,b,c,d\n1,2,3,4\n5,6\n7,8,9\n", ',', false, true, 4, 4},
    TableCase{"a record longer than the header", "a,b\n1,2,3\n", ',', false, false, 0, 0},
    TableCase{"a record with one field", "a,b\n1,2\nalone\n", ',', false, false, 0, 0},
    TableCase{"one record is no table", "a,b,c\n", ',', false, false, 0, 0},
    TableCase{"no separator at all", "just words\nmore words\n", ',', false, false, 0, 0},
    TableCase{"prose with a comma on each line", "Dear John, hello\nYours, Anna\n", ',', false, false, 0, 0},
    TableCase{"text after a closing quote", "\"a\"x,b\n1,2\n", ',', false, false, 0, 0},
    TableCase{"unclosed quote at the real end", "a,b\n\"1,2\n", ',', false, false, 0, 0},
    TableCase{"unclosed quote where the head is cut", "a,b\n1,2\n\"3,4", ',', true, true, 2, 2},
    TableCase{"unfinished last record of a cut head", "a,b\n1,2\n3,4,5,6,7", ',', true, true, 2, 2},
    TableCase{"blank after a tab is fine", "a\t b\n1\t 2\n", '\t', false, true, 2, 2}));

struct KeyCase {
    const char* name;
    std::string text;
    bool valid;
    std::size_t sections;
    std::size_t keys;
};

class KeyFiles : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyFiles, JudgesEveryLine)
{
    const KeyCase& c = GetParam();
    KeyFileShape k = keyFileShape(c.text, false);
    EXPECT_EQ(k.valid, c.valid) << c.name;
    if (c.valid) {
        EXPECT_EQ(k.sections, c.sections) << c.name;
        EXPECT_EQ(k.keys, c.keys) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Text, KeyFiles, ::testing::Values(
    KeyCase{"ini", "; comment\n[general]\nname=sample\ndebug = false\n\n[paths]\ndata=/var/lib\n", true, 2, 3},
    KeyCase{"desktop entry with localised keys", "[Desktop Entry]\nName=Tool\nName[it]=Attrezzo\nExec=tool %f\n", true, 1, 3},
    KeyCase{"indented keys and lone keys", "[mysqld]\n\tport = 3306\nskip-networking\n", true, 1, 1},
    KeyCase{"defaults commented out", "# shipped defaults\n[Manager]\n#LogLevel=info\n#LogTarget=journal\n", true, 1, 2},
    KeyCase{"one odd line in ten", "[a]\nk1=1\nk2=2\nk3=3\nk4=4\nk5=5\nk6=6\nk7=7\nk8=8\n.include other file\n", true, 1, 8},
    KeyCase{"no section", "a=1\nb=2\n", false, 0, 0},
    KeyCase{"section without keys", "[only]\n", false, 0, 0},
    KeyCase{"prose between", "[note]\nThis is a sentence about things.\nk=v\n", false, 0, 0},
    KeyCase{"shell test brackets", "[ -f x ] && echo\nA=1\n", false, 0, 0},
    KeyCase{"code on the key side", "[s]\nf(x) = 2\n", false, 0, 0},
    KeyCase{"array of tables is not a section", "[[bin]]\nname = \"x\"\n", false, 0, 0}));

struct MappingCase {
    const char* name;
    std::string text;
    bool valid;
    std::size_t keys;
    std::size_t items;
};

class Mappings : public ::testing::TestWithParam<MappingCase> {};

TEST_P(Mappings, JudgesEveryLine)
{
    const MappingCase& c = GetParam();
    MappingShape m = mappingShape(c.text, false);
    EXPECT_EQ(m.valid, c.valid) << c.name << ": " << m.keys << " keys, " << m.items << " items";
    if (c.valid) {
        EXPECT_EQ(m.keys, c.keys) << c.name;
        EXPECT_EQ(m.items, c.items) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Text, Mappings, ::testing::Values(
    MappingCase{"nested mapping", "# service\nserver:\n  host: 0.0.0.0\n  port: 8080\n", true, 3, 0},
    MappingCase{"document markers and a list", "%YAML 1.2\n---\n- id: 1\n  title: \"first\"\n- id: 2\n...\n", true, 3, 2},
    MappingCase{"block scalar content is skipped", "steps:\n  - run: |\n      make test\n      echo done!\n  - uses: x\n", true, 3, 2},
    MappingCase{"quoted keys", "\"a b\": 1\n'c': 2\n", true, 2, 0},
    MappingCase{"a single key is too little", "key: value\n", false, 0, 0},
    MappingCase{"tab indentation", "a:\n\tb: 1\n\tc: 2\n", false, 0, 0},
    MappingCase{"prose with a heading", "Note: read this\nThe quick brown fox jumps over the lazy dog.\n", false, 0, 0},
    MappingCase{"a report's lines of name: field: value", "a.ppt: Document, Title: x, Author: y\nb.ppt: Document, Title: z\n", false, 0, 0},
    MappingCase{"a further colon quoted or in a comment", "a: \"x: y\"\nb: 1 # note: z\n", true, 2, 0},
    MappingCase{"colon-separated records", "root:x:0:\ndaemon:x:1:\n", false, 0, 0},
    MappingCase{"object literal in code", "M = {\n    'a': ('x', 1),\n    'b': ('y', 2),\n}\n", false, 0, 0},
    MappingCase{"python", "def f(x):\n    return x\n", false, 0, 0}));

struct CCase {
    const char* name;
    std::string text;
    CFileLean lean;
    bool cplusplus = false;
};

class CFiles : public ::testing::TestWithParam<CCase> {};

TEST_P(CFiles, TellHeaderFromSource)
{
    const CFileShape c = cFileShape(GetParam().text);
    EXPECT_EQ(c.lean, GetParam().lean) << GetParam().name;
    EXPECT_EQ(c.cplusplus, GetParam().cplusplus) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Text, CFiles, ::testing::Values(
    CCase{"include guard", "/* x */\n#ifndef X_H\n#define X_H\nint f(void) { return 1; }\n#endif\n", CFileLean::Header},
    CCase{"pragma once", "#pragma once\nstatic int g(int a)\n{\n    return a;\n}\n", CFileLean::Header},
    CCase{"guarded feature macro is no guard", "#ifndef _GNU_SOURCE\n# define _GNU_SOURCE 1\n#endif\n#include <stdio.h>\nint main(void)\n{\n    return 0;\n}\n", CFileLean::Source},
    CCase{"config.h first", "#include <config.h>\n#include \"x.h\"\n#define T int\n#include \"tmpl.c\"\n", CFileLean::Source},
    CCase{"prototypes and typedefs", "#include <stddef.h>\ntypedef struct s S;\nextern int n;\nvoid f(S *s);\n", CFileLean::Header},
    CCase{"inline helpers only", "static inline int sq(int x) { return x * x; }\n", CFileLean::Header},
    CCase{"bodies in an extern C block", "extern \"C\" {\nvoid f(void);\n}\nvoid f(void)\n{\n}\n", CFileLean::Source},
    CCase{"declarations outnumber a helper", "void a(void);\nvoid b(void);\nvoid c(void);\nvoid d(void);\nvoid e(void);\nstatic void h(void) { }\n", CFileLean::Header},
    CCase{"bodies kept out by #if 0", "extern int x;\n#if 0\nint f(void)\n{\n}\n#endif\n", CFileLean::Header},
    CCase{"braces in strings and comments", "const char *s = \"f() {\";\n/* g() { */\n", CFileLean::None},
    CCase{"initializers are no bodies", "#define N 2\nstatic const int t[N] = { 1, 2 };\n", CFileLean::None},
    CCase{"a namespace", "#include <string.h>\nnamespace x {\nint f();\n}\n", CFileLean::None, true},
    CCase{"a scope and a standard header", "#include <vector>\nint A::f()\n{\n}\n", CFileLean::Source, true},
    CCase{"new as a name is C", "void f(void)\n{\n    int new = 1;\n}\n", CFileLean::Source, false}));

TEST(GoFiles, OpenWithTheirPackageClause)
{
    EXPECT_FALSE(opensWithoutPackageClause("// licence\n/* doc\n*/\npackage main\n"));
    EXPECT_TRUE(opensWithoutPackageClause("// licence\n#include <stdint.h>\nint f(void) {\n}\n"));
    EXPECT_TRUE(opensWithoutPackageClause("packages = 3\n"));
    // A comment running past the head may hide the clause.
    EXPECT_FALSE(opensWithoutPackageClause("/* a long package doc"));
}

TEST(MakeFiles, AreToldByLinesOnlyMakeWrites)
{
    const struct {
        const char* text;
        bool make;
    } cases[] = {
        {"out.go: map.go data.csv\n\tgo run map.go >out.go\n", true},
        {"# licence\n\ninclude ../Make.dist\n", true},
        {"CFLAGS ?= -O2\nOBJS := a.o \\\n  b.o\n", true},
        {"ifeq ($(V),1)\nQ =\nendif\n", true},
        {"LIBS += -lm\n", true},
        {"CC=cc\nLD=ld\n", false},                          // shell or make alike
        {"include /etc/ld.so.conf.d/*.conf\n", false},       // not a make file's include
        {"name: x\nversion: 1\n", false},                   // targets without recipes
        {"else:\n\tx = 1\nprint(x)\n", false},              // tab-indented code
        {"all: prog\n\tcc -o prog prog.c\nThis line is prose.\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(makeShape(c.text), c.make) << c.text;
}

TEST(Scripts, TypeScriptIsToldBySyntaxJavaScriptLacks)
{
    for (const char* ts : {"let n: number = 1;\n", "export interface Point {\n  x: number;\n}\n", "import x from \"./x\";\nexport = x;\n",
             "class A {\n  private b = 1;\n}\n", "export type Id = string;\n"})
        EXPECT_TRUE(typeScriptSyntax(ts)) << ts;
    for (const char* js : {"export { select } from \"d3\";\n", "const o = { type: 1, a: b ? c : d };\n", "// the public interface\nvar prototype = 1;\n"})
        EXPECT_FALSE(typeScriptSyntax(js)) << js;
}

TEST(Scripts, PascalIsToldByWhatNoScriptWrites)
{
    for (const char* pas : {"function Supports(const S: string): Boolean;\n", "procedure P(A: Integer; var B, C: Real);\n",
             "procedure Draw; Forward;\n", "VAR\n  Title, Name: string;\n"})
        EXPECT_TRUE(pascalMarks(pas)) << pas;
    for (const char* other : {"for (const k of keys) {\n}\n", "function f(out: Writable): void;\n", "lib(const boost::dll::path& p);\n",
             "var\n  a = 1,\n  b = 2;\n", "const s = 'procedure P(const S: string); overload;';\nconst f = () => s;\n"})
        EXPECT_FALSE(pascalMarks(other)) << other;
}

struct ProseCase {
    const char* name;
    std::string text;
    unsigned marks;
    bool document;
};

class Prose : public ::testing::TestWithParam<ProseCase> {};

TEST_P(Prose, FindsMarksAndOutline)
{
    const ProseShape p = proseShape(GetParam().text);
    EXPECT_EQ(p.marks, GetParam().marks) << GetParam().name;
    EXPECT_EQ(p.document, GetParam().document) << GetParam().name << ": " << p.headings << " headings, " << p.proseLines << " prose, " << p.codeLines << " code";
}

const std::string kLispNotes = "SB-X\n====\n\nThe library does many useful things for you.\nIt is loaded by the usual means of the system.\n\n"
                               "Usage\n-----\n\nCall the function with a number as its argument.\nThe result is printed as a list of digits.\n"
                               "More text follows here in the same manner.\n\n    (defun f (x)\n      (g x))\n\n    #:exported-symbol\n";

INSTANTIATE_TEST_SUITE_P(Text, Prose, ::testing::Values(
    ProseCase{"a document quoting Lisp", kLispNotes, kSetextHeading, true},
    ProseCase{"ATX heading, link, code span, list", "# Title\n\nSee [the site](https://x.org) and `make`.\n\n* one item here\n", kAtxHeading | kLink | kCodeSpan | kListItem, false},
    ProseCase{"fences and strong emphasis", "Some **bold** words in a line.\n\n```\ncode\n```\n<!-- note -->\n", kStrongEmphasis | kFencedCode | kHtmlComment, false},
    ProseCase{"comment blocks are no headings", "# Copyright the authors\n# Licence: free\n\nset -e\n", 0, false},
    ProseCase{"quotes in the GNU style are no code spans", "Run `make' and then ``install''.\n", 0, false},
    ProseCase{"code at the margin is no document", kLispNotes + "(defun g (y)\n  y)\n(defun h (z)\n  z)\n(defvar *v* 1)\n", kSetextHeading, false},
    ProseCase{"a YAML document marker is no underline", "name: x\n---\nother: y\n", 0, false}));

TEST(LineEndings, NamesTheKindOrMixed)
{
    EXPECT_EQ(lineEndingsOf("a\nb\n"), LineEndings::Lf);
    EXPECT_EQ(lineEndingsOf("a\r\nb\r\n"), LineEndings::CrLf);
    EXPECT_EQ(lineEndingsOf("a\rb\r c"), LineEndings::Cr);
    EXPECT_EQ(lineEndingsOf("a\r\nb\n"), LineEndings::Mixed);
    EXPECT_EQ(lineEndingsOf("no break"), LineEndings::None);
    // A CR that ends the sample may be the first half of a CR LF.
    EXPECT_EQ(lineEndingsOf("a\r\nb\r"), LineEndings::CrLf);
    // Pairs and lone breaks where sixteen-byte blocks meet.
    const std::string run(15, 'x');
    EXPECT_EQ(lineEndingsOf(run + "\r\n" + run + "\r\n"), LineEndings::CrLf);
    EXPECT_EQ(lineEndingsOf(run + "\rx" + run + "\r\n"), LineEndings::Mixed);
    EXPECT_EQ(lineEndingsOf(run + "\r\n" + run + "x\n\r\n"), LineEndings::Mixed);
    EXPECT_EQ(lineEndingsOf("\r\n" + run + run + "\r"), LineEndings::CrLf);
    EXPECT_EQ(lineEndingsOf("\r\n" + run + std::string(14, 'x') + "\r"), LineEndings::CrLf);
    EXPECT_STREQ(lineEndingsName(LineEndings::CrLf), "CRLF");
    EXPECT_STREQ(lineEndingsName(LineEndings::Mixed), "mixed");
}

TEST(Tables, StopAtTheRecordLimit)
{
    // Ten thousand agreeing records are read only as far as the limit; a
    // disagreeing record after it is not seen.
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "1,2\n";
    text += "1,2,3\n";
    TableShape t = delimitedShape(text, ',', false);
    EXPECT_TRUE(t.consistent);
    EXPECT_EQ(t.records, kMaxRecords);
}

} // namespace
