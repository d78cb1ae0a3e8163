// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/Matcher.h"

#include "vonk/base/AhoCorasick.h"
#include "vonk/base/AnchoredSearch.h"
#include "vonk/base/RareByte.h"
#include "vonk/format/RuleTraits.h"
#include "vonk/match/EbmlHeader.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace gv::vonk {

using db::NodeKind;

namespace {

bool compare(db::CmpOp op, std::uint64_t a, std::uint64_t b)
{
    switch (op) {
    case db::CmpOp::Eq: return a == b;
    case db::CmpOp::Ne: return a != b;
    case db::CmpOp::Lt: return a < b;
    case db::CmpOp::Gt: return a > b;
    case db::CmpOp::Le: return a <= b;
    case db::CmpOp::Ge: return a >= b;
    }
    return false;
}

int widthOf(db::NumKind k) { return db::NumKindWidth(k); }

bool bigEndian(db::NumKind k)
{
    return k == db::NumKind::Be16 || k == db::NumKind::Be32 || k == db::NumKind::Be64;
}

std::string offsetText(std::uint64_t off)
{
    return "at offset " + std::to_string(off);
}

} // namespace

const char* confidenceName(Confidence c)
{
    switch (c) {
    case Confidence::High: return "high";
    case Confidence::Medium: return "medium";
    case Confidence::Low: break;
    }
    return "low";
}

Matcher::Matcher(const Database& db)
    : m_db(db)
    , m_candStamp(db.defCount(), 0)
    , m_state(db.defCount())
    , m_plainText(db.defCount(), 0)
    , m_behindRule(db.defCount(), 0)
    , m_contentScore(db.defCount(), 0)
    , m_structural(db.defCount(), 0)
    , m_needsStructure(db.defCount(), 0)
    , m_textModel(db.textModel())
    , m_searchAnchors(db.nodeCount(), 0)
{
    // The model's classes by name: a few dozen. Most definitions differ from
    // all of them in length and first letter, which spares them the lookup.
    std::unordered_map<std::string_view, std::uint32_t> classes;
    std::bitset<64 * 256> classShape;
    m_classDef.assign(m_textModel.classCount(), db::kNoParent);
    for (std::uint32_t c = 0; c < m_textModel.classCount(); ++c) {
        std::string_view name = m_textModel.className(c);
        classes.emplace(name, c);
        if (!name.empty())
            classShape.set((name.size() & 63) * 256 + static_cast<std::uint8_t>(name[0]));
    }
    for (std::uint32_t d = 0; d < db.defCount(); ++d) {
        const db::DefRecord& def = db.def(d);
        // Stored by the compiler: a start reads no rule to learn them.
        const std::uint8_t bits = db.ruleTraits(d);
        m_structural[d] = (bits & db::kTraitStructure) ? 1 : 0;
        m_needsStructure[d] = (bits & db::kTraitMarkup) ? 1 : 0;
        m_behindRule[d] = (bits & db::kTraitBehind) ? 1 : 0;
        m_plainText[d] = (bits & db::kTraitPlain) ? 1 : 0;
        std::string_view id = db.str(def.id);
        if (id.empty() || !classShape.test((id.size() & 63) * 256 + static_cast<std::uint8_t>(id[0])))
            continue;
        auto it = classes.find(id);
        if (it != classes.end() && m_classDef[it->second] == db::kNoParent)
            m_classDef[it->second] = d;
    }
    // Definitions without a trigger are tried on every file: sorted once
    // into those searched later and the others, marked when they need text.
    for (std::uint32_t d : db.always()) {
        if (db.isDeferred(d))
            m_alwaysDeferred.push_back(d);
        else
            m_always.push_back({d, (db.ruleTraits(d) & db::kTraitText) != 0});
    }
}

void Matcher::definitionsListing(const std::string& ext, std::vector<std::uint32_t>& out) const
{
    out.clear();
    const std::uint64_t key = Database::extensionKey(ext);
    const Database::ExtensionIndex& index = m_db.extensionIndex();
    for (std::uint32_t e = index.heads[Database::extensionBucket(key, index.heads.size())]; e != Database::kNoEntry; e = index.entries[e].next) {
        const Database::ExtensionEntry& entry = index.entries[e];
        if (entry.key != key || (!out.empty() && out.back() == entry.def))
            continue;
        // A hashed key: the definition's own list decides.
        const bool exact = (key & Database::kHashedExtension) != Database::kHashedExtension;
        const bool lists = exact || Database::forEachExtension(m_db.str(m_db.def(entry.def).ext), [&](std::string_view listed) {
            if (listed.size() != ext.size())
                return false;
            for (std::size_t i = 0; i < ext.size(); ++i) {
                if (kAsciiLower[static_cast<unsigned char>(listed[i])] != static_cast<unsigned char>(ext[i]))
                    return false;
            }
            return true;
        });
        if (lists)
            out.push_back(entry.def);
    }
}

void Matcher::addCandidate(std::uint32_t def)
{
    if (m_candStamp[def] != m_gen) {
        m_candStamp[def] = m_gen;
        m_candidates.push_back(def);
        // Its records are read when it is evaluated, after the rest of the
        // gathering: asked for now, they come meanwhile.
        __builtin_prefetch(&m_db.def(def).root);
        __builtin_prefetch(&m_state[def]);
    }
}

bool Matcher::search(std::uint32_t idx, const db::NodeRecord& n, const std::uint8_t* data, std::size_t len, std::size_t lastStart,
    std::size_t& found) const
{
    const std::uint8_t* pat = m_db.bytes(n.a);
    const std::uint8_t* mask = m_db.bytes(n.b);
    const std::size_t plen = n.a.len;
    if (len < plen)
        return false;
    lastStart = std::min(lastStart, len - plen);
    // Anchor the scan on the rarest fully fixed bytes.
    std::uint32_t& anchors = m_searchAnchors[idx];
    if (anchors == 0) {
        const std::size_t a = rarestByte(pat, plen, mask);
        anchors = static_cast<std::uint32_t>(a + 1) | static_cast<std::uint32_t>(rarestByte(pat, plen, mask, a) + 1) << 16;
    }
    const std::size_t k = (anchors & 0xFFFF) - 1;
    auto matchesAt = [&](std::size_t s) {
        for (std::size_t i = 0; i < plen; ++i) {
            if ((data[s + i] & mask[i]) != pat[i])
                return false;
        }
        return true;
    };
    if (k == plen) {
        for (std::size_t s = 0; s <= lastStart; ++s) {
            if (matchesAt(s)) {
                found = s;
                return true;
            }
        }
        return false;
    }
    const std::size_t k2 = (anchors >> 16) - 1;
    const AnchorByte first{k, pat[k], pat[k]};
    const AnchorByte second{k2, k2 < plen ? pat[k2] : std::uint8_t{0}, k2 < plen ? pat[k2] : std::uint8_t{0}};
    const std::size_t at = findAnchored(data, lastStart, first, k2 < plen ? &second : nullptr, matchesAt);
    if (at == kNotFound)
        return false;
    found = at;
    return true;
}

