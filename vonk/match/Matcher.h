// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/format/Database.h"
#include "vonk/format/Ranking.h"
#include "vonk/match/Probe.h"
#include "vonk/match/SequenceEngine.h"
#include "vonk/match/TextModel.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gv::vonk {

const char* confidenceName(Confidence c);

struct Candidate {
    std::uint32_t def = 0;
    std::uint64_t score = 0;    // orders the candidates; shares are of it
    std::uint64_t evidence = 0; // bits the rules gave, from which confidence comes
    double percent = 0.0;
    Confidence confidence = Confidence::Low;
    // The definition whose only rule is `text`: the answer for a text file
    // that is nothing more specific, reported with its encoding.
    bool plainText = false;
    // The answer rests on the file's name: a type known only by its name, or
    // one that the name moved above candidates with more content evidence.
    bool byName = false;
};

// One rule that held, and where.
struct RuleHit {
    std::uint32_t node = 0;
    std::string where;
    // Shown instead of the node's source when set: judgements that are no
    // rule of the definition (the text model's).
    std::string rule;
};

// Finds the definitions a file matches and ranks them. One Matcher serves
// many files in turn; its work buffers are reused, so identifying a file
// allocates nothing in the common case.
class Matcher {
public:
    explicit Matcher(const Database& db);

    // Every matching definition, best first; percentages over all of them add
    // up to 100, or less when even the best is a weak guess. `name` is the
    // file's name, whose extension is secondary evidence (see Ranking.h);
    // empty to judge by content alone.
    const std::vector<Candidate>& identify(Probe& probe, std::string_view name = {});
    // The rules of `def` that held for the probed file (verbose reports).
    std::vector<RuleHit> explain(Probe& probe, std::uint32_t def);

    // How many definitions the last identify() evaluated (for benchmarks).
    std::size_t evaluatedCount() const { return m_candidates.size(); }
    // The text model's verdict when it decided the last file, else null.
    const TextModel::Verdict* textVerdict() const { return m_modelDecided ? &m_verdict : nullptr; }
    // The definition a model class stands for, db::kNoParent when none.
    std::uint32_t classDefinition(std::uint32_t cls) const { return cls < m_classDef.size() ? m_classDef[cls] : db::kNoParent; }

private:
    // One identification runs in three phases: gather the definitions the
    // file's bytes point to, evaluate their rules, rank those that hold.
    void beginRound();
    void gather(Probe& probe);
    // Anchors past `head` that lie in the probe's head are read from it.
    void gatherByAnchors(std::span<const std::uint8_t> head, std::span<const std::uint8_t> tail, Probe* probe = nullptr);
    // Which literal sets a pass searches: every file is searched for our
    // definitions' literals near its start; what lies further, then the
    // literals of definitions that yield to ours, only while no definition
    // of ours has settled the file.
    enum class LiteralPass { First, Further, Deferred };
    void gatherByLiterals(Probe& probe, LiteralPass pass);
    // Whether a definition of ours that is no plain text already holds with
    // at least medium evidence: then deferred definitions cannot rank first.
    bool settled() const;
    void evaluate(Probe& probe);
    void rank(Probe& probe, std::string_view name);
    void addByName(const std::string& ext);
    // The definitions that list `ext` (lower case), by index.
    void definitionsListing(const std::string& ext, std::vector<std::uint32_t>& out) const;
    void yieldToParents();
    bool hasAncestor(std::uint32_t def, std::uint32_t ancestor) const;
    // The text model's part of ranking: for text that no structural rule
    // settles, the model's probabilities order the text formats.
    bool applyTextModel(Probe& probe);
    bool settlesText(Probe& probe, const Candidate& c);

    void addCandidate(std::uint32_t def);
    bool evalDef(std::uint32_t def, Probe& probe, std::uint64_t& score);
    bool eval(std::uint32_t node, Probe& probe, std::uint64_t& evidence, std::vector<RuleHit>* trace);
    bool search(std::uint32_t idx, const db::NodeRecord& n, const std::uint8_t* data, std::size_t len, std::size_t lastStart,
        std::size_t& found) const;

    const Database& m_db;
    std::uint32_t m_gen = 0;
    std::vector<std::uint32_t> m_candStamp;
    // What this round found of each definition, kept together: evaluating
    // one reads and writes them all, and with the database's many
    // definitions each array was a cache miss of its own.
    struct DefState {
        std::uint64_t score = 0;
        // Bits the rules gave (with the parent's), without weight or floor.
        std::uint64_t evidence = 0;
        std::uint32_t evalStamp = 0;
        std::uint8_t matched = 0;
        std::uint8_t busy = 0;
    };
    std::vector<DefState> m_state;
    std::vector<std::uint32_t> m_candidates;
    // Always-tried definitions held back until the file is found unsettled.
    std::vector<std::uint32_t> m_deferred;
    std::vector<Candidate> m_result;
    // Definitions whose only rule is a bare `text` test: the whole sampled
    // head was judged, which is worth more than the rule's few bits say.
    std::vector<std::uint8_t> m_plainText;
    // Definitions with a `zip-has "/"` rule: an archive found behind other
    // data through its end record.
    std::vector<std::uint8_t> m_behindRule;
    // The definitions listing m_listingExt.
    std::vector<std::uint32_t> m_listing;
    std::string m_listingExt;
    bool m_listingKept = false;
    // Each candidate's score before the name counted, to tell which answers
    // the name moved.
    std::vector<std::uint64_t> m_contentScore;
    // Where positive offsets count from: the end of the leading tags inside
    // an `after-tags` block, else 0.
    std::uint64_t m_base = 0;
    SequenceEngine m_sequences;
    // Definitions with a rule that settles what a text is (a shebang, an
    // XML root, JSON, a long magic at the start).
    std::vector<std::uint8_t> m_structural;
    // Definitions that an XML root or a JSON document defines: the model
    // never proposes them for text without one.
    std::vector<std::uint8_t> m_needsStructure;
    TextModel m_textModel;
    TextModel::Work m_modelWork;
    TextModel::Verdict m_verdict;
    bool m_modelDecided = false;
    // What the model leaned to when it had too little to decide: listed
    // below plain text when that is the rules' answer.
    std::vector<Candidate> m_modelGuesses;
    std::vector<std::uint32_t> m_classDef;
    // Per searching rule, its two rarest fixed bytes, found at its first
    // search: (first + 1) | (second + 1) << 16, 0 until then.
    mutable std::vector<std::uint32_t> m_searchAnchors;
    // The database's definitions without a trigger, in its order.
    struct Always {
        std::uint32_t def;
        bool needsText;
    };
    std::vector<Always> m_always;
    std::vector<std::uint32_t> m_alwaysDeferred;
    // Per anchor group, a bitmap of its keys' hashes: most files hold none
    // of a group's keys, and one bit says so where a binary search took a
    // dozen steps. Made at the first file; each group's first word is at
    // m_anchorBits[group], its size a power of two.
    void buildAnchorFilter();
    std::vector<std::uint32_t> m_anchorFrom;
    std::vector<std::uint32_t> m_anchorMask;
    std::vector<std::uint64_t> m_anchorBits;
    std::vector<RuleHit> m_trace;
};

} // namespace gv::vonk
