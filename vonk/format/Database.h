// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/base/AhoCorasick.h"
#include "vonk/format/DbFormat.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// A loaded, fully validated VonkDefs.vkd. After a successful load every
// index and offset inside it is known to be in range, so the matcher needs
// no further checks.
class Database {
public:
    // When the checksum of the whole file is compared. The structure is
    // always checked at load, so matching is safe either way; the checksum
    // only tells a damaged file from a sound one. Reading all of it takes
    // longer than the rest of a start, so a caller that can do other work
    // meanwhile asks for it separately (checksumMatches(), on another
    // thread) and must not report anything before it agrees.
    enum class Checksum { AtLoad, ByCaller };
    // Reads and validates a database file. On failure returns null and sets
    // `error` to a reason that names the file.
    static std::unique_ptr<Database> load(const std::string& path, std::string& error, Checksum checksum = Checksum::AtLoad);
    // load() in two steps, for a caller that compares the checksum on
    // another thread while the records are checked: open() maps the file
    // and checks its header and section sizes (then checksumMatches() may
    // run); checkRecords() checks every record and builds the indexes.
    // Nothing else may be used before checkRecords() has succeeded.
    static std::unique_ptr<Database> open(const std::string& path, std::string& error);
    bool checkRecords(std::string& error);
    // Whether the file's checksum agrees with its bytes.
    bool checksumMatches() const;
    static constexpr const char* kDamaged = "checksum mismatch (the file is damaged)";
    // Validates bytes already in memory. `verifyChecksum` is off only for
    // fuzzing, so that mutations reach the structural checks.
    static std::unique_ptr<Database> fromBytes(std::vector<std::uint8_t> bytes, std::string& error, bool verifyChecksum = true);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Records are used in place, on the file's bytes: every section starts
    // at a multiple of its records' alignment, and the bytes are kept
    // aligned (a mapping starts on a page), so loading copies nothing.
    std::uint32_t defCount() const { return m_header.defCount; }
    std::uint32_t nodeCount() const { return m_header.nodeCount; }
    const db::DefRecord& def(std::uint32_t i) const { return m_defs[i]; }
    const db::NodeRecord& node(std::uint32_t i) const { return m_nodes[i]; }
    std::string_view str(db::StrRef r) const { return std::string_view(reinterpret_cast<const char*>(m_pool) + r.off, r.len); }
    const std::uint8_t* bytes(db::StrRef r) const { return m_pool + r.off; }

    std::span<const db::AnchorRecord> anchors() const { return m_anchors; }
    // Distinct anchor (offset, length) pairs, each with its range in anchors().
    struct AnchorGroup {
        std::int64_t offset;
        std::uint32_t len;
        std::uint32_t begin;
        std::uint32_t end;
    };
    const std::vector<AnchorGroup>& anchorGroups() const { return m_groups; }
    std::span<const std::uint32_t> always() const { return m_always; }
    // How many of a file's last bytes the anchors look at.
    std::uint32_t tailAnchorReach() const { return m_tailAnchorReach; }

    // Literal triggers: one automaton per zone (head, tail) and gate (all
    // files, text only); a hit on pattern p makes every definition in
    // literalDefs(set, p) a candidate.
    // Each zone's literals are split by how far they are searched: within
    // 512 bytes (most magic), within 4 KiB, or beyond; a scan then reads no
    // further than its set's literals reach.
    static constexpr std::uint32_t kShortExtent = 512;
    static constexpr std::uint32_t kNearExtent = 4096;
    static int reachOf(std::uint32_t extent) { return extent <= kShortExtent ? 0 : extent <= kNearExtent ? 1 : 2; }
    // Literals of definitions that yield to ours and refine nothing
    // (deferred) go to sets of their own too: the matcher searches them only
    // when our definitions have not settled the file.
    static constexpr int kLiteralSets = 24;
    static int literalSet(db::Zone z, bool textOnly, std::uint32_t extent, bool deferred)
    {
        return static_cast<int>(z) * 12 + (textOnly ? 6 : 0) + reachOf(extent) * 2 + (deferred ? 1 : 0);
    }
    static bool setIsTail(int set) { return set >= 12; }
    static bool setIsTextOnly(int set) { return set % 12 >= 6; }
    static bool setIsDeferred(int set) { return (set & 1) != 0; }
    // Another registry's definition that yields to ours and refines none of
    // them: it can only rank below a definition of ours that holds.
    bool isDeferred(std::uint32_t def) const
    {
        return (this->def(def).flags & db::kDefYields) && this->def(def).parent == db::kNoParent;
    }
    bool hasLiterals(int set) const { return !m_patterns[set].empty(); }
    const std::vector<std::string_view>& patterns(int set) const { return m_patterns[set]; }
    const AhoCorasick& automaton(int set) const;
    // Builds ahead the automata most files are searched with (every set
    // but the deferred ones), stopping between two when `stop` is set. Run
    // on a thread of its own at start, it takes that work off the first
    // files; a set a worker needs first is built once, by whichever asks.
    void prepareSearches(const std::atomic<bool>& stop) const;
    std::span<const std::uint32_t> literalDefs(int set, std::uint32_t pattern) const;
    std::uint32_t scanExtent(int set) const { return m_extent[set]; }
    // Definitions that a text's root element names (its local name, exact).
    struct Root {
        std::string_view name;
        std::uint32_t def;
    };
    bool hasRoots() const { return !m_roots.empty(); }
    std::span<const Root> rootDefs(std::string_view localName) const;
    std::span<const db::LiteralRecord> literals() const { return m_literals; }

