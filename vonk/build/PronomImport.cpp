// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/PronomImport.h"

#include "vonk/base/FileAccess.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/build/SignatureSyntax.h"
#include "vonk/format/Ranking.h"
#include "vonk/format/SequenceProgram.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <set>

namespace gv::vonk {

struct PronomImport::Element {
    std::string name; // local name, namespace prefix dropped
    std::vector<std::pair<std::string, std::string>> attrs;
    std::string text;
    std::vector<Element> children;
    int line = 0;

    const std::string* attr(std::string_view key) const
    {
        for (const auto& [k, v] : attrs) {
            if (k == key)
                return &v;
        }
        return nullptr;
    }
    std::string attrOr(std::string_view key, std::string fallback = {}) const
    {
        const std::string* v = attr(key);
        return v ? *v : fallback;
    }
    const Element* child(std::string_view n) const
    {
        for (const auto& c : children) {
            if (c.name == n)
                return &c;
        }
        return nullptr;
    }
};

namespace {

using Element = PronomImport::Element;

// Enough XML for the signature files: elements, attributes, text, the five
// predefined entities and numeric references; comments, declarations and
// processing instructions are skipped.
class XmlReader {
public:
    explicit XmlReader(std::string_view s) : m_s(s) {}

    bool read(Element& root, std::string& error)
    {
        std::vector<Element> stack;
        stack.emplace_back();
        while (m_pos < m_s.size()) {
            if (m_s[m_pos] != '<') {
                std::size_t end = m_s.find('<', m_pos);
                if (end == std::string_view::npos)
                    end = m_s.size();
                std::string_view raw = m_s.substr(m_pos, end - m_pos);
                countLines(raw);
                stack.back().text += decode(raw);
                m_pos = end;
                continue;
            }
            if (m_s.substr(m_pos, 4) == "<!--") {
                if (!skipPast("-->"))
                    return fail(error, "unclosed comment");
                continue;
            }
            if (m_s.substr(m_pos, 2) == "<?" || m_s.substr(m_pos, 2) == "<!") {
                if (!skipPast(">"))
                    return fail(error, "unclosed declaration");
                continue;
            }
            if (m_s.substr(m_pos, 2) == "</") {
                std::size_t end = m_s.find('>', m_pos);
                if (end == std::string_view::npos || stack.size() < 2)
                    return fail(error, "unbalanced end tag");
                std::string name = localName(trim(m_s.substr(m_pos + 2, end - m_pos - 2)));
                if (name != stack.back().name)
                    return fail(error, "end tag </" + name + "> does not close <" + stack.back().name + ">");
                m_pos = end + 1;
                Element done = std::move(stack.back());
                stack.pop_back();
                stack.back().children.push_back(std::move(done));
                continue;
            }
            Element e;
            e.line = m_line;
            bool selfClosing = false;
            if (!tag(e, selfClosing))
                return fail(error, "malformed tag");
            if (selfClosing)
                stack.back().children.push_back(std::move(e));
            else
                stack.push_back(std::move(e));
        }
        if (stack.size() != 1 || stack[0].children.size() != 1)
            return fail(error, "the document is incomplete");
        root = std::move(stack[0].children[0]);
        return true;
    }

private:
    bool fail(std::string& error, const std::string& why)
    {
        error = "line " + std::to_string(m_line) + ": " + why;
        return false;
    }

