// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/DefinitionParser.h"

#include "vonk/base/FileAccess.h"
#include "vonk/format/Ranking.h"
#include "vonk/match/DerStructure.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace gv::vonk {

namespace {

// Decimal or 0x hexadecimal, optionally negative.
bool parseInt(std::string_view s, std::int64_t& out)
{
    bool neg = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return false;
    std::uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || p != s.data() + s.size())
        return false;
    if (v > static_cast<std::uint64_t>(INT64_MAX))
        return false;
    out = neg ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    return true;
}

bool parseUnsigned(std::string_view s, std::uint64_t& out)
{
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return ec == std::errc() && p == s.data() + s.size();
}

int hexDigit(char c) { return db::HexDigitValue(c); }

bool parseHexByte(std::string_view s, std::uint8_t& out)
{
    if (s.size() != 2 || hexDigit(s[0]) < 0 || hexDigit(s[1]) < 0)
        return false;
    out = static_cast<std::uint8_t>(hexDigit(s[0]) * 16 + hexDigit(s[1]));
    return true;
}

bool parseOp(std::string_view s, db::CmpOp& op)
{
    static const std::pair<std::string_view, db::CmpOp> ops[] = {
        {"=", db::CmpOp::Eq}, {"==", db::CmpOp::Eq}, {"!=", db::CmpOp::Ne}, {"<", db::CmpOp::Lt},
        {">", db::CmpOp::Gt}, {"<=", db::CmpOp::Le}, {">=", db::CmpOp::Ge}};
    for (auto& [name, value] : ops) {
        if (s == name) {
            op = value;
            return true;
        }
    }
    return false;
}

bool parseNumKind(std::string_view s, db::NumKind& kind)
{
    static const std::pair<std::string_view, db::NumKind> kinds[] = {
        {"u8", db::NumKind::U8}, {"le16", db::NumKind::Le16}, {"be16", db::NumKind::Be16},
        {"le32", db::NumKind::Le32}, {"be32", db::NumKind::Be32}, {"le64", db::NumKind::Le64},
        {"be64", db::NumKind::Be64}};
    for (auto& [name, value] : kinds) {
        if (s == name) {
            kind = value;
            return true;
        }
    }
    return false;
}

int numWidth(db::NumKind k) { return db::NumKindWidth(k); }

std::string trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace

const std::vector<std::string>& DefinitionParser::categories()
{
    static const std::vector<std::string> cats{"archive", "audio", "crypto", "data", "database", "disk", "document",
        "executable", "font", "image", "text", "video"};
    return cats;
}

bool DefinitionParser::isIdChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '+' || c == '-';
}

bool DefinitionParser::validId(std::string_view id)
{
    if (id.empty() || !((id[0] >= 'a' && id[0] <= 'z') || (id[0] >= '0' && id[0] <= '9')))
        return false;
    return std::all_of(id.begin(), id.end(), isIdChar);
}

void DefinitionParser::error(const std::string& reason)
{
    m_errors.push_back({m_file, m_line, reason});
}

bool DefinitionParser::tokenize(std::string_view line, std::vector<Token>& out, std::string& err) const
{
    out.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        if (c == '"') {
            Token t;
            t.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    t.text += d;
                    continue;
                }
                if (i >= line.size()) {
                    err = "backslash at the end of the line";
                    return false;
                }
                char e = line[i++];
                switch (e) {
                case '\\': t.text += '\\'; break;
                case '"': t.text += '"'; break;
                case 'n': t.text += '\n'; break;
                case 'r': t.text += '\r'; break;
                case 't': t.text += '\t'; break;
                case '0': t.text += '\0'; break;
                case 'x': {
                    if (i + 2 > line.size() || hexDigit(line[i]) < 0 || hexDigit(line[i + 1]) < 0) {
                        err = "\\x needs two hex digits";
                        return false;
                    }
                    t.text += static_cast<char>(hexDigit(line[i]) * 16 + hexDigit(line[i + 1]));
                    i += 2;
                    break;
                }
                default:
                    err = std::string("unknown escape \\") + e;
                    return false;
                }
            }
            if (!closed) {
                err = "unterminated string";
                return false;
            }
            out.push_back(std::move(t));
            continue;
        }
        Token t;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#' && line[i] != '"')
            t.text += line[i++];
        out.push_back(std::move(t));
    }
    return true;
}

