// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/format/Ranking.h"

#include "vonk/format/SequenceProgram.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>

namespace gv::vonk::ranking {

namespace {

// Imported magic's weight takes off at least this much, so it ranks below
// our own definitions when both hold.
constexpr int kImportDamping = 12;
// Priority of shared-mime-info magic that states none.
constexpr int kUsualPriority = 50;

bool isLetter(std::uint8_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

std::uint32_t ruleEvidence(const RuleFacts& r)
{
    using db::NodeKind;
    auto patternBits = [&] {
        int bits = 0;
        for (std::size_t i = 0; i < r.masks.size(); ++i)
            bits += (r.masks[i] == 0xDF && isLetter(r.bytes[i])) ? 7 : std::popcount(r.masks[i]);
        return bits;
    };
    switch (r.kind) {
    case NodeKind::AtPattern:
        return static_cast<std::uint32_t>(std::clamp(patternBits(), 1, 160));
    case NodeKind::Within:
    case NodeKind::Head:
    case NodeKind::Tail: {
        // A pattern that may sit anywhere in a range says less than one at a
        // fixed place: each doubling of the range costs one bit.
        double range = r.kind == NodeKind::Within ? static_cast<double>(r.to - r.off) : static_cast<double>(r.off);
        int bits = patternBits() - static_cast<int>(std::log2(range + 1.0));
        return static_cast<std::uint32_t>(std::clamp(bits, 2, 160));
    }
    case NodeKind::AtNumber:
        if (r.op == db::CmpOp::Eq)
            return static_cast<std::uint32_t>(std::max(1, std::popcount(r.mask)));
        return r.op == db::CmpOp::Ne ? 1 : 3;
    case NodeKind::Size:
        return r.op == db::CmpOp::Eq ? 12 : 2;
    case NodeKind::Not:
        return 1;
    case NodeKind::ZipHas:
    case NodeKind::OleHas:
        return 24 + static_cast<std::uint32_t>(std::min<std::size_t>(r.nameLength, 24));
    // A class id names the program that wrote the document outright.
    case NodeKind::OleClsid:
        return 48;
    // The header's structure held together, and it named the format.
    case NodeKind::EbmlDocType:
        return 24 + static_cast<std::uint32_t>(std::min<std::size_t>(r.nameLength * 4, 24));
    // A tag of a directory that was walked: its presence or value, and a
    // text value's prefix like a member's name.
    case NodeKind::TiffTag:
        return 24 + static_cast<std::uint32_t>(std::min<std::size_t>(r.nameLength, 24));
    // Every level walked tiled its parent and the whole filled the file.
    case NodeKind::DerShape:
        return 48;
    // The tags held together and what follows them is read in their place:
    // what a tagged stream adds over a bare one (only when tags were there).
    case NodeKind::AfterTags:
        return 24;
    // The box is where the format puts it and its brand names the family; a
    // brand only listed as compatible says less (see the matcher).
    case NodeKind::BmffBrand:
    case NodeKind::BmffMajor:
        return 48;
    // A chain of box sizes held up to this box.
    case NodeKind::BmffBox:
        return 40;
    // The size agrees with a count read from the file: as many bits as the
    // count has, up to 32.
    case NodeKind::SizeByCount:
        return static_cast<std::uint32_t>(std::min(32, std::popcount(r.mask)));
    case NodeKind::ZipFirst:
        return 40 + static_cast<std::uint32_t>(std::min<std::size_t>(r.secondLength * 2, 48));
    // The package names its own format, as a class id does.
    case NodeKind::ZipContentType:
        return 48;
    case NodeKind::ZipText:
        return 32 + static_cast<std::uint32_t>(std::min<std::size_t>(r.secondLength * 2, 32));
    case NodeKind::OleCompObj:
        return 24 + static_cast<std::uint32_t>(std::min<std::size_t>(r.nameLength * 2, 24));
    case NodeKind::Text:
        return 2;
    case NodeKind::XmlRoot:
        return r.secondLength == 0 ? 24 : 48;
    // Whole-head judgements: what is stored is the most they can give; the
    // matcher scales it by how much of the text agreed.
    case NodeKind::Json:
        return 48;
    case NodeKind::Delimited:
    case NodeKind::KeyValue:
        return 64;
    // The first line names the interpreter outright.
    case NodeKind::Shebang:
        return 48;
    // A byte sequence's program is in `bytes`.
    case NodeKind::Sequence:
        return seq::evidence(r.bytes);
    default:
        return 0;
    }
}

// Valid JSON: 16 bits for a short document, 8 more per doubling from 16 bytes.
std::uint64_t jsonEvidence(std::size_t length, bool complete)
{
    std::uint64_t bits = 16;
    for (std::size_t l = length; l >= 32; l /= 2)
        bits += 8;
    // Every bracket, quote, colon and comma of a whole document agreed: even
    // a short one ({"a": 1}) is more than plain text, though "[]" is not.
    if (complete && length >= 8)
        bits = std::max<std::uint64_t>(bits, kMediumEvidence);
    return bits;
}

// A table: 12 bits per record that agrees with the first, 4 per field
// beyond two.
std::uint64_t tableEvidence(std::size_t records, std::size_t fields)
{
    return 12 * (records - 1) + 4 * (fields - 2);
}

// A key file: 12 bits per section or assignment.
std::uint64_t keyFileEvidence(std::size_t sections, std::size_t keys)
{
    return 12 * (sections + keys);
}

// A mapping (key: value): 12 bits per key or list item.
std::uint64_t mappingEvidence(std::size_t keys, std::size_t items)
{
    return 12 * (keys + items);
}

OwnScore ownScore(std::uint64_t evidence, std::int32_t weight, bool damped)
{
    const std::int64_t own = static_cast<std::int64_t>(evidence) + weight;
    OwnScore s;
    s.score = static_cast<std::uint64_t>(std::max<std::int64_t>(own, 1));
    s.evidence = damped && weight < 0 ? static_cast<std::uint64_t>(std::max<std::int64_t>(own, 0)) : evidence;
    return s;
}

int importedWeight(int priority, std::uint32_t evidence, bool textLike)
{
    const int e = static_cast<int>(evidence);
    const int damp = textLike ? e * 3 / 4 : e / 2;
    return std::clamp((priority - kUsualPriority) / 10 - std::max(damp, kImportDamping), kMinWeight, -1);
}

Confidence confidenceOf(std::uint64_t evidence, bool plainText, bool foundBehind, std::uint64_t textBytes)
{
    if (plainText)
        return textBytes >= kJudgedText ? Confidence::Medium : Confidence::Low;
    if (evidence >= kHighEvidence)
        return Confidence::High;
    if (evidence >= kMediumEvidence || foundBehind)
        return Confidence::Medium;
    return Confidence::Low;
}

bool isWeakGuess(Confidence c, bool needsHigh)
{
    return c == Confidence::Low || (needsHigh && c != Confidence::High);
}

bool ranksBefore(const RankKey& a, const RankKey& b)
{
    if (a.score != b.score)
        return a.score > b.score;
    if (a.evidence != b.evidence)
        return a.evidence > b.evidence;
    if (a.imported != b.imported)
        return !a.imported;
    if (a.depth != b.depth)
        return a.depth > b.depth;
    return a.id < b.id;
}

std::uint64_t doubt(Confidence best, std::uint64_t bestEvidence)
{
    if (best != Confidence::Low)
        return 0;
    return bestEvidence < kMediumEvidence ? kMediumEvidence - bestEvidence : 0;
}

std::string extensionOf(std::string_view path)
{
    auto slash = path.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    auto dot = name.rfind('.');
    // ".profile" is a hidden name, not an extension.
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size())
        return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

ModelAnswer modelAnswer(double probability)
{
    ModelAnswer a;
    a.score = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(probability * kModelScale + 0.5));
    if (probability >= kModelHigh) {
        a.confidence = Confidence::High;
        a.evidence = kHighEvidence;
    } else if (probability >= kModelMedium) {
        a.confidence = Confidence::Medium;
        a.evidence = kMediumEvidence;
    } else {
        a.evidence = static_cast<std::uint64_t>(probability * kMediumEvidence);
    }
    return a;
}

} // namespace gv::vonk::ranking
