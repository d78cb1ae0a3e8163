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
// two-byte magic proves little. From 24 bits (a 3-byte magic) it is medium,
// from 48 (6 fixed bytes, or a magic with checked header fields) high. The
// plain text answer is medium when there was enough text to judge (at least
// kJudgedText bytes), low below that: one character proves nothing. A ZIP
// directory found from its end record is checked structure, at least medium.
// A JSON document parsed to its end is strong evidence even when short.
//
// Order. When the whole head is text, a weak guess (low confidence, or a
// language told by habits without high confidence) does not outrank the
// plain text answer, which then counts one more than the best such guess.
// Candidates go by score; exact ties go to more evidence, then to our own
// definitions before imported ones, then to the deeper refinement, then by
// id, so equal answers are all listed in an order that never changes. Each
// one's share is its score over the sum of all scores; when the best answer
// is weak evidence the sum also counts the doubt (what the best answer lacks
// of medium evidence), so the shares add up to less than 100% and a guess
// is never reported as certain.
//
// Names. The file name's extension is secondary evidence, used only where
// content leaves the question open: a candidate that lists the extension
// gains kNameBonus, which reorders candidates whose content scores are
// within that much and never overturns a clear content answer. A type known
// only by its name (shared-mime-info globs without magic) is named when one
// of its ancestors matched by content (plain text, XML, ZIP, OLE2, TIFF) and
// nothing more specific did: it takes that carrier's score and ranks just
// above it. A document format named so (Markdown below plain text) also
// outranks languages told by habits, as code quoted in a document is still
// the document. An answer that rests on the name is marked as such.
//
// Text model. For a text that no structural rule settles (a shebang, an XML
// root, a JSON document, a magic of kSettlingMagic bytes or more at the
// start), the database's text model judges the words and punctuation: each
// text format it knows scores its probability times kModelScale, and the
// name multiplies the score of the format it lists by kNameOdds (the
// extension settles what the model is not sure of, not a sure answer); its
// confidence follows the probability (high from kModelHigh, medium from
// kModelMedium). Its best few formats are listed even when their rules did
// not hold; a guess is then not held below the plain text answer, as the
// model weighed prose too. The shares are then the model's probabilities. Formats the model was not
// taught rank above its answer when their rules proved more than a guess,
// and at the bottom otherwise. When the model's best is below kModelFloor
// there was too little text to tell, and the rules decide alone, unless
// that best is prose and prose's forms together clear the floor (the text
// reads as a document: the model names which, weakly); where plain text is
// the rules' answer, the formats the model gave at least kModelLeaning are
// listed below it as weak guesses.

#include "vonk/format/DbFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace gv::vonk {

enum class Confidence : std::uint8_t { Low, Medium, High };

inline constexpr std::uint64_t kMediumEvidence = 24;
inline constexpr std::uint64_t kHighEvidence = 48;
// Below this many bytes of text the plain text answer is only a guess.
inline constexpr std::uint64_t kJudgedText = 16;

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
// `complete`: the document was parsed to its end (not cut by the head).
std::uint64_t jsonEvidence(std::size_t length, bool complete);
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
// `textBytes`: the size of the text judged (plain text only).
Confidence confidenceOf(std::uint64_t evidence, bool plainText, bool foundBehind, std::uint64_t textBytes);

// What the shares leave open when the best answer has this confidence and
// evidence: 0 unless it is weak.
std::uint64_t doubt(Confidence best, std::uint64_t bestEvidence);

// What a candidate that lists the file's extension gains.
inline constexpr std::uint64_t kNameBonus = 8;
// A brand the file-type box lists only as compatible: most files claim the
// generic ones (isom, mp41) beside their own, so it says less than the major.
inline constexpr std::uint64_t kCompatibleBrandEvidence = 32;
// The extension of a file name, lower-cased, or empty: the text after the
// last dot of the last part, when that part has something before the dot.
std::string extensionOf(std::string_view path);

// A guess the plain text answer outranks.
bool isWeakGuess(Confidence c, bool needsHigh);
// The plain text answer's score over the best weak guess's.
inline std::uint64_t plainTextScore(std::uint64_t score, std::uint64_t bestWeakGuess)
{
    return bestWeakGuess ? std::max(score, bestWeakGuess + 1) : score;
}

inline constexpr std::size_t kSettlingMagic = 4;
inline constexpr std::uint64_t kModelScale = 256;
inline constexpr double kModelHigh = 0.95;
inline constexpr double kModelMedium = 0.7;
inline constexpr std::size_t kModelShown = 3;
inline constexpr double kModelListed = 0.005;
inline constexpr double kModelFloor = 0.2;
// Below the floor, a format the model still gave this much is listed under
// plain text as a guess; less is the spread of a text too short to weigh.
inline constexpr double kModelLeaning = kModelFloor / 2;
// What the extension multiplies the odds of a text format the model weighed
// by: those of a sure answer (kModelHigh, 19 to 1), so that the words
// overrule the name only where the model is sure.
inline constexpr std::uint64_t kNameOdds = static_cast<std::uint64_t>(kModelHigh / (1.0 - kModelHigh) + 0.5);

struct ModelAnswer {
    std::uint64_t score = 0;
    std::uint64_t evidence = 0;
    Confidence confidence = Confidence::Low;
};
// A text format's standing from the model's probability for it.
ModelAnswer modelAnswer(double probability);

// What orders two candidates.
struct RankKey {
    std::uint64_t score = 0;
    std::uint64_t evidence = 0;
    bool imported = false;
    std::uint16_t depth = 0;
    std::string_view id;
};
// True when candidate a goes before b.
bool ranksBefore(const RankKey& a, const RankKey& b);

} // namespace ranking

} // namespace gv::vonk
