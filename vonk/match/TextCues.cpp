// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextCues.h"

#include "vonk/match/TextTokens.h"

#include <algorithm>
#include <string>
#include <vector>

namespace gv::vonk {

namespace {

bool identChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80; }

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view firstWord(std::string_view s)
{
    std::size_t k = 0;
    while (k < s.size() && blank(s[k]))
        ++k;
    std::size_t e = k;
    while (e < s.size() && identChar(s[e]))
        ++e;
    return s.substr(k, e - k);
}

// The statement being read at the outermost level of a C file, as far as
// telling a definition from a declaration needs.
struct Statement {
    bool paren = false;  // holds a '('
    bool assign = false; // holds a '=' outside parentheses: an initializer
    bool isInline = false;
    bool isExtern = false;
    bool isTypedef = false;
    int parens = 0;
    char last = 0; // last character that is not blank
    void clear() { *this = Statement{}; }
};

} // namespace

CFileShape cFileShape(std::string_view text)
{
    CFileShape shape;
    text = text.substr(0, kTextModelHead);
    std::size_t bodies = 0, declarations = 0;
    bool configH = false;
    bool guard = false;   // #pragma once
    bool guarded = false; // #ifndef X then #define X
    int directives = 0;   // seen before the first statement, up to three
    std::string guardName;
    bool code = false; // a statement or body seen
    int depth = 0, externBlocks = 0, skipping = 0;
    Statement st;
    std::string word;
    auto endWord = [&] {
        if (word.empty())
            return;
        if (depth == 0) {
            if (word == "inline" || word == "__inline" || word == "__inline__")
                st.isInline = true;
            else if (word == "extern")
                st.isExtern = true;
            else if (word == "typedef")
                st.isTypedef = true;
        }
        static constexpr std::string_view cplusplus[] = {"class", "namespace", "template", "typename", "virtual", "nullptr", "constexpr", "operator"};
        for (std::string_view w : cplusplus)
            shape.cplusplus = shape.cplusplus || word == w;
        word.clear();
    };
    const std::size_t n = text.size();
    bool lineStart = true;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\n') {
            endWord();
            lineStart = true;
            continue;
        }
        if (lineStart && blank(c))
            continue;
        if (lineStart && c == '#') {
            endWord();
            // A directive runs to the end of the line and its continuations.
            std::size_t e = i;
            while (e < n && text[e] != '\n')
                e = (text[e] == '\\' && e + 1 < n && text[e + 1] == '\n') ? e + 2 : e + 1;
            std::string_view d = text.substr(i + 1, e - i - 1);
            std::string_view name = firstWord(d);
            std::string_view arg = firstWord(d.substr(d.find(name) + name.size()));
            if (name == "pragma" && arg == "once")
                guard = true;
            if (!code && directives < 3) {
                // A guard encloses more than its own #define.
                if (directives == 2 && name == "endif")
                    guardName.clear();
                if (directives == 0 && name == "ifndef")
                    guardName = arg;
                else if (directives == 0 && name == "if" && d.find("!defined") != std::string_view::npos) {
                    std::size_t p = d.find("!defined") + 8;
                    while (p < d.size() && (blank(d[p]) || d[p] == '('))
                        ++p;
                    guardName = firstWord(d.substr(p));
                } else if (directives == 1 && name == "define" && !guardName.empty() && arg == guardName)
                    guarded = true;
                ++directives;
            }
            // What "#if 0" leaves out is not read: code kept for the record.
            if (name == "if" && arg == "0")
                ++skipping;
            else if (skipping > 0 && (name == "if" || name == "ifdef" || name == "ifndef"))
                ++skipping;
            else if (skipping > 0 && name == "endif")
                --skipping;
            else if (skipping == 1 && (name == "else" || name == "elif"))
                skipping = 0;
            // C++'s standard headers have no suffix.
            if (name == "include" && arg.empty() && d.find('<') != std::string_view::npos && d.find('.') == std::string_view::npos)
                shape.cplusplus = true;
            // Autoconf's config.h goes first in every source file and in
            // no header.
            if (name == "include" && (d.find("<config.h>") != std::string_view::npos || d.find("\"config.h\"") != std::string_view::npos))
                configH = true;
            i = e - 1;
            lineStart = false;
            continue;
        }
        lineStart = false;
        if (skipping > 0) {
            while (i + 1 < n && text[i + 1] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            endWord();
            while (i + 1 < n && text[i + 1] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            endWord();
            std::size_t e = text.find("*/", i + 2);
            if (e == std::string_view::npos)
                break;
            // A comment spanning lines leaves the next one at its start.
            i = e + 1;
            continue;
        }
        if (c == '"' || c == '\'') {
            endWord();
            std::size_t k = i + 1;
            while (k < n && text[k] != c && text[k] != '\n')
                k += text[k] == '\\' ? 2 : 1;
            i = std::min(k, n - 1);
            if (depth == 0)
                st.last = c;
            continue;
        }
        if (identChar(c)) {
            if (word.size() < 16)
                word += c;
            if (depth == 0)
                st.last = c;
            continue;
        }
        endWord();
        if (blank(c))
            continue;
        if (c == '{') {
            if (depth == 0) {
                code = true;
                if (st.isExtern && st.last == '"') {
                    // extern "C" { ... } wraps declarations, not a body.
                    ++externBlocks;
                    st.clear();
                    continue;
                }
                if (st.paren && st.last == ')' && !st.assign && !st.isTypedef) {
                    if (st.isInline)
                        ++declarations;
                    else
                        ++bodies;
                }
            }
            ++depth;
            continue;
        }
        if (c == '}') {
            if (depth > 0) {
                --depth;
                if (depth == 0)
                    st.clear();
            } else if (externBlocks > 0) {
                --externBlocks;
                st.clear();
            }
            continue;
        }
        if (c == ':' && i + 1 < n && text[i + 1] == ':')
            shape.cplusplus = true;
        if (depth > 0)
            continue;
        if (c == ';') {
            code = true;
            if (st.isExtern || st.isTypedef || (st.paren && st.last == ')' && !st.assign))
                ++declarations;
            st.clear();
            continue;
        }
        if (c == '(') {
            st.paren = true;
            ++st.parens;
        } else if (c == ')') {
            --st.parens;
        } else if (c == '=' && st.parens <= 0) {
            st.assign = true;
        }
        st.last = c;
    }
    shape.statements = code;
    shape.guarded = guard || (guarded && !guardName.empty());
    if (shape.guarded)
        shape.lean = CFileLean::Header;
    // A header may define a helper or two among its many declarations.
    else if (configH || (bodies > 0 && bodies * 4 >= declarations))
        shape.lean = CFileLean::Source;
    else if (declarations > 0)
        shape.lean = CFileLean::Header;
    return shape;
}