    void countLines(std::string_view s) { m_line += static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

    bool skipPast(std::string_view end)
    {
        std::size_t e = m_s.find(end, m_pos);
        if (e == std::string_view::npos)
            return false;
        countLines(m_s.substr(m_pos, e - m_pos));
        m_pos = e + end.size();
        return true;
    }

    static std::string_view trim(std::string_view s)
    {
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
            s.remove_prefix(1);
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
            s.remove_suffix(1);
        return s;
    }

    static std::string localName(std::string_view s)
    {
        auto colon = s.find(':');
        return std::string(colon == std::string_view::npos ? s : s.substr(colon + 1));
    }

    static void appendUtf8(std::string& out, unsigned long cp)
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

    static std::string decode(std::string_view s)
    {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '&') {
                out += s[i];
                continue;
            }
            std::size_t semi = s.find(';', i);
            if (semi == std::string_view::npos) {
                out += s[i];
                continue;
            }
            std::string_view ent = s.substr(i + 1, semi - i - 1);
            if (ent == "amp") out += '&';
            else if (ent == "lt") out += '<';
            else if (ent == "gt") out += '>';
            else if (ent == "quot") out += '"';
            else if (ent == "apos") out += '\'';
            else if (ent.size() > 1 && ent[0] == '#') {
                bool hex = ent[1] == 'x' || ent[1] == 'X';
                appendUtf8(out, std::strtoul(std::string(ent.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10));
            } else {
                out += s.substr(i, semi - i + 1);
            }
            i = semi;
        }
        return out;
    }

    bool tag(Element& e, bool& selfClosing)
    {
        std::size_t i = m_pos + 1;
        auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '_' || c == '-' || c == '.'; };
        std::size_t start = i;
        while (i < m_s.size() && isName(m_s[i]))
            ++i;
        if (i == start)
            return false;
        e.name = localName(m_s.substr(start, i - start));
        for (;;) {
            while (i < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[i]))) {
                if (m_s[i] == '\n')
                    ++m_line;
                ++i;
            }
            if (i >= m_s.size())
                return false;
            if (m_s[i] == '>') {
                m_pos = i + 1;
                return true;
            }
            if (m_s.substr(i, 2) == "/>") {
                selfClosing = true;
                m_pos = i + 2;
                return true;
            }
            std::size_t ks = i;
            while (i < m_s.size() && isName(m_s[i]))
                ++i;
            if (i == ks || i >= m_s.size() || m_s[i] != '=' || i + 1 >= m_s.size())
                return false;
            std::string key = localName(m_s.substr(ks, i - ks));
            char q = m_s[i + 1];
            if (q != '"' && q != '\'')
                return false;
            std::size_t ve = m_s.find(q, i + 2);
            if (ve == std::string_view::npos)
                return false;
            std::string_view raw = m_s.substr(i + 2, ve - i - 2);
            countLines(raw);
            e.attrs.emplace_back(std::move(key), decode(raw));
            i = ve + 1;
        }
    }

    std::string_view m_s;
    std::size_t m_pos = 0;
    int m_line = 1;
};

int toInt(const std::string& s, int fallback = 0)
{
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fallback;
    return std::stoi(s);
}

std::string trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

std::string lowered(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// MIME types too general to say which format a file is: a format listing
// one of them joins a type only through the mapping table.
bool genericMime(std::string_view m)
{
    static const std::set<std::string_view> generic = {"application/octet-stream", "text/plain", "application/xml", "text/xml",
        "application/zip", "application/x-zip-compressed", "application/json", "application/unknown", "application/binary"};
    return generic.count(m) != 0;
}

std::string categoryOf(const std::vector<std::string>& mimes)
{
    for (const auto& m : mimes) {
        std::string media = m.substr(0, m.find('/'));
        if (media == "image" || media == "audio" || media == "video" || media == "font" || media == "text")
            return media;
    }
    return "data";
}

// Evidence of a rule tree as the writer will store it: blocks add up, `any`
// takes its best.
std::uint32_t treeEvidence(const SourceRule& r)
{
    if (r.kind == db::NodeKind::All) {
        std::uint32_t sum = 0;
        for (const auto& c : r.children)
            sum += treeEvidence(c);
        return sum;
    }
    if (r.kind == db::NodeKind::Any) {
        std::uint32_t best = 0;
        for (const auto& c : r.children)
            best = std::max(best, treeEvidence(c));
        return best;
    }
    return DatabaseWriter::evidenceOf(r);
}

bool treeTextLike(const SourceRule& r)
{
    if (r.kind == db::NodeKind::Sequence)
        return seq::textLike(r.bytes);
    if (r.kind == db::NodeKind::All || r.kind == db::NodeKind::Any)
        return !r.children.empty() && std::all_of(r.children.begin(), r.children.end(), treeTextLike);
    return false;
}

} // namespace

