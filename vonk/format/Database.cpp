// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/format/Database.h"

#include "vonk/base/Checksum.h"
#include "vonk/base/Platform.h"
#include "vonk/format/Ranking.h"
#include "vonk/format/RuleTraits.h"
#include "vonk/format/SequenceProgram.h"

#include <algorithm>
#include <cstring>

namespace gv::vonk {

namespace {

// Who holds a rule, while the records are checked.
constexpr std::uint8_t kOwnedAsChild = 1;
constexpr std::uint8_t kOwnedAsRoot = 2;

// The records of a section, in place. The file's bytes are aligned for every
// record (see Database::checkHeader), so they are read as they lie.
template <typename T>
std::span<const T> section(const std::uint8_t*& p, std::uint32_t count)
{
    const auto* first = reinterpret_cast<const T*>(p);
    p += sizeof(T) * count;
    return {first, count};
}

} // namespace

Database::~Database()
{
    platform::unmapFile(m_map, m_mapLength);
}

std::unique_ptr<Database> Database::open(const std::string& path, std::string& error)
{
    platform::MappedFile map = platform::mapFile(path, static_cast<std::uint64_t>(db::kMaxPool) * 2);
    switch (map.status) {
    case platform::MappedFile::Status::CannotOpen:
        error = "cannot open database '" + path + "': " + map.reason;
        return nullptr;
    case platform::MappedFile::Status::NotRegular:
        error = "database '" + path + "' is not a regular file";
        return nullptr;
    case platform::MappedFile::Status::TooLarge:
        error = "database '" + path + "' is too large to be a definitions database";
        return nullptr;
    case platform::MappedFile::Status::CannotMap:
        error = "cannot read database '" + path + "': " + map.reason;
        return nullptr;
    case platform::MappedFile::Status::Empty:
    case platform::MappedFile::Status::Mapped:
        break;
    }
    std::unique_ptr<Database> d(new Database());
    if (map.address) {
        d->m_map = map.address;
        d->m_mapLength = map.extent;
        d->m_data = static_cast<const std::uint8_t*>(map.address);
        d->m_size = map.length;
    }
    d->m_path = path;
    std::string reason;
    if (!d->checkHeader(reason, false)) {
        error = "database '" + path + "' is unusable: " + reason;
        return nullptr;
    }
    return d;
}

bool Database::checkRecords(std::string& error)
{
    std::string reason;
    if (!validateRecords(reason)) {
        error = "database '" + m_path + "' is unusable: " + reason;
        return false;
    }
    return true;
}

std::unique_ptr<Database> Database::load(const std::string& path, std::string& error, Checksum checksum)
{
    std::unique_ptr<Database> d = open(path, error);
    if (!d)
        return nullptr;
    if (checksum == Checksum::AtLoad && !d->checksumMatches()) {
        error = "database '" + path + "' is unusable: " + kDamaged;
        return nullptr;
    }
    if (!d->checkRecords(error))
        return nullptr;
    return d;
}

std::unique_ptr<Database> Database::fromBytes(std::vector<std::uint8_t> bytes, std::string& error, bool verifyChecksum)
{
    std::unique_ptr<Database> d(new Database());
    d->m_bytes = std::move(bytes);
    d->m_data = d->m_bytes.data();
    d->m_size = d->m_bytes.size();
    if (!d->checkHeader(error, verifyChecksum) || !d->validateRecords(error))
        return nullptr;
    return d;
}

std::span<const std::uint32_t> Database::literalDefs(int set, std::uint32_t pattern) const
{
    std::uint32_t b = m_litStart[set][pattern], e = m_litStart[set][pattern + 1];
    return {m_litDefs[set].data() + b, e - b};
}

bool Database::validateRecords(std::string& error)
{
    // Every rule must belong to exactly one block or definition, so
    // evaluation work is linear in the number of rules.
    std::vector<std::uint8_t> owners(m_header.nodeCount, 0);
    if (!checkDefinitions(error, owners) || !checkRules(error, owners) || !checkIndexes(error) || !checkTextModel(error))
        return false;
    if (!(m_header.flags & db::kHeaderRuleTraits)) {
        std::vector<std::uint8_t> holds;
        db::ruleTraits({m_nodes, m_header.nodeCount}, [&](db::StrRef r) { return str(r); }, holds);
        m_traits.resize(m_header.defCount);
        for (std::uint32_t d = 0; d < m_header.defCount; ++d)
            m_traits[d] = holds[def(d).root];
    }
    buildIndexes();
    return true;
}

bool Database::checkHeader(std::string& error, bool verifyChecksum)
{
    using namespace db;
    const std::uint64_t fileSize = m_size;
    if (fileSize < sizeof(Header)) {
        error = fileSize == 0 ? "the file is empty" : "truncated header (" + std::to_string(fileSize) + " bytes)";
        return false;
    }
    // Every section starts at a multiple of 8 from the file's start, so
    // bytes that start on one hold each record where its type can be read.
    static_assert(sizeof(Header) % alignof(NodeRecord) == 0 && sizeof(DefRecord) % alignof(NodeRecord) == 0
        && sizeof(NodeRecord) % alignof(AnchorRecord) == 0 && sizeof(AnchorRecord) % alignof(LiteralRecord) == 0
        && sizeof(LiteralRecord) % alignof(std::uint32_t) == 0 && alignof(AnchorRecord) == alignof(NodeRecord));
    if (reinterpret_cast<std::uintptr_t>(m_data) % alignof(NodeRecord) != 0) {
        m_bytes.assign(m_data, m_data + m_size);
        m_data = m_bytes.data();
    }
    std::memcpy(&m_header, m_data, sizeof(Header));
    const Header& h = m_header;
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0) {
        error = "not a vonk definitions database (bad signature)";
        return false;
    }
    if (h.version < kVersion) {
        error = "database format version " + std::to_string(h.version) + " is older than this vonk's version "
            + std::to_string(kVersion) + " (rebuild it with vonk-defs)";
        return false;
    }
    if (h.version > kVersion) {
        error = "database format version " + std::to_string(h.version) + ", but this vonk reads version " + std::to_string(kVersion);
        return false;
    }
    if (h.headerSize != sizeof(Header)) {
        error = "bad header size";
        return false;
    }
    if (h.flags & ~kHeaderKnownFlags) {
        error = "unknown flags in the header";
        return false;
    }
    if (h.defCount > kMaxCount || h.nodeCount > kMaxCount || h.anchorCount > kMaxCount || h.literalCount > kMaxCount
        || h.alwaysCount > kMaxCount || h.poolSize > kMaxPool) {
        error = "implausible counts in the header";
        return false;
    }
    const std::uint64_t expected = std::uint64_t{h.defCount} * sizeof(DefRecord) + std::uint64_t{h.nodeCount} * sizeof(NodeRecord)
        + std::uint64_t{h.anchorCount} * sizeof(AnchorRecord) + std::uint64_t{h.literalCount} * sizeof(LiteralRecord)
        + std::uint64_t{h.alwaysCount} * 4 + h.poolSize;
    // What follows the pool is the text model.
    if (h.bodySize < expected || h.bodySize - expected > kMaxPool) {
        error = "header sizes disagree";
        return false;
    }
    const std::uint64_t modelSize = h.bodySize - expected;
    if (fileSize - sizeof(Header) < h.bodySize) {
        error = "truncated: " + std::to_string(sizeof(Header) + h.bodySize) + " bytes expected, " + std::to_string(fileSize) + " found";
        return false;
    }
    if (fileSize - sizeof(Header) > h.bodySize) {
        error = "unexpected data after the end of the database";
        return false;
    }
    const std::uint8_t* body = m_data + sizeof(Header);
    if (verifyChecksum && !checksumMatches()) {
        error = kDamaged;
        return false;
    }

