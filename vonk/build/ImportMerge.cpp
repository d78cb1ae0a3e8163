// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/ImportMerge.h"

#include "vonk/build/DatabaseWriter.h"
#include "vonk/format/Ranking.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace gv::vonk {

namespace {

std::string lowered(std::string s)
{
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

// Where the media type alone says too little, the generic icon names the
// family (package-x-generic, x-office-document...).
std::string categoryOf(const ImportedType& t)
{
    const std::string& icon = t.icon;
    if (icon == "package-x-generic")
        return "archive";
    if (icon.rfind("x-office-", 0) == 0)
        return "document";
    if (icon == "application-x-executable")
        return "executable";
    if (icon.rfind("font-", 0) == 0)
        return "font";
    if (icon.rfind("text-", 0) == 0)
        return "text";
    std::string media = t.mime.substr(0, t.mime.find('/'));
    if (media == "image" || media == "audio" || media == "video" || media == "font" || media == "text")
        return media;
    return "data";
}

// Two sources often describe the same magic; the rule's text (made from its
// bytes, not copied from the source) tells a repeat.
std::string shape(const SourceRule& r)
{
    std::string s = std::to_string(static_cast<int>(r.kind)) + ":" + std::to_string(r.value) + ":" + r.text;
    if (!r.children.empty()) {
        s += "(";
        for (const auto& c : r.children)
            s += shape(c) + ";";
        s += ")";
    }
    return s;
}

// Imported magic is written to find a type, not to rank it: long
// signatures (a 30-byte header line) and runs of one byte (sixteen zeros)
// say far less than their length suggests. Each pattern gives at most
// kImportedEvidenceCap, and a run of one byte value no more than one byte.
constexpr std::uint32_t kImportedEvidenceCap = 64;

void capEvidence(SourceRule& r)
{
    for (auto& c : r.children)
        capEvidence(c);
    if (!r.children.empty() || r.kind == db::NodeKind::XmlRoot)
        return;
    r.evidenceCap = kImportedEvidenceCap;
    std::set<std::uint8_t> values;
    for (std::size_t i = 0; i < r.bytes.size(); ++i)
        if (r.masks[i])
            values.insert(r.bytes[i]);
    if (r.bytes.size() > 1 && values.size() == 1)
        r.evidenceCap = 8;
}

// The fixed patterns a rule tree checks, as (kind, offset, bytes, masks).
using PatternKey = std::tuple<int, std::int64_t, std::vector<std::uint8_t>, std::vector<std::uint8_t>>;

void collectPatterns(const SourceRule& r, std::set<PatternKey>& out)
{
    if (r.kind == db::NodeKind::AtPattern)
        out.insert({static_cast<int>(r.kind), r.off, r.bytes, r.masks});
    for (const auto& c : r.children)
        collectPatterns(c, out);
}

// Whether every way the imported type can match is a pattern its parent
// checks already: then it is no refinement, only a repeat of the parent.
bool repeatsParent(const SourceRule& alternatives, const SourceDefinition& parent)
{
    std::set<PatternKey> theirs;
    collectPatterns(parent.root, theirs);
    return !alternatives.children.empty() && std::all_of(alternatives.children.begin(), alternatives.children.end(), [&](const SourceRule& a) {
        return a.children.empty() && a.kind == db::NodeKind::AtPattern && theirs.count({static_cast<int>(a.kind), a.off, a.bytes, a.masks});
    });
}

struct Merged {
    ImportedType type;
    std::vector<std::pair<std::string, int>> from; // "source:file", line
};

// Adds to `into` what `t` has and it lacks; true when anything was added.
bool enrich(Merged& into, const ImportedType& t, std::map<std::string, std::size_t, std::less<>>& byMime, std::size_t self)
{
    ImportedType& m = into.type;
    bool added = false;
    for (const auto& e : t.exts)
        if (std::find(m.exts.begin(), m.exts.end(), e) == m.exts.end()) {
            m.exts.push_back(e);
            added = true;
        }
    std::vector<std::string> names = t.aliases;
    names.insert(names.begin(), t.mime);
    for (const auto& a : names) {
        if (a.empty() || a == m.mime || byMime.count(a))
            continue;
        m.aliases.push_back(a);
        byMime.emplace(a, self);
        added = true;
    }
    for (const auto& p : t.subClassOf)
        if (std::find(m.subClassOf.begin(), m.subClassOf.end(), p) == m.subClassOf.end()) {
            m.subClassOf.push_back(p);
            added = true;
        }
    if (m.comment.empty() && !t.comment.empty())
        m.comment = t.comment;
    if (m.icon.empty())
        m.icon = t.icon;
    // A refinement (a ZIP-based document, a DocBook file) is told by what
    // its first source says: flat magic from another list only repeats the
    // carrier's ("PK\x03\x04", "<?xml") and would outrank it.
    if (!m.subClassOf.empty()) {
        if (added)
            into.from.emplace_back(t.source + ":" + t.file, t.line);
        return added;
    }
    std::set<std::string> known;
    for (const auto& a : m.alternatives.children)
        known.insert(shape(a));
    bool newMagic = false;
    for (const auto& a : t.alternatives.children)
        if (known.insert(shape(a)).second) {
            m.alternatives.children.push_back(a);
            newMagic = true;
        }
    if (newMagic) {
        m.priority = std::max(m.priority, t.priority);
        added = true;
    }
    if (added)
        into.from.emplace_back(t.source + ":" + t.file, t.line);
    return added;
}

} // namespace

std::uint32_t ImportMerge::strength(const SourceRule& r)
{
    std::uint32_t e = 0;
    switch (r.kind) {
    case db::NodeKind::All:
        for (const auto& c : r.children)
            e += strength(c);
        return e;
    case db::NodeKind::Any:
        for (const auto& c : r.children)
            e = std::max(e, strength(c));
        return e;
    case db::NodeKind::Some: {
        // The weakest way to reach the count.
        std::vector<std::uint32_t> each;
        for (const auto& c : r.children)
            each.push_back(strength(c));
        std::sort(each.begin(), each.end());
        for (std::size_t i = 0; i < r.value && i < each.size(); ++i)
            e += each[i];
        return e;
    }
    default:
        return r.evidenceCap ? std::min(r.evidenceCap, DatabaseWriter::evidenceOf(r)) : DatabaseWriter::evidenceOf(r);
    }
}

// Magic made only of printable text: a word at the start of a text file
// is far more common than its bits suggest (PREFIX opens SPARQL queries and
// makefiles alike).
bool ImportMerge::textLike(const SourceRule& r)
{
    switch (r.kind) {
    case db::NodeKind::All:
    case db::NodeKind::Any:
    case db::NodeKind::Some:
        return std::all_of(r.children.begin(), r.children.end(), textLike);
    case db::NodeKind::AtPattern:
    case db::NodeKind::Within:
        return std::all_of(r.bytes.begin(), r.bytes.end(), [](std::uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r'; });
    default:
        return false;
    }
}

ImportMerge::Result ImportMerge::mergeInto(std::vector<SourceDefinition>& defs, const std::vector<const std::vector<ImportedType>*>& sources)
{
    Result result;
    // MIME type (or alias) -> ours (index into defs) or merged (kMerged + index).
    constexpr std::size_t kMerged = std::size_t{1} << 40;
    std::map<std::string, std::size_t, std::less<>> byMime;
    for (std::size_t i = 0; i < defs.size(); ++i)
        for (const auto& m : defs[i].mimes)
            byMime.emplace(lowered(m), i);
    std::set<std::string> ids;
    for (const auto& d : defs)
        ids.insert(d.id);

    std::vector<Merged> merged;
    for (const auto* list : sources) {
        for (const auto& t : *list) {
            if (t.mime.empty()) {
                // Nothing to merge by: a type of its own, unless its id is
                // taken (then the first keeps it).
                if (ids.insert(t.idPrefix + t.key).second)
                    merged.push_back({t, {{t.source + ":" + t.file, t.line}}});
                continue;
            }
            std::vector<std::string> names = t.aliases;
            names.insert(names.begin(), t.mime);
            bool ours = false;
            std::size_t owner = 0;
            for (const auto& n : names) {
                auto it = byMime.find(n);
                if (it == byMime.end())
                    continue;
                if (it->second < kMerged)
                    ours = true;
                else if (!owner)
                    owner = it->second;
            }
            if (ours) {
                ++result.ours;
                continue;
            }
            if (owner) {
                if (enrich(merged[owner - kMerged], t, byMime, owner))
                    ++result.enriched;
                continue;
            }
            const std::size_t self = kMerged + merged.size();
            Merged m{t, {{t.source + ":" + t.file, t.line}}};
            m.type.aliases.clear();
            for (const auto& n : names) {
                if (byMime.emplace(n, self).second && n != t.mime)
                    m.type.aliases.push_back(n);
            }
            ids.insert(t.idPrefix + t.mime);
            merged.push_back(std::move(m));
        }
    }

    const std::size_t ourCount = defs.size();
    for (const auto& m : merged) {
        const ImportedType& t = m.type;
        SourceDefinition d;
        d.id = t.idPrefix + (t.mime.empty() ? t.key : t.mime);
        d.desc = !t.comment.empty() ? t.comment : !t.mime.empty() ? t.mime : t.key;
        d.exts = t.exts.empty() ? std::vector<std::string>{"-"} : t.exts;
        d.mimes.push_back(t.mime.empty() ? "application/octet-stream" : t.mime);
        for (const auto& a : t.aliases)
            d.mimes.push_back(a);
        d.category = categoryOf(t);
        // Where it came from, every source that added to it: the writer
        // appends the last line.
        for (std::size_t k = 0; k + 1 < m.from.size(); ++k)
            d.file += m.from[k].first + ":" + std::to_string(m.from[k].second) + " + ";
        d.file += m.from.back().first;
        d.line = m.from.back().second;
        d.imported = true;
        if (t.alternatives.children.empty()) {
            // Known by name only. Content decides here, never the name, so
            // the type is listed but can never be a candidate.
            d.contentless = true;
            SourceRule never;
            never.kind = db::NodeKind::Size;
            never.op = db::CmpOp::Lt;
            never.value = 0;
            never.text = "never (no content rule in " + t.source + ")";
            d.root.children.push_back(std::move(never));
        } else {
            // Imported evidence counts for less than ours.
            SourceRule any = t.alternatives;
            any.kind = db::NodeKind::Any;
            capEvidence(any);
            d.weight = ranking::importedWeight(t.priority, strength(any), textLike(any));
            d.damped = true;
            d.root.children.push_back(any.children.size() == 1 ? std::move(any.children.front()) : std::move(any));
        }
        defs.push_back(std::move(d));
    }
    result.added = merged.size();

    std::map<std::string, std::size_t, std::less<>> byMimeIndex;
    for (std::size_t i = 0; i < defs.size(); ++i)
        for (const auto& mm : defs[i].mimes)
            byMimeIndex.emplace(lowered(mm), i);

    // Parents last, once every type is known; only to a definition that
    // exists, and never into a cycle or beyond the allowed depth.
    for (std::size_t k = 0; k < merged.size(); ++k) {
        const std::size_t self = ourCount + k;
        SourceDefinition& d = defs[self];
        for (const auto& p : merged[k].type.subClassOf) {
            auto it = byMimeIndex.find(p);
            if (it == byMimeIndex.end() || it->second == self || defs[it->second].mimes.front() == "application/octet-stream")
                continue;
            // A refinement always ranks above what it refines, which is
            // right only when its magic is meant to win: not for a weaker
            // priority than the parent's (ours count as the default, 50).
            int parentPriority = 50;
            if (it->second >= ourCount)
                parentPriority = merged[it->second - ourCount].type.priority;
            if (merged[k].type.priority >= 0 && merged[k].type.priority < parentPriority)
                continue;
            if (repeatsParent(merged[k].type.alternatives, defs[it->second]))
                continue;
            std::size_t cur = it->second;
            std::uint32_t depth = 1;
            bool bad = false;
            for (;;) {
                if (cur == self || depth > db::kMaxNesting) {
                    bad = true;
                    break;
                }
                if (defs[cur].parent.empty())
                    break;
                auto up = std::find_if(defs.begin(), defs.end(), [&](const SourceDefinition& x) { return x.id == defs[cur].parent; });
                if (up == defs.end())
                    break;
                cur = static_cast<std::size_t>(up - defs.begin());
                ++depth;
            }
            if (bad)
                continue;
            d.parent = defs[it->second].id;
            break;
        }
    }
    return result;
}

} // namespace gv::vonk
