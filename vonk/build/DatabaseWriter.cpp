// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/DatabaseWriter.h"

#include "vonk/base/Checksum.h"
#include "vonk/format/Database.h"
#include "vonk/format/Ranking.h"
#include "vonk/format/RuleTraits.h"
#include "vonk/format/SequenceProgram.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>

namespace gv::vonk {

namespace {

// Where a definition came from, with '/' between folders on every system:
// the same commit must give the same database bytes wherever it is built.
std::string portablePath(std::string path)
{
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '\\', '/');
#endif
    return path;
}


bool isLetter(std::uint8_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A byte the index can rely on: fully fixed, or a letter in either case.
bool indexable(std::uint8_t value, std::uint8_t mask)
{
    return mask == 0xFF || (mask == 0xDF && isLetter(value));
}

std::uint8_t lower(std::uint8_t c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + 32) : c;
}

struct Trigger {
    bool anchor = true;
    std::int64_t offset = 0;
    std::uint32_t key = 0;
    std::uint8_t len = 0;
    std::string literal;
    db::Zone zone = db::Zone::Head;
    std::uint32_t extent = 0;
    std::uint32_t from = 0; // the literal cannot start earlier (head only)
    bool textOnly = false;  // it stands for rules that hold for text only
};

struct TriggerSet {
    std::vector<Trigger> items;
    int quality = 0;
};

bool anchorInReach(std::int64_t base, std::int64_t pos, std::size_t len)
{
    std::int64_t end = pos + static_cast<std::int64_t>(len);
    if (base >= 0)
        return pos >= 0 && end <= db::kHeadSize;
    return end <= 0 && -pos <= db::kHeadSize;
}

// Picks up to four consecutive fully fixed bytes of a pattern to index the
// definition by: the longest such run, preferring one that is not all zero
// bytes (zeros open most binary files). A pattern whose only fixed bytes are
// case-free letters is indexed by one letter in both cases.
std::optional<TriggerSet> anchorsFor(std::int64_t base, const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& masks)
{
    std::size_t bestPos = 0, bestLen = 0;
    bool bestZero = true;
    int fixed = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (masks[i] != 0xFF)
            continue;
        ++fixed;
        std::size_t len = 0;
        bool zero = true;
        while (len < 4 && i + len < bytes.size() && masks[i + len] == 0xFF) {
            zero = zero && bytes[i + len] == 0;
            ++len;
        }
        if (!anchorInReach(base, base + static_cast<std::int64_t>(i), len))
            continue;
        bool better = bestLen == 0 || (bestZero && !zero) || (zero == bestZero && len > bestLen);
        if (better) {
            bestPos = i;
            bestLen = len;
            bestZero = zero;
        }
    }
    TriggerSet set;
    if (bestLen > 0) {
        Trigger t;
        t.offset = base + static_cast<std::int64_t>(bestPos);
        t.len = static_cast<std::uint8_t>(bestLen);
        for (std::size_t k = 0; k < bestLen; ++k)
            t.key |= std::uint32_t{bytes[bestPos + k]} << (8 * k);
        set.items.push_back(t);
        // Anchors cost one comparison per file, so they are preferred over
        // literals (which make every file's head or tail be scanned), unless
        // they are a run of zero bytes.
        set.quality = 50 + static_cast<int>(bestLen) * 10 + std::min(fixed, 8) - (bestZero ? 45 : 0);
        return set;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (masks[i] == 0xDF && isLetter(bytes[i]) && anchorInReach(base, base + static_cast<std::int64_t>(i), 1)) {
            for (std::uint8_t c : {static_cast<std::uint8_t>(bytes[i] | 0x20), static_cast<std::uint8_t>(bytes[i] & 0xDF)}) {
                Trigger t;
                t.offset = base + static_cast<std::int64_t>(i);
                t.len = 1;
                t.key = c;
                set.items.push_back(t);
            }
            set.quality = 45;
            return set;
        }
    }
    return std::nullopt;
}

bool needsText(const SourceRule& r);

