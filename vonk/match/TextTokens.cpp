// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextTokens.h"

#include <algorithm>
#include <array>

namespace gv::vonk {

namespace {

constexpr std::uint32_t kFnvOffset = 0x811C9DC5u;
constexpr std::uint32_t kFnvPrime = 0x01000193u;
constexpr std::size_t kMaxWord = 24;
constexpr char kAdornment[] = "=-~^\"'*+#`:._";

std::uint32_t fnv(std::uint32_t h, std::string_view s)
{
    for (unsigned char c : s)
        h = (h ^ c) * kFnvPrime;
    return h;
}

std::uint32_t fnv(std::uint32_t h, char c)
{
    return (h ^ static_cast<unsigned char>(c)) * kFnvPrime;
}

// What each byte is to the tokenizer, looked up once per byte of the head.
enum : std::uint8_t { kWordByte = 1, kSpaceByte = 2 };
constexpr auto kByteClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80)
            t[c] = kWordByte;
        else if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f')
            t[c] = kSpaceByte;
    }
    return t;
}();

bool wordByte(unsigned char c)
{
    return kByteClass[c] & kWordByte;
}

bool spaceByte(unsigned char c)
{
    return kByteClass[c] & kSpaceByte;
}

struct Token {
    std::string_view text; // what is hashed ("0" for every number)
    std::uint32_t pos;
    std::uint32_t len;
    char kind;
    // The hash of the pair this token begins, up to the next token's text.
    std::uint32_t pairHead = 0;
};

// The hash a pair begins with: "B" then the first token's text (or "^" at a
// line's start), then a space.
const std::uint32_t kPairSeed = fnv(kFnvOffset, 'B');
const std::uint32_t kLineStartPair = fnv(fnv(kPairSeed, '^'), ' ');

// The share of `part` in `whole`, in eight steps; 0 for none.
char bucket(std::size_t part, std::size_t whole)
{
    if (whole == 0 || part == 0)
        return '0';
    return static_cast<char>('1' + std::min<std::size_t>(part * 8 / whole, 7));
}

// What a `key = value` line's value looks like: typed (quoted, a number, a
// boolean, a list, a table) or bare words.
char valueKind(std::string_view v)
{
    if (v.empty())
        return '-';
    const char c = v[0];
    if (c == '"' || c == '\'')
        return 'q';
    if ((c >= '0' && c <= '9') || (c == '-' && v.size() > 1 && v[1] >= '0' && v[1] <= '9'))
        return '0';
    if (v == "true" || v == "false")
        return 'b';
    if (c == '[' || c == '{')
        return c;
    return 'w';
}

// Kinds of line, for the shape of the next one.
constexpr char kTargetLine = 't', kRecipeLine = 'r', kTextLine = 'x', kAdornmentLine = 'a';

struct Shape {
    char name[4] = {}; // empty: no shape feature
    char kind = 0;     // 0: a blank line, which keeps the previous kind
};

