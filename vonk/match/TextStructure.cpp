// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextStructure.h"

#include "vonk/match/TextCues.h"

#include <algorithm>
#include <cstring>

namespace gv::vonk {

namespace {

bool lineBreak(char c) { return c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Characters that show a line is code or prose rather than a key.
bool badKeyChar(char c)
{
    auto u = static_cast<unsigned char>(c);
    static constexpr auto kBad = byteSet("\"<>{}();");
    return u < 0x20 || u == 0x7F || kBad[u];
}

// The lines of a head, at most kMaxRecords of them; the unfinished last
// line of a head cut from a longer file is left out.
class LineReader {
public:
    LineReader(std::string_view text, bool truncated) : m_text(text), m_truncated(truncated) {}

    bool next(std::string_view& line)
    {
        if (m_pos >= m_text.size() || m_lines >= kMaxRecords)
            return false;
        std::size_t nl = m_text.find('\n', m_pos);
        if (nl == std::string_view::npos) {
            if (m_truncated)
                return false;
            nl = m_text.size();
        }
        line = m_text.substr(m_pos, nl - m_pos);
        m_pos = nl + 1;
        ++m_lines;
        return true;
    }

private:
    std::string_view m_text;
    bool m_truncated;
    std::size_t m_pos = 0;
    std::size_t m_lines = 0;
};

// More than one line in ten that fits no form, judged as the lines come
// (over ten at least), so prose is given up on within a few lines.
bool tooOdd(std::size_t odd, std::size_t significant)
{
    return odd * 10 > std::max<std::size_t>(significant, 10);
}

} // namespace

const char* lineEndingsName(LineEndings e)
{
    switch (e) {
    case LineEndings::Lf: return "LF";
    case LineEndings::CrLf: return "CRLF";
    case LineEndings::Cr: return "CR";
    case LineEndings::Mixed: return "mixed";
    case LineEndings::None: break;
    }
    return "none";
}

LineEndings lineEndingsOf(std::string_view t)
{
    // Without a CR only LF is possible: two library searches instead of a
    // walk over every byte.
    if (!std::memchr(t.data(), '\r', t.size()))
        return std::memchr(t.data(), '\n', t.size()) ? LineEndings::Lf : LineEndings::None;
    // Which kinds occur, sixteen bytes at a time: a CR followed by LF is one
    // CR LF, any other LF stands alone, and so does any other CR but one
    // that ends the sample (it may be half of a CR LF).
    bool lf = false, crlf = false, cr = false;
    using Block = std::uint8_t __attribute__((vector_size(16)));
    auto maskOf = [](Block b) {
        std::uint64_t lo, hi;
        std::memcpy(&lo, &b, 8);
        std::memcpy(&hi, reinterpret_cast<const char*>(&b) + 8, 8);
        // One bit per byte: each byte of b is 0 or 0xFF.
        lo &= 0x8080808080808080u;
        hi &= 0x8080808080808080u;
        return static_cast<std::uint32_t>(((lo * 0x0002040810204081u) >> 56) | (((hi * 0x0002040810204081u) >> 56) << 8));
    };
    const std::size_t n = t.size();
    std::size_t i = 0;
    bool carryCr = false; // the previous block ended with a CR
    for (; i + 16 <= n; i += 16) {
        Block v;
        std::memcpy(&v, t.data() + i, 16);
        const std::uint32_t lfs = maskOf(v == '\n'), crs = maskOf(v == '\r');
        const std::uint32_t lfAfterCr = (crs << 1 | (carryCr ? 1u : 0u)) & 0xFFFF;
        const std::uint32_t crBeforeLf = lfs >> 1;
        lf |= (lfs & ~lfAfterCr) != 0;
        crlf |= (lfs & lfAfterCr) != 0;
        // A CR in the last byte is judged with the next block.
        cr |= (crs & ~crBeforeLf & 0x7FFF) != 0;
        carryCr = (crs >> 15) & 1;
        if (carryCr && i + 16 < n && t[i + 16] != '\n')
            cr = true;
    }
    for (std::size_t j = i; j < n; ++j) {
        if (t[j] == '\n') {
            (j > 0 && t[j - 1] == '\r' ? crlf : lf) = true;
        } else if (t[j] == '\r' && j + 1 < n && t[j + 1] != '\n') {
            cr = true;
        }
    }
    int kinds = lf + crlf + cr;
    if (kinds == 0)
        return LineEndings::None;
    if (kinds > 1)
        return LineEndings::Mixed;
    return lf ? LineEndings::Lf : crlf ? LineEndings::CrLf : LineEndings::Cr;
}

TableShape delimitedShape(std::string_view t, char sep, bool truncated)
{
    const std::size_t n = t.size();
    const bool punctuation = sep != '\t' && sep != ' ';
    std::size_t i = 0, records = 0, expected = 0, seps = 0, spaced = 0;
    while (i < n && records < kMaxRecords) {
        if (lineBreak(t[i])) {
            ++i; // blank line
            continue;
        }
        std::size_t fields = 1, recSeps = 0, recSpaced = 0;
        bool ended = false;
        while (i < n) {
            if (t[i] == '"') {
                bool closed = false;
                for (++i; i < n; ++i) {
                    if (t[i] != '"')
                        continue;
                    if (i + 1 < n && t[i + 1] == '"') {
                        ++i;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (!closed) {
                    if (truncated)
                        break; // cut inside the field: the record is unfinished
                    return {};
                }
                if (i < n && t[i] != sep && !lineBreak(t[i]))
                    return {}; // text after a closing quote
            } else {
                while (i < n && t[i] != sep && !lineBreak(t[i]))
                    ++i;
            }
            if (i >= n)
                break;
            if (t[i] == sep) {
                ++recSeps;
                recSpaced += i + 1 < n && t[i + 1] == ' ';
                ++fields;
                ++i;
                continue;
            }
            ended = true;
            i += t[i] == '\r' && i + 1 < n && t[i + 1] == '\n' ? 2 : 1;
            break;
        }
        if (!ended && truncated)
            break;
        // Exporters often leave out empty trailing fields, so a record may
        // be shorter than the first (the header), never longer.
        if (expected == 0)
            expected = fields;
        else if (fields > expected || fields < 2)
            return {};
        ++records;
        seps += recSeps;
        spaced += recSpaced;
    }
    TableShape shape;
    shape.records = records;
    shape.fields = expected;
    shape.consistent = records >= 2 && expected >= 2 && !(punctuation && spaced * 2 > seps);
    return shape;
}

namespace {

// "key = value" or a lone key; 1 for an assignment, 0 for a lone key, -1 for
// anything else.
int keyLine(std::string_view line)
{
    std::size_t eq = line.find('=');
    std::string_view key = trimmed(line.substr(0, eq));
    if (key.empty() || key.size() > 64)
        return -1;
    std::size_t blanks = 0;
    for (char c : key) {
        if (badKeyChar(c))
            return -1;
        blanks += c == ' ' || c == '\t';
    }
    // Keys may hold a blank or two ("Display Name"); a lone key none.
    if (eq == std::string_view::npos)
        return blanks == 0 ? 0 : -1;
    return blanks <= 2 ? 1 : -1;
}

} // namespace

KeyFileShape keyFileShape(std::string_view t, bool truncated)
{
    KeyFileShape shape;
    std::size_t significant = 0, odd = 0;
    LineReader reader(t, truncated);
    std::string_view raw;
    while (!tooOdd(odd, significant) && reader.next(raw)) {
        std::string_view line = trimmed(raw);
        if (line.empty())
            continue;
        if (line.front() == ';' || line.front() == '#') {
            // Shipped configuration often lists its defaults commented out.
            std::string_view rest = line.substr(1);
            if (!rest.empty() && rest.front() != ' ' && rest.front() != '\t' && rest.find('=') != std::string_view::npos
                && keyLine(rest) == 1)
                ++shape.keys;
            continue;
        }
        ++significant;
        if (line.front() == '[') {
            std::string_view inner = line.size() >= 3 && line.back() == ']' ? line.substr(1, line.size() - 2) : std::string_view();
            if (inner.empty() || inner.find_first_of("[]=") != std::string_view::npos)
                ++odd;
            else
                ++shape.sections;
            continue;
        }
        int k = keyLine(line);
        if (k < 0)
            ++odd;
        else
            shape.keys += static_cast<std::size_t>(k);
    }
    // Real files have the odd directive (an include, a continued value):
    // one line in ten may be neither a section nor a key.
    shape.valid = shape.sections >= 1 && shape.keys >= 1 && odd * 10 <= significant;
    return shape;
}

namespace {

// The key of "key: value" or "key:", quoted or plain; empty when the line
// is not one.
std::string_view mappingKey(std::string_view line, std::string_view& value)
{
    std::size_t colon = std::string_view::npos;
    if (!line.empty() && (line.front() == '"' || line.front() == '\'')) {
        std::size_t close = line.find(line.front(), 1);
        if (close == std::string_view::npos || close + 1 >= line.size() || line[close + 1] != ':')
            return {};
        colon = close + 1;
    } else {
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == ':' && (i + 1 == line.size() || line[i + 1] == ' ')) {
                colon = i;
                break;
            }
        }
        if (colon == std::string_view::npos || colon == 0)
            return {};
        std::string_view key = line.substr(0, colon);
        if (key.size() > 64 || key.front() == '[' || key.front() == '{')
            return {};
        std::size_t blanks = 0;
        for (char c : key) {
            if (badKeyChar(c) || c == ':')
                return {}; // "root:x:0:" is a colon-separated record
            blanks += c == ' ';
        }
        if (blanks > 2)
            return {};
    }
    value = trimmed(line.substr(colon + 1));
    return line.substr(0, colon);
}

// "|", ">", "|-", ">+2"...: the value goes on in the lines below.
// A plain (unquoted) value with a further "key: " in it: YAML refuses
// that ("mapping values are not allowed here"), prose and reports of
// "name: field: value" do not.
bool nestedMapping(std::string_view value)
{
    if (value.empty() || std::string_view("\"'[{|>").find(value.front()) != std::string_view::npos)
        return false;
    value = value.substr(0, value.find(" #"));
    return value.find(": ") != std::string_view::npos;
}

bool blockScalar(std::string_view value)
{
    if (value.empty() || (value.front() != '|' && value.front() != '>'))
        return false;
    for (char c : value.substr(1)) {
        if (c != '-' && c != '+' && (c < '1' || c > '9'))
            return false;
    }
    return true;
}

} // namespace

MappingShape mappingShape(std::string_view t, bool truncated)
{
    MappingShape shape;
    std::size_t significant = 0, odd = 0;
    std::size_t blockIndent = std::string_view::npos; // inside a block scalar begun at this indent
    LineReader reader(t, truncated);
    std::string_view raw;
    while (!tooOdd(odd, significant) && reader.next(raw)) {
        std::string_view line = trimmed(raw);
        if (line.empty())
            continue;
        std::size_t indent = raw.find_first_not_of(' ');
        if (blockIndent != std::string_view::npos) {
            if (indent > blockIndent)
                continue;
            blockIndent = std::string_view::npos;
        }
        if (line.front() == '#')
            continue;
        if (indent == 0 && (line.starts_with("---") || line == "..." || line.front() == '%'))
            continue;
        ++significant;
        if (raw[indent] == '\t') {
            ++odd; // YAML indents with spaces only
            continue;
        }
        std::string_view rest = line;
        while (rest == "-" || rest.starts_with("- ")) {
            ++shape.items;
            rest = trimmed(rest.substr(1));
        }
        if (rest.empty())
            continue;
        std::string_view value;
        if (!mappingKey(rest, value).empty() && !value.ends_with(',') && !value.starts_with('(') && !nestedMapping(value)) {
            ++shape.keys;
            if (blockScalar(value))
                blockIndent = indent;
            continue;
        }
        if (rest.size() != line.size())
            continue; // a list item holding a plain value
        ++odd; // also "key: value," of an object literal in code

    }
    shape.valid = shape.keys >= 1 && shape.keys + shape.items >= 2 && odd * 10 <= significant;
    return shape;
}

} // namespace gv::vonk