bool PronomImport::parseSignatureFile(std::string_view xml, const std::string& fileName)
{
    m_file = fileName;
    m_signatureFile = fileName;
    Element root;
    std::string error;
    if (!XmlReader(xml).read(root, error) || root.name != "FFSignatureFile") {
        warn(fileName + ": " + (error.empty() ? "not a PRONOM signature file" : error) + "; nothing imported from it");
        return false;
    }
    const Element* formats = root.child("FileFormatCollection");
    const Element* sigs = root.child("InternalSignatureCollection");
    if (!formats) {
        warn(fileName + ": no FileFormatCollection; nothing imported from it");
        return false;
    }
    std::map<int, std::vector<std::string>> users;
    for (const Element& e : formats->children) {
        if (e.name != "FileFormat")
            continue;
        Format f;
        f.id = toInt(e.attrOr("ID"), -1);
        f.puid = trimmed(e.attrOr("PUID"));
        f.name = trimmed(e.attrOr("Name"));
        f.version = trimmed(e.attrOr("Version"));
        f.line = e.line;
        if (f.id < 0 || f.puid.empty()) {
            warn(fileName + ":" + std::to_string(e.line) + ": a format without ID or PUID; skipped");
            continue;
        }
        std::string mimes = e.attrOr("MIMEType");
        for (std::size_t p = 0; p < mimes.size();) {
            std::size_t c = mimes.find(',', p);
            std::string m = lowered(trimmed(std::string_view(mimes).substr(p, c == std::string::npos ? std::string::npos : c - p)));
            if (!m.empty() && m.find('/') != std::string::npos && std::find(f.mimes.begin(), f.mimes.end(), m) == f.mimes.end())
                f.mimes.push_back(m);
            p = c == std::string::npos ? mimes.size() : c + 1;
        }
        for (const Element& c : e.children) {
            if (c.name == "InternalSignatureID") {
                int id = toInt(trimmed(c.text), -1);
                if (id >= 0) {
                    f.signatureIds.push_back(id);
                    users[id].push_back(f.puid);
                }
            } else if (c.name == "Extension") {
                std::string x = lowered(trimmed(c.text));
                if (!x.empty() && x.find_first_of(" \t/") == std::string::npos && std::find(f.exts.begin(), f.exts.end(), x) == f.exts.end())
                    f.exts.push_back(x);
            } else if (c.name == "HasPriorityOverFileFormatID") {
                int id = toInt(trimmed(c.text), -1);
                if (id >= 0)
                    f.priorityOver.push_back(id);
            }
        }
        m_puidById[f.id] = f.puid;
        m_formats.push_back(std::move(f));
    }
    if (sigs) {
        for (const Element& s : sigs->children) {
            if (s.name != "InternalSignature")
                continue;
            int id = toInt(s.attrOr("ID"), -1);
            std::string who;
            for (const auto& p : users[id])
                who += (who.empty() ? "" : ", ") + p;
            if (who.empty())
                continue;
            SourceRule rule;
            if (internalSignature(s, who + " (signature " + std::to_string(id) + ")", id, rule))
                m_signatures[id] = std::move(rule);
        }
    }
    return true;
}

