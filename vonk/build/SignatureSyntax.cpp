// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/SignatureSyntax.h"

#include "vonk/format/DbFormat.h"
#include "vonk/format/SequenceProgram.h"

#include <algorithm>
#include <cctype>

namespace gv::vonk {

SigToken SigToken::gap(std::uint32_t min, std::uint32_t max)
{
    SigToken t;
    t.kind = Gap;
    t.min = min;
    t.max = max;
    return t;
}

namespace {

// Gaps wider than any file the matcher looks into are as good as unbounded.
constexpr std::uint32_t kMaxGap = 1u << 30;

void addToSet(std::array<std::uint8_t, 32>& set, unsigned from, unsigned to)
{
    for (unsigned v = from; v <= to; ++v)
        set[v >> 3] = static_cast<std::uint8_t>(set[v >> 3] | (1u << (v & 7)));
}

class SignatureParser {
public:
    explicit SignatureParser(std::string_view text) : m_text(text) {}

    bool run(SigPattern& out, std::string& error)
    {
        while (skipSpace()) {
            if (!element(out, false))
                break;
        }
        if (!m_error.empty()) {
            error = m_error;
            return false;
        }
        if (std::none_of(out.begin(), out.end(), [](const SigToken& t) { return t.kind != SigToken::Gap; })) {
            error = "the signature matches no byte";
            return false;
        }
        return true;
    }

private:
    bool fail(const std::string& why)
    {
        if (m_error.empty())
            m_error = why + " at column " + std::to_string(m_pos + 1);
        return false;
    }

    bool skipSpace()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        return m_pos < m_text.size();
    }

    char peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }

    bool hexByte(std::uint8_t& v)
    {
        if (m_pos + 2 > m_text.size())
            return fail("a hex byte needs two digits");
        int hi = db::HexDigitValue(m_text[m_pos]), lo = db::HexDigitValue(m_text[m_pos + 1]);
        if (hi < 0 || lo < 0)
            return fail("a hex byte needs two digits");
        v = static_cast<std::uint8_t>(hi * 16 + lo);
        m_pos += 2;
        return true;
    }

