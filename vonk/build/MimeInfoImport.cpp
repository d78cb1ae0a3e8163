// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/MimeInfoImport.h"

#include "vonk/base/FileAccess.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/build/ImportMerge.h"
#include "vonk/format/Ranking.h"
#include "vonk/match/TextSniffer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

namespace gv::vonk {

// A parsed XML element. The package files are small (a few MiB at most), so
// reading each into a tree keeps the interpretation simple.
struct MimeInfoImport::Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::vector<Element> children;
    std::string text;
    int line = 0;

    const std::string* attr(std::string_view key) const
    {
        for (const auto& a : attrs)
            if (a.first == key)
                return &a.second;
        return nullptr;
    }
};

namespace {

constexpr std::size_t kMaxXmlDepth = 64;
constexpr int kMaxMatchDepth = 12; // each level costs two blocks of the 32 allowed

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':' || c == '.'
        || static_cast<unsigned char>(c) >= 0x80;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A small, strict XML reader: elements, attributes, character data, the five
// predefined entities and character references, comments, processing
// instructions, CDATA and a DOCTYPE (skipped, internal subset included).
// Anything else is an error with its line.
class XmlReader {
public:
    XmlReader(std::string_view text) : m_s(text) {}

    bool read(MimeInfoImport::Element& root, std::string& error, int& errorLine)
    {
        std::vector<MimeInfoImport::Element> stack;
        bool haveRoot = false;
        while (m_i < m_s.size()) {
            if (m_s[m_i] != '<') {
                std::size_t start = m_i;
                while (m_i < m_s.size() && m_s[m_i] != '<')
                    step();
                std::string_view raw = m_s.substr(start, m_i - start);
                if (stack.empty()) {
                    if (!std::all_of(raw.begin(), raw.end(), isSpace))
                        return fail("text outside the root element", error, errorLine);
                    continue;
                }
                if (!decode(raw, stack.back().text))
                    return fail(m_error, error, errorLine);
                continue;
            }
            const int startLine = m_line;
            if (starts("<!--")) {
                if (!skipPast("-->"))
                    return fail("unterminated comment", error, errorLine, startLine);
            } else if (starts("<![CDATA[")) {
                if (stack.empty())
                    return fail("CDATA outside the root element", error, errorLine);
                std::size_t start = m_i + 9;
                if (!skipPast("]]>"))
                    return fail("unterminated CDATA section", error, errorLine, startLine);
                stack.back().text += m_s.substr(start, m_i - 3 - start);
            } else if (starts("<?")) {
                if (!skipPast("?>"))
                    return fail("unterminated processing instruction", error, errorLine, startLine);
            } else if (starts("<!DOCTYPE")) {
                if (haveRoot || !stack.empty())
                    return fail("DOCTYPE after the root element", error, errorLine);
                if (!skipDoctype())
                    return fail("unterminated DOCTYPE", error, errorLine, startLine);
            } else if (starts("</")) {
                m_i += 2;
                std::string name = readName();
                skipSpace();
                if (m_i >= m_s.size() || m_s[m_i] != '>')
                    return fail("bad end tag", error, errorLine);
                step();
                if (stack.empty() || stack.back().name != name)
                    return fail("unexpected </" + name + ">" + (stack.empty() ? "" : " (expected </" + stack.back().name + ">)"), error, errorLine);
                MimeInfoImport::Element done = std::move(stack.back());
                stack.pop_back();
                if (stack.empty()) {
                    root = std::move(done);
                    haveRoot = true;
                } else {
                    stack.back().children.push_back(std::move(done));
                }
            } else {
                if (haveRoot)
                    return fail("a second root element", error, errorLine);
                MimeInfoImport::Element e;
                e.line = m_line;
                step();
                e.name = readName();
                if (e.name.empty())
                    return fail("bad tag", error, errorLine);
                bool selfClosing = false;
                for (;;) {
                    bool spaced = skipSpace();
                    if (m_i >= m_s.size())
                        return fail("unterminated tag <" + e.name + ">", error, errorLine);
                    if (m_s[m_i] == '>') {
                        step();
                        break;
                    }
                    if (starts("/>")) {
                        m_i += 2;
                        selfClosing = true;
                        break;
                    }
                    if (!spaced)
                        return fail("bad attribute in <" + e.name + ">", error, errorLine);
                    std::string key = readName();
                    skipSpace();
                    if (key.empty() || m_i >= m_s.size() || m_s[m_i] != '=')
                        return fail("bad attribute in <" + e.name + ">", error, errorLine);
                    step();
                    skipSpace();
                    if (m_i >= m_s.size() || (m_s[m_i] != '"' && m_s[m_i] != '\''))
                        return fail("attribute " + key + " has no quoted value", error, errorLine);
                    char q = m_s[m_i];
                    step();
                    std::size_t start = m_i;
                    while (m_i < m_s.size() && m_s[m_i] != q && m_s[m_i] != '<')
                        step();
                    if (m_i >= m_s.size() || m_s[m_i] != q)
                        return fail("unterminated value of attribute " + key, error, errorLine);
                    std::string value;
                    if (!decode(m_s.substr(start, m_i - start), value))
                        return fail(m_error, error, errorLine);
                    step();
                    if (e.attr(key))
                        return fail("attribute " + key + " given twice", error, errorLine);
                    e.attrs.emplace_back(std::move(key), std::move(value));
                }
                if (selfClosing) {
                    if (stack.empty()) {
                        root = std::move(e);
                        haveRoot = true;
                    } else {
                        stack.back().children.push_back(std::move(e));
                    }
                } else {
                    if (stack.size() >= kMaxXmlDepth)
                        return fail("elements nested too deeply", error, errorLine);
                    stack.push_back(std::move(e));
                }
            }
        }
        if (!stack.empty())
            return fail("<" + stack.back().name + "> (line " + std::to_string(stack.back().line) + ") is never closed", error, errorLine);
        if (!haveRoot)
            return fail("no root element", error, errorLine);
        return true;
    }

private:
    // Reports at the current line, or where an unterminated construct began.
    bool fail(const std::string& reason, std::string& error, int& errorLine, int line = 0)
    {
        error = reason;
        errorLine = line ? line : m_line;
        return false;
    }