// A subsequence: its left fragments (nearest first in the file's order is
// the highest position), its sequence, its right fragments, with the gaps
// between them. Fragments at the same position are alternatives.
static bool subSequence(const Element& sub, SigPattern& out, std::string& error)
{
    std::map<int, std::vector<const Element*>> left, right;
    const Element* sequence = nullptr;
    for (const Element& c : sub.children) {
        if (c.name == "Sequence")
            sequence = &c;
        else if (c.name == "LeftFragment")
            left[toInt(c.attrOr("Position"), 1)].push_back(&c);
        else if (c.name == "RightFragment")
            right[toInt(c.attrOr("Position"), 1)].push_back(&c);
    }
    if (!sequence) {
        error = "a subsequence without a sequence";
        return false;
    }
    auto fragment = [&](const std::vector<const Element*>& alts, SigPattern& into) {
        SigToken alt;
        alt.kind = SigToken::Alt;
        for (const Element* f : alts) {
            SigPattern p;
            if (!parseSignature(f->text, p, error))
                return false;
            alt.alternatives.push_back(std::move(p));
        }
        if (alt.alternatives.size() == 1) {
            into.insert(into.end(), alt.alternatives[0].begin(), alt.alternatives[0].end());
            return true;
        }
        for (const auto& a : alt.alternatives) {
            if (std::any_of(a.begin(), a.end(), [](const SigToken& t) { return t.kind == SigToken::Gap || t.kind == SigToken::Alt; })) {
                error = "alternative fragments must be fixed bytes";
                return false;
            }
        }
        if (alt.alternatives.size() > 255) {
            error = "too many alternative fragments";
            return false;
        }
        into.push_back(std::move(alt));
        return true;
    };
    auto gapOf = [&](const Element& f) {
        std::uint32_t min = static_cast<std::uint32_t>(toInt(f.attrOr("MinOffset"), 0));
        std::string maxText = f.attrOr("MaxOffset");
        std::uint32_t max = maxText.empty() ? seq::kUnbounded : static_cast<std::uint32_t>(toInt(maxText, 0));
        return SigToken::gap(min, std::max(min, max));
    };
    SigPattern p;
    for (auto it = left.rbegin(); it != left.rend(); ++it) {
        if (!fragment(it->second, p))
            return false;
        SigToken g = gapOf(*it->second.front());
        if (g.max != 0)
            p.push_back(g);
    }
    SigPattern core;
    if (!parseSignature(sequence->text, core, error))
        return false;
    p.insert(p.end(), core.begin(), core.end());
    for (auto& [pos, alts] : right) {
        SigToken g = gapOf(*alts.front());
        if (g.max != 0)
            p.push_back(g);
        if (!fragment(alts, p))
            return false;
    }
    out = std::move(p);
    return true;
}

bool PronomImport::byteSequence(const Element& bs, const std::string& who, int signatureId, SourceRule& out)
{
    std::string ref = bs.attrOr("Reference");
    seq::Reference reference = ref == "BOFoffset" ? seq::Reference::Bof : ref == "EOFoffset" ? seq::Reference::Eof : seq::Reference::Variable;
    std::vector<const Element*> subs;
    for (const Element& c : bs.children) {
        if (c.name == "SubSequence")
            subs.push_back(&c);
    }
    std::stable_sort(subs.begin(), subs.end(),
        [](const Element* a, const Element* b) { return toInt(a->attrOr("Position"), 1) < toInt(b->attrOr("Position"), 1); });
    if (subs.empty()) {
        warn(m_file + ":" + std::to_string(bs.line) + ": " + who + ": a byte sequence without subsequences; signature skipped");
        return false;
    }
    // Each subsequence sits at its offset range from the previous one's end
    // (the first from the start or the end of the file); the end-anchored
    // ones are listed from the end backward, so their program reads the file
    // backward too.
    SigPattern program;
    for (std::size_t i = 0; i < subs.size(); ++i) {
        const Element& s = *subs[i];
        SigPattern p;
        std::string error;
        if (!subSequence(s, p, error)) {
            warn(m_file + ":" + std::to_string(s.line) + ": " + who + ": " + error + "; signature skipped");
            return false;
        }
        std::uint32_t min = static_cast<std::uint32_t>(toInt(s.attrOr("SubSeqMinOffset"), 0));
        std::string maxText = s.attrOr("SubSeqMaxOffset");
        std::uint32_t max = maxText.empty() || (i == 0 && reference == seq::Reference::Variable)
            ? seq::kUnbounded
            : std::max(min, static_cast<std::uint32_t>(toInt(maxText, 0)));
        program.push_back(SigToken::gap(min, max));
        if (reference == seq::Reference::Eof)
            p = reversedPattern(p);
        program.insert(program.end(), p.begin(), p.end());
    }
    std::string error;
    out = {};
    out.kind = db::NodeKind::Sequence;
    out.value = static_cast<std::uint64_t>(reference);
    out.bytes = compileSignature(program, error);
    if (out.bytes.empty()) {
        warn(m_file + ":" + std::to_string(bs.line) + ": " + who + ": " + error + "; signature skipped");
        return false;
    }
    out.text = std::string(reference == seq::Reference::Bof ? "bytes from the start" : reference == seq::Reference::Eof ? "bytes from the end" : "bytes anywhere")
        + ", PRONOM signature " + std::to_string(signatureId);
    out.line = bs.line;
    return true;
}