// The shape of a line, the trainer's line_shape(): underlines and rules,
// make targets and the tab-indented recipe lines under them, directives,
// fences, [sections] and `key = value` lines by the look of their value.
Shape lineShape(std::string_view line, char prevKind, std::size_t prevLength)
{
    Shape out;
    auto set = [&](std::string_view name, char kind) {
        name.copy(out.name, std::min<std::size_t>(name.size(), 3));
        out.kind = kind;
        return out;
    };
    std::size_t e = line.size();
    while (e > 0 && spaceByte(static_cast<unsigned char>(line[e - 1])))
        --e;
    const std::string_view body = line.substr(0, e);
    std::size_t b = 0;
    while (b < body.size() && spaceByte(static_cast<unsigned char>(body[b])))
        ++b;
    const std::string_view s = body.substr(b);
    if (s.empty())
        return out;
    const char c = s[0];
    if (s.size() >= 3 && std::string_view(kAdornment).find(c) != std::string_view::npos && s.find_first_not_of(c) == std::string_view::npos) {
        const char name[3] = {prevKind == kTextLine && s.size() >= prevLength && body[0] == c ? 'U' : 'O', c, 0};
        return set(name, kAdornmentLine);
    }
    if (body[0] == '\t' && (prevKind == kTargetLine || prevKind == kRecipeLine))
        return set("R", kRecipeLine);
    if (s.substr(0, 3) == ".. ") {
        std::size_t k = 3;
        while (k < s.size() && (wordByte(static_cast<unsigned char>(s[k])) || s[k] == '-'))
            ++k;
        if (k > 3 && s.substr(k, 2) == "::")
            return set("D", kTextLine);
    }
    if (s.substr(0, 3) == "```" || s.substr(0, 3) == "~~~")
        return set("F", kTextLine);
    if (c == '[' && s.back() == ']')
        return set(s.size() >= 4 && s.substr(0, 2) == "[[" && s.substr(s.size() - 2) == "]]" ? "[[" : "[", kTextLine);
    std::size_t k = 0;
    while (k < s.size() && (wordByte(static_cast<unsigned char>(s[k])) || s[k] == '.' || s[k] == '-'))
        ++k;
    if (k > 0) {
        std::size_t j = k;
        while (j < s.size() && (s[j] == ' ' || s[j] == '\t'))
            ++j;
        if (j < s.size() && s[j] == '=' && (j + 1 == s.size() || s[j + 1] != '=')) {
            std::size_t v = j + 1;
            while (v < s.size() && (s[v] == ' ' || s[v] == '\t'))
                ++v;
            const char name[4] = {'K', j > k ? 's' : 'n', valueKind(s.substr(v)), 0};
            return set(name, kTextLine);
        }
        if (j + 1 < s.size() && (s[j] == ':' || s[j] == '?' || s[j] == '+') && s[j + 1] == '=')
            return set("A", kTextLine);
        if (b == 0 && j < s.size() && s[j] == ':' && (j + 1 == s.size() || s[j + 1] == ' ' || s[j + 1] == '\t' || s[j + 1] == ':'))
            return set("T", kTargetLine);
    }
    out.kind = kTextLine;
    return out;
}

// Whether a line is a comment in one of the usual notations (the trainer's
// comment_line()). Of the comment block a file opens with only the first
// line's marker counts: that block is mostly a licence, which says more
// about the package a file comes from than about its language.
bool commentLine(std::string_view line)
{
    std::size_t k = 0;
    while (k < line.size() && spaceByte(static_cast<unsigned char>(line[k])))
        ++k;
    const std::string_view s = line.substr(k);
    if (s.empty())
        return false;
    const char after = s.size() > 1 ? s[1] : ' ';
    const bool endsOrBlank = after == ' ' || after == '\t' || after == '\r';
    if (s.substr(0, 2) == "//" || s.substr(0, 2) == "/*" || s[0] == ';')
        return true;
    if (s[0] == '%')
        return endsOrBlank || after == '%';
    if (s.substr(0, 2) == "--")
        return s.size() == 2 || s[2] == ' ' || s[2] == '\t' || s[2] == '\r';
    if (s[0] == '*' && k == 1 && line[0] == ' ')
        return endsOrBlank || after == '/';
    return false;
}

} // namespace