    void step()
    {
        if (m_s[m_i] == '\n')
            ++m_line;
        ++m_i;
    }

    bool starts(std::string_view p) const { return m_s.substr(m_i, p.size()) == p; }

    bool skipPast(std::string_view end)
    {
        while (m_i < m_s.size()) {
            if (starts(end)) {
                m_i += end.size();
                return true;
            }
            step();
        }
        return false;
    }

    bool skipSpace()
    {
        bool any = false;
        while (m_i < m_s.size() && isSpace(m_s[m_i])) {
            step();
            any = true;
        }
        return any;
    }

    bool skipDoctype()
    {
        std::size_t end = doctypeEnd(m_s, m_i);
        std::size_t stop = end == std::string_view::npos ? m_s.size() : end;
        while (m_i < stop)
            step(); // counts the lines it passes
        return end != std::string_view::npos;
    }

    std::string readName()
    {
        std::size_t start = m_i;
        while (m_i < m_s.size() && isNameChar(m_s[m_i]))
            ++m_i;
        return std::string(m_s.substr(start, m_i - start));
    }

    bool decode(std::string_view raw, std::string& out)
    {
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                out += raw[i];
                continue;
            }
            auto semi = raw.find(';', i);
            if (semi == std::string_view::npos || semi - i > 12) {
                m_error = "bad '&' (not an entity)";
                return false;
            }
            std::string_view ent = raw.substr(i + 1, semi - i - 1);
            if (ent == "lt")
                out += '<';
            else if (ent == "gt")
                out += '>';
            else if (ent == "amp")
                out += '&';
            else if (ent == "quot")
                out += '"';
            else if (ent == "apos")
                out += '\'';
            else if (ent.size() >= 2 && ent[0] == '#') {
                bool hex = ent[1] == 'x' || ent[1] == 'X';
                std::string digits(ent.substr(hex ? 2 : 1));
                char* end = nullptr;
                errno = 0;
                unsigned long cp = digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
                if (digits.empty() || errno || *end || cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                    m_error = "bad character reference &" + std::string(ent) + ";";
                    return false;
                }
                appendUtf8(out, static_cast<std::uint32_t>(cp));
            } else {
                m_error = "unknown entity &" + std::string(ent) + ";";
                return false;
            }
            i = semi;
        }
        return true;
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

// The MIME type without parameters: Tika lists variants of one type
// ("application/onenote;format=one"), which are that type.
std::string mediaType(const std::string& s)
{
    std::string m = lowered(s.substr(0, s.find(';')));
    m.erase(m.find_last_not_of(" \t") + 1);
    return m;
}

// Numbers in the rules are C-style: decimal, 0x hex or 0-prefixed octal.
bool parseNumber(const std::string& s, std::uint64_t& out)
{
    if (s.empty() || s[0] == '-' || s[0] == '+' || isSpace(s[0]))
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(s.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

int hexDigit(char c) { return db::HexDigitValue(c); }

// String values use C escapes: \n \t \r \\ \xHH and octal \NNN; any other
// escaped character stands for itself.
std::vector<std::uint8_t> unescape(const std::string& s)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c != '\\' || i + 1 == s.size()) {
            out.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        char e = s[++i];
        switch (e) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'a': out.push_back('\a'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'v': out.push_back('\v'); break;
        case 'x': {
            int v = 0, n = 0;
            while (n < 2 && i + 1 < s.size() && hexDigit(s[i + 1]) >= 0) {
                v = v * 16 + hexDigit(s[++i]);
                ++n;
            }
            out.push_back(n ? static_cast<std::uint8_t>(v) : static_cast<std::uint8_t>('x'));
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                int v = e - '0', n = 1;
                while (n < 3 && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7') {
                    v = v * 8 + (s[++i] - '0');
                    ++n;
                }
                out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            } else {
                out.push_back(static_cast<std::uint8_t>(e));
            }
        }
    }
    return out;
}

std::string hexText(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& masks)
{
    static const char* digits = "0123456789ABCDEF";
    std::string t;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            t += ' ';
        if (masks[i] == 0) {
            t += "??";
            continue;
        }
        t += digits[bytes[i] >> 4];
        t += digits[bytes[i] & 15];
        if (masks[i] != 0xFF) {
            t += '&';
            t += digits[masks[i] >> 4];
            t += digits[masks[i] & 15];
        }
    }
    return t;
}