bool PronomImport::internalSignature(const Element& sig, const std::string& who, int signatureId, SourceRule& out)
{
    out = {};
    out.kind = db::NodeKind::All;
    for (const Element& c : sig.children) {
        if (c.name != "ByteSequence")
            continue;
        SourceRule r;
        if (!byteSequence(c, who, signatureId, r))
            return false;
        out.children.push_back(std::move(r));
    }
    if (out.children.empty()) {
        warn(m_file + ":" + std::to_string(sig.line) + ": " + who + ": no byte sequence; signature skipped");
        return false;
    }
    // All must hold, so the cheapest goes first: a sequence at a fixed place
    // fails at once on most files, a scan of the head or tail does not.
    auto cost = [](const SourceRule& r) {
        const seq::Hint h = seq::hintOf(r.bytes, db::kHeadSize);
        return h.fixed ? 0 : h.bytes.empty() ? 2 : 1;
    };
    std::stable_sort(out.children.begin(), out.children.end(), [&](const SourceRule& a, const SourceRule& b) { return cost(a) < cost(b); });
    if (out.children.size() == 1) {
        SourceRule only = std::move(out.children[0]);
        out = std::move(only);
    }
    return true;
}

bool PronomImport::parseContainerFile(std::string_view xml, const std::string& fileName)
{
    m_file = fileName;
    Element root;
    std::string error;
    if (!XmlReader(xml).read(root, error) || root.name != "ContainerSignatureMapping") {
        warn(fileName + ": " + (error.empty() ? "not a container signature file" : error) + "; nothing imported from it");
        return false;
    }
    std::map<std::string, std::vector<std::string>> puidsOf;
    if (const Element* maps = root.child("FileFormatMappings")) {
        for (const Element& m : maps->children) {
            if (m.name == "FileFormatMapping")
                puidsOf[m.attrOr("signatureId")].push_back(m.attrOr("Puid"));
        }
    }
    std::map<std::string, Format*> byPuid;
    for (auto& f : m_formats)
        byPuid[f.puid] = &f;
    const Element* sigs = root.child("ContainerSignatures");
    if (!sigs)
        return true;
    for (const Element& cs : sigs->children) {
        if (cs.name != "ContainerSignature")
            continue;
        const std::string id = cs.attrOr("Id");
        const std::string type = cs.attrOr("ContainerType");
        std::string who;
        for (const auto& p : puidsOf[id])
            who += (who.empty() ? "" : ", ") + p;
        if (who.empty())
            continue;
        who += " (container signature " + id + ")";
        SourceRule all;
        all.kind = db::NodeKind::All;
        bool ok = type == "ZIP" || type == "OLE2";
        std::string why = ok ? "" : "container type " + type + " is not supported";
        const Element* files = cs.child("Files");
        for (const Element* f = files ? &files->children.front() : nullptr; ok && f && f <= &files->children.back(); ++f) {
            if (f->name != "File")
                continue;
            const Element* path = f->child("Path");
            std::string name = path ? trimmed(path->text) : "";
            // Members whose content must match need the member's bytes,
            // which the container readers do not give.
            if (name.empty() || f->child("BinarySignatures")) {
                ok = false;
                why = name.empty() ? "a member without a path" : "member content signatures are not supported";
                break;
            }
            if (type == "OLE2" && name.find('/') != std::string::npos) {
                ok = false;
                why = "nested OLE2 storages are not supported";
                break;
            }
            SourceRule r;
            r.kind = type == "ZIP" ? db::NodeKind::ZipHas : db::NodeKind::OleHas;
            r.first = name;
            r.text = std::string(type == "ZIP" ? "zip-has" : "ole-has") + " \"" + name + "\", PRONOM container signature " + id;
            r.line = f->line;
            all.children.push_back(std::move(r));
        }
        if (ok && all.children.empty()) {
            ok = false;
            why = "no member";
        }
        if (!ok) {
            warn(fileName + ":" + std::to_string(cs.line) + ": " + who + ": " + why + "; signature skipped");
            continue;
        }
        for (const auto& p : puidsOf[id]) {
            auto it = byPuid.find(p);
            if (it != byPuid.end()) {
                it->second->containers.push_back(all);
                it->second->containerMime = type == "ZIP" ? "application/zip" : "application/x-ole-storage";
            }
        }
    }
    return true;
}