void DefinitionParser::parseFile(const std::string& path)
{
    std::string text, reason;
    if (!readWholeFile(path, kMaxSourceBytes, text, reason)) {
        m_errors.push_back({path, 0, reason});
        return;
    }
    parse(text, path);
}

void DefinitionParser::parse(std::string_view text, const std::string& fileName)
{
    m_file = fileName;
    m_line = 0;
    m_inDefinition = false;
    m_blocks.clear();
    // Editors on some systems start UTF-8 text with a byte-order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        ++m_line;
        std::string err;
        if (!tokenize(line, tokens, err))
            error(err);
        else if (!tokens.empty())
            statement(tokens, line);
        if (nl == text.size())
            break;
        pos = nl + 1;
    }
    closeDefinition();
}

void DefinitionParser::closeDefinition()
{
    if (!m_inDefinition)
        return;
    SourceDefinition& def = m_defs.back();
    if (m_blocks.size() > 1)
        m_errors.push_back({def.file, def.line, "definition '" + def.id + "' has an 'any' or 'all' block without 'end'"});
    auto missing = [&](const char* what) {
        m_errors.push_back({def.file, def.line, "definition '" + def.id + "' has no " + what});
    };
    if (def.desc.empty())
        missing("desc");
    if (def.exts.empty())
        missing("ext (write 'ext -' when there is none)");
    if (def.mimes.empty())
        missing("mime");
    if (def.category.empty())
        missing("cat");
    if (def.root.children.empty())
        missing("rules");
    m_blocks.clear();
    m_inDefinition = false;
}

void DefinitionParser::statement(const std::vector<Token>& tokens, std::string_view lineText)
{
    const std::string& kw = tokens[0].text;
    if (tokens[0].quoted) {
        error("a statement must start with a keyword, not a string");
        return;
    }
    // `type` opens a definition; every other statement belongs to one.
    if (kw == "type") {
        typeStatement(tokens);
        return;
    }
    if (!m_inDefinition) {
        error("'" + kw + "' outside a definition (start one with 'type ID')");
        return;
    }
    SourceDefinition& def = m_defs.back();

    using Reader = void (DefinitionParser::*)(const std::vector<Token>&, SourceDefinition&);
    static const std::pair<std::string_view, Reader> readers[] = {
        {"desc", &DefinitionParser::descStatement},
        {"ext", &DefinitionParser::extStatement},
        {"mime", &DefinitionParser::mimeStatement},
        {"cat", &DefinitionParser::catStatement},
        {"parent", &DefinitionParser::parentStatement},
        {"weight", &DefinitionParser::weightStatement},
        {"min-confidence", &DefinitionParser::minConfidenceStatement},
        {"end", &DefinitionParser::endStatement},
    };
    for (const auto& [name, read] : readers) {
        if (kw == name) {
            (this->*read)(tokens, def);
            return;
        }
    }

    SourceRule r;
    bool opensBlock = false;
    if (!rule(tokens, 0, r, opensBlock))
        return;
    // The verbose report shows the rule as written, without a trailing comment.
    {
        std::string shown;
        bool inQuote = false;
        for (std::size_t i = 0; i < lineText.size(); ++i) {
            char c = lineText[i];
            if (c == '\\' && inQuote && i + 1 < lineText.size()) {
                shown += c;
                shown += lineText[++i];
                continue;
            }
            if (c == '"')
                inQuote = !inQuote;
            if (c == '#' && !inQuote)
                break;
            shown += c;
        }
        r.text = trim(shown);
    }
    if (m_blocks.size() > db::kMaxNesting) {
        error("blocks nested too deeply");
        return;
    }
    SourceRule* parent = m_blocks.back();
    parent->children.push_back(std::move(r));
    if (opensBlock) {
        SourceRule* opened = &parent->children.back();
        while (opened->kind == db::NodeKind::Not)
            opened = &opened->children.back();
        m_blocks.push_back(opened);
    }
}