    // Definitions by the extensions they list: a hash table of chains, each
    // chain in the database's order. Built once, by whichever thread first
    // asks (prepareSearches() does, after the automata): a run whose files
    // never need it, or need it late, does not wait for it.
    struct ExtensionEntry {
        std::uint64_t key; // extensionKey()
        std::uint32_t def;
        std::uint32_t next;
    };
    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
    struct ExtensionIndex {
        std::vector<std::uint32_t> heads; // a power of two of them
        std::vector<ExtensionEntry> entries;
    };
    const ExtensionIndex& extensionIndex() const;
    // The lower-cased extension itself when it has at most seven bytes (its
    // length in the top byte), which is nearly every one: equal keys are
    // equal extensions. A longer one's key is a hash (FNV-1a, top byte
    // 0xFF), which the definition's own list must confirm.
    static constexpr std::uint64_t kHashedExtension = std::uint64_t{0xFF} << 56;
    static std::uint64_t extensionKey(std::string_view ext)
    {
        if (ext.size() <= 7) {
            std::uint64_t k = std::uint64_t{ext.size()} << 56;
            for (std::size_t i = 0; i < ext.size(); ++i)
                k |= std::uint64_t{kAsciiLower[static_cast<unsigned char>(ext[i])]} << (8 * i);
            return k;
        }
        std::uint64_t h = 0xcbf29ce484222325u;
        for (char c : ext) {
            h ^= kAsciiLower[static_cast<unsigned char>(c)];
            h *= 0x100000001b3u;
        }
        return h | kHashedExtension;
    }
    // The chain of a key among `buckets` (a power of two).
    static std::size_t extensionBucket(std::uint64_t key, std::size_t buckets)
    {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & (buckets - 1);
    }
    // Calls visit(ext) for each extension of a definition's list until it
    // returns true; true when one did.
    template <typename Visit>
    static bool forEachExtension(std::string_view exts, Visit&& visit)
    {
        while (!exts.empty()) {
            auto sp = exts.find(' ');
            std::string_view ext = exts.substr(0, sp);
            exts = sp == std::string_view::npos ? std::string_view() : exts.substr(sp + 1);
            if (!ext.empty() && ext != "-" && visit(ext))
                return true;
        }
        return false;
    }

    // What a definition's rules hold (db::kTrait* bits of RuleTraits.h).
    std::uint8_t ruleTraits(std::uint32_t d) const
    {
        return m_traits.empty() ? static_cast<std::uint8_t>(def(d).flags >> db::kDefTraitShift) : m_traits[d];
    }

    const db::Header& header() const { return m_header; }
    // The validated text model section, empty when the database has none.
    std::span<const std::uint8_t> textModel() const { return m_textModel; }

private:
    Database() = default;
    // Checks every count, offset and index against its section, so that the
    // matcher needs no checks of its own; then derives the search indexes.
    bool validateRecords(std::string& error);
    bool checkHeader(std::string& error, bool verifyChecksum);
    bool checkDefinitions(std::string& error, std::vector<std::uint8_t>& owners) const;
    bool checkRules(std::string& error, std::vector<std::uint8_t>& owners) const;
    bool checkIndexes(std::string& error) const;
    bool checkTextModel(std::string& error) const;
    void buildIndexes();
    bool inPool(db::StrRef r) const { return std::uint64_t{r.off} + r.len <= m_poolSize; }

    std::string m_path;
    std::vector<std::uint8_t> m_bytes; // owned bytes, or empty when mapped
    void* m_map = nullptr;
    std::size_t m_mapLength = 0;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    db::Header m_header{};
    const db::DefRecord* m_defs = nullptr;
    const db::NodeRecord* m_nodes = nullptr;
    std::span<const db::AnchorRecord> m_anchors;
    std::vector<AnchorGroup> m_groups;
    std::uint32_t m_tailAnchorReach = 0;
    std::span<const std::uint32_t> m_always;
    const std::uint8_t* m_pool = nullptr;
    std::uint32_t m_poolSize = 0;
    std::span<const std::uint8_t> m_textModel;
    // Derived at load for a file whose definitions do not carry them.
    std::vector<std::uint8_t> m_traits;

    std::span<const db::LiteralRecord> m_literals;
    std::vector<std::string_view> m_patterns[kLiteralSets];
    std::vector<AhoCorasick::Window> m_windows[kLiteralSets]; // one per pattern
    std::vector<Root> m_roots;                                // by name
    mutable std::once_flag m_acBuilt[kLiteralSets];
    mutable AhoCorasick m_ac[kLiteralSets];
    // Per set: for pattern p, its definitions are m_litDefs[s][m_litStart[s][p] .. m_litStart[s][p+1]).
    std::vector<std::uint32_t> m_litStart[kLiteralSets];
    std::vector<std::uint32_t> m_litDefs[kLiteralSets];
    std::uint32_t m_extent[kLiteralSets] = {};
    mutable std::once_flag m_extensionsBuilt;
    mutable ExtensionIndex m_extensions;
};

} // namespace gv::vonk