    bool number(std::uint32_t& v)
    {
        std::size_t start = m_pos;
        std::uint64_t n = 0;
        while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) {
            n = n * 10 + static_cast<unsigned>(m_text[m_pos] - '0');
            if (n > kMaxGap)
                return fail("gap too wide");
            ++m_pos;
        }
        if (m_pos == start)
            return fail("a gap needs a number");
        v = static_cast<std::uint32_t>(n);
        return true;
    }

    // 'text': the bytes of a Latin-1 string (UTF-8 in the file).
    bool quoted(std::vector<std::uint8_t>& bytes)
    {
        ++m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != '\'') {
            auto c = static_cast<unsigned char>(m_text[m_pos]);
            if (c >= 0xC2 && c <= 0xC3 && m_pos + 1 < m_text.size()) {
                bytes.push_back(static_cast<std::uint8_t>(((c & 0x1F) << 6) | (m_text[m_pos + 1] & 0x3F)));
                m_pos += 2;
                continue;
            }
            if (c >= 0x80)
                return fail("a string may hold Latin-1 characters only");
            bytes.push_back(c);
            ++m_pos;
        }
        if (m_pos >= m_text.size())
            return fail("unclosed string");
        ++m_pos;
        if (bytes.empty())
            return fail("empty string");
        return true;
    }

    // One value inside [...]: a byte, a quoted string, a range or a mask.
    bool setItem(std::array<std::uint8_t, 32>& set)
    {
        if (peek() == '&') {
            ++m_pos;
            std::uint8_t mask = 0;
            if (!hexByte(mask))
                return false;
            for (unsigned v = 0; v < 256; ++v) {
                if ((v & mask) == mask)
                    addToSet(set, v, v);
            }
            return true;
        }
        std::vector<std::uint8_t> first;
        if (peek() == '\'') {
            if (!quoted(first))
                return false;
        } else {
            std::uint8_t b = 0;
            if (!hexByte(b))
                return false;
            first.push_back(b);
        }
        if (peek() == ':' || peek() == '-') {
            ++m_pos;
            if (first.size() != 1)
                return fail("a range starts with one byte");
            std::vector<std::uint8_t> last;
            if (peek() == '\'') {
                if (!quoted(last))
                    return false;
            } else {
                std::uint8_t b = 0;
                if (!hexByte(b))
                    return false;
                last.push_back(b);
            }
            if (last.size() != 1)
                return fail("a range ends with one byte");
            addToSet(set, std::min(first[0], last[0]), std::max(first[0], last[0]));
            return true;
        }
        for (std::uint8_t b : first)
            addToSet(set, b, b);
        return true;
    }

    bool bracket(SigToken& t)
    {
        ++m_pos;
        bool invert = false;
        if (peek() == '!') {
            invert = true;
            ++m_pos;
        }
        t.kind = SigToken::Set;
        t.set.fill(0);
        int items = 0;
        while (skipSpace() && peek() != ']') {
            if (!setItem(t.set))
                return false;
            ++items;
        }
        if (peek() != ']')
            return fail("unclosed '['");
        ++m_pos;
        if (items == 0)
            return fail("empty byte set");
        if (invert) {
            for (auto& b : t.set)
                b = static_cast<std::uint8_t>(~b);
        }
        int members = 0, member = 0;
        for (int v = 0; v < 256; ++v) {
            if ((t.set[v >> 3] >> (v & 7)) & 1) {
                ++members;
                member = v;
            }
        }
        if (members == 0)
            return fail("the byte set matches no byte");
        if (members == 1) {
            t.kind = SigToken::Byte;
            t.byte = static_cast<std::uint8_t>(member);
        }
        return true;
    }

    bool brace(SigPattern& out)
    {
        ++m_pos;
        std::uint32_t min = 0, max = 0;
        if (!number(min))
            return false;
        max = min;
        if (peek() == '-') {
            ++m_pos;
            if (peek() == '*') {
                ++m_pos;
                max = seq::kUnbounded;
            } else if (!number(max)) {
                return false;
            } else if (max < min) {
                return fail("gap {" + std::to_string(min) + "-" + std::to_string(max) + "} ends before it starts");
            }
        }
        if (peek() != '}')
            return fail("unclosed '{'");
        ++m_pos;
        out.push_back(SigToken::gap(min, max));
        return true;
    }

    bool paren(SigPattern& out)
    {
        ++m_pos;
        SigToken t;
        t.kind = SigToken::Alt;
        t.alternatives.emplace_back();
        for (;;) {
            if (!skipSpace())
                return fail("unclosed '('");
            char c = peek();
            if (c == ')' || c == '|') {
                if (t.alternatives.back().empty())
                    return fail("empty alternative");
                ++m_pos;
                if (c == ')')
                    break;
                t.alternatives.emplace_back();
                continue;
            }
            if (c == '(')
                return fail("alternatives cannot nest");
            if (!element(t.alternatives.back(), true))
                return false;
        }
        if (t.alternatives.size() > 255)
            return fail("too many alternatives");
        if (t.alternatives.size() == 1)
            out.insert(out.end(), t.alternatives[0].begin(), t.alternatives[0].end());
        else
            out.push_back(std::move(t));
        return true;
    }

    // One element; inside alternatives only fixed-width ones.
    bool element(SigPattern& out, bool inAlternative)
    {
        char c = peek();
        if (c == '\'') {
            std::vector<std::uint8_t> bytes;
            if (!quoted(bytes))
                return false;
            for (std::uint8_t b : bytes) {
                SigToken t;
                t.byte = b;
                out.push_back(t);
            }
            return true;
        }
        if (c == '[') {
            SigToken t;
            if (!bracket(t))
                return false;
            out.push_back(t);
            return true;
        }
        if (c == '?') {
            if (m_pos + 1 >= m_text.size() || m_text[m_pos + 1] != '?')
                return fail("a wildcard is two question marks");
            m_pos += 2;
            if (inAlternative) {
                SigToken t;
                t.kind = SigToken::Set;
                t.set.fill(0xFF);
                out.push_back(t);
            } else {
                out.push_back(SigToken::gap(1, 1));
            }
            return true;
        }
        if (c == '{' || c == '*') {
            if (inAlternative)
                return fail("gaps are not allowed inside alternatives");
            if (c == '*') {
                ++m_pos;
                out.push_back(SigToken::gap(0, seq::kUnbounded));
                return true;
            }
            return brace(out);
        }
        if (c == '(') {
            if (inAlternative)
                return fail("alternatives cannot nest");
            return paren(out);
        }
        if (db::HexDigitValue(c) >= 0) {
            SigToken t;
            if (!hexByte(t.byte))
                return false;
            out.push_back(t);
            return true;
        }
        return fail(std::string("unexpected '") + c + "'");
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::string m_error;
};