void DefinitionParser::typeStatement(const std::vector<Token>& tokens)
{
    closeDefinition();
    if (tokens.size() != 2 || tokens[1].quoted || !validId(tokens[1].text)) {
        error("'type' needs one id of lower-case letters, digits and . _ + -");
        // Keep parsing the body so its own mistakes are reported too.
    }
    SourceDefinition def;
    def.id = tokens.size() > 1 ? tokens[1].text : std::string();
    def.file = m_file;
    def.line = m_line;
    def.root.kind = db::NodeKind::All;
    def.root.line = m_line;
    if (!def.id.empty()) {
        auto it = m_ids.find(def.id);
        if (it != m_ids.end())
            error("duplicate id '" + def.id + "' (first defined at " + it->second.first + ":" + std::to_string(it->second.second) + ")");
        else
            m_ids.emplace(def.id, std::make_pair(m_file, m_line));
    }
    m_defs.push_back(std::move(def));
    m_inDefinition = true;
    m_blocks.assign(1, &m_defs.back().root);
}

void DefinitionParser::descStatement(const std::vector<Token>& tokens, SourceDefinition& def)
{
    if (!def.desc.empty()) {
        error("'desc' given twice");
        return;
    }
    if (tokens.size() == 2 && tokens[1].quoted) {
        def.desc = tokens[1].text;
    } else {
        // Unquoted text: the rest of the line, comments removed.
        std::string joined;
        for (std::size_t i = 1; i < tokens.size(); ++i)
            joined += (i > 1 ? " " : "") + tokens[i].text;
        def.desc = joined;
    }
    if (trim(def.desc).empty())
        error("'desc' needs a description");
}

void DefinitionParser::extStatement(const std::vector<Token>& tokens, SourceDefinition& def)
{
    if (!def.exts.empty()) {
        error("'ext' given twice");
        return;
    }
    if (tokens.size() < 2) {
        error("'ext' needs at least one extension, or '-'");
        return;
    }
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        std::string e = tokens[i].text;
        if (e.size() > 1 && e[0] == '.')
            e.erase(0, 1);
        if (e.empty() || e.find_first_of(" \t/") != std::string::npos) {
            error("bad extension '" + tokens[i].text + "'");
            return;
        }
        def.exts.push_back(e);
    }
    if (def.exts.size() > 1 && std::find(def.exts.begin(), def.exts.end(), "-") != def.exts.end())
        error("'-' (no extension) cannot be listed with extensions");
}

void DefinitionParser::mimeStatement(const std::vector<Token>& tokens, SourceDefinition& def)
{
    if (!def.mimes.empty()) {
        error("'mime' given twice");
        return;
    }
    if (tokens.size() < 2) {
        error("'mime' needs at least one MIME type");
        return;
    }
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string& m = tokens[i].text;
        auto slash = m.find('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == m.size()) {
            error("bad MIME type '" + m + "' (expected type/subtype)");
            return;
        }
        def.mimes.push_back(m);
    }
}

void DefinitionParser::catStatement(const std::vector<Token>& tokens, SourceDefinition& def)
{
    const auto& cats = categories();
    if (tokens.size() != 2 || std::find(cats.begin(), cats.end(), tokens[1].text) == cats.end()) {
        std::string list;
        for (auto& c : cats)
            list += (list.empty() ? "" : " ") + c;
        error("'cat' needs one of: " + list);
        return;
    }
    def.category = tokens[1].text;
}

void DefinitionParser::parentStatement(const std::vector<Token>& tokens, SourceDefinition& def)
{
    if (tokens.size() != 2 || !validId(tokens[1].text)) {
        error("'parent' needs one definition id");
        return;
    }
    if (!def.parent.empty()) {
        error("'parent' given twice");
        return;
    }
    def.parent = tokens[1].text;
}

void DefinitionParser::weightStatement(const std::vector<Token>& tokens, SourceDefinition& def)
{
    std::int64_t w = 0;
    if (tokens.size() != 2 || !parseInt(tokens[1].text, w) || !ranking::weightInRange(w)) {
        error("'weight' needs a number from " + std::to_string(ranking::kMinWeight) + " to " + std::to_string(ranking::kMaxWeight));
        return;
    }
    def.weight = static_cast<int>(w);
}

void DefinitionParser::minConfidenceStatement(const std::vector<Token>& tokens, SourceDefinition& def)
{
    if (tokens.size() != 2 || (tokens[1].text != "high" && tokens[1].text != "medium")) {
        error("'min-confidence' needs 'high' or 'medium'");
        return;
    }
    def.needsHigh = tokens[1].text == "high";
}

