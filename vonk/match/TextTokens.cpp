// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextTokens.h"

#include <algorithm>

namespace gv::vonk {

namespace {

constexpr std::uint32_t kFnvOffset = 0x811C9DC5u;
constexpr std::uint32_t kFnvPrime = 0x01000193u;
constexpr std::size_t kMaxWord = 24;

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

bool wordByte(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool spaceByte(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

struct Token {
    std::string_view text; // what is hashed ("0" for every number)
    std::uint32_t pos;
    std::uint32_t len;
    char kind;
};

// The share of `part` in `whole`, in eight steps; 0 for none.
char bucket(std::size_t part, std::size_t whole)
{
    if (whole == 0 || part == 0)
        return '0';
    return static_cast<char>('1' + std::min<std::size_t>(part * 8 / whole, 7));
}

} // namespace

void textFeatures(std::string_view text, std::vector<TextFeature>& out)
{
    out.clear();
    text = text.substr(0, kTextModelHead);
    auto add = [&](std::uint32_t h, std::uint32_t pos, std::uint32_t len) { out.push_back({h ? h : 1, pos, len}); };
    std::size_t nonblank = 0, tabbed = 0, spaced = 0, totalLength = 0;
    Token tokens[2]; // the previous and the current token of a line
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = text.size();
        const char indent = lineStart < lineEnd ? (text[lineStart] == '\t' ? 't' : text[lineStart] == ' ' ? 's' : 'n') : 'n';
        std::size_t count = 0;
        std::size_t i = lineStart;
        while (i < lineEnd) {
            auto c = static_cast<unsigned char>(text[i]);
            if (spaceByte(c)) {
                ++i;
                continue;
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
            add(fnv(fnv(kFnvOffset, t.kind), t.text), t.pos, t.len);
            std::uint32_t pairFrom = count ? prev.pos : t.pos;
            std::uint32_t pair = fnv(kFnvOffset, 'B');
            pair = count ? fnv(pair, prev.text) : fnv(pair, '^');
            add(fnv(fnv(pair, ' '), t.text), pairFrom, t.pos + t.len - pairFrom);
            if (count == 0)
                add(fnv(fnv(fnv(kFnvOffset, 'L'), indent), t.text), t.pos, t.len);
            tokens[0] = t;
            ++count;
        }
        if (count) {
            ++nonblank;
            totalLength += lineEnd - lineStart;
            tabbed += indent == 't';
            spaced += indent == 's';
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
}

} // namespace gv::vonk