// A shebang is read from the text's first characters, in whichever encoding
// the text check finds: "#!" as bytes, behind a UTF-8 byte-order mark, or as
// wide characters with or without theirs. Each of those openings is an
// anchor at the start.
TriggerSet shebangTriggers()
{
    static constexpr std::string_view kOpenings[] = {
        {"#!", 2}, {"\xEF\xBB\xBF#", 4},
        {"#\0!\0", 4}, {"\0#\0!", 4}, {"\xFF\xFE#\0", 4}, {"\xFE\xFF\0#", 4},
        {"#\0\0\0", 4}, {"\0\0\0#", 4}, {"\xFF\xFE\0\0", 4}, {"\0\0\xFE\xFF", 4},
    };
    TriggerSet set;
    for (std::string_view o : kOpenings) {
        Trigger t;
        t.offset = 0;
        t.len = static_cast<std::uint8_t>(o.size());
        for (std::size_t k = 0; k < o.size(); ++k)
            t.key |= std::uint32_t{static_cast<std::uint8_t>(o[k])} << (8 * k);
        set.items.push_back(t);
    }
    set.quality = 60;
    return set;
}

std::optional<TriggerSet> triggersOf(const SourceRule& r)
{
    using db::NodeKind;
    switch (r.kind) {
    case NodeKind::Shebang:
        return shebangTriggers();
    // The root element's local name: looked up once the text's root is read.
    case NodeKind::XmlRoot: {
        if (r.first == "*" || r.first.empty() || r.first.size() > db::kMaxPatternLength)
            return std::nullopt;
        Trigger t;
        t.anchor = false;
        t.literal = r.first;
        t.zone = db::Zone::XmlRoot;
        t.textOnly = true;
        TriggerSet set;
        set.items.push_back(std::move(t));
        set.quality = 70;
        return set;
    }
    // A ZIP directory is read from an end record that a file starting as an
    // archive may keep anywhere in its last 64 KiB, and any other file in its
    // last 4 KiB (see Probe::zip).
    case NodeKind::ZipHas: {
        TriggerSet set;
        for (std::string_view start : {std::string_view("PK\x03\x04", 4), std::string_view("PK\x05\x06", 4), std::string_view("PK\x07\x08", 4)}) {
            Trigger t;
            t.offset = 0;
            t.len = 4;
            for (std::size_t k = 0; k < 4; ++k)
                t.key |= std::uint32_t{static_cast<std::uint8_t>(start[k])} << (8 * k);
            set.items.push_back(t);
        }
        Trigger end;
        end.anchor = false;
        end.literal = std::string("pk\x05\x06", 4);
        end.zone = db::Zone::Tail;
        end.extent = 4096;
        set.items.push_back(std::move(end));
        set.quality = 40;
        return set;
    }
    // An OLE2 directory is read only from a file that opens with the
    // compound file's signature.
    case NodeKind::OleHas:
    case NodeKind::OleClsid: {
        Trigger t;
        t.offset = 0;
        t.len = 4;
        t.key = 0xE011CFD0u; // D0 CF 11 E0
        TriggerSet set;
        set.items.push_back(t);
        set.quality = 60;
        return set;
    }
    case NodeKind::AtPattern:
        return anchorsFor(r.off, r.bytes, r.masks);
    case NodeKind::AtNumber: {
        if (r.op != db::CmpOp::Eq)
            return std::nullopt;
        int width = 1;
        switch (r.num) {
        case db::NumKind::U8: width = 1; break;
        case db::NumKind::Le16: case db::NumKind::Be16: width = 2; break;
        case db::NumKind::Le32: case db::NumKind::Be32: width = 4; break;
        default: width = 8; break;
        }
        bool big = r.num == db::NumKind::Be16 || r.num == db::NumKind::Be32 || r.num == db::NumKind::Be64;
        std::vector<std::uint8_t> bytes, masks;
        for (int k = 0; k < width; ++k) {
            int shift = big ? 8 * (width - 1 - k) : 8 * k;
            bytes.push_back(static_cast<std::uint8_t>(r.value >> shift));
            masks.push_back(static_cast<std::uint8_t>(r.mask >> shift));
        }
        return anchorsFor(r.off, bytes, masks);
    }
    case NodeKind::Within:
    case NodeKind::Head:
    case NodeKind::Tail: {
        std::size_t bestStart = 0, bestLen = 0;
        for (std::size_t i = 0; i < r.bytes.size();) {
            if (!indexable(r.bytes[i], r.masks[i])) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < r.bytes.size() && indexable(r.bytes[j], r.masks[j]))
                ++j;
            if (j - i > bestLen) {
                bestStart = i;
                bestLen = j - i;
            }
            i = j;
        }
        if (bestLen < 2)
            return std::nullopt;
        std::int64_t extent = r.kind == NodeKind::Within ? r.to + static_cast<std::int64_t>(r.bytes.size()) : r.off;
        if (extent > db::kHeadSize)
            return std::nullopt;
        // Four bytes find candidates well enough (the rule itself is checked
        // afterwards) and keep the search automaton small: the window with
        // the fewest bytes common in text and binary files. Where it starts
        // counts twice over: a search stops at every place that begins a
        // pattern's first two bytes, and in text nearly every place begins
        // two letters or a letter after a blank.
        auto commonness = [](std::uint8_t c) {
            c = lower(c);
            if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == 0 || c == 0xFF)
                return 3;
            if (std::string_view("-=\"<>/:,.etaoinsr").find(static_cast<char>(c)) != std::string_view::npos)
                return 2;
            return 1;
        };
        auto inWords = [](std::uint8_t c) {
            c = lower(c);
            return (c >= 'a' && c <= 'z') || c == ' ';
        };
        std::size_t window = std::min<std::size_t>(bestLen, 4);
        std::size_t pick = bestStart;
        int pickScore = 1 << 30;
        for (std::size_t w = bestStart; w + window <= bestStart + bestLen; ++w) {
            int score = 0;
            for (std::size_t k = w; k < w + window; ++k)
                score += commonness(r.bytes[k]);
            if (window >= 2)
                score += 2 * (static_cast<int>(inWords(r.bytes[w])) + static_cast<int>(inWords(r.bytes[w + 1])));
            if (score < pickScore) {
                pickScore = score;
                pick = w;
            }
        }
        Trigger t;
        t.anchor = false;
        for (std::size_t i = pick; i < pick + window; ++i)
            t.literal += static_cast<char>(lower(r.bytes[i]));
        t.zone = r.kind == NodeKind::Tail ? db::Zone::Tail : db::Zone::Head;
        t.extent = static_cast<std::uint32_t>(extent);
        // A window far into the file (a volume descriptor at 32 KiB) need
        // not be searched from the start.
        if (r.kind == NodeKind::Within && r.off > 0)
            t.from = static_cast<std::uint32_t>(std::min<std::int64_t>(r.off + static_cast<std::int64_t>(pick), 0xFFFF));
        TriggerSet set;
        set.items.push_back(std::move(t));
        // Longer literals find fewer candidates; wider scans cost more.
        set.quality = static_cast<int>(std::min<std::size_t>(bestLen, 8)) * 8 - 2 * static_cast<int>(std::log2(static_cast<double>(extent) + 1.0));
        return set;
    }
    case NodeKind::Sequence: {
        // Its best run of fixed bytes stands in for it, as a pattern at a
        // fixed place or one somewhere in the head or tail.
        const auto ref = static_cast<seq::Reference>(r.value);
        const seq::Hint h = seq::hintOf(r.bytes, db::kHeadSize);
        if (h.bytes.empty())
            return std::nullopt;
        SourceRule proxy;
        proxy.bytes = h.bytes;
        proxy.masks.assign(h.bytes.size(), 0xFF);
        if (ref == seq::Reference::Eof)
            std::reverse(proxy.bytes.begin(), proxy.bytes.end());
        if (h.fixed) {
            proxy.kind = NodeKind::AtPattern;
            proxy.off = ref == seq::Reference::Eof ? -static_cast<std::int64_t>(h.offset + h.bytes.size()) : h.offset;
        } else {
            proxy.kind = ref == seq::Reference::Eof ? NodeKind::Tail : NodeKind::Head;
            proxy.off = std::max<std::uint32_t>(h.extent, 1);
        }
        return triggersOf(proxy);
    }
    case NodeKind::All: {
        std::optional<TriggerSet> best;
        for (auto& c : r.children) {
            auto s = triggersOf(c);
            if (s && (!best || s->quality > best->quality))
                best = std::move(s);
        }
        // One way of an `any` that reads text (a text variant beside a
        // binary one): what stands for it need not be searched elsewhere.
        if (best && needsText(r)) {
            for (auto& t : best->items)
                t.textOnly = true;
        }
        return best;
    }
    // Offsets inside count from the end of the tags: the matcher looks the
    // anchors up there too, but literals would be searched in the wrong
    // place, so only anchors index the block.
    case NodeKind::AfterTags: {
        std::optional<TriggerSet> best;
        for (auto& c : r.children) {
            auto s = triggersOf(c);
            if (s && std::all_of(s->items.begin(), s->items.end(), [](const Trigger& t) { return t.anchor; })
                && (!best || s->quality > best->quality))
                best = std::move(s);
        }
        return best;
    }
    // At least one of the rules of an `any`, or of a `some` that needs one
    // or more, holds: what finds any of them finds the block.
    case NodeKind::Some:
        if (r.value == 0)
            return std::nullopt;
        [[fallthrough]];
    case NodeKind::Any: {
        TriggerSet set;
        set.quality = 1000;
        for (auto& c : r.children) {
            auto s = triggersOf(c);
            if (!s)
                return std::nullopt;
            set.quality = std::min(set.quality, s->quality);
            for (auto& t : s->items)
                set.items.push_back(std::move(t));
        }
        return set;
    }
    default:
        return std::nullopt;
    }
}