void DefinitionParser::endStatement(const std::vector<Token>& tokens, SourceDefinition&)
{
    if (tokens.size() != 1) {
        error("'end' takes nothing after it");
        return;
    }
    if (m_blocks.size() <= 1) {
        error("'end' without an open 'any', 'all' or 'some' block");
        return;
    }
    const SourceRule& block = *m_blocks.back();
    if (block.children.empty())
        error("empty block");
    else if (block.kind == db::NodeKind::Some && block.value > block.children.size())
        error("'some " + std::to_string(block.value) + "' holds only " + std::to_string(block.children.size()) + " rules");
    m_blocks.pop_back();
}

bool DefinitionParser::pattern(const std::vector<Token>& t, std::size_t i, SourceRule& out)
{
    if (i >= t.size()) {
        error("missing pattern (hex ..., str \"...\" or istr \"...\")");
        return false;
    }
    const std::string& kind = t[i].text;
    if (!t[i].quoted && (kind == "str" || kind == "istr")) {
        if (i + 1 >= t.size() || !t[i + 1].quoted) {
            error("'" + kind + "' needs a quoted string");
            return false;
        }
        if (i + 2 < t.size()) {
            error("unexpected '" + t[i + 2].text + "' after the pattern");
            return false;
        }
        for (char ch : t[i + 1].text) {
            auto c = static_cast<std::uint8_t>(ch);
            bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            if (kind == "istr" && letter) {
                out.bytes.push_back(c & 0xDF);
                out.masks.push_back(0xDF);
            } else {
                out.bytes.push_back(c);
                out.masks.push_back(0xFF);
            }
        }
    } else if (!t[i].quoted && kind == "hex") {
        for (std::size_t j = i + 1; j < t.size(); ++j) {
            std::string_view tok = t[j].text;
            if (t[j].quoted) {
                error("hex bytes are written unquoted");
                return false;
            }
            auto amp = tok.find('&');
            if (amp != std::string_view::npos) {
                std::uint8_t v = 0, m = 0;
                if (!parseHexByte(tok.substr(0, amp), v) || !parseHexByte(tok.substr(amp + 1), m)) {
                    error("bad masked byte '" + std::string(tok) + "' (expected VV&MM)");
                    return false;
                }
                out.bytes.push_back(v & m);
                out.masks.push_back(m);
                continue;
            }
            if (tok.size() % 2 != 0) {
                error("bad hex byte '" + std::string(tok) + "'");
                return false;
            }
            for (std::size_t k = 0; k < tok.size(); k += 2) {
                std::string_view b = tok.substr(k, 2);
                std::uint8_t v = 0;
                if (b == "??") {
                    out.bytes.push_back(0);
                    out.masks.push_back(0);
                } else if (parseHexByte(b, v)) {
                    out.bytes.push_back(v);
                    out.masks.push_back(0xFF);
                } else {
                    error("bad hex byte '" + std::string(tok) + "'");
                    return false;
                }
            }
        }
    } else {
        error("unknown pattern '" + kind + "' (expected hex, str or istr)");
        return false;
    }
    if (out.bytes.empty()) {
        error("empty pattern");
        return false;
    }
    if (out.bytes.size() > db::kMaxPatternLength) {
        error("pattern longer than " + std::to_string(db::kMaxPatternLength) + " bytes");
        return false;
    }
    if (std::all_of(out.masks.begin(), out.masks.end(), [](std::uint8_t m) { return m == 0; })) {
        error("a pattern of wildcards only matches anything");
        return false;
    }
    return true;
}