bool opensWithoutPackageClause(std::string_view text)
{
    text = text.substr(0, kTextModelHead);
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        if (blank(text[i]) || text[i] == '\n') {
            ++i;
        } else if (text.compare(i, 2, "//") == 0) {
            std::size_t e = text.find('\n', i);
            i = e == std::string_view::npos ? n : e + 1;
        } else if (text.compare(i, 2, "/*") == 0) {
            std::size_t e = text.find("*/", i + 2);
            i = e == std::string_view::npos ? n : e + 2;
        } else {
            return !(text.compare(i, 7, "package") == 0 && i + 7 < n && blank(text[i + 7]));
        }
    }
    // Comments to the end: the clause may follow.
    return false;
}

namespace {

bool targetChar(char c)
{
    // A zero byte counts too, as it always has.
    static constexpr auto kTarget = byteSet(std::string_view("./-%$(){}@~", 12));
    return identChar(c) || kTarget[static_cast<unsigned char>(c)];
}

std::string_view lower(std::string_view s, std::string& buffer)
{
    buffer.assign(s);
    for (char& c : buffer)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return buffer;
}

} // namespace

bool makeShape(std::string_view text)
{
    text = text.substr(0, kTextModelHead);
    std::size_t significant = 0, odd = 0, recipes = 0;
    bool makeOnly = false, inRule = false, continued = false;
    std::string buffer;
    for (std::size_t p = 0; p < text.size();) {
        std::size_t e = text.find('\n', p);
        if (e == std::string_view::npos)
            e = text.size();
        std::string_view line = text.substr(p, e - p);
        p = e + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const bool wasContinued = continued;
        continued = !line.empty() && line.back() == '\\';
        std::size_t k = line.find_first_not_of(" \t");
        if (k == std::string_view::npos || wasContinued)
            continue;
        if (line[0] == '\t' && inRule) {
            ++recipes;
            continue;
        }
        if (line[k] == '#')
            continue;
        ++significant;
        const std::string_view s = line.substr(k);
        const std::string_view word = firstWord(s[0] == '-' ? s.substr(1) : s);
        if (word.size() < s.size() && (s[word.size() + (s[0] == '-')] == ' ' || s[word.size() + (s[0] == '-')] == '\t')) {
            if (word == "include" || word == "sinclude") {
                const std::string_view file = lower(s, buffer);
                makeOnly = makeOnly || file.find(".mk") != std::string_view::npos || file.find("make") != std::string_view::npos || file.find("$(") != std::string_view::npos;
                inRule = false;
                continue;
            }
            if (word == "ifeq" || word == "ifneq" || word == "ifdef" || word == "ifndef" || word == "define" || word == "export" || word == "override" || word == "vpath") {
                makeOnly = makeOnly || word != "export";
                inRule = false;
                continue;
            }
        }
        if (s == "else" || s == "endif" || s == "endef")
            continue;
        // NAME op value, or targets: prerequisites.
        std::size_t j = 0;
        while (j < s.size() && (targetChar(s[j]) || ((s[j] == ' ' || s[j] == '\t') && j + 1 < s.size() && s[j + 1] != '=' && s[j + 1] != ':')))
            ++j;
        std::size_t op = j;
        while (op < s.size() && (s[op] == ' ' || s[op] == '\t'))
            ++op;
        if (j == 0 || op >= s.size()) {
            ++odd;
        } else if (s[op] == '=' || s.compare(op, 2, ":=") == 0 || s.compare(op, 3, "::=") == 0 || s.compare(op, 2, "?=") == 0 || s.compare(op, 2, "+=") == 0) {
            makeOnly = makeOnly || s[op] != '=';
            inRule = false;
        } else if (s[op] == ':' && line[0] != ' ' && line[0] != '\t') {
            inRule = true;
        } else {
            ++odd;
        }
        if (odd * 10 > std::max<std::size_t>(significant, 10))
            return false;
    }
    return significant > 0 && odd * 10 <= significant && (makeOnly || recipes > 0);
}