// True when every way to satisfy the rule reads text (negations aside), so
// the definition's literals need not be searched in binary files.
bool needsText(const SourceRule& r)
{
    switch (r.kind) {
    case db::NodeKind::Text:
    case db::NodeKind::Json:
    case db::NodeKind::XmlRoot:
    case db::NodeKind::Shebang:
    case db::NodeKind::Delimited:
    case db::NodeKind::KeyValue:
        return true;
    case db::NodeKind::All:
        return std::any_of(r.children.begin(), r.children.end(), [](const SourceRule& c) { return needsText(c); });
    case db::NodeKind::Any:
    case db::NodeKind::Some:
        return !r.children.empty()
            && std::all_of(r.children.begin(), r.children.end(), [](const SourceRule& c) { return needsText(c); });
    default:
        return false;
    }
}

class Writer {
public:
    explicit Writer(const std::vector<SourceDefinition>& defs) : m_defs(defs) {}

    std::vector<std::uint8_t> run(std::uint64_t buildTime, const std::string& sources, std::span<const std::uint8_t> textModel)
    {
        const db::StrRef sourcesRef = shownStr(sources);
        std::map<std::string, std::uint32_t, std::less<>> index;
        for (std::uint32_t i = 0; i < m_defs.size(); ++i)
            index.emplace(m_defs[i].id, i);

        // Every definition's id and extensions first, side by side: a start
        // reads them for all definitions, and reads them from a few pages
        // rather than from one place per definition all over the pool.
        std::vector<std::pair<db::StrRef, db::StrRef>> named;
        named.reserve(m_defs.size());
        for (const SourceDefinition& d : m_defs) {
            const db::StrRef id = str(d.id);
            named.emplace_back(id, str(join(d.exts)));
        }
        for (std::uint32_t i = 0; i < m_defs.size(); ++i) {
            const SourceDefinition& d = m_defs[i];
            db::DefRecord rec{};
            rec.id = named[i].first;
            rec.desc = shownStr(d.desc);
            rec.ext = named[i].second;
            rec.mime = shownStr(join(d.mimes));
            rec.category = shownStr(d.category);
            rec.source = shownStr(portablePath(d.file) + ":" + std::to_string(d.line));
            rec.puid = shownStr(join(d.puids));
            rec.parent = db::kNoParent;
            if (!d.parent.empty()) {
                auto it = index.find(d.parent);
                if (it != index.end())
                    rec.parent = it->second;
            }
            rec.weight = d.weight;
            rec.flags = static_cast<std::uint16_t>((d.needsHigh ? db::kDefNeedsHigh : 0) | (d.damped ? db::kDefDamped : 0)
                | (d.imported ? db::kDefImported : 0) | (d.contentless ? db::kDefNameOnly : 0) | (d.yields ? db::kDefYields : 0));
            rec.root = static_cast<std::uint32_t>(m_nodes.size());
            m_nodes.emplace_back();
            place(d.root, rec.root);
            m_records.push_back(rec);
            if (d.contentless)
                continue;

            auto triggers = triggersOf(d.root);
            if (!triggers) {
                m_always.push_back(i);
                continue;
            }
            for (auto& t : triggers->items) {
                if (t.anchor) {
                    db::AnchorRecord a{};
                    a.offset = t.offset;
                    a.def = i;
                    a.key = t.key;
                    a.len = t.len;
                    m_anchors.push_back(a);
                } else {
                    db::LiteralRecord l{};
                    l.text = str(t.literal);
                    l.def = i;
                    l.extent = t.extent;
                    l.zone = static_cast<std::uint8_t>(t.zone);
                    l.flags = t.textOnly || needsText(d.root) ? db::kLiteralNeedsText : 0;
                    l.from = static_cast<std::uint16_t>(t.from);
                    m_literals.push_back(l);
                }
            }
        }
        for (auto& rec : m_records) {
            std::uint32_t depth = 0;
            for (std::uint32_t p = rec.parent; p != db::kNoParent && depth <= db::kMaxNesting; p = m_records[p].parent)
                ++depth;
            rec.depth = static_cast<std::uint16_t>(depth);
        }
        // What each definition's rules hold, so that a start need not read
        // every rule to learn it.
        std::vector<std::uint8_t> holds;
        db::ruleTraits(std::span<const db::NodeRecord>(m_nodes), [&](db::StrRef r) { return poolText(r); }, holds);
        for (auto& rec : m_records)
            rec.flags = static_cast<std::uint16_t>(rec.flags | holds[rec.root] << db::kDefTraitShift);
        // Literals in the order the loader groups them (by search set, then
        // text; roots by name after them), so that it finds them sorted
        // rather than sorting them at every start.
        auto literalKey = [&](const db::LiteralRecord& l) {
            const db::DefRecord& d = m_records[l.def];
            const bool deferred = (d.flags & db::kDefYields) && d.parent == db::kNoParent;
            const auto zone = static_cast<db::Zone>(l.zone);
            const int set = zone == db::Zone::XmlRoot
                ? Database::kLiteralSets
                : Database::literalSet(zone, l.flags & db::kLiteralNeedsText, l.extent, deferred);
            return std::make_tuple(set, poolText(l.text), l.def);
        };
        std::sort(m_literals.begin(), m_literals.end(),
            [&](const db::LiteralRecord& a, const db::LiteralRecord& b) { return literalKey(a) < literalKey(b); });
        std::sort(m_anchors.begin(), m_anchors.end(), [](const db::AnchorRecord& a, const db::AnchorRecord& b) {
            if (a.offset != b.offset)
                return a.offset < b.offset;
            if (a.len != b.len)
                return a.len < b.len;
            if (a.key != b.key)
                return a.key < b.key;
            return a.def < b.def;
        });
        m_anchors.erase(std::unique(m_anchors.begin(), m_anchors.end(), [](const db::AnchorRecord& a, const db::AnchorRecord& b) {
            return a.offset == b.offset && a.len == b.len && a.key == b.key && a.def == b.def;
        }), m_anchors.end());

        // Texts only shown go after those the checks and the matcher read.
        const auto hot = static_cast<std::uint32_t>(m_pool.size());
        auto moved = [&](db::StrRef& ref) { ref.off += hot; };
        for (auto& rec : m_records) {
            for (db::StrRef* ref : {&rec.desc, &rec.mime, &rec.category, &rec.source, &rec.puid})
                moved(*ref);
        }
        for (auto& n : m_nodes)
            moved(n.src);
        db::StrRef shownSources = sourcesRef;
        moved(shownSources);
        m_pool.insert(m_pool.end(), m_shown.begin(), m_shown.end());

        std::vector<std::uint8_t> body;
        append(body, m_records);
        append(body, m_nodes);
        append(body, m_anchors);
        append(body, m_literals);
        append(body, m_always);
        body.insert(body.end(), m_pool.begin(), m_pool.end());
        body.insert(body.end(), textModel.begin(), textModel.end());

        db::Header h{};
        std::memcpy(h.magic, db::kMagic, sizeof h.magic);
        h.version = db::kVersion;
        h.headerSize = sizeof(db::Header);
        h.defCount = static_cast<std::uint32_t>(m_records.size());
        h.nodeCount = static_cast<std::uint32_t>(m_nodes.size());
        h.anchorCount = static_cast<std::uint32_t>(m_anchors.size());
        h.literalCount = static_cast<std::uint32_t>(m_literals.size());
        h.alwaysCount = static_cast<std::uint32_t>(m_always.size());
        h.poolSize = static_cast<std::uint32_t>(m_pool.size());
        h.bodySize = body.size();
        h.buildTime = buildTime;
        h.flags = db::kHeaderRuleTraits;
        h.sources = shownSources;
        h.bodyHash = 0;
        h.bodyHash = checksum32(body.data(), body.size(), checksum32(reinterpret_cast<const std::uint8_t*>(&h), sizeof h));

        std::vector<std::uint8_t> out(sizeof h);
        std::memcpy(out.data(), &h, sizeof h);
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }

private:
    template <typename T>
    static void append(std::vector<std::uint8_t>& out, const std::vector<T>& v)
    {
        auto* p = reinterpret_cast<const std::uint8_t*>(v.data());
        out.insert(out.end(), p, p + v.size() * sizeof(T));
    }