std::string hexNumber(std::uint64_t v)
{
    std::ostringstream o;
    o << "0x" << std::hex << v;
    return o.str();
}

SourceRule block(db::NodeKind kind, std::vector<SourceRule> children)
{
    SourceRule r;
    r.kind = kind;
    r.children = std::move(children);
    return r;
}

} // namespace

void MimeInfoImport::warn(int line, const std::string& reason)
{
    m_warnings.push_back(m_file + ":" + std::to_string(line) + ": " + reason);
}

bool MimeInfoImport::parseFile(const std::string& path)
{
    // The system's type lists are a few megabytes; the limit only stops a
    // device or a runaway file from filling the memory.
    std::string text, reason;
    if (!readWholeFile(path, 256u << 20, text, reason)) {
        m_warnings.push_back(path + ": " + reason + "; nothing imported from it");
        return false;
    }
    return parse(text, path);
}

std::size_t MimeInfoImport::parseFolder(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".xml")
            files.push_back(it->path());
    if (ec) {
        m_warnings.push_back(folder + ": cannot read the folder (" + ec.message() + "); nothing imported");
        return 0;
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files)
        parseFile(f.string());
    return files.size();
}

bool MimeInfoImport::parse(std::string_view xml, const std::string& fileName)
{
    m_file = fileName;
    Element root;
    std::string error;
    int line = 0;
    XmlReader reader(xml);
    if (!reader.read(root, error, line)) {
        warn(line, "not well-formed XML: " + error + "; nothing imported from this file");
        return false;
    }
    if (root.name != "mime-info") {
        warn(root.line, "root element is <" + root.name + ">, not <mime-info>; nothing imported from this file");
        return false;
    }
    for (const auto& e : root.children)
        if (e.name == "mime-type")
            importType(e);
    return true;
}