void textFeatures(std::string_view text, std::vector<TextFeature>& out)
{
    out.clear();
    text = text.substr(0, kTextModelHead);
    auto add = [&](std::uint32_t h, std::uint32_t pos, std::uint32_t len) { out.push_back({h ? h : 1, pos, len}); };
    std::size_t nonblank = 0, tabbed = 0, spaced = 0, totalLength = 0;
    std::size_t words = 0, tokenCount = 0; // outside the opening comment block
    Token tokens[2]{}; // the previous and the current token of a line
    std::size_t lineStart = 0;
    char prevKind = 0;
    bool opening = true; // still in the comment block the file opens with
    bool marked = false; // that block's marker counted (once: its length is the licence's)
    bool opened = false; // the first line past that block seen
    std::size_t prevLength = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = text.size();
        const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        const Shape shape = lineShape(line, prevKind, prevLength);
        if (shape.name[0])
            add(fnv(fnv(kFnvOffset, 'K'), std::string_view(shape.name)), static_cast<std::uint32_t>(lineStart), static_cast<std::uint32_t>(line.size()));
        if (shape.kind) {
            prevKind = shape.kind;
            std::size_t a = 0, z = line.size();
            while (a < z && spaceByte(static_cast<unsigned char>(line[a])))
                ++a;
            while (z > a && spaceByte(static_cast<unsigned char>(line[z - 1])))
                --z;
            prevLength = z - a;
        }
        const char indent = lineStart < lineEnd ? (text[lineStart] == '\t' ? 't' : text[lineStart] == ' ' ? 's' : 'n') : 'n';
        std::size_t count = 0;
        std::size_t i = lineStart;
        if (line.find_first_not_of(" \t\r\v\f") != std::string_view::npos)
            opening = opening && commentLine(line);
        const bool comment = opening;
        const bool silent = comment && marked;
        while (i < lineEnd) {
            auto c = static_cast<unsigned char>(text[i]);
            if (spaceByte(c)) {
                ++i;
                continue;
            }
            if (silent) {
                count = 1;
                break;
            }
            std::size_t j = i;
            Token t{};
            if (c >= '0' && c <= '9') {
                while (j < lineEnd && (wordByte(static_cast<unsigned char>(text[j])) || text[j] == '.'))
                    ++j;
                t = {"0", static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j - i), 'n'};
            } else if (wordByte(c)) {
                while (j < lineEnd && wordByte(static_cast<unsigned char>(text[j])))
                    ++j;
                t = {text.substr(i, std::min(j - i, kMaxWord)), static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j - i), 'w'};
            } else {
                j = i + 1;
                while (j < lineEnd && j - i < 3 && !spaceByte(static_cast<unsigned char>(text[j])) && !wordByte(static_cast<unsigned char>(text[j])))
                    ++j;
                t = {text.substr(i, j - i), static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j - i), 'p'};
            }
            i = j;
            const Token& prev = tokens[0];
            // The token, the pair it ends and the pair it begins read its
            // text together, in one pass.
            std::uint32_t own = fnv(kFnvOffset, t.kind);
            std::uint32_t pair = count ? prev.pairHead : kLineStartPair;
            std::uint32_t next = kPairSeed;
            for (unsigned char b : t.text) {
                own = (own ^ b) * kFnvPrime;
                pair = (pair ^ b) * kFnvPrime;
                next = (next ^ b) * kFnvPrime;
            }
            t.pairHead = fnv(next, ' ');
            add(own, t.pos, t.len);
            const std::uint32_t pairFrom = count ? prev.pos : t.pos;
            add(pair, pairFrom, t.pos + t.len - pairFrom);
            if (count == 0) {
                add(fnv(fnv(fnv(kFnvOffset, 'L'), indent), t.text), t.pos, t.len);
                if (!comment && !opened) {
                    // What a text opens with once past its licence: a
                    // package clause, an import, a declaration, a heading.
                    add(fnv(fnv(kFnvOffset, 'F'), t.text), t.pos, t.len);
                    opened = true;
                }
            }
            tokens[0] = t;
            ++count;
            if (comment)
                break;
            words += t.kind == 'w';
            ++tokenCount;
        }
        marked = marked || (comment && count);
        if (count) {
            ++nonblank;
            totalLength += lineEnd - lineStart;
            tabbed += indent == 't';
            spaced += indent == 's';
            if (!comment)
                add(fnv(fnv(kFnvOffset, 'E'), tokens[0].text), tokens[0].pos, tokens[0].len);
        }
        lineStart = lineEnd + 1;
    }
    std::size_t mean = nonblank ? totalLength / nonblank : 0;
    std::size_t bits = 0;
    while (mean >> bits)
        ++bits;
    add(fnv(fnv(kFnvOffset, "Stab"), bucket(tabbed, nonblank)), 0, 0);
    add(fnv(fnv(kFnvOffset, "Sspc"), bucket(spaced, nonblank)), 0, 0);
    add(fnv(fnv(kFnvOffset, "Slen"), static_cast<char>('0' + std::min<std::size_t>(bits, 12))), 0, 0);
    // Prose is mostly words, code and data much punctuation.
    add(fnv(fnv(kFnvOffset, "Swrd"), bucket(words, tokenCount)), 0, 0);
}

} // namespace gv::vonk