void reverseInPlace(SigPattern& p)
{
    std::reverse(p.begin(), p.end());
    for (auto& t : p) {
        for (auto& a : t.alternatives)
            std::reverse(a.begin(), a.end());
    }
}

// Appends fixed bytes and sets; false when a body grows beyond limits.
void encodeMatchers(const SigPattern& p, std::size_t& i, std::vector<std::uint8_t>& out)
{
    if (p[i].kind == SigToken::Set) {
        out.push_back(seq::Set);
        out.insert(out.end(), p[i].set.begin(), p[i].set.end());
        ++i;
        return;
    }
    std::size_t j = i;
    while (j < p.size() && p[j].kind == SigToken::Byte && j - i < 255)
        ++j;
    out.push_back(seq::Lit);
    out.push_back(static_cast<std::uint8_t>(j - i));
    for (; i < j; ++i)
        out.push_back(p[i].byte);
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

} // namespace

bool parseSignature(std::string_view text, SigPattern& out, std::string& error)
{
    out.clear();
    return SignatureParser(text).run(out, error);
}

SigPattern reversedPattern(const SigPattern& p)
{
    SigPattern r = p;
    reverseInPlace(r);
    return r;
}

std::vector<std::uint8_t> compileSignature(const SigPattern& p, std::string& error)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < p.size();) {
        const SigToken& t = p[i];
        if (t.kind == SigToken::Gap) {
            // Adjacent gaps are one gap.
            std::uint64_t min = 0, max = 0;
            for (; i < p.size() && p[i].kind == SigToken::Gap; ++i) {
                min += p[i].min;
                max = (max == seq::kUnbounded || p[i].max == seq::kUnbounded) ? seq::kUnbounded : max + p[i].max;
            }
            min = std::min<std::uint64_t>(min, kMaxGap);
            if (max != seq::kUnbounded)
                max = std::min<std::uint64_t>(max, kMaxGap);
            out.push_back(seq::Gap);
            putU32(out, static_cast<std::uint32_t>(min));
            putU32(out, static_cast<std::uint32_t>(max));
            continue;
        }
        if (t.kind == SigToken::Alt) {
            out.push_back(seq::Alt);
            out.push_back(static_cast<std::uint8_t>(t.alternatives.size()));
            for (const auto& a : t.alternatives) {
                std::vector<std::uint8_t> body;
                for (std::size_t k = 0; k < a.size();)
                    encodeMatchers(a, k, body);
                if (body.size() > 0xFFFF) {
                    error = "an alternative is too long";
                    return {};
                }
                out.push_back(static_cast<std::uint8_t>(body.size()));
                out.push_back(static_cast<std::uint8_t>(body.size() >> 8));
                out.insert(out.end(), body.begin(), body.end());
            }
            ++i;
            continue;
        }
        encodeMatchers(p, i, out);
    }
    std::vector<seq::Step> steps;
    if (!seq::decode(out, steps)) {
        error = out.size() > seq::kMaxProgram || steps.size() >= seq::kMaxSteps ? "the signature is too long" : "the signature matches no byte";
        return {};
    }
    return out;
}

} // namespace gv::vonk
