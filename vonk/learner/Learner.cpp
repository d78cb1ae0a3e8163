// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/learner/Learner.h"

#include "vonk/learner/SharedBytes.h"
#include "vonk/learner/SharedStrings.h"

#include <algorithm>
#include <bit>
#include <set>

namespace gv::learner {

namespace {

struct Candidate {
    LearnedRule rule;
    std::vector<bool> hits; // per reference file
};

bool allPrintable(const std::vector<std::uint8_t>& b)
{
    return !b.empty() && std::all_of(b.begin(), b.end(), [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

std::size_t distinctBytes(const std::vector<std::uint8_t>& b)
{
    return std::set<std::uint8_t>(b.begin(), b.end()).size();
}

bool isLetter(std::uint8_t b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }

bool isSubsequence(const std::vector<std::uint8_t>& small, const std::vector<std::uint8_t>& big)
{
    return std::search(big.begin(), big.end(), small.begin(), small.end()) != big.end();
}

// Cuts a run into pieces of at most maxLen bytes; a short remainder is kept
// only when it is long enough to be a rule of its own.
void addPieces(const ByteRun& run, std::size_t maxLen, std::size_t minLen, std::vector<LearnedRule>& out)
{
    for (std::size_t at = 0; at < run.bytes.size(); at += maxLen) {
        std::size_t len = std::min(maxLen, run.bytes.size() - at);
        if (len < minLen)
            break;
        LearnedRule r;
        r.kind = LearnedRule::Kind::At;
        r.offset = run.offset + static_cast<std::int64_t>(at);
        r.bytes.assign(run.bytes.begin() + static_cast<std::ptrdiff_t>(at),
            run.bytes.begin() + static_cast<std::ptrdiff_t>(at + len));
        r.text = r.bytes.size() >= 4 && allPrintable(r.bytes);
        out.push_back(std::move(r));
    }
}

// The window a string rule searches: twice the furthest place the samples
// hold it, to allow for files that place it a little later, within the
// window the samples were read with.
std::size_t searchWindow(std::size_t reach, std::size_t limit)
{
    std::size_t w = std::bit_ceil(std::max<std::size_t>(reach * 2, 64));
    return std::max(reach, std::min(w, limit));
}

std::vector<const std::vector<std::uint8_t>*> windowsOf(const std::vector<Sample>& samples, Zone zone)
{
    std::vector<const std::vector<std::uint8_t>*> out;
    for (const Sample& s : samples)
        out.push_back(zone == Zone::Head ? &s.head : &s.tail);
    return out;
}

void addStrings(const std::vector<Sample>& samples, Zone zone, const LearnOptions& o, std::vector<LearnedRule>& out)
{
    std::size_t limit = zone == Zone::Head ? o.window.head : o.window.tail;
    auto windows = windowsOf(samples, zone);
    std::size_t added = 0;
    for (const SharedString& s : SharedStrings::find(samples, zone, o.minString)) {
        for (std::size_t at = 0; at < s.text.size() && added < o.maxCandidates; at += o.maxString) {
            std::string piece = s.text.substr(at, o.maxString);
            if (piece.size() < o.minString)
                break;
            std::vector<std::uint8_t> bytes(piece.begin(), piece.end());
            // "    " or "0000" says little about a type, and with no reference
            // files its rarity cannot be measured.
            if (distinctBytes(bytes) < 3)
                continue;
            std::size_t reach = 0;
            for (const auto* w : windows)
                reach = std::max(reach, SharedStrings::reachIn(*w, piece, zone));
            LearnedRule r;
            r.kind = zone == Zone::Head ? LearnedRule::Kind::Head : LearnedRule::Kind::Tail;
            r.window = searchWindow(reach, limit);
            r.bytes = std::move(bytes);
            r.text = true;
            out.push_back(std::move(r));
            ++added;
        }
    }
}

std::vector<Candidate> buildCandidates(const std::vector<Sample>& samples, const std::vector<Sample>& reference,
    const LearnOptions& o)
{
    std::vector<LearnedRule> rules;
    auto fromStart = SharedBytes::fromStart(samples, o.minRun);
    for (const ByteRun& run : fromStart) {
        if (rules.size() >= o.maxCandidates)
            break;
        if (run.offset != 0) {
            addPieces(run, o.maxPattern, o.minRun, rules);
            continue;
        }
        // At the start, prefixes of several lengths: samples often share a
        // version or size byte right after the magic, and the shortest
        // prefix that is distinctive is the one that holds for other files.
        // Also the prefix that ends where the word at its fourth byte ends:
        // a text magic is recognised by whole words.
        std::size_t word = std::min<std::size_t>(4, run.bytes.size());
        while (word < run.bytes.size() && word < o.maxPattern && isLetter(run.bytes[word - 1]) && isLetter(run.bytes[word]))
            ++word;
        std::size_t lengths[] = {2, 4, word, o.maxPattern, std::min(run.bytes.size(), o.maxPattern)};
        std::sort(std::begin(lengths), std::end(lengths));
        std::size_t last = 0;
        for (std::size_t len : lengths) {
            if (len == last || len < o.minRun || len > run.bytes.size() || len > o.maxPattern)
                continue;
            ByteRun prefix{0, {run.bytes.begin(), run.bytes.begin() + static_cast<std::ptrdiff_t>(len)}};
            addPieces(prefix, o.maxPattern, o.minRun, rules);
            last = len;
        }
        if (run.bytes.size() > o.maxPattern) {
            ByteRun rest{static_cast<std::int64_t>(o.maxPattern),
                {run.bytes.begin() + static_cast<std::ptrdiff_t>(o.maxPattern), run.bytes.end()}};
            addPieces(rest, o.maxPattern, o.minRun, rules);
        }
    }
    // When every sample has the same size and fits the head window, bytes
    // counted from the end are the same bytes counted from the start: the
    // start is the better guess for files of other sizes.
    bool sameSmallSize = std::all_of(samples.begin(), samples.end(), [&](const Sample& s) {
        return s.size == samples.front().size && s.size <= s.head.size();
    });
    if (!sameSmallSize) {
        std::size_t before = rules.size();
        auto fromEnd = SharedBytes::fromEnd(samples, o.minRun);
        // Nearest the end first.
        for (auto it = fromEnd.rbegin(); it != fromEnd.rend() && rules.size() - before < o.maxCandidates; ++it)
            addPieces(*it, o.maxPattern, o.minRun, rules);
    }
    addStrings(samples, Zone::Head, o, rules);
    addStrings(samples, Zone::Tail, o, rules);

    std::vector<Candidate> out;
    for (auto& r : rules) {
        Candidate c;
        c.rule = std::move(r);
        c.rule.bits = c.rule.evidenceBits();
        c.hits.resize(reference.size());
        for (std::size_t i = 0; i < reference.size(); ++i) {
            c.hits[i] = c.rule.holds(reference[i]);
            c.rule.referenceHits += c.hits[i] ? 1 : 0;
        }
        if (!reference.empty() && c.rule.referenceHits == reference.size())
            continue; // tells nothing apart
        out.push_back(std::move(c));
    }
    return out;
}

int order(const LearnedRule& r)
{
    switch (r.kind) {
    case LearnedRule::Kind::At:
        return r.offset >= 0 ? 0 : 1;
    case LearnedRule::Kind::Head:
        return 2;
    case LearnedRule::Kind::Tail:
        return 3;
    }
    return 4;
}

std::string describeEvidence(const std::vector<LearnedRule>& rules)
{
    std::string out;
    for (const auto& r : rules) {
        if (!out.empty())
            out += "; ";
        out += r.source();
    }
    return out.empty() ? "nothing" : out;
}

} // namespace

double Learner::weight(const LearnedRule& rule, std::size_t references)
{
    double w = rule.bits;
    if (references > 0) {
        double share = static_cast<double>(rule.referenceHits) / static_cast<double>(references);
        w *= (1.0 - share) * (1.0 - share);
    }
    // Runs of one repeated byte (padding, zero fields) are the commonest
    // thing in binary files.
    if (distinctBytes(rule.bytes) == 1)
        w *= 0.5;
    return w;
}

std::vector<LearnedRule> Learner::candidates(const std::vector<Sample>& samples, const std::vector<Sample>& reference) const
{
    std::vector<LearnedRule> out;
    for (auto& c : buildCandidates(samples, reference, m_options))
        out.push_back(std::move(c.rule));
    return out;
}

LearnResult Learner::learn(const std::vector<Sample>& samples, const std::vector<Sample>& reference) const
{
    const LearnOptions& o = m_options;
    LearnResult res;
    res.samples = samples.size();
    res.references = reference.size();
    if (samples.size() < std::max<std::size_t>(o.minSamples, 1)) {
        res.reason = "need at least " + std::to_string(std::max<std::size_t>(o.minSamples, 1))
            + " samples of the type, found " + std::to_string(samples.size());
        return res;
    }
    auto cands = buildCandidates(samples, reference, o);
    res.candidates = cands.size();
    if (cands.empty()) {
        res.reason = "the samples share no run of " + std::to_string(o.minRun)
            + " or more bytes at a fixed place and no printable string of " + std::to_string(o.minString)
            + " or more characters within the bytes read from their start and end";
        if (!reference.empty())
            res.reason += " that is not also in every reference file";
        return res;
    }

    const std::size_t R = reference.size();
    std::vector<std::size_t> chosen;
    std::vector<bool> alive(R, true);
    std::size_t aliveCount = R;
    auto share = [&](const LearnedRule& r) { return R ? static_cast<double>(r.referenceHits) / static_cast<double>(R) : 0.0; };
    auto recount = [&] {
        aliveCount = 0;
        for (std::size_t f = 0; f < R; ++f) {
            alive[f] = std::all_of(chosen.begin(), chosen.end(), [&](std::size_t i) { return cands[i].hits[f]; });
            aliveCount += alive[f] ? 1 : 0;
        }
    };
    auto bits = [&] {
        int b = 0;
        for (std::size_t i : chosen)
            b += cands[i].rule.bits;
        return b;
    };
    auto isChosen = [&](std::size_t i) { return std::find(chosen.begin(), chosen.end(), i) != chosen.end(); };
    // Whether b says nothing a already says: b lies within a.
    auto within = [&](const LearnedRule& a, const LearnedRule& b) {
        if (a.kind == LearnedRule::Kind::At && b.kind == LearnedRule::Kind::At) {
            return (a.offset < 0) == (b.offset < 0) && b.offset >= a.offset
                && b.offset + static_cast<std::int64_t>(b.bytes.size()) <= a.offset + static_cast<std::int64_t>(a.bytes.size());
        }
        return isSubsequence(b.bytes, a.bytes);
    };
    auto overlaps = [&](std::size_t i) {
        return std::any_of(chosen.begin(), chosen.end(), [&](std::size_t c) {
            return within(cands[c].rule, cands[i].rule) || within(cands[i].rule, cands[c].rule);
        });
    };
    // Whether every file in which a holds also holds b.
    auto implies = [&](const LearnedRule& a, const LearnedRule& b) {
        if (a.kind == LearnedRule::Kind::At || b.kind == LearnedRule::Kind::At)
            return a.kind == b.kind && within(a, b);
        return a.kind == b.kind && a.window <= b.window && isSubsequence(b.bytes, a.bytes);
    };
    auto take = [&](std::size_t i) {
        // A rule that extends a chosen one replaces it.
        std::erase_if(chosen, [&](std::size_t c) { return implies(cands[i].rule, cands[c].rule); });
        chosen.push_back(i);
        recount();
    };
    auto kills = [&](std::size_t i) {
        std::size_t k = 0;
        for (std::size_t f = 0; f < R; ++f)
            k += (alive[f] && !cands[i].hits[f]) ? 1 : 0;
        return k;
    };

    // Whether a prefix at the start ends inside a word the samples continue.
    auto cutsWord = [&](const LearnedRule& r) {
        std::size_t n = r.bytes.size();
        if (n == 0 || n >= o.maxPattern || !isLetter(r.bytes[n - 1]))
            return false;
        return std::all_of(samples.begin(), samples.end(), [&](const Sample& s) {
            return s.head.size() > n && s.head[n] == samples.front().head[n] && isLetter(s.head[n]);
        });
    };
    // A distinctive magic number at the very start is what formats are
    // usually recognised by, and the cheapest rule for the identifier: the
    // shortest such prefix (four bytes unless the shared run is shorter)
    // when reference files show it is rare enough, else the longest.
    {
        std::size_t best = cands.size();
        for (std::size_t i = 0; i < cands.size(); ++i) {
            const LearnedRule& r = cands[i].rule;
            if (r.kind != LearnedRule::Kind::At || r.offset != 0 || share(r) > o.magicShare
                || (R == 0 && distinctBytes(r.bytes) < 2))
                continue;
            if (best == cands.size()) {
                best = i;
                continue;
            }
            std::size_t len = r.bytes.size(), bestLen = cands[best].rule.bytes.size();
            // Prefer four bytes or more, and among those the shortest that
            // does not stop in the middle of a word.
            bool better = R == 0 ? len > bestLen
                                 : (bestLen < 4 && len > bestLen)
                    || (len >= 4 && (cutsWord(cands[best].rule) ? len > bestLen : len < bestLen && !cutsWord(r)));
            if (better)
                best = i;
        }
        if (best < cands.size())
            take(best);
    }

    // Then whatever rules out the most reference files still matching, the
    // rarer and stronger first among equals, until none is left. Rules that
    // only lengthen a chosen one come last: they are the likeliest to hold
    // a field that merely happens to be equal in the samples.
    for (bool allowOverlap : {false, true}) {
        // Every step rules out at least one more file, so R steps at most;
        // the bound also holds when a step replaces a rule.
        for (std::size_t step = 0; step <= R && aliveCount > 0 && chosen.size() < o.maxRules; ++step) {
            std::size_t best = cands.size();
            std::size_t bestKills = 0;
            double bestWeight = 0;
            for (std::size_t i = 0; i < cands.size(); ++i) {
                if (isChosen(i) || (!allowOverlap && overlaps(i)))
                    continue;
                std::size_t k = kills(i);
                double w = weight(cands[i].rule, R);
                if (k > bestKills || (k == bestKills && k > 0 && w > bestWeight)) {
                    best = i;
                    bestKills = k;
                    bestWeight = w;
                }
            }
            if (best == cands.size())
                break;
            take(best);
        }
    }
    // Greedy choice can leave a rule that later ones made unnecessary; each
    // rule kept is one more chance to miss a file of the type, so drop those,
    // weakest first (the magic at the start stays).
    if (aliveCount == 0 && chosen.size() > 1) {
        std::vector<std::size_t> order(chosen);
        std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return weight(cands[a].rule, R) < weight(cands[b].rule, R); });
        for (std::size_t i : order) {
            const LearnedRule& r = cands[i].rule;
            if (r.kind == LearnedRule::Kind::At && r.offset == 0)
                continue;
            std::erase(chosen, i);
            recount();
            if (aliveCount > 0) {
                chosen.push_back(i);
                recount();
            }
        }
    }
    auto rulesOf = [&] {
        std::vector<LearnedRule> out;
        for (std::size_t i : chosen)
            out.push_back(cands[i].rule);
        return out;
    };
    if (aliveCount > 0) {
        res.stillMatching = aliveCount;
        for (std::size_t f = 0; f < R && res.stillMatchingExamples.size() < 5; ++f) {
            if (alive[f])
                res.stillMatchingExamples.push_back(reference[f].path);
        }
        res.reason = "what the samples share also holds in " + std::to_string(aliveCount) + " of "
            + std::to_string(R) + " reference files, so they cannot be told apart from those (best rules found: "
            + describeEvidence(rulesOf()) + ")";
        return res;
    }

    // Enough evidence to rank: add rare rules, strongest first, while the
    // rules so far are weak.
    while (bits() < o.minBits && chosen.size() < o.maxRules) {
        std::size_t best = cands.size();
        double bestWeight = 0;
        for (std::size_t i = 0; i < cands.size(); ++i) {
            if (isChosen(i) || share(cands[i].rule) > o.rareShare || overlaps(i))
                continue;
            double w = weight(cands[i].rule, R);
            if (w > bestWeight) {
                best = i;
                bestWeight = w;
            }
        }
        if (best == cands.size())
            break;
        take(best);
    }
    if (bits() < o.minBits) {
        res.reason = "the samples share too little to recognise them by: " + std::to_string(bits())
            + " bits of evidence (" + describeEvidence(rulesOf()) + "), at least " + std::to_string(o.minBits)
            + " are needed";
        return res;
    }
    res.rules = rulesOf();
    res.bits = bits();

    std::stable_sort(res.rules.begin(), res.rules.end(), [](const LearnedRule& a, const LearnedRule& b) {
        if (order(a) != order(b))
            return order(a) < order(b);
        return a.kind == LearnedRule::Kind::At && a.offset < b.offset;
    });
    res.ok = true;
    return res;
}

} // namespace gv::learner
