// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextSniffer.h"

#include <cctype>
#include <cstdint>
#include <vector>

namespace gv::vonk {

namespace {

bool space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool nameChar(char c)
{
    auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '-' || c == '.' || c == ':' || u >= 0x80;
}

} // namespace

std::size_t doctypeEnd(std::string_view t, std::size_t from)
{
    int bracket = 0;
    char quote = 0;
    for (std::size_t j = from; j < t.size(); ++j) {
        char c = t[j];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++bracket;
        } else if (c == ']') {
            --bracket;
        } else if (c == '>' && bracket <= 0) {
            return j + 1;
        }
    }
    return std::string_view::npos;
}

XmlRoot findXmlRoot(std::string_view t)
{
    XmlRoot r;
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < t.size() && space(t[i]))
            ++i;
    };
    for (;;) {
        skipSpace();
        if (i >= t.size() || t[i] != '<')
            return r;
        if (t.compare(i, 4, "<!--") == 0) {
            auto e = t.find("-->", i + 4);
            if (e == std::string_view::npos)
                return r;
            i = e + 3;
            continue;
        }
        if (t.compare(i, 2, "<?") == 0) {
            auto e = t.find("?>", i + 2);
            if (e == std::string_view::npos)
                return r;
            i = e + 2;
            continue;
        }
        if (t.compare(i, 2, "<!") == 0) {
            i = doctypeEnd(t, i + 2);
            if (i == std::string_view::npos)
                return r;
            continue;
        }
        break;
    }
    ++i; // '<'
    std::size_t start = i;
    while (i < t.size() && nameChar(t[i]))
        ++i;
    if (i == start || (i < t.size() && !space(t[i]) && t[i] != '>' && t[i] != '/'))
        return r;
    if (!(std::isalpha(static_cast<unsigned char>(t[start])) || t[start] == '_' || static_cast<unsigned char>(t[start]) >= 0x80))
        return r;
    std::string_view qname = t.substr(start, i - start);
    std::string_view prefix;
    auto colon = qname.find(':');
    if (colon != std::string_view::npos) {
        prefix = qname.substr(0, colon);
        r.localName = std::string(qname.substr(colon + 1));
    } else {
        r.localName = std::string(qname);
    }
    std::string wanted = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    // Attributes of the root element, looking for the namespace declaration.
    for (;;) {
        skipSpace();
        if (i >= t.size() || t[i] == '>' || t[i] == '/')
            break;
        std::size_t a = i;
        while (i < t.size() && nameChar(t[i]))
            ++i;
        std::string_view attr = t.substr(a, i - a);
        if (attr.empty())
            break;
        skipSpace();
        if (i >= t.size() || t[i] != '=')
            break;
        ++i;
        skipSpace();
        if (i >= t.size() || (t[i] != '"' && t[i] != '\''))
            break;
        char q = t[i++];
        auto e = t.find(q, i);
        if (e == std::string_view::npos)
            break;
        if (attr == wanted)
            r.nameSpace = std::string(t.substr(i, e - i));
        i = e + 1;
    }
    r.found = true;
    return r;
}