bool PronomImport::parseMapping(std::string_view text, const std::string& fileName)
{
    int line = 0;
    bool ok = true;
    for (std::size_t p = 0; p <= text.size();) {
        std::size_t e = text.find('\n', p);
        if (e == std::string_view::npos)
            e = text.size();
        std::string l(text.substr(p, e - p));
        p = e + 1;
        ++line;
        if (auto hash = l.find('#'); hash != std::string::npos)
            l.resize(hash);
        std::vector<std::string> words;
        for (std::size_t i = 0; i < l.size();) {
            while (i < l.size() && std::isspace(static_cast<unsigned char>(l[i])))
                ++i;
            std::size_t s = i;
            while (i < l.size() && !std::isspace(static_cast<unsigned char>(l[i])))
                ++i;
            if (i > s)
                words.push_back(l.substr(s, i - s));
        }
        if (words.empty())
            continue;
        if (words.size() != 2) {
            warn(fileName + ":" + std::to_string(line) + ": expected \"PUID id\"");
            ok = false;
            continue;
        }
        m_mapping[words[0]] = words[1];
        if (e == text.size())
            break;
    }
    return ok;
}

bool PronomImport::parseMappingFile(const std::string& path)
{
    std::string text, error;
    if (!readWholeFile(path, std::uint64_t{64} << 20, text, error)) {
        warn(error);
        return false;
    }
    return parseMapping(text, path);
}

bool PronomImport::parseFolder(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> sigFiles, containerFiles;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string n = it->path().filename().string();
        if (n.starts_with("DROID_SignatureFile_") && n.ends_with(".xml"))
            sigFiles.push_back(it->path().string());
        else if (n.starts_with("container-signature-") && n.ends_with(".xml"))
            containerFiles.push_back(it->path().string());
    }
    if (sigFiles.empty()) {
        warn(folder + ": no DROID_SignatureFile_*.xml");
        return false;
    }
    std::sort(sigFiles.begin(), sigFiles.end());
    std::sort(containerFiles.begin(), containerFiles.end());
    auto readAll = [&](const std::string& path, std::string& text) {
        std::string error;
        if (!readWholeFile(path, std::uint64_t{64} << 20, text, error)) {
            warn(error);
            return false;
        }
        return true;
    };
    std::string text;
    if (!readAll(sigFiles.back(), text) || !parseSignatureFile(text, sigFiles.back()))
        return false;
    if (!containerFiles.empty() && readAll(containerFiles.back(), text))
        parseContainerFile(text, containerFiles.back());
    return true;
}

SourceRule PronomImport::rulesOf(const Format& f) const
{
    SourceRule any;
    any.kind = db::NodeKind::Any;
    for (int id : f.signatureIds) {
        auto it = m_signatures.find(id);
        if (it != m_signatures.end())
            any.children.push_back(it->second);
    }
    for (const auto& c : f.containers)
        any.children.push_back(c);
    if (any.children.size() == 1) {
        SourceRule only = std::move(any.children[0]);
        return only;
    }
    return any;
}