    const std::uint8_t* p = body;
    m_defs = section<DefRecord>(p, h.defCount).data();
    m_nodes = section<NodeRecord>(p, h.nodeCount).data();
    m_anchors = section<AnchorRecord>(p, h.anchorCount);
    m_literals = section<LiteralRecord>(p, h.literalCount);
    m_always = section<std::uint32_t>(p, h.alwaysCount);
    m_pool = p;
    m_poolSize = h.poolSize;
    if (!inPool(h.sources)) {
        error = "the list of imported sources is out of range";
        return false;
    }
    m_textModel = {p + h.poolSize, static_cast<std::size_t>(modelSize)};
    return true;
}

bool Database::checksumMatches() const
{
    db::Header zeroed = m_header;
    zeroed.bodyHash = 0;
    const std::uint32_t seed = checksum32(reinterpret_cast<const std::uint8_t*>(&zeroed), sizeof zeroed);
    return checksum32(m_data + sizeof(db::Header), m_header.bodySize, seed) == m_header.bodyHash;
}

bool Database::checkDefinitions(std::string& error, std::vector<std::uint8_t>& owners) const
{
    using namespace db;
    const Header& h = m_header;
    if (h.defCount == 0) {
        error = "the database holds no definitions";
        return false;
    }
    for (std::uint32_t i = 0; i < h.defCount; ++i) {
        const DefRecord& d = def(i);
        if (!inPool(d.id) || !inPool(d.desc) || !inPool(d.ext) || !inPool(d.mime) || !inPool(d.category) || !inPool(d.source)
            || !inPool(d.puid)) {
            error = "definition " + std::to_string(i) + " has a text out of range";
            return false;
        }
        if (d.parent != kNoParent && d.parent >= h.defCount) {
            error = "definition " + std::to_string(i) + " has a bad parent";
            return false;
        }
        // The root's kind is checked with the other rules, in their order:
        // reading it here would fetch a rule from far off per definition.
        if (d.root >= h.nodeCount || owners[d.root]) {
            error = "definition " + std::to_string(i) + " has a bad rule list";
            return false;
        }
        owners[d.root] = kOwnedAsRoot;
        if (!ranking::weightInRange(d.weight)) {
            error = "definition " + std::to_string(i) + " has a bad weight";
            return false;
        }
        // Each definition one deeper than its parent, none deeper than the
        // limit: then every chain of parents ends at a root within that many
        // steps.
        const std::uint32_t expected = d.parent == kNoParent ? 0 : def(d.parent).depth + 1u;
        if (d.depth != expected || d.depth > kMaxNesting) {
            error = "definition " + std::to_string(i) + " has a wrong depth or a parent cycle";
            return false;
        }
        if (d.flags & ~(kDefKnownFlags | ((h.flags & kHeaderRuleTraits) ? kDefTraitFlags : 0))) {
            error = "definition " + std::to_string(i) + " has unknown flags";
            return false;
        }
    }
    return true;
}