bool typeScriptSyntax(std::string_view text)
{
    text = text.substr(0, kTextModelHead);
    // Words that open a declaration only TypeScript has, where they start a
    // line or follow "export" or "declare" (not in a comment's prose).
    static constexpr std::string_view keywords[] = {"interface ", "type ", "enum ", "declare ", "namespace ", "abstract class ",
        "implements ", "readonly ", "private ", "protected ", "public "};
    static constexpr std::string_view annotations[] = {": string", ": number", ": boolean", ": any", ": void", ": unknown",
        ": never", "?: ", "import type ", "as const", "<string>", "<number>", "export = "};
    for (std::string_view a : annotations) {
        if (text.find(a) != std::string_view::npos)
            return true;
    }
    for (std::string_view k : keywords) {
        for (std::size_t p = text.find(k); p != std::string_view::npos; p = text.find(k, p + 1)) {
            std::size_t b = p;
            while (b > 0 && (text[b - 1] == ' ' || text[b - 1] == '\t'))
                --b;
            const std::string_view before = text.substr(0, b);
            if (!(b == 0 || text[b - 1] == '\n' || before.ends_with("export") || before.ends_with("declare")))
                continue;
            // Followed by a name: "type X", "private x".
            const std::size_t q = p + k.size();
            if (q < text.size() && (letter(text[q]) || text[q] == '_' || text[q] == '$'))
                return true;
        }
    }
    return false;
}

namespace {

// `s` is `word` (lower case) in any case.
bool foldedEquals(std::string_view s, std::string_view word)
{
    if (s.size() != word.size())
        return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if ((s[k] >= 'A' && s[k] <= 'Z' ? s[k] | 0x20 : s[k]) != word[k])
            return false;
    }
    return true;
}

bool opensWithWord(std::string_view s, std::string_view word)
{
    return s.size() > word.size() && blank(s[word.size()]) && foldedEquals(s.substr(0, word.size()), word);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// "A, B: T", names then their type: where `s` is past the names, at the
// colon, or npos.
std::size_t pastNames(std::string_view s)
{
    std::size_t k = 0;
    for (;;) {
        while (k < s.size() && blank(s[k]))
            ++k;
        const std::size_t start = k;
        while (k < s.size() && identChar(s[k]))
            ++k;
        if (k == start || !letter(s[start]))
            return std::string_view::npos;
        while (k < s.size() && blank(s[k]))
            ++k;
        if (k < s.size() && s[k] == ':' && (k + 1 == s.size() || (s[k + 1] != '=' && s[k + 1] != ':')))
            return k;
        if (k >= s.size() || s[k] != ',')
            return std::string_view::npos;
        ++k;
    }
}

// A parameter list of a routine's heading: a name, then "(", where one of
// the parameters is passed by a mode.
bool parameterModes(std::string_view line)
{
    static constexpr std::string_view modes[] = {"const", "var", "out", "constref"};
    for (std::size_t p = line.find('('); p != std::string_view::npos; p = line.find('(', p + 1)) {
        if (p == 0 || !identChar(line[p - 1]))
            continue;
        for (std::size_t q = p; q < line.size() && line[q] != ')'; ++q) {
            if (line[q] != '(' && line[q] != ';')
                continue;
            std::string_view rest = line.substr(q + 1);
            while (!rest.empty() && blank(rest.front()))
                rest.remove_prefix(1);
            for (std::string_view m : modes) {
                if (opensWithWord(rest, m) && pastNames(rest.substr(m.size())) != std::string_view::npos)
                    return true;
            }
        }
    }
    return false;
}

} // namespace