std::size_t PronomImport::mergeInto(std::vector<SourceDefinition>& defs)
{
    std::map<std::string, std::size_t> byId;
    std::map<std::string, std::size_t> byMime;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        byId.emplace(defs[i].id, i);
        for (const auto& m : defs[i].mimes) {
            auto [it, fresh] = byMime.emplace(lowered(m), i);
            // Our own definitions win a MIME type that an import also lists.
            if (!fresh && defs[it->second].imported && !defs[i].imported)
                it->second = i;
        }
    }
    // Priorities: a format that has priority over others ranks above them
    // when both match; its level is the longest chain of formats below it.
    std::map<int, const Format*> byFormatId;
    for (const auto& f : m_formats)
        byFormatId[f.id] = &f;
    std::map<int, int> level;
    std::function<int(const Format&, int)> levelOf = [&](const Format& f, int depth) -> int {
        if (auto it = level.find(f.id); it != level.end())
            return it->second;
        int l = 0;
        if (depth < 16) {
            for (int o : f.priorityOver) {
                auto it = byFormatId.find(o);
                if (it != byFormatId.end() && it->second != &f)
                    l = std::max(l, 1 + levelOf(*it->second, depth + 1));
            }
        }
        level[f.id] = l;
        return l;
    };

    std::size_t added = 0;
    std::vector<SourceDefinition> fresh;
    std::set<std::size_t> lent;
    for (const auto& f : m_formats) {
        SourceRule rules = rulesOf(f);
        std::size_t target = defs.size();
        if (auto m = m_mapping.find(f.puid); m != m_mapping.end()) {
            auto it = byId.find(m->second);
            if (it == byId.end())
                warn("PRONOM " + f.puid + ": the mapping names " + m->second + ", which no definition has");
            else
                target = it->second;
        }
        for (std::size_t k = 0; target == defs.size() && k < f.mimes.size(); ++k) {
            if (genericMime(f.mimes[k]))
                continue;
            if (auto it = byMime.find(f.mimes[k]); it != byMime.end())
                target = it->second;
        }
        const int priority = 50 + 10 * std::min(levelOf(f, 0), 5);
        const bool hasRules = !(rules.kind == db::NodeKind::Any && rules.children.empty());
        if (target < defs.size()) {
            SourceDefinition& d = defs[target];
            d.puids.push_back(f.puid);
            ++m_joined;
            // A type known only by name gains the format's signatures.
            if (d.contentless && hasRules) {
                d.root.children = {rules};
                d.contentless = false;
                d.damped = true;
                d.yields = true;
                d.weight = ranking::importedWeight(priority, treeEvidence(rules), treeTextLike(rules));
                lent.insert(target);
            } else if (lent.count(target) && hasRules) {
                // Several formats joined one such type: their signatures are
                // alternatives.
                SourceRule& held = d.root.children[0];
                if (held.kind != db::NodeKind::Any) {
                    SourceRule any;
                    any.kind = db::NodeKind::Any;
                    any.children.push_back(std::move(held));
                    held = std::move(any);
                }
                if (rules.kind == db::NodeKind::Any)
                    held.children.insert(held.children.end(), rules.children.begin(), rules.children.end());
                else
                    held.children.push_back(rules);
                d.weight = std::max(d.weight, ranking::importedWeight(priority, treeEvidence(rules), treeTextLike(rules)));
            }
            continue;
        }
        if (!hasRules)
            continue;
        SourceDefinition d;
        d.id = std::string(kIdPrefix) + f.puid;
        d.desc = f.name;
        if (!f.version.empty() && f.name.find(f.version) == std::string::npos)
            d.desc += " " + f.version;
        d.exts = f.exts.empty() ? std::vector<std::string>{"-"} : f.exts;
        d.mimes = f.mimes.empty() ? std::vector<std::string>{"application/octet-stream"} : f.mimes;
        d.puids = {f.puid};
        d.category = categoryOf(f.mimes);
        d.imported = true;
        d.damped = true;
        d.yields = true;
        d.weight = ranking::importedWeight(priority, treeEvidence(rules), treeTextLike(rules));
        d.file = m_signatureFile;
        d.line = f.line;
        // A format found inside a ZIP or OLE2 file refines it, so it ranks
        // above the bare container.
        if (!f.containerMime.empty()) {
            if (auto it = byMime.find(f.containerMime); it != byMime.end())
                d.parent = defs[it->second].id;
        }
        d.root.kind = db::NodeKind::All;
        d.root.children.push_back(std::move(rules));
        fresh.push_back(std::move(d));
        ++added;
    }
    for (auto& d : fresh)
        defs.push_back(std::move(d));
    return added;
}

} // namespace gv::vonk