bool Database::checkRules(std::string& error, std::vector<std::uint8_t>& owners) const
{
    using namespace db;
    const Header& h = m_header;
    std::vector<std::uint8_t> depth(h.nodeCount, 0);
    std::vector<seq::Step> steps;
    for (std::uint32_t i = 0; i < h.nodeCount; ++i) {
        const NodeRecord& n = node(i);
        // Made only when a check fails: a valid database has tens of
        // thousands of rules and is checked at every start.
        const auto where = [i] { return "rule " + std::to_string(i); };
        if (n.kind < 1 || n.kind > kLastNodeKind || n.op > kLastCmpOp || n.num > kLastNumKind) {
            error = where() + " has an unknown kind";
            return false;
        }
        const auto kind = static_cast<NodeKind>(n.kind);
        if (!inPool(n.a) || !inPool(n.b) || !inPool(n.src)) {
            error = where() + " has a text out of range";
            return false;
        }
        if (!owners[i]) {
            error = where() + " belongs to no definition";
            return false;
        }
        if (owners[i] == kOwnedAsRoot && kind != NodeKind::All) {
            error = where() + " holds a definition's rules but is no list of them";
            return false;
        }
        bool block = kind == NodeKind::All || kind == NodeKind::Any || kind == NodeKind::Not || kind == NodeKind::Some
            || kind == NodeKind::AfterTags;
        if (!block && n.count != 0) {
            error = where() + " is not a block but has rules inside";
            return false;
        }
        if (block) {
            if ((kind == NodeKind::Not && n.count != 1) || (kind != NodeKind::Not && n.count == 0)
                || (kind == NodeKind::Some && n.value > n.count)) {
                error = where() + " has a bad number of rules inside";
                return false;
            }
            if (n.first <= i || std::uint64_t{n.first} + n.count > h.nodeCount) {
                error = where() + " has rules out of range";
                return false;
            }
            if (depth[i] >= 2 * kMaxNesting) {
                error = where() + " is nested too deeply";
                return false;
            }
            for (std::uint32_t c = n.first; c < n.first + n.count; ++c) {
                if (owners[c]) {
                    error = where() + " shares a rule with another";
                    return false;
                }
                owners[c] = kOwnedAsChild;
                depth[c] = static_cast<std::uint8_t>(depth[i] + 1);
            }
        }
        switch (kind) {
        case NodeKind::AtPattern:
        case NodeKind::Within:
        case NodeKind::Head:
        case NodeKind::Tail:
            if (n.a.len == 0 || n.a.len > kMaxPatternLength || n.b.len != n.a.len) {
                error = where() + " has a bad pattern";
                return false;
            }
            break;
        case NodeKind::ZipHas:
        case NodeKind::ZipFirst:
        case NodeKind::OleHas:
        case NodeKind::OleClsid:
        case NodeKind::EbmlDocType:
        case NodeKind::BmffBrand:
        case NodeKind::BmffMajor:
        case NodeKind::BmffBox:
        case NodeKind::ZipContentType:
        case NodeKind::ZipText:
        case NodeKind::OleCompObj:
        case NodeKind::XmlRoot:
        case NodeKind::Shebang:
            if (n.a.len == 0 || n.a.len > kMaxPatternLength || n.b.len > kMaxPatternLength) {
                error = where() + " has a bad name";
                return false;
            }
            break;
        case NodeKind::TiffTag:
            if (n.a.len > kMaxPatternLength || n.off < 0 || n.off > 0xFFFF || n.to < 0 || n.to > 1 || (n.to == 1 && n.a.len != 0)) {
                error = where() + " has a bad TIFF tag";
                return false;
            }
            break;
        case NodeKind::DerShape:
            if (n.a.len == 0 || n.a.len > kMaxPatternLength) {
                error = where() + " has a bad name";
                return false;
            }
            break;
        case NodeKind::SizeByCount:
            if (n.value == 0 || n.to < 0 || n.off < 0) {
                error = where() + " has a bad record size";
                return false;
            }
            break;
        case NodeKind::Delimited:
        case NodeKind::KeyValue:
            if (n.a.len != 1 || (kind == NodeKind::KeyValue && str(n.a) != "=" && str(n.a) != ":")) {
                error = where() + " has a bad separator";
                return false;
            }
            break;
        case NodeKind::Sequence: {
            steps.clear();
            if (n.flags > seq::kLastReference || !seq::decode({bytes(n.a), n.a.len}, steps)) {
                error = where() + " has a bad byte sequence";
                return false;
            }
            break;
        }
        case NodeKind::Text:
            if (n.flags > kLastTextKind) {
                error = where() + " has a bad text kind";
                return false;
            }
            break;
        default:
            break;
        }
        bool offOk = true;
        switch (kind) {
        case NodeKind::AtPattern:
        case NodeKind::AtNumber:
            offOk = n.off >= -kMaxOffset && n.off <= kMaxOffset;
            break;
        case NodeKind::Within:
            offOk = n.off >= 0 && n.to >= n.off && n.to <= kMaxOffset && n.to - n.off <= kMaxWithinSpan;
            break;
        case NodeKind::Head:
        case NodeKind::Tail:
            offOk = n.off >= 1 && n.off <= kHeadSize;
            break;
        default:
            break;
        }
        if (!offOk) {
            error = where() + " has an offset out of range";
            return false;
        }
    }
    return true;
}