bool pascalMarks(std::string_view text)
{
    text = text.substr(0, kTextModelHead);
    static constexpr std::string_view scriptOnly[] = {"=>", "===", "!==", "&&", "||", "++", "${", "console.", "require("};
    for (std::string_view s : scriptOnly) {
        if (text.find(s) != std::string_view::npos)
            return false;
    }
    bool varLine = false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = trimmed(text.substr(at, end - at));
        at = end + 1;
        if (line.empty())
            continue;
        if (varLine && line.back() == ';' && pastNames(line) != std::string_view::npos)
            return true;
        varLine = foldedEquals(line, "var");
        if (parameterModes(line))
            return true;
        for (std::string_view directive : {std::string_view("overload;"), std::string_view("forward;")}) {
            if (line.size() > directive.size() + 1 && foldedEquals(line.substr(line.size() - directive.size()), directive)) {
                const std::string_view head = trimmed(line.substr(0, line.size() - directive.size()));
                if (head.ends_with(';'))
                    return true;
            }
        }
    }
    return false;
}

namespace {

bool fenceLine(std::string_view s) { return s.starts_with("```") || s.starts_with("~~~"); }

// 1 to 6 '#', a blank, then a word: an ATX heading, or a '#' comment.
bool atxLine(std::string_view s)
{
    std::size_t k = 0;
    while (k < s.size() && s[k] == '#')
        ++k;
    return k >= 1 && k <= 6 && k + 1 < s.size() && s[k] == ' ' && (letter(s[k + 1]) || s[k + 1] == '`');
}

bool underline(std::string_view s)
{
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    if (s.size() < 3 || (s[0] != '=' && s[0] != '-'))
        return false;
    return s.find_first_not_of(s[0]) == std::string_view::npos;
}

bool listItem(std::string_view s)
{
    if (s.size() >= 3 && (s[0] == '-' || s[0] == '*' || s[0] == '+') && s[1] == ' ')
        return letter(s[2]) || s[2] == '`' || s[2] == '[' || s[2] == '*';
    std::size_t k = 0;
    while (k < s.size() && k < 3 && s[k] >= '0' && s[k] <= '9')
        ++k;
    return k > 0 && k + 2 < s.size() && (s[k] == '.' || s[k] == ')') && s[k + 1] == ' ' && letter(s[k + 2]);
}

unsigned inlineMarks(std::string_view s)
{
    unsigned m = 0;
    std::size_t open = s.find('[');
    if (open != std::string_view::npos) {
        std::size_t close = s.find("](", open + 1);
        if (close != std::string_view::npos && close > open + 1 && s.find(')', close + 2) != std::string_view::npos)
            m |= kLink;
        if (open == 0) {
            std::size_t ref = s.find("]: ");
            if (ref != std::string_view::npos && ref + 3 < s.size() && (s.compare(ref + 3, 4, "http") == 0 || s[ref + 3] == '/' || s[ref + 3] == '#'))
                m |= kLink;
        }
    }
    std::size_t strong = s.find("**");
    if (strong != std::string_view::npos && strong + 2 < s.size() && !blank(s[strong + 2])) {
        std::size_t end = s.find("**", strong + 3);
        if (end != std::string_view::npos && !blank(s[end - 1]))
            m |= kStrongEmphasis;
    }
    for (std::size_t b = s.find('`'); b != std::string_view::npos && b + 2 < s.size(); b = s.find('`', b + 1)) {
        if (s[b + 1] == '`' || blank(s[b + 1]) || (b > 0 && s[b - 1] == '`'))
            continue;
        std::size_t e = s.find('`', b + 1);
        if (e != std::string_view::npos && (e + 1 >= s.size() || s[e + 1] != '`') && !blank(s[e - 1])) {
            m |= kCodeSpan;
            break;
        }
    }
    return m;
}

// Characters that prose seldom has and code often does.
bool codeChar(char c)
{
    static constexpr auto kCode = byteSet("{};=<>\\|$@&^~#");
    return kCode[static_cast<unsigned char>(c)];
}

// The line above an underline is a title, not a "key: value" line over a
// document marker.
bool titleLine(std::string_view s)
{
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return !s.empty() && s.back() != ':' && s.find(": ") == std::string_view::npos;
}

enum class LineKind : std::uint8_t { Blank, Prose, Code, Other, Heading, Comment };

} // namespace