bool Matcher::eval(std::uint32_t idx, Probe& probe, std::uint64_t& evidence, std::vector<RuleHit>* trace)
{
    const db::NodeRecord& n = m_db.node(idx);
    const auto kind = static_cast<NodeKind>(n.kind);
    const std::uint64_t size = probe.size();
    // `where` makes the trace's text, only when there is a trace: most
    // rules that hold are never shown.
    auto hit = [&](auto&& where) {
        evidence = n.evidence;
        if (trace)
            trace->push_back({idx, std::string(where()), {}});
        return true;
    };
    switch (kind) {
    case NodeKind::All: {
        std::uint64_t sum = 0;
        std::size_t mark = trace ? trace->size() : 0;
        for (std::uint32_t c = n.first; c < n.first + n.count; ++c) {
            std::uint64_t e = 0;
            if (!eval(c, probe, e, trace)) {
                if (trace)
                    trace->resize(mark);
                return false;
            }
            sum += e;
        }
        evidence = sum;
        return true;
    }
    case NodeKind::Any: {
        bool any = false;
        std::uint64_t best = 0;
        for (std::uint32_t c = n.first; c < n.first + n.count; ++c) {
            std::uint64_t e = 0;
            std::size_t mark = trace ? trace->size() : 0;
            if (eval(c, probe, e, trace)) {
                any = true;
                best = std::max(best, e);
            } else if (trace) {
                trace->resize(mark);
            }
        }
        evidence = best;
        return any;
    }
    case NodeKind::Some: {
        std::uint64_t sum = 0, held = 0;
        for (std::uint32_t c = n.first; c < n.first + n.count; ++c) {
            std::uint64_t e = 0;
            std::size_t mark = trace ? trace->size() : 0;
            if (eval(c, probe, e, trace)) {
                ++held;
                sum += e;
            } else if (trace) {
                trace->resize(mark);
            }
        }
        evidence = sum;
        return held >= n.value;
    }
    case NodeKind::AfterTags: {
        const LeadingTags& tags = probe.leadingTags();
        const std::uint64_t saved = m_base;
        m_base = tags.end;
        std::uint64_t sum = 0;
        bool ok = true;
        std::size_t mark = trace ? trace->size() : 0;
        if (trace && tags.count)
            trace->push_back({idx, std::to_string(tags.count) + (tags.count == 1 ? " tag" : " tags") + " skipped, "
                + offsetText(tags.end), {}});
        for (std::uint32_t c = n.first; ok && c < n.first + n.count; ++c) {
            std::uint64_t e = 0;
            ok = eval(c, probe, e, trace);
            sum += e;
        }
        m_base = saved;
        if (!ok) {
            if (trace)
                trace->resize(mark);
            return false;
        }
        evidence = sum + (tags.count ? n.evidence : 0);
        return true;
    }
    case NodeKind::Not: {
        std::uint64_t e = 0;
        if (eval(n.first, probe, e, nullptr))
            return false;
        return hit([&] { return "does not hold"; });
    }
    case NodeKind::AtPattern: {
        std::int64_t pos = n.off >= 0 ? static_cast<std::int64_t>(m_base) + n.off : static_cast<std::int64_t>(size) + n.off;
        if (pos < 0)
            return false;
        const std::uint8_t* p = probe.bytesAt(static_cast<std::uint64_t>(pos), n.a.len);
        if (!p)
            return false;
        const std::uint8_t* pat = m_db.bytes(n.a);
        const std::uint8_t* mask = m_db.bytes(n.b);
        for (std::uint32_t i = 0; i < n.a.len; ++i) {
            if ((p[i] & mask[i]) != pat[i])
                return false;
        }
        return hit([&] { return offsetText(static_cast<std::uint64_t>(pos)); });
    }
    case NodeKind::AtNumber: {
        int w = widthOf(static_cast<db::NumKind>(n.num));
        std::int64_t pos = n.off >= 0 ? static_cast<std::int64_t>(m_base) + n.off : static_cast<std::int64_t>(size) + n.off;
        if (pos < 0)
            return false;
        const std::uint8_t* p = probe.bytesAt(static_cast<std::uint64_t>(pos), static_cast<std::size_t>(w));
        if (!p)
            return false;
        std::uint64_t v = 0;
        bool big = bigEndian(static_cast<db::NumKind>(n.num));
        for (int i = 0; i < w; ++i)
            v |= std::uint64_t{p[i]} << (8 * (big ? w - 1 - i : i));
        if (!compare(static_cast<db::CmpOp>(n.op), v & n.mask, n.value))
            return false;
        return hit([&] { return offsetText(static_cast<std::uint64_t>(pos)) + " (value " + std::to_string(v & n.mask) + ")"; });
    }
    case NodeKind::Within: {
        std::uint64_t from = m_base + static_cast<std::uint64_t>(n.off);
        if (from >= size)
            return false;
        std::uint64_t end = std::min<std::uint64_t>(size, m_base + static_cast<std::uint64_t>(n.to) + n.a.len);
        const std::uint8_t* p = probe.bytesAt(from, static_cast<std::size_t>(end - from));
        std::size_t found = 0;
        if (!p || !search(idx, n, p, static_cast<std::size_t>(end - from), static_cast<std::size_t>(n.to - n.off), found))
            return false;
        return hit([&] { return offsetText(from + found); });
    }
    case NodeKind::Head: {
        if (m_base > size)
            return false;
        std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(size - m_base, static_cast<std::uint64_t>(n.off)));
        const std::uint8_t* p = probe.bytesAt(m_base, len);
        std::size_t found = 0;
        if (!p || !search(idx, n, p, len, len, found))
            return false;
        return hit([&] { return offsetText(m_base + found); });
    }
    case NodeKind::Tail: {
        std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(size, static_cast<std::uint64_t>(n.off)));
        probe.tail(len);
        const std::uint8_t* p = probe.bytesAt(size - len, len);
        std::size_t found = 0;
        if (!p || !search(idx, n, p, len, len, found))
            return false;
        return hit([&] { return offsetText(size - len + found); });
    }
    case NodeKind::Size:
        // Inside `after-tags` the size is that of what follows the tags.
        if (!compare(static_cast<db::CmpOp>(n.op), size - std::min(size, m_base), n.value))
            return false;
        return hit([&] { return "size " + std::to_string(size - std::min(size, m_base)); });
    case NodeKind::SizeByCount: {
        const auto k = static_cast<db::NumKind>(n.num);
        const int w = widthOf(k);
        const std::uint64_t pos = m_base + static_cast<std::uint64_t>(n.off);
        const std::uint8_t* p = probe.bytesAt(pos, static_cast<std::size_t>(w));
        if (!p)
            return false;
        std::uint64_t count = 0;
        for (int i = 0; i < w; ++i)
            count |= std::uint64_t{p[i]} << (8 * (bigEndian(k) ? w - 1 - i : i));
        // No records says nothing: any header of zeros would do.
        const std::uint64_t avail = size - std::min(size, m_base);
        const auto header = static_cast<std::uint64_t>(n.to);
        if (count == 0 || avail < header || (avail - header) % n.value != 0 || (avail - header) / n.value != count)
            return false;
        return hit([&] { return std::to_string(count) + " records of " + std::to_string(n.value) + " bytes"; });
    }
    case NodeKind::ZipHas: {
        const ZipDirectory& z = probe.zip();
        std::string_view name = m_db.str(n.a);
        // "/" is the archive's root: any member will do, which proves a
        // directory that the end record leads to, wherever the archive starts.
        if (name == "/") {
            if (!z.valid() || z.names().empty())
                return false;
            // What starts the file ranks first; the archive behind it still
            // gets its confidence (see identify()).
            hit([&] { return "a ZIP directory, found from its end record"; });
            evidence = 0;
            return true;
        }
        if (!z.has(name))
            return false;
        return hit([&] { return "in the ZIP directory"; });
    }
    case NodeKind::ZipFirst: {
        const ZipFirstMember& m = probe.zipFirst();
        if (!m.found || m.name != m_db.str(n.a))
            return false;
        std::string_view content = m_db.str(n.b);
        if (!content.empty() && (!m.stored || !std::string_view(m.dataPrefix).starts_with(content)))
            return false;
        return hit([&] { return "first member"; });
    }
    case NodeKind::OleHas:
        if (!probe.ole().has(m_db.str(n.a)))
            return false;
        return hit([&] { return "in the OLE2 directory"; });
    case NodeKind::OleClsid:
        if (probe.ole().rootClsid() != m_db.str(n.a))
            return false;
        return hit([&] { return "the OLE2 root storage's class id"; });
    case NodeKind::ZipContentType: {
        const std::string& type = probe.zipContentType();
        std::string_view want = m_db.str(n.a);
        // Content types compare case-insensitively (producers differ on
        // "macroEnabled").
        if (type.size() != want.size()
            || !std::equal(type.begin(), type.end(), want.begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); }))
            return false;
        return hit([&] { return "the package's main part is " + type; });
    }
    case NodeKind::ZipText: {
        const std::string* content = probe.zipMember(m_db.str(n.a));
        if (!content || content->find(m_db.str(n.b)) == std::string::npos)
            return false;
        return hit([&] { return "in ZIP member " + std::string(m_db.str(n.a)); });
    }
    case NodeKind::OleCompObj:
        if (!probe.ole().compObjStartsWith(m_db.str(n.a)))
            return false;
        return hit([&] { return "the OLE2 CompObj stream"; });
    case NodeKind::EbmlDocType:
        if (readEbmlDocType(probe.head()) != m_db.str(n.a))
            return false;
        return hit([&] { return "the EBML header's DocType"; });
    case NodeKind::TiffTag: {
        const TiffDirectory& t = probe.tiff();
        const auto tag = static_cast<std::uint16_t>(n.off);
        std::string_view text = m_db.str(n.a);
        if (n.to == 1 ? !t.hasNumber(tag, n.value) : text.empty() ? !t.has(tag) : !t.hasText(tag, text))
            return false;
        return hit([&] { return "tag " + std::to_string(tag) + " of the TIFF directories"; });
    }
    case NodeKind::DerShape:
        if (derShapeName(probe.derShape()) != m_db.str(n.a))
            return false;
        return hit([&] { return "the ASN.1 structure that fills the file"; });
    case NodeKind::BmffMajor:
    case NodeKind::BmffBrand: {
        const FileTypeBox& box = probe.fileTypeBox();
        const std::string_view brand = m_db.str(n.a);
        if (box.major == brand && box.found)
            return hit([&] { return "the file-type box's major brand"; });
        if (kind == NodeKind::BmffMajor || !box.lists(brand))
            return false;
        hit([&] { return "a compatible brand of the file-type box"; });
        evidence = std::min<std::uint64_t>(n.evidence, ranking::kCompatibleBrandEvidence);
        return true;
    }
    case NodeKind::BmffBox:
        if (!probe.topLevelBoxes().has(m_db.str(n.a)))
            return false;
        return hit([&] { return "a top-level box"; });
    case NodeKind::Sequence: {
        // Looked for as far as the head and tail reach, like the peers that
        // publish these signatures scan by default.
        const bool fromEnd = static_cast<seq::Reference>(n.flags) == seq::Reference::Eof;
        const std::span<const std::uint8_t> program{m_db.bytes(n.a), n.a.len};
        // Most are told apart by their first bytes, without preparing the
        // program to run.
        const auto atHand = fromEnd ? probe.tail() : probe.headRead();
        if (seq::failsAtStart(program, atHand.data(), atHand.size(), fromEnd))
            return false;
        // A program that cannot reach past what is read already runs on
        // that: its answer is the same.
        const std::size_t reach = m_sequences.keptReach(idx, program);
        std::span<const std::uint8_t> view;
        if (fromEnd) {
            view = probe.tail(std::min<std::size_t>(reach, db::kHeadSize));
        } else {
            view = probe.headRead();
            if (view.size() < reach && view.size() < probe.headSize())
                view = probe.head();
        }
        std::size_t at = 0;
        if (!m_sequences.matchKept(idx, program, view, fromEnd, at))
            return false;
        return hit([&] { return fromEnd ? std::to_string(at) + " bytes before the end" : offsetText(at); });
    }
    case NodeKind::Text: {
        const TextInfo& t = probe.text();
        Encoding e = t.encoding;
        bool ok = false;
        switch (static_cast<db::TextKind>(n.flags)) {
        case db::TextKind::Any: ok = t.isText(); break;
        case db::TextKind::Ascii: ok = e == Encoding::Ascii; break;
        case db::TextKind::Utf8: ok = e == Encoding::Utf8 || e == Encoding::Ascii; break;
        case db::TextKind::Utf16: ok = e == Encoding::Utf16Le || e == Encoding::Utf16Be; break;
        case db::TextKind::Utf32: ok = e == Encoding::Utf32Le || e == Encoding::Utf32Be; break;
        }
        if (!ok)
            return false;
        return hit([&] { return t.describe(); });
    }
    case NodeKind::XmlRoot: {
        const XmlRoot& x = probe.xml();
        std::string_view name = m_db.str(n.a);
        if (!x.found || (name != "*" && x.localName != name))
            return false;
        std::string_view ns = m_db.str(n.b);
        if (!ns.empty() && x.nameSpace != ns)
            return false;
        return hit([&] { return "root element"; });
    }
    case NodeKind::Json: {
        if (!probe.json())
            return false;
        std::size_t length = probe.jsonLength();
        hit([&] { return "valid JSON, " + std::to_string(length) + " bytes"; });
        evidence = std::min<std::uint64_t>(n.evidence, ranking::jsonEvidence(length, length >= size));
        return true;
    }
    case NodeKind::Delimited: {
        const char sep = static_cast<char>(*m_db.bytes(n.a));
        const TableShape t = probe.table(sep);
        if (!t.consistent)
            return false;
        hit([&] { return std::to_string(t.records) + " records of " + std::to_string(t.fields) + " fields"; });
        evidence = std::min<std::uint64_t>(n.evidence, ranking::tableEvidence(t.records, t.fields));
        return true;
    }
    case NodeKind::KeyValue: {
        if (m_db.str(n.a) == ":") {
            const MappingShape& m = probe.mapping();
            if (!m.valid)
                return false;
            hit([&] { return std::to_string(m.keys) + (m.keys == 1 ? " key, " : " keys, ") + std::to_string(m.items)
                + (m.items == 1 ? " list item" : " list items"); });
            evidence = std::min<std::uint64_t>(n.evidence, ranking::mappingEvidence(m.keys, m.items));
            return true;
        }
        const KeyFileShape& k = probe.keyFile();
        if (!k.valid)
            return false;
        hit([&] { return std::to_string(k.sections) + (k.sections == 1 ? " section, " : " sections, ") + std::to_string(k.keys)
            + (k.keys == 1 ? " key" : " keys"); });
        evidence = std::min<std::uint64_t>(n.evidence, ranking::keyFileEvidence(k.sections, k.keys));
        return true;
    }
    case NodeKind::Shebang: {
        const std::string& interp = probe.shebang();
        if (interp.empty() || !std::string_view(interp).starts_with(m_db.str(n.a)))
            return false;
        return hit([&] { return "interpreter " + interp; });
    }
    }
    return false;
}