bool Database::checkIndexes(std::string& error) const
{
    using namespace db;
    const Header& h = m_header;
    for (std::size_t i = 0; i < m_anchors.size(); ++i) {
        const AnchorRecord& a = m_anchors[i];
        bool reach = a.offset >= 0 ? a.offset + a.len <= kHeadSize : (a.offset + a.len <= 0 && a.offset >= -std::int64_t{kHeadSize});
        if (a.def >= h.defCount || a.len < 1 || a.len > 4 || !reach || (a.len < 4 && (a.key >> (8 * a.len)) != 0)) {
            error = "index entry " + std::to_string(i) + " is out of range";
            return false;
        }
        if (i) {
            const AnchorRecord& p = m_anchors[i - 1];
            bool ordered = p.offset < a.offset || (p.offset == a.offset && (p.len < a.len || (p.len == a.len && p.key <= a.key)));
            if (!ordered) {
                error = "index is not sorted";
                return false;
            }
        }
    }
    for (std::uint32_t a : m_always) {
        if (a >= h.defCount) {
            error = "index entry out of range";
            return false;
        }
    }
    for (const auto& l : m_literals) {
        if (l.def >= h.defCount || l.zone > static_cast<std::uint8_t>(Zone::XmlRoot) || l.flags > kLiteralNeedsText || !inPool(l.text) || l.text.len == 0
            || l.text.len > kMaxPatternLength || l.extent > kHeadSize) {
            error = "literal index entry out of range";
            return false;
        }
    }
    return true;
}