bool DefinitionParser::rule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock)
{
    r.line = m_line;
    const std::string& kw = t[i].text;
    if (t[i].quoted) {
        error("a rule must start with a keyword, not a string");
        return false;
    }
    using Reader = bool (DefinitionParser::*)(const std::vector<Token>&, std::size_t, SourceRule&, bool&);
    static const std::pair<std::string_view, Reader> readers[] = {
        {"not", &DefinitionParser::notRule},
        {"any", &DefinitionParser::blockRule},
        {"all", &DefinitionParser::blockRule},
        {"some", &DefinitionParser::someRule},
        {"at", &DefinitionParser::atRule},
        {"within", &DefinitionParser::withinRule},
        {"head", &DefinitionParser::headTailRule},
        {"tail", &DefinitionParser::headTailRule},
        {"size", &DefinitionParser::sizeRule},
        {"zip-has", &DefinitionParser::memberRule},
        {"ole-has", &DefinitionParser::memberRule},
        {"ole-clsid", &DefinitionParser::clsidRule},
        {"ebml-doctype", &DefinitionParser::memberRule},
        {"tiff-tag", &DefinitionParser::tiffTagRule},
        {"tiff-make", &DefinitionParser::tiffTagRule},
        {"der-shape", &DefinitionParser::derShapeRule},
        {"after-tags", &DefinitionParser::blockRule},
        {"bmff-brand", &DefinitionParser::brandRule},
        {"bmff-major", &DefinitionParser::brandRule},
        {"bmff-box", &DefinitionParser::brandRule},
        {"zip-first", &DefinitionParser::zipFirstRule},
        {"zip-content-type", &DefinitionParser::memberRule},
        {"zip-text", &DefinitionParser::zipTextRule},
        {"ole-compobj", &DefinitionParser::memberRule},
        {"text", &DefinitionParser::textRule},
        {"xml-root", &DefinitionParser::xmlRootRule},
        {"json", &DefinitionParser::jsonRule},
        {"shebang", &DefinitionParser::shebangRule},
        {"delimited", &DefinitionParser::delimitedRule},
        {"key-value", &DefinitionParser::keyValueRule},
    };
    for (const auto& [name, read] : readers) {
        if (kw == name)
            return (this->*read)(t, i, r, opensBlock);
    }
    error("unknown keyword '" + kw + "'");
    return false;
}

bool DefinitionParser::needCount(const std::vector<Token>& t, std::size_t i, std::size_t n, const char* usage)
{
    if (t.size() - i != n) {
        error(std::string("usage: ") + usage);
        return false;
    }
    return true;
}

bool DefinitionParser::quotedAt(const std::vector<Token>& t, std::size_t j)
{
    return j < t.size() && t[j].quoted;
}

bool DefinitionParser::notRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock)
{
    if (i + 1 >= t.size()) {
        error("'not' needs a rule after it");
        return false;
    }
    r.kind = db::NodeKind::Not;
    SourceRule child;
    if (!rule(t, i + 1, child, opensBlock))
        return false;
    r.children.push_back(std::move(child));
    return true;
}

bool DefinitionParser::blockRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock)
{
    const std::string& kw = t[i].text;
    if (!needCount(t, i, 1, "any | all (then rules, then end)"))
        return false;
    r.kind = kw == "any" ? db::NodeKind::Any : kw == "after-tags" ? db::NodeKind::AfterTags : db::NodeKind::All;
    opensBlock = true;
    return true;
}

bool DefinitionParser::someRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock)
{
    std::uint64_t n = 0;
    if (t.size() - i != 2 || !parseUnsigned(t[i + 1].text, n) || n > db::kMaxSome) {
        error("usage: some N (then rules, then end), N from 0 to " + std::to_string(db::kMaxSome));
        return false;
    }
    r.kind = db::NodeKind::Some;
    r.value = n;
    opensBlock = true;
    return true;
}

bool DefinitionParser::atRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    if (i + 2 >= t.size()) {
        error("usage: at OFFSET PATTERN, or at OFFSET NUMKIND [& MASK] OP VALUE");
        return false;
    }
    if (!parseInt(t[i + 1].text, r.off) || r.off > db::kMaxOffset || r.off < -db::kMaxOffset) {
        error("bad offset '" + t[i + 1].text + "'");
        return false;
    }
    db::NumKind nk;
    if (!t[i + 2].quoted && parseNumKind(t[i + 2].text, nk)) {
        r.kind = db::NodeKind::AtNumber;
        r.num = nk;
        std::size_t j = i + 3;
        int width = numWidth(nk);
        std::uint64_t limit = width == 8 ? ~std::uint64_t{0} : ((std::uint64_t{1} << (8 * width)) - 1);
        r.mask = limit;
        if (j < t.size() && t[j].text == "&") {
            if (j + 1 >= t.size() || !parseUnsigned(t[j + 1].text, r.mask) || r.mask > limit) {
                error("bad mask (a number that fits the " + t[i + 2].text + ")");
                return false;
            }
            r.hasMask = true;
            j += 2;
        }
        if (j + 2 != t.size() || !parseOp(t[j].text, r.op)) {
            error("usage: at OFFSET NUMKIND [& MASK] OP VALUE, OP one of = != < > <= >=");
            return false;
        }
        if (!parseUnsigned(t[j + 1].text, r.value) || r.value > limit) {
            error("bad value '" + t[j + 1].text + "' for " + t[i + 2].text);
            return false;
        }
        if (r.op == db::CmpOp::Eq && (r.value & ~r.mask) != 0) {
            error("value has bits outside the mask, so it can never match");
            return false;
        }
        return true;
    }
    r.kind = db::NodeKind::AtPattern;
    return pattern(t, i + 2, r);
}