bool Matcher::evalDef(std::uint32_t def, Probe& probe, std::uint64_t& score)
{
    DefState& state = m_state[def];
    if (state.evalStamp == m_gen) {
        score = state.score;
        return state.matched;
    }
    state.evalStamp = m_gen;
    state.matched = 0;
    state.score = 0;
    const db::DefRecord& d = m_db.def(def);
    std::uint64_t evidence = 0;
    if (!eval(d.root, probe, evidence, nullptr))
        return false;
    const ranking::OwnScore own = ranking::ownScore(evidence, d.weight, (d.flags & db::kDefDamped) != 0);
    std::uint64_t total = own.score;
    evidence = own.evidence;
    // A refinement that holds ranks above what it refines: it carries its
    // parent's evidence on top of its own.
    std::uint64_t parentScore = 0;
    if (d.parent != db::kNoParent && evalDef(d.parent, probe, parentScore)) {
        total += parentScore;
        evidence += m_state[d.parent].evidence;
    }
    // m_state never grows, so `state` still stands after the parent's evaluation.
    state.matched = 1;
    state.score = total;
    state.evidence = evidence;
    score = total;
    return true;
}

const std::vector<Candidate>& Matcher::identify(Probe& probe, std::string_view name)
{
    beginRound();
    gather(probe);
    evaluate(probe);
    rank(probe, name);
    return m_result;
}

