// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gv::vonk {

// The bytes of `members` as a table, for the sets that are asked of every
// byte of a text (a call to strchr per byte was much of judging prose).
constexpr std::array<bool, 256> byteSet(std::string_view members)
{
    std::array<bool, 256> set{};
    for (char c : members)
        set[static_cast<unsigned char>(c)] = true;
    return set;
}

// What a reader goes by where the text model's words leave two formats
// alike: a few facts of a text's structure that settle between exactly
// those formats. Each reads at most the head the model reads.

// Whether a C file is a header or a source as a C programmer tells: an
// include guard ("#ifndef X_H" then "#define X_H", or "#pragma once") makes
// a header; functions defined with bodies that are not inline make a
// source (unless declarations outnumber them four to one), and so does
// including autoconf's "config.h"; declarations alone
// (prototypes, "extern", typedefs, inline functions) make a header. None
// when nothing of the kind is there: macros and includes are in both.
// `cplusplus` says C++ shows: a class, a namespace, a template, "::", a
// standard header without a suffix, and the like; `statements` that there
// is code besides the preprocessor's lines; `guarded` that an include guard
// or "#pragma once" made it a header.
enum class CFileLean : std::uint8_t { None, Header, Source };

struct CFileShape {
    CFileLean lean = CFileLean::None;
    bool cplusplus = false;
    bool statements = false;
    bool guarded = false;
};

CFileShape cFileShape(std::string_view text);

// Whether the first statement past comments is there and is not a
// "package" clause, which opens every Go source file.
bool opensWithoutPackageClause(std::string_view text);

// Whether every line is one of make's: a rule ("target: prerequisites")
// and the tab-led recipe under it, a variable assignment, a directive
// (include, ifeq, endif, ...), a comment or a continuation; and something
// only make writes is there: a rule with its recipe, a conditional, an
// assignment by ":=", "?=" or "+=", or an include of a make file. A text
// of plain "NAME=value" lines is no makefile.
bool makeShape(std::string_view text);

// Whether a script uses syntax of TypeScript's that JavaScript lacks: type
// annotations of the built-in types, interfaces, type aliases, enums,
// access modifiers, declarations, "import type", "as const", "export =".
bool typeScriptSyntax(std::string_view text);

// Whether a text bears Pascal's marks, which neither JavaScript nor
// TypeScript can: a parameter passed "const", "var", "out" or "constref"
// ("(const S: string)"), a routine's heading closed by "overload;" or
// "forward;", a "var" line of its own opening "Name: Type;" lines; and
// none of the scripts' own operators ("=>", "===", "&&", ...), which a
// script quoting Pascal would have.
bool pascalMarks(std::string_view text);

// Markdown's constructs. Plain text has headings underlined and lists of
// its own; the others it seldom has.
enum MarkdownMark : unsigned {
    kSetextHeading = 1,
    kListItem = 2,
    kAtxHeading = 4,
    kFencedCode = 8,
    kLink = 16,
    kStrongEmphasis = 32,
    kCodeSpan = 64,
    kHtmlComment = 128,
};
inline constexpr unsigned kPlainTextMarks = kSetextHeading | kListItem;

// The outline of a document in a lightweight markup. `marks` holds the
// kinds of Markdown constructs found; `document` says the lines at the
// margin are headings, list items and prose paragraphs, so that whatever
// code there is sits in indented or fenced blocks: a document that quotes
// code.
struct ProseShape {
    std::size_t headings = 0;
    std::size_t proseLines = 0;
    std::size_t codeLines = 0;
    unsigned marks = 0;
    bool document = false;
};

ProseShape proseShape(std::string_view text);

} // namespace gv::vonk
