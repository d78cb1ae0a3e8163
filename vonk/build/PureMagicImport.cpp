// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/PureMagicImport.h"

#include "vonk/base/FileAccess.h"
#include "vonk/format/DbFormat.h"

#include <algorithm>
#include <map>

namespace gv::vonk {

namespace {

// Just enough JSON for the signature list: objects, arrays, strings,
// integers, true/false/null; every value keeps its line for warnings.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    long long number = 0;
    std::string text;
    std::vector<Json> items;                          // Array
    std::vector<std::pair<std::string, Json>> fields; // Object
    int line = 0;
};

class JsonReader {
public:
    explicit JsonReader(std::string_view s) : m_s(s) {}

    bool read(Json& out, std::string& error, int& line)
    {
        bool ok = value(out, 0) && (space(), m_i == m_s.size());
        if (!ok) {
            error = m_error.empty() ? "unexpected text" : m_error;
            line = m_line;
        }
        return ok;
    }

private:
    void space()
    {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\r' || m_s[m_i] == '\n')) {
            if (m_s[m_i] == '\n')
                ++m_line;
            ++m_i;
        }
    }

    bool fail(const std::string& why)
    {
        m_error = why;
        return false;
    }

    bool string(std::string& out)
    {
        ++m_i; // the opening quote
        while (m_i < m_s.size() && m_s[m_i] != '"') {
            char c = m_s[m_i++];
            if (c == '\n' || static_cast<unsigned char>(c) < 0x20)
                return fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_s.size())
                break;
            char e = m_s[m_i++];
            switch (e) {
            case '"': case '\\': case '/': out += e; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (m_i + 4 > m_s.size())
                    return fail("bad \\u escape");
                unsigned cp = 0;
                for (int k = 0; k < 4; ++k) {
                    int d = db::HexDigitValue(m_s[m_i++]);
                    if (d < 0)
                        return fail("bad \\u escape");
                    cp = cp * 16 + static_cast<unsigned>(d);
                }
                // Descriptions only: a surrogate half is kept as '?'.
                if (cp < 0x80) {
                    out += static_cast<char>(cp);
                } else if (cp < 0x800) {
                    out += static_cast<char>(0xC0 | (cp >> 6));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                    out += '?';
                } else {
                    out += static_cast<char>(0xE0 | (cp >> 12));
                    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                }
                break;
            }
            default: return fail(std::string("bad escape \\") + e);
            }
        }
        if (m_i >= m_s.size())
            return fail("unterminated string");
        ++m_i;
        return true;
    }

    bool value(Json& out, int depth)
    {
        if (depth > 32)
            return fail("nested too deeply");
        space();
        out.line = m_line;
        if (m_i >= m_s.size())
            return fail("unexpected end");
        char c = m_s[m_i];
        if (c == '"') {
            out.kind = Json::String;
            return string(out.text);
        }
        if (c == '[' || c == '{') {
            const bool object = c == '{';
            out.kind = object ? Json::Object : Json::Array;
            ++m_i;
            space();
            if (m_i < m_s.size() && m_s[m_i] == (object ? '}' : ']')) {
                ++m_i;
                return true;
            }
            for (;;) {
                space();
                std::string key;
                if (object) {
                    if (m_i >= m_s.size() || m_s[m_i] != '"')
                        return fail("expected a key");
                    if (!string(key))
                        return false;
                    space();
                    if (m_i >= m_s.size() || m_s[m_i] != ':')
                        return fail("expected ':'");
                    ++m_i;
                }
                Json v;
                if (!value(v, depth + 1))
                    return false;
                if (object)
                    out.fields.emplace_back(std::move(key), std::move(v));
                else
                    out.items.push_back(std::move(v));
                space();
                if (m_i < m_s.size() && m_s[m_i] == ',') {
                    ++m_i;
                    continue;
                }
                if (m_i < m_s.size() && m_s[m_i] == (object ? '}' : ']')) {
                    ++m_i;
                    return true;
                }
                return fail(object ? "expected ',' or '}'" : "expected ',' or ']'");
            }
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            std::size_t start = m_i++;
            while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9')
                ++m_i;
            if (m_i < m_s.size() && (m_s[m_i] == '.' || m_s[m_i] == 'e' || m_s[m_i] == 'E'))
                return fail("only whole numbers are expected");
            std::string digits(m_s.substr(start, m_i - start));
            if (digits == "-" || digits.size() > 18)
                return fail("bad number");
            out.kind = Json::Number;
            out.number = std::stoll(digits);
            return true;
        }
        for (std::string_view word : {"true", "false", "null"}) {
            if (m_s.substr(m_i, word.size()) == word) {
                m_i += word.size();
                out.kind = word == "null" ? Json::Null : Json::Bool;
                return true;
            }
        }
        return fail("unexpected character");
    }

    std::string_view m_s;
    std::size_t m_i = 0;
    int m_line = 1;
    std::string m_error;
};