void Matcher::beginRound()
{
    if (++m_gen == 0) {
        std::fill(m_candStamp.begin(), m_candStamp.end(), 0);
        for (DefState& d : m_state)
            d.evalStamp = 0;
        m_gen = 1;
    }
    m_candidates.clear();
    m_deferred.clear();
    m_result.clear();
}

void Matcher::gather(Probe& probe)
{
    // The first passes need no more of the head than its first read
    // brought, but for the few anchors further in.
    gatherByAnchors(probe.headRead(), probe.tail(m_db.tailAnchorReach()), &probe);
    gatherByLiterals(probe, LiteralPass::First);
    // What follows leading tags is found as if the file began there; the
    // rules of `after-tags` blocks then read it in place.
    const LeadingTags& tags = probe.leadingTags();
    if (tags.count && tags.end < probe.size()) {
        constexpr std::size_t kAfterTagsReach = 4096;
        if (tags.end < probe.headSize()) {
            gatherByAnchors(probe.head().subspan(static_cast<std::size_t>(tags.end)), {});
        } else {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(probe.size() - tags.end, kAfterTagsReach));
            if (const std::uint8_t* p = probe.bytesAt(tags.end, n))
                gatherByAnchors({p, n}, {});
        }
    }
    m_deferred.insert(m_deferred.end(), m_alwaysDeferred.begin(), m_alwaysDeferred.end());
    // Rules that read only text cannot hold for anything else.
    const bool text = probe.text().isText();
    if (text && m_db.hasRoots()) {
        const XmlRoot& x = probe.xml();
        if (x.found) {
            for (const Database::Root& r : m_db.rootDefs(x.localName))
                addCandidate(r.def);
        }
    }
    for (const Always& a : m_always) {
        if (text || !a.needsText)
            addCandidate(a.def);
    }
}