void MimeInfoImport::importType(const Element& e)
{
    const std::string* mime = e.attr("type");
    std::string trimmed;
    if (mime && m_dialect == Dialect::Tika) {
        // Tika's list has a stray blank or two after a type.
        trimmed = *mime;
        trimmed.erase(trimmed.find_last_not_of(" \t") + 1);
        mime = &trimmed;
    }
    if (!mime || mime->find('/') == std::string::npos || mime->find_first_of(" \t") != std::string::npos) {
        warn(e.line, "<mime-type> without a valid type; skipped");
        return;
    }
    const bool tika = m_dialect == Dialect::Tika;
    Type t;
    t.mime = mediaType(*mime);
    t.source = std::string(tika ? kTikaSourceTag : kSourceTag);
    t.idPrefix = std::string(tika ? kTikaIdPrefix : kIdPrefix);
    t.file = m_file;
    t.line = e.line;
    for (const auto& c : e.children) {
        if ((c.name == "comment" || (tika && c.name == "_comment")) && !c.attr("xml:lang")) {
            if (t.comment.empty() || c.name == "comment")
                t.comment = c.text;
        } else if (c.name == "alias" || c.name == "sub-class-of") {
            const std::string* ty = c.attr("type");
            if (!ty || ty->find('/') == std::string::npos || ty->find_first_of(" \t") != std::string::npos)
                continue;
            std::string name = mediaType(*ty);
            auto& list = c.name == "alias" ? t.aliases : t.subClassOf;
            // A variant written with parameters is the same MIME type.
            if (name != t.mime && std::find(list.begin(), list.end(), name) == list.end())
                list.push_back(std::move(name));
        } else if (c.name == "glob") {
            // Only plain "*.ext" globs are extensions; names like "Makefile"
            // or "*.[ch]" describe no extension we could list.
            const std::string* p = c.attr("pattern");
            if (!p || p->size() < 3 || p->compare(0, 2, "*.") != 0)
                continue;
            std::string ext = lowered(p->substr(2));
            if (ext.find_first_of("*?[] \t/") != std::string::npos)
                continue;
            if (std::find(t.exts.begin(), t.exts.end(), ext) == t.exts.end())
                t.exts.push_back(ext);
        } else if (c.name == "generic-icon") {
            if (const std::string* n = c.attr("name"))
                t.icon = *n;
        } else if (c.name == "magic") {
            int priority = 50;
            if (const std::string* p = c.attr("priority")) {
                std::uint64_t v = 0;
                if (!parseNumber(*p, v) || v > 100) {
                    warn(c.line, "bad magic priority '" + *p + "'; magic skipped");
                    continue;
                }
                priority = static_cast<int>(v);
            }
            bool any = false;
            for (const auto& m : c.children) {
                if (m.name != "match")
                    continue;
                SourceRule r;
                if (convertMatch(m, 0, r)) {
                    t.alternatives.children.push_back(std::move(r));
                    any = true;
                }
            }
            if (any)
                t.priority = std::max(t.priority, priority);
        } else if (c.name == "root-XML") {
            const std::string* ns = c.attr("namespaceURI");
            const std::string* local = c.attr("localName");
            // Tika names a namespace alone for any root element in it.
            const std::string anyRoot = "*";
            if (tika && !local && ns && !ns->empty())
                local = &anyRoot;
            if (!local || local->empty() || local->size() > db::kMaxPatternLength || (ns && ns->size() > db::kMaxPatternLength)) {
                warn(c.line, "<root-XML> without a localName; skipped");
                continue;
            }
            SourceRule r;
            r.kind = db::NodeKind::XmlRoot;
            r.first = *local;
            r.second = ns ? *ns : std::string();
            r.text = "xml-root \"" + r.first + "\"" + (r.second.empty() ? "" : " \"" + r.second + "\"");
            r.line = c.line;
            t.alternatives.children.push_back(std::move(r));
            t.priority = std::max(t.priority, 50);
        }
    }
    t.alternatives.kind = db::NodeKind::Any;
    m_types.push_back(std::move(t));
}