bool DefinitionParser::withinRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    if (i + 3 >= t.size() || !parseInt(t[i + 1].text, r.off) || !parseInt(t[i + 2].text, r.to)) {
        error("usage: within FROM TO PATTERN");
        return false;
    }
    if (r.off < 0 || r.to < r.off || r.to > db::kMaxOffset) {
        error("'within' needs 0 <= FROM <= TO");
        return false;
    }
    if (r.to - r.off > db::kMaxWithinSpan) {
        error("'within' range wider than " + std::to_string(db::kMaxWithinSpan) + " bytes");
        return false;
    }
    r.kind = db::NodeKind::Within;
    return pattern(t, i + 3, r);
}

bool DefinitionParser::headTailRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    const std::string& kw = t[i].text;
    if (i + 2 >= t.size() || !parseInt(t[i + 1].text, r.off)) {
        error("usage: " + kw + " N PATTERN");
        return false;
    }
    if (r.off < 1 || r.off > db::kHeadSize) {
        error("'" + kw + "' needs N from 1 to " + std::to_string(db::kHeadSize));
        return false;
    }
    r.kind = kw == "head" ? db::NodeKind::Head : db::NodeKind::Tail;
    return pattern(t, i + 2, r);
}

bool DefinitionParser::sizeRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    std::uint64_t v = 0;
    // size = HEADER + RECORD * at OFF NUMKIND: a header, then as many
    // records as a count in the file says.
    if (t.size() - i == 9 && t[i + 1].text == "=") {
        std::uint64_t header = 0, record = 0;
        db::NumKind nk;
        if (!parseUnsigned(t[i + 2].text, header) || t[i + 3].text != "+" || !parseUnsigned(t[i + 4].text, record)
            || t[i + 5].text != "*" || t[i + 6].text != "at" || !parseInt(t[i + 7].text, r.off)
            || !parseNumKind(t[i + 8].text, nk) || record == 0 || r.off < 0 || r.off > db::kMaxOffset
            || header > static_cast<std::uint64_t>(db::kMaxOffset) || record > (std::uint64_t{1} << 32)) {
            error("usage: size = HEADER + RECORD * at OFFSET NUMKIND (RECORD at least 1, OFFSET from the start)");
            return false;
        }
        r.kind = db::NodeKind::SizeByCount;
        r.num = nk;
        r.to = static_cast<std::int64_t>(header);
        r.value = record;
        const int width = numWidth(nk);
        r.mask = width == 8 ? ~std::uint64_t{0} : ((std::uint64_t{1} << (8 * width)) - 1);
        return true;
    }
    if (!needCount(t, i, 3, "size OP VALUE") || !parseOp(t[i + 1].text, r.op) || !parseUnsigned(t[i + 2].text, v)) {
        error("usage: size OP VALUE, OP one of = != < > <= >=");
        return false;
    }
    r.kind = db::NodeKind::Size;
    r.value = v;
    return true;
}

bool DefinitionParser::memberRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    const std::string& kw = t[i].text;
    if (!needCount(t, i, 2, (kw + " \"NAME\"").c_str()) || !quotedAt(t, i + 1) || t[i + 1].text.empty()) {
        error("usage: " + kw + " \"NAME\"");
        return false;
    }
    r.kind = kw == "zip-has"            ? db::NodeKind::ZipHas
        : kw == "ole-has"               ? db::NodeKind::OleHas
        : kw == "zip-content-type"      ? db::NodeKind::ZipContentType
        : kw == "ole-compobj"           ? db::NodeKind::OleCompObj
                                        : db::NodeKind::EbmlDocType;
    r.first = t[i + 1].text;
    return true;
}