bool Database::checkTextModel(std::string& error) const
{
    using namespace db;
    if (m_textModel.empty())
        return true;
    const std::uint8_t* p = m_textModel.data();
    const std::size_t size = m_textModel.size();
    auto bad = [&](const char* why) {
        error = std::string("text model: ") + why;
        return false;
    };
    TextModelHeader h;
    if (size < sizeof h)
        return bad("truncated header");
    std::memcpy(&h, p, sizeof h);
    if (std::memcmp(h.magic, kTextModelMagic, sizeof h.magic) != 0)
        return bad("bad signature");
    if (h.version != kTextModelVersion)
        return bad("unknown version");
    if (h.classCount < 2 || h.classCount > kMaxTextClasses || h.featureCount > kMaxTextFeatures || h.slotCount > kMaxTextSlots
        || (h.slotCount & (h.slotCount - 1)) != 0 || h.slotCount <= h.featureCount || h.headBytes == 0 || h.headBytes > kHeadSize
        || h.unitsPerNat1000 == 0 || h.unitsPerNat1000 > 1000000000u || h.reserved != 0)
        return bad("implausible counts");
    const std::uint64_t expected = sizeof h + std::uint64_t{h.classCount} * (kTextClassName + 4)
        + std::uint64_t{h.slotCount} * sizeof(TextModelSlot) + std::uint64_t{h.featureCount} * h.classCount;
    if (size != expected)
        return bad("sizes disagree");
    const std::uint8_t* names = p + sizeof h;
    for (std::uint32_t c = 0; c < h.classCount; ++c) {
        const std::uint8_t* n = names + std::size_t{c} * kTextClassName;
        std::size_t len = 0;
        while (len < kTextClassName && n[len])
            ++len;
        if (len == 0 || len == kTextClassName)
            return bad("a class has a bad name");
        for (std::size_t k = 0; k < len; ++k) {
            if (n[k] <= 0x20 || n[k] >= 0x7F)
                return bad("a class has a bad name");
        }
    }
    const std::uint8_t* bias = names + std::size_t{h.classCount} * kTextClassName;
    for (std::uint32_t c = 0; c < h.classCount; ++c) {
        std::int32_t b;
        std::memcpy(&b, bias + 4 * c, 4);
        if (b > kMaxTextBias || b < -kMaxTextBias)
            return bad("a bias is out of range");
    }
    // The slots are read where they lie and checked as they are looked up
    // (TextModel::row): scanning the table here would cost every start.
    return true;
}