    static std::string join(const std::vector<std::string>& v)
    {
        std::string s;
        for (auto& x : v)
            s += (s.empty() ? "" : " ") + x;
        return s;
    }

    std::string_view poolText(db::StrRef r) const
    {
        return std::string_view(reinterpret_cast<const char*>(m_pool.data()) + r.off, r.len);
    }

    // A text only shown (descriptions, sources, a rule's text): kept apart,
    // after the texts a start reads, so that those lie close together.
    db::StrRef shownStr(std::string_view s)
    {
        db::StrRef r{static_cast<std::uint32_t>(m_shown.size()), static_cast<std::uint32_t>(s.size())};
        m_shown.insert(m_shown.end(), s.begin(), s.end());
        return r;
    }

    db::StrRef str(std::string_view s)
    {
        db::StrRef r{static_cast<std::uint32_t>(m_pool.size()), static_cast<std::uint32_t>(s.size())};
        m_pool.insert(m_pool.end(), s.begin(), s.end());
        return r;
    }

    db::StrRef bytes(const std::vector<std::uint8_t>& b)
    {
        return str(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
    }

    // Children of a node are stored together after it, so the loader can
    // prove the tree acyclic by checking that every child index is larger.
    void place(const SourceRule& r, std::uint32_t at)
    {
        db::NodeRecord n{};
        n.kind = static_cast<std::uint8_t>(r.kind);
        n.op = static_cast<std::uint8_t>(r.op);
        n.num = static_cast<std::uint8_t>(r.num);
        // A byte sequence keeps its reference (start, end, anywhere) in `value`.
        n.flags = static_cast<std::uint8_t>(r.kind == db::NodeKind::Sequence ? r.value : static_cast<std::uint64_t>(r.textKind));
        n.evidence = DatabaseWriter::evidenceOf(r);
        if (r.evidenceCap)
            n.evidence = std::min(n.evidence, r.evidenceCap);
        n.off = r.off;
        n.to = r.to;
        n.value = r.value;
        n.mask = r.mask;
        if (!r.bytes.empty()) {
            n.a = bytes(r.bytes);
            n.b = bytes(r.masks);
        } else {
            n.a = str(r.first);
            n.b = str(r.second);
        }
        n.src = shownStr(r.text);
        n.first = static_cast<std::uint32_t>(m_nodes.size());
        n.count = static_cast<std::uint32_t>(r.children.size());
        m_nodes.resize(m_nodes.size() + r.children.size());
        for (std::size_t i = 0; i < r.children.size(); ++i)
            place(r.children[i], n.first + static_cast<std::uint32_t>(i));
        m_nodes[at] = n;
    }

    const std::vector<SourceDefinition>& m_defs;
    std::vector<db::DefRecord> m_records;
    std::vector<db::NodeRecord> m_nodes;
    std::vector<db::AnchorRecord> m_anchors;
    std::vector<db::LiteralRecord> m_literals;
    std::vector<std::uint32_t> m_always;
    std::vector<std::uint8_t> m_pool;
    std::vector<std::uint8_t> m_shown;
};

} // namespace

std::uint32_t DatabaseWriter::evidenceOf(const SourceRule& r)
{
    ranking::RuleFacts facts;
    facts.kind = r.kind;
    facts.op = r.op;
    facts.off = r.off;
    facts.to = r.to;
    facts.mask = r.mask;
    facts.bytes = r.bytes;
    facts.masks = r.masks;
    facts.nameLength = r.first.size();
    facts.secondLength = r.second.size();
    return ranking::ruleEvidence(facts);
}

std::vector<std::uint8_t> DatabaseWriter::build(const std::vector<SourceDefinition>& defs, std::uint64_t buildTime, const std::string& sources,
                                                std::span<const std::uint8_t> textModel)
{
    return Writer(defs).run(buildTime, sources, textModel);
}

} // namespace gv::vonk