bool DefinitionParser::clsidRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    // Written as the registry writes it, so that ids can be compared as text.
    auto wellFormed = [](const std::string& s) {
        if (s.size() != 36)
            return false;
        for (std::size_t k = 0; k < s.size(); ++k) {
            bool dash = k == 8 || k == 13 || k == 18 || k == 23;
            char c = s[k];
            if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
                return false;
        }
        return s != "00000000-0000-0000-0000-000000000000";
    };
    if (!needCount(t, i, 2, "ole-clsid \"CLSID\"") || !quotedAt(t, i + 1) || !wellFormed(t[i + 1].text)) {
        error("usage: ole-clsid \"XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX\" (upper-case hex, not all zero)");
        return false;
    }
    r.kind = db::NodeKind::OleClsid;
    r.first = t[i + 1].text;
    return true;
}

bool DefinitionParser::tiffTagRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    r.kind = db::NodeKind::TiffTag;
    if (t[i].text == "tiff-make") {
        // The Make tag, which names the camera's maker.
        if (!needCount(t, i, 2, "tiff-make \"PREFIX\"") || !quotedAt(t, i + 1) || t[i + 1].text.empty()) {
            error("usage: tiff-make \"PREFIX\"");
            return false;
        }
        r.off = 271;
        r.first = t[i + 1].text;
        return true;
    }
    std::uint64_t tag = 0;
    const std::size_t n = t.size() - i;
    bool ok = n >= 2 && !t[i + 1].quoted && parseUnsigned(t[i + 1].text, tag) && tag <= 0xFFFF;
    if (ok && n == 3)
        ok = quotedAt(t, i + 2) && !t[i + 2].text.empty();
    else if (ok && n == 4)
        ok = !t[i + 2].quoted && t[i + 2].text == "=" && !t[i + 3].quoted && parseUnsigned(t[i + 3].text, r.value);
    else if (ok)
        ok = n == 2;
    if (!ok) {
        error("usage: tiff-tag TAG [= VALUE | \"PREFIX\"], TAG from 0 to 65535");
        return false;
    }
    r.off = static_cast<std::int64_t>(tag);
    r.to = n == 4 ? 1 : 0;
    if (n == 3)
        r.first = t[i + 2].text;
    return true;
}

bool DefinitionParser::derShapeRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    if (!needCount(t, i, 2, "der-shape \"NAME\"") || !quotedAt(t, i + 1) || !isDerShapeName(t[i + 1].text)) {
        error("usage: der-shape \"NAME\", NAME one of the shapes listed in definitions/README.md");
        return false;
    }
    r.kind = db::NodeKind::DerShape;
    r.first = t[i + 1].text;
    return true;
}

bool DefinitionParser::brandRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    // Brands and box types are four bytes, spaces included ("qt  ").
    const std::string& kw = t[i].text;
    if (!needCount(t, i, 2, (kw + " \"NAME\"").c_str()) || !quotedAt(t, i + 1) || t[i + 1].text.size() != 4) {
        error("usage: " + kw + " \"NAME\" (four characters)");
        return false;
    }
    r.kind = kw == "bmff-brand" ? db::NodeKind::BmffBrand : kw == "bmff-major" ? db::NodeKind::BmffMajor : db::NodeKind::BmffBox;
    r.first = t[i + 1].text;
    return true;
}

bool DefinitionParser::zipFirstRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    bool ok = quotedAt(t, i + 1) && !t[i + 1].text.empty();
    if (ok && t.size() - i == 4)
        ok = !t[i + 2].quoted && t[i + 2].text == "str" && quotedAt(t, i + 3);
    else if (ok)
        ok = t.size() - i == 2;
    if (!ok) {
        error("usage: zip-first \"NAME\" [str \"CONTENT\"]");
        return false;
    }
    r.kind = db::NodeKind::ZipFirst;
    r.first = t[i + 1].text;
    if (t.size() - i == 4)
        r.second = t[i + 3].text;
    return true;
}

bool DefinitionParser::zipTextRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    if (t.size() - i != 4 || !quotedAt(t, i + 1) || t[i + 1].text.empty() || t[i + 2].quoted || t[i + 2].text != "str"
        || !quotedAt(t, i + 3) || t[i + 3].text.empty()) {
        error("usage: zip-text \"NAME\" str \"TEXT\"");
        return false;
    }
    r.kind = db::NodeKind::ZipText;
    r.first = t[i + 1].text;
    r.second = t[i + 3].text;
    return true;
}