namespace {

std::uint32_t anchorHash(std::uint32_t key)
{
    return (key * 0x9E3779B1u) >> 16;
}

} // namespace

void Matcher::buildAnchorFilter()
{
    const auto& groups = m_db.anchorGroups();
    const auto& anchors = m_db.anchors();
    m_anchorFrom.clear();
    m_anchorMask.clear();
    m_anchorBits.clear();
    for (const auto& g : groups) {
        // Some eight bits a key: one file in eight gets past the filter by
        // chance.
        std::uint32_t bits = 64;
        while (bits < 8 * (g.end - g.begin) && bits < 65536)
            bits *= 2;
        m_anchorFrom.push_back(static_cast<std::uint32_t>(m_anchorBits.size()));
        m_anchorMask.push_back(bits - 1);
        m_anchorBits.resize(m_anchorBits.size() + bits / 64, 0);
        std::uint64_t* words = m_anchorBits.data() + m_anchorFrom.back();
        for (std::uint32_t i = g.begin; i < g.end; ++i) {
            const std::uint32_t h = anchorHash(anchors[i].key) & (bits - 1);
            words[h >> 6] |= std::uint64_t{1} << (h & 63);
        }
    }
}

void Matcher::gatherByAnchors(std::span<const std::uint8_t> head, std::span<const std::uint8_t> tail, Probe* probe)
{
    const auto& anchors = m_db.anchors();
    const auto& groups = m_db.anchorGroups();
    if (m_anchorFrom.size() != groups.size())
        buildAnchorFilter();
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        const auto& g = groups[gi];
        const std::uint8_t* p = nullptr;
        const std::uint8_t* end = nullptr;
        if (g.offset >= 0) {
            const std::uint64_t stop = static_cast<std::uint64_t>(g.offset) + g.len;
            if (stop <= head.size()) {
                p = head.data() + g.offset;
                end = head.data() + head.size();
            } else if (probe && stop <= probe->headSize()) {
                // Past what the head's first read brought: the key's own
                // bytes are read.
                p = probe->bytesAt(static_cast<std::uint64_t>(g.offset), g.len);
                if (!p)
                    continue;
                end = p + g.len;
            } else {
                continue;
            }
        } else {
            if (static_cast<std::uint64_t>(-g.offset) > tail.size())
                continue;
            p = tail.data() + tail.size() - static_cast<std::size_t>(-g.offset);
            end = tail.data() + tail.size();
        }
        // Keys are at most four bytes, little-endian: one load where four
        // bytes are there to read, masked to the group's length.
        std::uint32_t key = 0;
        if (end - p >= 4) {
            std::memcpy(&key, p, 4);
            if constexpr (std::endian::native == std::endian::big)
                key = __builtin_bswap32(key);
            key &= g.len >= 4 ? 0xFFFFFFFFu : (std::uint32_t{1} << (8 * g.len)) - 1;
        } else {
            for (std::uint32_t k = 0; k < g.len; ++k)
                key |= std::uint32_t{p[k]} << (8 * k);
        }
        const std::uint32_t h = anchorHash(key) & m_anchorMask[gi];
        if (!((m_anchorBits[m_anchorFrom[gi] + (h >> 6)] >> (h & 63)) & 1))
            continue;
        auto first = std::lower_bound(anchors.begin() + g.begin, anchors.begin() + g.end, key,
            [](const db::AnchorRecord& a, std::uint32_t v) { return a.key < v; });
        for (auto it = first; it != anchors.begin() + g.end && it->key == key; ++it)
            addCandidate(it->def);
    }
}

void Matcher::gatherByLiterals(Probe& probe, LiteralPass pass)
{
    // A binary file's head is searched beyond this only when it is not
    // settled: the literals found further (a header after a run-in of up
    // to 64 KiB, a descriptor 32 KiB in) are not what a file that its own
    // header has already named is, and scanning the whole head of every
    // large file for them was the largest part of the search.
    constexpr std::size_t kFirstReach = 8192;
    for (int set = 0; set < Database::kLiteralSets; ++set) {
        if (!m_db.hasLiterals(set))
            continue;
        bool tailZone = Database::setIsTail(set);
        bool textOnly = Database::setIsTextOnly(set);
        // The sets whose reach a first pass cuts short: their whole reach
        // is searched in the further pass, before the deferred sets.
        const bool cut = !tailZone && !textOnly && !Database::setIsDeferred(set) && m_db.scanExtent(set) > kFirstReach;
        if (pass == LiteralPass::Deferred ? !Database::setIsDeferred(set)
                : pass == LiteralPass::Further ? !cut
                                               : Database::setIsDeferred(set))
            continue;
        // Text-only definitions cannot match binary files: their literals
        // are not searched there (the classifier usually stops within the
        // first bytes of a binary file).
        if (textOnly && !probe.text().isText())
            continue;
        const AhoCorasick& ac = m_db.automaton(set);
        std::size_t reach = m_db.scanExtent(set);
        if (cut && pass == LiteralPass::First)
            reach = std::min(reach, kFirstReach);
        auto zone = tailZone ? probe.tail(reach) : probe.headRead();
        if (!tailZone && zone.size() < reach && zone.size() < probe.headSize())
            zone = probe.head();
        const std::size_t n = std::min(zone.size(), reach);
        const std::uint8_t* start = tailZone ? zone.data() + zone.size() - n : zone.data();
        ac.scan(start, n, [&](std::uint32_t p) {
            for (std::uint32_t d : m_db.literalDefs(set, p))
                addCandidate(d);
        });
    }
}

bool Matcher::settled() const
{
    for (std::uint32_t d : m_candidates) {
        const DefState& s = m_state[d];
        if (s.evalStamp == m_gen && s.matched && !(m_db.def(d).flags & db::kDefImported) && !m_plainText[d]
            && s.evidence >= kMediumEvidence)
            return true;
    }
    return false;
}