ProseShape proseShape(std::string_view text)
{
    text = text.substr(0, kTextModelHead);
    // Kept from text to text: no allocation once grown.
    thread_local std::vector<std::string_view> lines;
    lines.clear();
    for (std::size_t p = 0; p < text.size();) {
        std::size_t e = text.find('\n', p);
        if (e == std::string_view::npos)
            e = text.size();
        std::string_view l = text.substr(p, e - p);
        if (!l.empty() && l.back() == '\r')
            l.remove_suffix(1);
        lines.push_back(l);
        p = e + 1;
    }
    ProseShape shape;
    std::size_t listItems = 0;
    bool fenced = false;
    LineKind prev = LineKind::Blank;
    auto hashLine = [&](std::size_t k) { return !lines[k].empty() && lines[k][0] == '#'; };
    for (std::size_t k = 0; k < lines.size(); ++k) {
        std::string_view line = lines[k];
        std::size_t indent = 0, col = 0;
        while (indent < line.size() && (line[indent] == ' ' || line[indent] == '\t')) {
            col += line[indent] == '\t' ? 4 : 1;
            ++indent;
        }
        std::string_view s = line.substr(indent);
        if (s.empty()) {
            prev = LineKind::Blank;
            continue;
        }
        if (col < 4 && fenceLine(s)) {
            shape.marks |= kFencedCode;
            fenced = !fenced;
            prev = LineKind::Other;
            continue;
        }
        if (fenced || col >= 4) {
            // Code a document quotes, or the continuation of a list item.
            prev = LineKind::Other;
            continue;
        }
        LineKind kind = LineKind::Other;
        if (underline(s) && (prev == LineKind::Prose || prev == LineKind::Other) && col == 0 && k > 0 && titleLine(lines[k - 1])) {
            // The line above is a heading, not a paragraph's.
            shape.marks |= kSetextHeading;
            ++shape.headings;
            if (prev == LineKind::Prose)
                --shape.proseLines;
            kind = LineKind::Heading;
        } else if (col == 0 && atxLine(s)) {
            // A run of '#' lines is a comment block, not headings; a
            // heading stands apart from the paragraph under it.
            const bool apart = k + 1 < lines.size() && lines[k + 1].find_first_not_of(" \t\r") == std::string_view::npos;
            if (apart && !(k > 0 && hashLine(k - 1))) {
                shape.marks |= kAtxHeading;
                ++shape.headings;
                kind = LineKind::Heading;
            } else {
                kind = LineKind::Comment;
                ++shape.codeLines;
            }
        } else if (listItem(s)) {
            shape.marks |= kListItem;
            ++listItems;
            shape.marks |= inlineMarks(s);
        } else if (s.starts_with("<!--")) {
            shape.marks |= kHtmlComment;
        } else {
            std::size_t words = 0, odd = 0;
            for (std::size_t j = 0; j < s.size(); ++j) {
                if (letter(s[j]) && (j == 0 || !identChar(s[j - 1])))
                    ++words;
                odd += codeChar(s[j]);
            }
            const char first = s[0], last = s.back();
            static constexpr auto kOpensProse = byteSet("\"'*_[`");
            const bool opensLikeProse = letter(first) || kOpensProse[static_cast<unsigned char>(first)];
            if (opensLikeProse && words >= 3 && odd * 20 <= s.size() && last != ';' && last != '{') {
                kind = LineKind::Prose;
                ++shape.proseLines;
                shape.marks |= inlineMarks(s);
            } else if (first == '(' || first == '#' || first == '/' || last == ';' || last == '{' || last == '}' || odd * 20 > s.size()) {
                kind = LineKind::Code;
                ++shape.codeLines;
            }
        }
        prev = kind;
    }
    shape.document = shape.headings >= 2 && shape.proseLines >= 5 && shape.codeLines * 10 <= shape.proseLines + shape.headings + listItems;
    return shape;
}

} // namespace gv::vonk