void Database::buildIndexes()
{
    using namespace db;
    for (std::uint32_t i = 0; i < m_anchors.size();) {
        std::uint32_t j = i;
        while (j < m_anchors.size() && m_anchors[j].offset == m_anchors[i].offset && m_anchors[j].len == m_anchors[i].len)
            ++j;
        m_groups.push_back({m_anchors[i].offset, m_anchors[i].len, i, j});
        if (m_anchors[i].offset < 0)
            m_tailAnchorReach = std::max(m_tailAnchorReach, static_cast<std::uint32_t>(-m_anchors[i].offset));
        i = j;
    }
    // Literal triggers: group by set and text (in text order, definitions in
    // their order), then one automaton per set.
    struct Keyed {
        int set;
        std::string_view text;
        std::uint32_t def;
        AhoCorasick::Window window;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(m_literals.size());
    for (const auto& l : m_literals) {
        if (static_cast<Zone>(l.zone) == Zone::XmlRoot) {
            m_roots.push_back({str(l.text), l.def});
            continue;
        }
        int set = literalSet(static_cast<Zone>(l.zone), l.flags & kLiteralNeedsText, l.extent, isDeferred(l.def));
        // Head literals lie in a window of the head. A tail literal lies
        // within its extent of the end, but a window counts from where the
        // scan starts, which is as far from the end as the set's widest
        // extent or the file's start: a tail literal is looked for anywhere
        // in the tail scanned.
        const AhoCorasick::Window window = static_cast<Zone>(l.zone) == Zone::Head ? AhoCorasick::Window{l.from, l.extent} : AhoCorasick::Window{};
        keyed.push_back({set, str(l.text), l.def, window});
        m_extent[set] = std::max(m_extent[set], l.extent);
    }
    // The compiler writes the literals in this order; a file that has them
    // otherwise is still read right.
    const auto byName = [](const Root& a, const Root& b) { return a.name != b.name ? a.name < b.name : a.def < b.def; };
    if (!std::is_sorted(m_roots.begin(), m_roots.end(), byName))
        std::sort(m_roots.begin(), m_roots.end(), byName);
    const auto bySetAndText = [](const Keyed& a, const Keyed& b) {
        return a.set != b.set ? a.set < b.set : a.text != b.text ? a.text < b.text : a.def < b.def;
    };
    if (!std::is_sorted(keyed.begin(), keyed.end(), bySetAndText))
        std::sort(keyed.begin(), keyed.end(), bySetAndText);
    for (int z = 0; z < kLiteralSets; ++z)
        m_litStart[z].push_back(0);
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        const Keyed& k = keyed[i];
        if (i == 0 || keyed[i - 1].set != k.set || keyed[i - 1].text != k.text) {
            if (!m_patterns[k.set].empty())
                m_litStart[k.set].push_back(static_cast<std::uint32_t>(m_litDefs[k.set].size()));
            m_patterns[k.set].push_back(k.text);
            m_windows[k.set].push_back(k.window);
        } else {
            AhoCorasick::Window& w = m_windows[k.set].back();
            w.from = std::min(w.from, k.window.from);
            w.end = std::max(w.end, k.window.end);
        }
        m_litDefs[k.set].push_back(k.def);
    }
    for (int z = 0; z < kLiteralSets; ++z) {
        if (!m_patterns[z].empty())
            m_litStart[z].push_back(static_cast<std::uint32_t>(m_litDefs[z].size()));
    }
}

std::span<const Database::Root> Database::rootDefs(std::string_view localName) const
{
    auto range = std::equal_range(m_roots.begin(), m_roots.end(), Root{localName, 0},
        [](const Root& a, const Root& b) { return a.name < b.name; });
    return {range.first, range.second};
}

void Database::prepareSearches(const std::atomic<bool>& stop) const
{
    for (int set = 0; set < kLiteralSets && !stop.load(std::memory_order_relaxed); ++set) {
        if (!setIsDeferred(set) && hasLiterals(set))
            automaton(set);
    }
    if (!stop.load(std::memory_order_relaxed))
        extensionIndex();
}

const Database::ExtensionIndex& Database::extensionIndex() const
{
    std::call_once(m_extensionsBuilt, [&] {
        // One flat table rather than a map of lists: thousands of small
        // allocations made up much of a one-file run. Definitions go in from
        // the last, each in front of its chain, so a chain lists them in
        // order.
        std::size_t buckets = 64;
        while (buckets < 2 * std::size_t{defCount()})
            buckets *= 2;
        m_extensions.heads.assign(buckets, kNoEntry);
        m_extensions.entries.reserve(defCount() + defCount() / 2);
        for (std::uint32_t d = defCount(); d-- > 0;) {
            forEachExtension(str(def(d).ext), [&](std::string_view ext) {
                const std::uint64_t key = extensionKey(ext);
                std::uint32_t& head = m_extensions.heads[extensionBucket(key, buckets)];
                m_extensions.entries.push_back({key, d, head});
                head = static_cast<std::uint32_t>(m_extensions.entries.size() - 1);
                return false;
            });
        }
    });
    return m_extensions;
}

const AhoCorasick& Database::automaton(int set) const
{
    // Built when first searched: a run over a few files needs few of them
    // (no text-only sets for binary files, no deferred ones once settled).
    std::call_once(m_acBuilt[set], [&] { m_ac[set].build(m_patterns[set], m_windows[set]); });
    return m_ac[set];
}

} // namespace gv::vonk