void Matcher::evaluate(Probe& probe)
{
    // A candidate's records lie anywhere in the database and are seldom
    // still cached once a file's bytes went through: the walk of its rules
    // mostly waits for them. The next candidates' are asked for while this
    // one is evaluated (its record two ahead, its first rules one ahead).
    const std::size_t count = m_candidates.size();
    auto warm = [&](std::size_t k) {
        if (k < count) {
            __builtin_prefetch(&m_db.def(m_candidates[k]).root);
            __builtin_prefetch(&m_state[m_candidates[k]]);
        }
    };
    warm(0);
    warm(1);
    for (std::size_t i = 0; i < count; ++i) {
        warm(i + 2);
        if (i + 1 < count) {
            const auto* root = reinterpret_cast<const char*>(&m_db.node(m_db.def(m_candidates[i + 1]).root));
            __builtin_prefetch(root);
            __builtin_prefetch(root + 64);
        }
        std::uint64_t s = 0;
        evalDef(m_candidates[i], probe, s);
    }
    // Definitions that would yield to one of ours that holds are only
    // looked for when none does; their long scans are most of their cost.
    // Ours found further into the head come first: they may settle it.
    auto evaluateFrom = [&](std::size_t from) {
        for (std::size_t i = from; i < m_candidates.size(); ++i) {
            std::uint64_t s = 0;
            evalDef(m_candidates[i], probe, s);
        }
    };
    if (!settled()) {
        std::size_t from = m_candidates.size();
        gatherByLiterals(probe, LiteralPass::Further);
        if (m_candidates.size() != from) {
            evaluateFrom(from);
            from = m_candidates.size();
        }
        if (!settled()) {
            gatherByLiterals(probe, LiteralPass::Deferred);
            for (std::uint32_t d : m_deferred)
                addCandidate(d);
            evaluateFrom(from);
        }
    }
    // Parents evaluated for their children are results too; collect every
    // definition evaluated in this round that matched.
    auto collect = [&](std::uint32_t d) {
        DefState& s = m_state[d];
        if (s.evalStamp == m_gen && s.matched && !s.busy) {
            s.busy = 1;
            m_result.push_back({d, s.score, 0, 0.0, Confidence::Low, false, false});
        }
    };
    for (std::uint32_t d : m_candidates) {
        collect(d);
        for (std::uint32_t p = m_db.def(d).parent; p != db::kNoParent; p = m_db.def(p).parent)
            collect(p);
    }
    for (auto& c : m_result)
        m_state[c.def].busy = 0;
}

// Applies the policy of Ranking.h to what matched.
void Matcher::rank(Probe& probe, std::string_view name)
{
    // Only a rule that found its bytes behind an archive asks whether there
    // is one: the ZIP directory may mean reading the last 64 KiB.
    auto archiveBehind = [&] { return probe.zip().valid() && !probe.zip().names().empty(); };
    for (auto& c : m_result) {
        c.plainText = m_plainText[c.def] != 0;
        c.evidence = m_state[c.def].evidence;
        c.confidence = ranking::confidenceOf(c.evidence, c.plainText, m_behindRule[c.def] && archiveBehind(), probe.size());
    }
    m_modelGuesses.clear();
    m_modelDecided = applyTextModel(probe);
    // Another registry's signature yields to our own definitions: it may be
    // more specific than a carrier it lies in, never more than a format we
    // know.
    for (auto& c : m_result) {
        if (!(m_db.def(c.def).flags & db::kDefYields))
            continue;
        std::uint64_t ours = 0;
        for (const auto& o : m_result) {
            if (!(m_db.def(o.def).flags & db::kDefImported) && !o.plainText && o.confidence != Confidence::Low && !hasAncestor(c.def, o.def))
                ours = std::max(ours, o.score);
        }
        if (ours && c.score >= ours)
            c.score = std::max<std::uint64_t>(ours - 1, 1);
    }
    std::uint64_t bestWeak = 0;
    for (const auto& c : m_result) {
        if (!c.plainText && !m_modelDecided && ranking::isWeakGuess(c.confidence, (m_db.def(c.def).flags & db::kDefNeedsHigh) != 0))
            bestWeak = std::max(bestWeak, c.score);
    }
    for (auto& c : m_result) {
        if (c.plainText)
            c.score = ranking::plainTextScore(c.score, bestWeak);
    }
    // Below plain text, and only where it is the rules' answer: a guess
    // from too few words does not lift it over what the rules found.
    auto plain = std::find_if(m_result.begin(), m_result.end(), [](const Candidate& c) { return c.plainText; });
    if (plain != m_result.end() && !m_modelGuesses.empty()
        && std::none_of(m_result.begin(), m_result.end(), [&](const Candidate& c) { return c.score > plain->score; })) {
        for (const auto& g : m_modelGuesses)
            plain->score = std::max(plain->score, g.score + 1);
        m_result.insert(m_result.end(), m_modelGuesses.begin(), m_modelGuesses.end());
    }
    const std::string ext = name.empty() ? std::string() : ranking::extensionOf(name);
    if (!ext.empty())
        addByName(ext);
    auto key = [&](const Candidate& c, std::uint64_t score) {
        const db::DefRecord& d = m_db.def(c.def);
        return ranking::RankKey{score, c.evidence, (d.flags & db::kDefImported) != 0, d.depth, m_db.str(d.id)};
    };
    std::sort(m_result.begin(), m_result.end(),
        [&](const Candidate& a, const Candidate& b) { return ranking::ranksBefore(key(a, a.score), key(b, b.score)); });
    if (!ext.empty()) {
        // An answer rests on the name when, by content alone, a candidate now
        // below it would have gone first.
        for (std::size_t i = 0; i < m_result.size(); ++i) {
            Candidate& c = m_result[i];
            for (std::size_t j = i + 1; j < m_result.size() && !c.byName; ++j)
                c.byName = ranking::ranksBefore(key(m_result[j], m_contentScore[m_result[j].def]), key(c, m_contentScore[c.def]));
        }
    }
    double total = 0;
    for (auto& c : m_result)
        total += static_cast<double>(c.score);
    if (m_modelDecided)
        total = std::max(total, static_cast<double>(ranking::kModelScale)); // shares are the model's probabilities
    else if (!m_result.empty())
        total += static_cast<double>(ranking::doubt(m_result.front().confidence, m_result.front().evidence));
    for (auto& c : m_result)
        c.percent = total > 0 ? 100.0 * static_cast<double>(c.score) / total : 0.0;
}

