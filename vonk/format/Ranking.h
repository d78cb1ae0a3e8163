// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How candidates are ranked. The compiler stores what each rule is worth in
// the database, the loader checks the stored weights and the matcher adds it
// all up, so the whole policy lives here, beside the file both sides share.
//
// Evidence. A rule that holds gives evidence, measured in roughly the bits
// it checks: 8 per fixed byte, 7 per letter of either case, one bit less per
// doubling of the range a pattern may sit in. Structure gives fixed amounts
// (a container member, an XML root, a shebang), and the whole-head judgements
// (JSON, tables, key files, mappings) grow with the text that agreed, up to
// what the database stores for the rule. A block of rules gives the sum of
// its rules; `any` gives its best alternative.
//
// Score. A matching definition scores its evidence plus its weight, a nudge
// from kMinWeight to kMaxWeight that orders close candidates; the score never
// falls below 1, so whatever matched is listed. A refinement adds its
// parent's score, so it ranks above what it refines. Imported magic is often
// short and generic: its weight takes off half its evidence (three quarters
// for printable text), at least 12, and discounts the evidence itself.
//
// Confidence comes from evidence alone, never from weight or share: a lone
// two-byte magic wins 100% of nothing else, yet proves little. From 24 bits
// (a 3-byte magic) it is medium, from 48 (6 fixed bytes, or a magic with
// checked header fields) high. The plain text answer is medium, as the whole
// head was judged; a ZIP directory found from its end record is checked
// structure, at least medium.
//
// Order. When the whole head is text, a weak guess (low confidence, or a
// language told by habits without high confidence) does not outrank the
// plain text answer, which then counts one more than the best such guess.
// Candidates go by score, then the deeper refinement, then id; each one's
// share is its score over the sum of all scores.

#include "vonk/format/DbFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace gv::vonk {

enum class Confidence : std::uint8_t { Low, Medium, High };

inline constexpr std::uint64_t kMediumEvidence = 24;
inline constexpr std::uint64_t kHighEvidence = 48;

namespace ranking {

inline constexpr int kMinWeight = -50;
inline constexpr int kMaxWeight = 50;
inline constexpr bool weightInRange(std::int64_t w) { return w >= kMinWeight && w <= kMaxWeight; }

// What a rule's stored evidence is judged from, as written in a source.
struct RuleFacts {
    db::NodeKind kind = db::NodeKind::All;
    db::CmpOp op = db::CmpOp::Eq;
    std::int64_t off = 0;
    std::int64_t to = 0;
    std::uint64_t mask = 0;
    std::span<const std::uint8_t> bytes; // pattern bytes
    std::span<const std::uint8_t> masks; // and their masks
    std::size_t nameLength = 0;          // string rules: the name
    std::size_t secondLength = 0;        // and the namespace or content
};

// The most a rule can give, stored with it in the database.
std::uint32_t ruleEvidence(const RuleFacts& rule);

// What the whole-head judgements give for the text that agreed; the matcher
// takes the lesser of this and the stored evidence.
std::uint64_t jsonEvidence(std::size_t length);
std::uint64_t tableEvidence(std::size_t records, std::size_t fields);
std::uint64_t keyFileEvidence(std::size_t sections, std::size_t keys);
std::uint64_t mappingEvidence(std::size_t keys, std::size_t items);

// A matching definition's own part, before its parent's is added: `score`
// orders it, `evidence` judges its confidence.
struct OwnScore {
    std::uint64_t score = 0;
    std::uint64_t evidence = 0;
};
OwnScore ownScore(std::uint64_t evidence, std::int32_t weight, bool damped);

// The weight of imported magic: at most -1, lower for stronger and for
// text-like magic, nudged by the source's priority (0 to 100, 50 usual).
int importedWeight(int priority, std::uint32_t evidence, bool textLike);

// `plainText`: the definition whose only rule is `text`; `foundBehind`: it
// matched a ZIP directory reached from the end record.
Confidence confidenceOf(std::uint64_t evidence, bool plainText, bool foundBehind);

// A guess the plain text answer outranks.
bool isWeakGuess(Confidence c, bool needsHigh);
// The plain text answer's score over the best weak guess's.
inline std::uint64_t plainTextScore(std::uint64_t score, std::uint64_t bestWeakGuess)
{
    return bestWeakGuess ? std::max(score, bestWeakGuess + 1) : score;
}

// True when candidate a goes before b.
bool ranksBefore(std::uint64_t scoreA, std::uint16_t depthA, std::string_view idA, std::uint64_t scoreB, std::uint16_t depthB,
    std::string_view idB);

} // namespace ranking

} // namespace gv::vonk