std::string lowered(std::string s)
{
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

// An id part from a description: lower-case letters and digits, the rest
// collapsed into single dashes.
std::string slug(const std::string& s)
{
    std::string out;
    for (char c : lowered(s)) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out.substr(0, 48);
}

} // namespace

void PureMagicImport::warn(int line, const std::string& reason)
{
    m_warnings.push_back(m_file + ":" + std::to_string(line) + ": " + reason);
}

bool PureMagicImport::parseFile(const std::string& path)
{
    std::string text, reason;
    if (!readWholeFile(path, 64u << 20, text, reason)) {
        m_warnings.push_back(path + ": " + reason + "; nothing imported from it");
        return false;
    }
    return parse(text, path);
}

bool PureMagicImport::parse(std::string_view json, const std::string& fileName)
{
    m_file = fileName;
    Json root;
    std::string error;
    int line = 0;
    if (!JsonReader(json).read(root, error, line)) {
        warn(line, "not valid JSON: " + error + "; nothing imported from this file");
        return false;
    }
    if (root.kind != Json::Object) {
        warn(root.line, "not a JSON object; nothing imported from this file");
        return false;
    }
    // MIME type, or "=" + description for those without one -> index.
    std::map<std::string, std::size_t> byKey;
    for (const auto& [section, list] : root.fields) {
        const bool footer = section == "footers";
        if ((section != "headers" && !footer) || list.kind != Json::Array)
            continue;
        for (const auto& e : list.items) {
            const auto& f = e.items;
            if (e.kind != Json::Array || f.size() < 5 || f[0].kind != Json::String || f[1].kind != Json::Number || f[2].kind != Json::String
                || f[3].kind != Json::String || f[4].kind != Json::String) {
                warn(e.line, "an entry is [hex, offset, extension, MIME type, description]; skipped");
                continue;
            }
            const std::string& hex = f[0].text;
            SourceRule r;
            bool ok = hex.size() % 2 == 0 && !hex.empty() && hex.size() / 2 <= db::kMaxPatternLength;
            for (std::size_t i = 0; ok && i < hex.size(); i += 2) {
                int hi = db::HexDigitValue(hex[i]), lo = db::HexDigitValue(hex[i + 1]);
                ok = hi >= 0 && lo >= 0;
                r.bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
            }
            if (!ok) {
                warn(e.line, "signature '" + hex + "' is not hex bytes; skipped");
                continue;
            }
            // A footer's offset counts back from the end of the file to
            // where the signature starts.
            long long off = f[1].number;
            if (footer && off > 0)
                off = -off;
            if (!footer && off < 0) {
                warn(e.line, "negative offset in a header signature; skipped");
                continue;
            }
            if (off > db::kMaxOffset || -off > db::kMaxOffset || (footer && static_cast<std::size_t>(-off) < r.bytes.size())) {
                warn(e.line, "offset " + std::to_string(f[1].number) + " out of range; skipped");
                continue;
            }
            r.masks.assign(r.bytes.size(), 0xFF);
            r.kind = db::NodeKind::AtPattern;
            r.off = off;
            r.line = e.line;
            r.text = "at " + std::to_string(off) + " hex";
            static const char digits[] = "0123456789ABCDEF";
            for (std::uint8_t b : r.bytes) {
                r.text += ' ';
                r.text += digits[b >> 4];
                r.text += digits[b & 15];
            }

            std::string mime = lowered(f[3].text);
            if (mime == "application/octet-stream" || mime.find('/') == std::string::npos || mime.find_first_of(" \t") != std::string::npos)
                mime.clear();
            const std::string& desc = f[4].text;
            const std::string key = mime.empty() ? "=" + slug(desc) : mime;
            if (mime.empty() && slug(desc).empty()) {
                warn(e.line, "an entry with neither a MIME type nor a description; skipped");
                continue;
            }
            auto [it, fresh] = byKey.emplace(key, m_types.size());
            if (fresh) {
                ImportedType t;
                t.mime = mime;
                t.key = mime.empty() ? slug(desc) : std::string();
                t.comment = desc;
                t.source = std::string(kSourceTag);
                t.idPrefix = std::string(kIdPrefix);
                t.file = m_file;
                t.line = e.line;
                t.priority = 50;
                t.alternatives.kind = db::NodeKind::Any;
                m_types.push_back(std::move(t));
            }
            ImportedType& t = m_types[it->second];
            std::string ext = lowered(f[2].text);
            if (!ext.empty() && ext[0] == '.')
                ext.erase(0, 1);
            if (!ext.empty() && ext.find_first_of("*?[] \t/") == std::string::npos && std::find(t.exts.begin(), t.exts.end(), ext) == t.exts.end())
                t.exts.push_back(ext);
            bool repeat = std::any_of(t.alternatives.children.begin(), t.alternatives.children.end(), [&](const SourceRule& x) { return x.text == r.text; });
            if (!repeat)
                t.alternatives.children.push_back(std::move(r));
        }
    }
    return true;
}

} // namespace gv::vonk