// A structural rule of the candidate's own held: habits (keywords that
// also turn up in prose and in other languages) and whole-head shapes (a
// mapping, a key file, a table) do not settle a text, the model does.
bool Matcher::settlesText(Probe& probe, const Candidate& c)
{
    if (c.plainText || !m_structural[c.def] || c.confidence == Confidence::Low)
        return false;
    const db::DefRecord& d = m_db.def(c.def);
    // Imported magic is often short and generic: it settles only when strong.
    const bool magicCounts = !(d.flags & db::kDefNeedsHigh) && (!(d.flags & db::kDefImported) || c.confidence == Confidence::High);
    m_trace.clear();
    std::uint64_t e = 0;
    if (!eval(d.root, probe, e, &m_trace))
        return false;
    for (const RuleHit& h : m_trace) {
        const db::NodeRecord& n = m_db.node(h.node);
        switch (static_cast<NodeKind>(n.kind)) {
        case NodeKind::Shebang:
        case NodeKind::XmlRoot:
        case NodeKind::Json: return true;
        case NodeKind::AtPattern:
            if (magicCounts && n.off == 0 && n.a.len >= ranking::kSettlingMagic)
                return true;
            break;
        case NodeKind::Head:
            if (magicCounts && n.a.len >= 2 * ranking::kSettlingMagic)
                return true;
            break;
        default: break;
        }
    }
    return false;
}

bool Matcher::applyTextModel(Probe& probe)
{
    if (m_textModel.empty() || !probe.text().isText() || probe.size() < kJudgedText)
        return false;
    bool plain = false;
    for (const auto& c : m_result) {
        plain = plain || c.plainText;
        if (settlesText(probe, c))
            return false;
    }
    if (!plain)
        return false;
    m_textModel.judge(probe.textView(), m_modelWork, m_verdict);
    // Too little text for the model to tell: the rules decide as they did.
    if (m_verdict.ranked.empty())
        return false;
    if (!m_verdict.proseFirst)
        yieldToParents();
    // Prose put first on a narrow margin is less probable than the runner-up.
    const double topProbability = m_verdict.proseFirst ? m_verdict.ranked[1].probability : m_verdict.ranked[0].probability;
    // Below the floor the words are too few to name a format; but when the
    // best is prose and prose together clears it, the text reads as a
    // document, and which of prose's forms is a guess the model lists with
    // its runners-up (the rules could only say plain text). A document's
    // form shows in its marks (headings, lists, links...): without any it
    // is plain prose, which the rules say.
    const bool readsAsProse = topProbability < ranking::kModelFloor && m_textModel.isProse(m_verdict.ranked[0].cls)
        && m_verdict.prose >= ranking::kModelFloor && m_textModel.hasProseMarks(probe.textView());
    if (topProbability < ranking::kModelFloor && !m_verdict.structural && !readsAsProse) {
        // The rules' answer stands; what the model leaned to is listed
        // under it as the guess it is, so that plain text is not shown as
        // the only answer when the words were too few to tell.
        for (std::size_t k = 0; k < m_verdict.ranked.size() && k < ranking::kModelShown; ++k) {
            const auto& r = m_verdict.ranked[k];
            const std::uint32_t def = m_classDef[r.cls];
            if (def == db::kNoParent || m_plainText[def] || m_needsStructure[def] || r.probability < ranking::kModelLeaning
                || std::any_of(m_result.begin(), m_result.end(), [&](const Candidate& c) { return c.def == def; }))
                continue;
            const ranking::ModelAnswer a = ranking::modelAnswer(r.probability);
            m_modelGuesses.push_back({def, a.score, a.evidence, 0.0, Confidence::Low, false, false});
        }
        return false;
    }
    const ranking::ModelAnswer topAnswer = ranking::modelAnswer(topProbability);
    // Formats the model was not taught keep what their own rules proved:
    // when that is more than a guess they rank above the model's answer.
    for (auto& c : m_result) {
        const bool taught = std::find(m_classDef.begin(), m_classDef.end(), c.def) != m_classDef.end();
        if (taught || c.plainText)
            continue;
        if (ranking::isWeakGuess(c.confidence, (m_db.def(c.def).flags & db::kDefNeedsHigh) != 0))
            c.score = std::min<std::uint64_t>(c.score, 1);
        else
            c.score = std::max(c.score, topAnswer.score + 1);
    }
    // Every class the model knows takes its probability's share as score;
    // the best few join the candidates if their rules did not hold.
    for (std::size_t k = 0; k < m_verdict.ranked.size(); ++k) {
        const auto& r = m_verdict.ranked[k];
        const std::uint32_t def = m_classDef[r.cls];
        if (def == db::kNoParent)
            continue;
        auto it = std::find_if(m_result.begin(), m_result.end(), [&](const Candidate& c) { return c.def == def; });
        if (it == m_result.end()) {
            // A format defined by its structure (an XML root, JSON) is not
            // what a text lacking that structure is, whatever its words.
            // Read as prose, a code format is not one of its runners-up:
            // the name could lift it over the document (CMake lists .txt).
            if (m_needsStructure[def] || k >= ranking::kModelShown || r.probability < ranking::kModelListed
                || (readsAsProse && !m_textModel.isProse(r.cls)))
                continue;
            m_result.push_back({def, 0, 0, 0.0, Confidence::Low, m_plainText[def] != 0, false});
            it = m_result.end() - 1;
        }
        ranking::ModelAnswer a = ranking::modelAnswer(r.probability);
        // What structure proved goes first, however alike the words.
        if (k == 0 && m_verdict.structural && m_verdict.ranked.size() > 1)
            a.score = std::max(a.score, ranking::modelAnswer(m_verdict.ranked[1].probability).score + 1);
        if (k == 0 && m_verdict.proseFirst) {
            // Ahead of the language it was preferred to, and no surer.
            a.score = topAnswer.score + 1;
            a.confidence = Confidence::Low;
        }
        it->score = a.score;
        it->evidence = a.evidence;
        it->confidence = a.confidence;
    }
    return true;
}