bool isJson(std::string_view t, bool truncated)
{
    // An explicit stack instead of recursion: a head of 64 KiB of '[' must
    // not overflow the call stack.
    std::vector<char> stack;
    std::size_t i = 0;
    auto skip = [&] {
        while (i < t.size() && space(t[i]))
            ++i;
    };
    auto endOk = [&] { return truncated; };
    skip();
    if (i >= t.size() || (t[i] != '{' && t[i] != '['))
        return false;
    enum class Want { Value, KeyOrClose, Key, Colon, CommaOrClose, ValueOrClose };
    Want want = Want::Value;
    for (;;) {
        skip();
        if (i >= t.size())
            return stack.empty() ? false : endOk();
        char c = t[i];
        switch (want) {
        case Want::KeyOrClose:
        case Want::Key:
            if (c == '}' && want == Want::KeyOrClose) {
                ++i;
                stack.pop_back();
                want = Want::CommaOrClose;
                break;
            }
            if (c != '"')
                return false;
            [[fallthrough]];
        case Want::Value:
        case Want::ValueOrClose:
            if (want == Want::ValueOrClose && c == ']') {
                ++i;
                stack.pop_back();
                want = Want::CommaOrClose;
                break;
            }
            if (c == '{' || c == '[') {
                if (stack.size() >= 4096)
                    return false;
                stack.push_back(c);
                ++i;
                want = c == '{' ? Want::KeyOrClose : Want::ValueOrClose;
                break;
            }
            if (c == '"') {
                bool isKey = want == Want::Key || want == Want::KeyOrClose;
                ++i;
                for (;;) {
                    if (i >= t.size())
                        return endOk();
                    char d = t[i++];
                    if (d == '"')
                        break;
                    if (static_cast<unsigned char>(d) < 0x20)
                        return false;
                    if (d == '\\') {
                        if (i >= t.size())
                            return endOk();
                        char e = t[i++];
                        if (e == 'u') {
                            for (int k = 0; k < 4; ++k, ++i) {
                                if (i >= t.size())
                                    return endOk();
                                if (!std::isxdigit(static_cast<unsigned char>(t[i])))
                                    return false;
                            }
                        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                            return false;
                        }
                    }
                }
                want = isKey ? Want::Colon : Want::CommaOrClose;
                break;
            }
            if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
                std::size_t s = i;
                if (t[i] == '-')
                    ++i;
                std::size_t digits = i;
                while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
                    ++i;
                if (i == digits)
                    return i >= t.size() ? endOk() : false;
                if (t[digits] == '0' && i - digits > 1)
                    return false;
                if (i < t.size() && t[i] == '.') {
                    ++i;
                    std::size_t f = i;
                    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
                        ++i;
                    if (i == f)
                        return i >= t.size() ? endOk() : false;
                }
                if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
                    ++i;
                    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
                        ++i;
                    std::size_t f = i;
                    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
                        ++i;
                    if (i == f)
                        return i >= t.size() ? endOk() : false;
                }
                (void)s;
                want = Want::CommaOrClose;
                break;
            }
            for (std::string_view word : {"true", "false", "null"}) {
                if (t.substr(i, word.size()) == word) {
                    i += word.size();
                    want = Want::CommaOrClose;
                    goto next;
                }
                if (word.substr(0, t.size() - i) == t.substr(i) && t.size() - i < word.size())
                    return endOk();
            }
            return false;
        case Want::Colon:
            if (c != ':')
                return false;
            ++i;
            want = Want::Value;
            break;
        case Want::CommaOrClose:
            if (stack.empty()) {
                // Only white space may follow the document.
                return false;
            }
            if (c == ',') {
                ++i;
                want = stack.back() == '{' ? Want::Key : Want::Value;
            } else if ((c == '}' && stack.back() == '{') || (c == ']' && stack.back() == '[')) {
                ++i;
                stack.pop_back();
                if (stack.empty()) {
                    skip();
                    return i >= t.size();
                }
            } else {
                return false;
            }
            break;
        }
    next:
        if (stack.empty() && want == Want::CommaOrClose) {
            skip();
            return i >= t.size();
        }
    }
}

std::string shebangInterpreter(std::string_view t)
{
    if (t.substr(0, 2) != "#!")
        return {};
    auto eol = t.find('\n');
    std::string_view line = t.substr(2, eol == std::string_view::npos ? std::string_view::npos : eol - 2);
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        std::size_t s = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > s)
            words.push_back(line.substr(s, i - s));
    }
    auto base = [](std::string_view w) {
        auto slash = w.rfind('/');
        return slash == std::string_view::npos ? w : w.substr(slash + 1);
    };
    if (words.empty())
        return {};
    std::string_view cmd = base(words[0]);
    if (cmd == "env") {
        for (std::size_t k = 1; k < words.size(); ++k) {
            std::string_view w = words[k];
            if (w.starts_with("-") || w.find('=') != std::string_view::npos)
                continue; // env's options (-S, -i, ...) and VAR=value
            return std::string(base(w));
        }
        return {};
    }
    return std::string(cmd);
}

} // namespace gv::vonk