// One <match>: its own test AND (when it has nested matches) at least one of
// them. A match that cannot be expressed is dropped with its subtree, which
// only ever makes the type match less often.
bool MimeInfoImport::convertMatch(const Element& m, int depth, SourceRule& out)
{
    if (depth >= kMaxMatchDepth) {
        warn(m.line, "matches nested too deeply; skipped");
        return false;
    }
    const bool tika = m_dialect == Dialect::Tika;
    // Tika's defaults: a string at offset 0.
    static const std::string kString = "string", kZero = "0";
    const std::string* type = m.attr("type");
    const std::string* offset = m.attr("offset");
    const std::string* value = m.attr("value");
    const std::string* mask = m.attr("mask");
    if (tika && !value && m.attr("minShouldMatch")) {
        // Only a count over its nested matches, with no test of its own.
        std::uint64_t least = 0;
        const std::string& n = *m.attr("minShouldMatch");
        if (!parseNumber(n, least) || least == 0 || least > db::kMaxSome) {
            warn(m.line, "bad minShouldMatch '" + n + "'; skipped");
            return false;
        }
        std::vector<SourceRule> nested;
        for (const auto& c : m.children) {
            SourceRule r;
            if (c.name == "match" && convertMatch(c, depth + 1, r))
                nested.push_back(std::move(r));
        }
        if (least > nested.size())
            return false;
        out = block(db::NodeKind::Some, std::move(nested));
        out.value = least;
        out.text = "some " + std::to_string(least);
        out.line = m.line;
        return true;
    }
    if (tika && !type)
        type = &kString;
    if (tika && !offset)
        offset = &kZero;
    if (!type || !offset || !value) {
        warn(m.line, "<match> needs type, offset and value; skipped");
        return false;
    }
    std::uint64_t from = 0, to = 0;
    auto colon = offset->find(':');
    if (!parseNumber(offset->substr(0, colon), from) || (colon != std::string::npos && !parseNumber(offset->substr(colon + 1), to))) {
        warn(m.line, "bad offset '" + *offset + "'; skipped");
        return false;
    }
    if (colon == std::string::npos)
        to = from;
    if (to < from || from > static_cast<std::uint64_t>(db::kMaxOffset) || to > static_cast<std::uint64_t>(db::kMaxOffset)) {
        warn(m.line, "offset '" + *offset + "' out of range; skipped");
        return false;
    }
    // Wider ranges than the matcher scans are narrowed: the rule then
    // holds less often, never more.
    if (static_cast<std::int64_t>(to - from) > db::kMaxWithinSpan)
        to = from + static_cast<std::uint64_t>(db::kMaxWithinSpan);

    int width = 0;
    bool bigEndian = false, host = false;
    const std::string& ty = *type;
    if (ty == "byte")
        width = 1;
    else if (ty == "big16" || ty == "little16" || ty == "host16")
        width = 2;
    else if (ty == "big32" || ty == "little32" || ty == "host32")
        width = 4;
    else if (ty != "string" && !(tika && (ty == "stringignorecase" || ty == "unicodeLE"))) {
        warn(m.line, "match type '" + ty + "' is not supported; skipped");
        return false;
    }
    bigEndian = ty.rfind("big", 0) == 0;
    host = ty.rfind("host", 0) == 0;

    // Every test becomes one or two (host order: either) alternatives.
    std::vector<SourceRule> tests;
    if (width == 0) {
        SourceRule r;
        if (tika && value->size() > 2 && (*value)[0] == '0' && ((*value)[1] == 'x' || (*value)[1] == 'X')) {
            // Tika reads a string value written 0x... as hex bytes.
            const std::string h = value->substr(2);
            if (h.size() % 2 || !std::all_of(h.begin(), h.end(), [](char c) { return hexDigit(c) >= 0; })) {
                warn(m.line, "hex value '" + *value + "' is not whole bytes; skipped");
                return false;
            }
            for (std::size_t i = 0; i < h.size(); i += 2)
                r.bytes.push_back(static_cast<std::uint8_t>(hexDigit(h[i]) * 16 + hexDigit(h[i + 1])));
        } else {
            r.bytes = unescape(*value);
        }
        if (ty == "unicodeLE") {
            std::vector<std::uint8_t> wide;
            for (std::uint8_t b : r.bytes)
                wide.insert(wide.end(), {b, 0});
            r.bytes = std::move(wide);
        }
        if (r.bytes.empty() || r.bytes.size() > db::kMaxPatternLength) {
            warn(m.line, "string value empty or too long; skipped");
            return false;
        }
        r.masks.assign(r.bytes.size(), 0xFF);
        if (mask) {
            // A hex mask, one byte per byte of the value.
            std::string h = mask->substr(0, 2) == "0x" || mask->substr(0, 2) == "0X" ? mask->substr(2) : std::string();
            if (h.size() != r.bytes.size() * 2 || !std::all_of(h.begin(), h.end(), [](char c) { return hexDigit(c) >= 0; })) {
                warn(m.line, "mask '" + *mask + "' does not fit the value; skipped");
                return false;
            }
            for (std::size_t i = 0; i < r.bytes.size(); ++i) {
                r.masks[i] = static_cast<std::uint8_t>(hexDigit(h[2 * i]) * 16 + hexDigit(h[2 * i + 1]));
                r.bytes[i] &= r.masks[i];
            }
        }
        if (ty == "stringignorecase")
            for (std::size_t i = 0; i < r.bytes.size(); ++i)
                if (std::isalpha(r.bytes[i])) {
                    r.bytes[i] &= 0xDF;
                    r.masks[i] &= 0xDF;
                }
        if (std::all_of(r.masks.begin(), r.masks.end(), [](std::uint8_t x) { return x == 0; })) {
            warn(m.line, "mask leaves nothing to compare; skipped");
            return false;
        }
        tests.push_back(std::move(r));
    } else {
        std::uint64_t v = 0, mk = width == 1 ? 0xFF : width == 2 ? 0xFFFF : 0xFFFFFFFF;
        const std::uint64_t full = mk;
        if (!parseNumber(*value, v) || v > full) {
            warn(m.line, "value '" + *value + "' is not a " + std::to_string(width * 8) + "-bit number; skipped");
            return false;
        }
        if (mask && (!parseNumber(*mask, mk) || mk > full || mk == 0)) {
            warn(m.line, "bad mask '" + *mask + "'; skipped");
            return false;
        }
        v &= mk;
        for (int order = 0; order < (host ? 2 : 1); ++order) {
            bool be = host ? order == 1 : bigEndian;
            SourceRule r;
            if (from == to) {
                r.kind = db::NodeKind::AtNumber;
                r.num = width == 1 ? db::NumKind::U8 : width == 2 ? (be ? db::NumKind::Be16 : db::NumKind::Le16) : (be ? db::NumKind::Be32 : db::NumKind::Le32);
                r.op = db::CmpOp::Eq;
                r.value = v;
                r.mask = mk;
                r.hasMask = mk != full;
            } else {
                // In a range the number is searched as its bytes.
                for (int b = 0; b < width; ++b) {
                    int shift = be ? 8 * (width - 1 - b) : 8 * b;
                    r.bytes.push_back(static_cast<std::uint8_t>(v >> shift));
                    r.masks.push_back(static_cast<std::uint8_t>(mk >> shift));
                }
            }
            tests.push_back(std::move(r));
        }
    }
    for (auto& r : tests) {
        r.line = m.line;
        r.off = static_cast<std::int64_t>(from);
        if (r.kind == db::NodeKind::AtNumber) {
            static const char* names[] = {"u8", "le16", "be16", "le32", "be32", "le64", "be64"};
            r.text = "at " + std::to_string(from) + " " + names[static_cast<int>(r.num)] + (r.hasMask ? " & " + hexNumber(r.mask) : "") + " = " + hexNumber(r.value);
        } else if (from == to) {
            r.kind = db::NodeKind::AtPattern;
            r.text = "at " + std::to_string(from) + " hex " + hexText(r.bytes, r.masks);
        } else {
            r.kind = db::NodeKind::Within;
            r.to = static_cast<std::int64_t>(to);
            r.text = "within " + std::to_string(from) + " " + std::to_string(to) + " hex " + hexText(r.bytes, r.masks);
        }
    }
    SourceRule self = tests.size() == 1 ? std::move(tests.front()) : block(db::NodeKind::Any, std::move(tests));

    std::vector<SourceRule> nested;
    bool hasNested = false;
    for (const auto& c : m.children) {
        if (c.name != "match")
            continue;
        hasNested = true;
        SourceRule r;
        if (convertMatch(c, depth + 1, r))
            nested.push_back(std::move(r));
    }
    if (!hasNested) {
        out = std::move(self);
        return true;
    }
    if (nested.empty())
        return false;
    // Tika's minShouldMatch: at least that many nested matches hold. When
    // some could not be kept the count may be out of reach: then the
    // match holds less often, never more.
    std::uint64_t least = 1;
    if (const std::string* n = tika ? m.attr("minShouldMatch") : nullptr) {
        if (!parseNumber(*n, least) || least == 0 || least > db::kMaxSome) {
            warn(m.line, "bad minShouldMatch '" + *n + "'; skipped");
            return false;
        }
        if (least > nested.size())
            return false;
    }
    std::vector<SourceRule> both;
    both.push_back(std::move(self));
    if (least > 1) {
        SourceRule some = block(db::NodeKind::Some, std::move(nested));
        some.value = least;
        some.text = "some " + std::to_string(least);
        both.push_back(std::move(some));
    } else {
        both.push_back(nested.size() == 1 ? std::move(nested.front()) : block(db::NodeKind::Any, std::move(nested)));
    }
    out = block(db::NodeKind::All, std::move(both));
    return true;
}

std::size_t MimeInfoImport::mergeInto(std::vector<SourceDefinition>& defs)
{
    auto r = ImportMerge::mergeInto(defs, {&m_types});
    m_ours = r.ours;
    return r.added;
}

} // namespace gv::vonk