// A format told from its parent by rules of its own (TOML by the typed
// values of its keys, in a key file) is not the model's to give when the
// parent's rules held and its own did not: the parent takes its share.
void Matcher::yieldToParents()
{
    auto held = [&](std::uint32_t d) {
        return std::any_of(m_result.begin(), m_result.end(), [&](const Candidate& c) { return c.def == d; });
    };
    bool moved = false;
    for (auto& r : m_verdict.ranked) {
        const std::uint32_t def = m_classDef[r.cls];
        if (def == db::kNoParent || r.probability == 0.0)
            continue;
        const std::uint32_t parent = m_db.def(def).parent;
        if (parent == db::kNoParent || m_plainText[parent] || held(def) || !held(parent))
            continue;
        auto to = std::find_if(m_verdict.ranked.begin(), m_verdict.ranked.end(), [&](const TextModel::Ranked& x) { return m_classDef[x.cls] == parent; });
        if (to == m_verdict.ranked.end())
            continue;
        to->probability += r.probability;
        r.probability = 0.0;
        moved = true;
    }
    if (moved) {
        std::stable_sort(m_verdict.ranked.begin(), m_verdict.ranked.end(),
            [](const TextModel::Ranked& a, const TextModel::Ranked& b) { return a.probability > b.probability; });
    }
}

bool Matcher::hasAncestor(std::uint32_t def, std::uint32_t ancestor) const
{
    for (std::uint32_t p = m_db.def(def).parent; p != db::kNoParent; p = m_db.def(p).parent) {
        if (p == ancestor)
            return true;
    }
    return false;
}

// The name's part of the policy in Ranking.h: types known only by the
// extension are named under the carrier that content found, and every
// candidate that lists the extension gains the name's small bonus.
void Matcher::addByName(const std::string& ext)
{
    for (const auto& c : m_result)
        m_contentScore[c.def] = c.score;
    // Files of a folder mostly share their extension: the last one's
    // listing is kept.
    if (!m_listingKept || ext != m_listingExt) {
        definitionsListing(ext, m_listing);
        m_listingExt = ext;
        m_listingKept = true;
    }
    const std::vector<std::uint32_t>& listing = m_listing;
    if (listing.empty())
        return;
    const std::size_t matched = m_result.size();
    for (std::uint32_t d : listing) {
        // A format the text model tells but whose rules did not hold is, for
        // the name, like one known by name alone.
        const bool taught = std::find(m_classDef.begin(), m_classDef.end(), d) != m_classDef.end()
            && std::none_of(m_result.begin(), m_result.begin() + static_cast<std::ptrdiff_t>(matched), [&](const Candidate& c) { return c.def == d; });
        if (!(m_db.def(d).flags & db::kDefNameOnly) && !taught)
            continue;
        // The nearest ancestor that content found is the carrier.
        std::size_t carrier = matched;
        for (std::uint32_t p = m_db.def(d).parent; p != db::kNoParent && carrier == matched; p = m_db.def(p).parent) {
            for (std::size_t i = 0; i < matched; ++i) {
                if (m_result[i].def == p)
                    carrier = i;
            }
        }
        if (carrier == matched)
            continue;
        // "CMakeLists.txt" is no reason to call a .txt file CMake.
        if (!(m_db.def(d).flags & db::kDefNameOnly) && std::find(listing.begin(), listing.end(), m_result[carrier].def) != listing.end())
            continue;
        const Candidate base = m_result[carrier];
        // Content that found something more specific under the carrier
        // contradicts the name; languages told by habits inside a document
        // do not, as a document may quote code.
        std::uint64_t bestHabit = 0;
        bool refined = false;
        for (std::size_t i = 0; i < matched; ++i) {
            const Candidate& o = m_result[i];
            if (i == carrier || !hasAncestor(o.def, base.def))
                continue;
            // A weak guess (the text model's runner-up) is no contradiction.
            if (base.plainText && ((m_db.def(o.def).flags & db::kDefNeedsHigh) || o.confidence == Confidence::Low))
                bestHabit = std::max(bestHabit, o.score);
            else
                refined = true;
        }
        if (refined)
            continue;
        Candidate n = base;
        n.def = d;
        n.plainText = false;
        n.byName = true;
        n.confidence = std::min(base.confidence, Confidence::Medium);
        n.score = std::max(base.score, bestHabit + 1);
        m_contentScore[d] = 0;
        m_result.push_back(n);
    }
    for (auto& c : m_result) {
        if (std::find(listing.begin(), listing.end(), c.def) == listing.end())
            continue;
        // A format the text model weighed has a probability for its score:
        // the name multiplies its odds, so it settles what the words leave
        // close and never a clear answer of the model's.
        const bool weighed = m_modelDecided && !c.byName && std::find(m_classDef.begin(), m_classDef.end(), c.def) != m_classDef.end();
        c.score = weighed ? std::max(c.score * ranking::kNameOdds, c.score + ranking::kNameBonus) : c.score + ranking::kNameBonus;
    }
}

std::vector<RuleHit> Matcher::explain(Probe& probe, std::uint32_t def)
{
    std::vector<RuleHit> trace;
    std::uint64_t e = 0;
    if (!eval(m_db.def(def).root, probe, e, &trace))
        trace.clear();
    const bool modelsAnswer = m_modelDecided && !m_verdict.ranked.empty() && m_classDef[m_verdict.ranked.front().cls] == def;
    if (modelsAnswer || (!m_modelGuesses.empty() && m_modelGuesses.front().def == def)) {
        TextModel::Verdict v;
        m_textModel.judge(probe.textView(), m_modelWork, v, true);
        std::string top;
        for (std::size_t k = 0; k < v.ranked.size() && k < 3; ++k) {
            char pct[32];
            std::snprintf(pct, sizeof pct, " %.1f%%", 100.0 * v.ranked[k].probability);
            top += (k ? ", " : "") + std::string(m_textModel.className(v.ranked[k].cls)) + pct;
        }
        std::string reasons;
        for (const auto& r : v.reasons)
            reasons += (reasons.empty() ? "\"" : ", \"") + r + "\"";
        trace.push_back({m_db.def(def).root, top, "text model"});
        if (v.settledBy)
            trace.push_back({m_db.def(def).root, std::string("settled by ") + v.settledBy, "text model"});
        if (!reasons.empty())
            trace.push_back({m_db.def(def).root, "weighed most: " + reasons, "text model"});
    }
    return trace;
}

} // namespace gv::vonk