bool DefinitionParser::textRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    r.kind = db::NodeKind::Text;
    if (t.size() - i == 1)
        return true;
    static const std::pair<std::string_view, db::TextKind> kinds[] = {
        {"any", db::TextKind::Any}, {"ascii", db::TextKind::Ascii}, {"utf8", db::TextKind::Utf8},
        {"utf16", db::TextKind::Utf16}, {"utf32", db::TextKind::Utf32}};
    if (t.size() - i == 2) {
        for (auto& [name, value] : kinds) {
            if (t[i + 1].text == name) {
                r.textKind = value;
                return true;
            }
        }
    }
    error("usage: text [ascii|utf8|utf16|utf32|any]");
    return false;
}

bool DefinitionParser::xmlRootRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    bool ok = quotedAt(t, i + 1) && !t[i + 1].text.empty() && (t.size() - i == 2 || (t.size() - i == 3 && quotedAt(t, i + 2)));
    if (!ok) {
        error("usage: xml-root \"NAME\" [\"NAMESPACE\"]");
        return false;
    }
    r.kind = db::NodeKind::XmlRoot;
    r.first = t[i + 1].text;
    if (t.size() - i == 3)
        r.second = t[i + 2].text;
    return true;
}

bool DefinitionParser::jsonRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    if (!needCount(t, i, 1, "json"))
        return false;
    r.kind = db::NodeKind::Json;
    return true;
}

bool DefinitionParser::shebangRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    if (!needCount(t, i, 2, "shebang \"NAME\"") || !quotedAt(t, i + 1) || t[i + 1].text.empty()) {
        error("usage: shebang \"NAME\"");
        return false;
    }
    r.kind = db::NodeKind::Shebang;
    r.first = t[i + 1].text;
    return true;
}

bool DefinitionParser::delimitedRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    if (!needCount(t, i, 2, "delimited \"SEPARATOR\"") || !quotedAt(t, i + 1) || t[i + 1].text.size() != 1
        || t[i + 1].text == "\"" || t[i + 1].text == "\n" || t[i + 1].text == "\r") {
        error("usage: delimited \"SEPARATOR\", one character other than a quote or line break (\",\" \";\" \"\\t\" \"|\")");
        return false;
    }
    r.kind = db::NodeKind::Delimited;
    r.first = t[i + 1].text;
    return true;
}

bool DefinitionParser::keyValueRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool&)
{
    bool ok = t.size() - i == 1 || (t.size() - i == 2 && quotedAt(t, i + 1) && (t[i + 1].text == "=" || t[i + 1].text == ":"));
    if (!ok) {
        error("usage: key-value [\"=\" | \":\"]");
        return false;
    }
    r.kind = db::NodeKind::KeyValue;
    r.first = t.size() - i == 2 ? t[i + 1].text : "=";
    return true;
}

bool DefinitionParser::finish()
{
    std::map<std::string, std::size_t, std::less<>> index;
    for (std::size_t i = 0; i < m_defs.size(); ++i)
        index.emplace(m_defs[i].id, i);
    for (auto& def : m_defs) {
        if (def.parent.empty())
            continue;
        if (def.parent == def.id) {
            m_errors.push_back({def.file, def.line, "'" + def.id + "' names itself as its parent"});
            continue;
        }
        if (!index.count(def.parent))
            m_errors.push_back({def.file, def.line, "parent '" + def.parent + "' of '" + def.id + "' is not defined"});
    }
    for (auto& def : m_defs) {
        // Walk up; more steps than definitions means a cycle.
        const SourceDefinition* cur = &def;
        std::size_t steps = 0;
        while (!cur->parent.empty() && steps <= m_defs.size()) {
            auto it = index.find(cur->parent);
            if (it == index.end())
                break;
            cur = &m_defs[it->second];
            ++steps;
        }
        if (steps > m_defs.size())
            m_errors.push_back({def.file, def.line, "parent chain of '" + def.id + "' is a cycle"});
        else if (steps > db::kMaxNesting)
            m_errors.push_back({def.file, def.line, "parent chain of '" + def.id + "' is too long"});
    }
    return m_errors.empty();
}

} // namespace gv::vonk
