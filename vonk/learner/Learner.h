// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Chooses the rules of a new definition from samples of one type: what every
// sample shares, weighed by how rarely the reference files (other types)
// share it, until the rules hold in no reference file and carry enough
// evidence to rank.

#include "vonk/learner/LearnedRule.h"
#include "vonk/learner/Sample.h"

#include <string>
#include <vector>

namespace gv::learner {

struct LearnOptions {
    std::size_t minSamples = 2;
    std::size_t minRun = 2;        // shortest fixed-offset run worth a rule
    std::size_t minString = 4;     // shortest shared string
    std::size_t maxPattern = 8;    // fixed runs are cut into pieces this long
    std::size_t maxString = 32;    // and strings into pieces this long
    std::size_t maxCandidates = 256; // per kind (fixed, strings), nearest/longest first
    std::size_t maxRules = 6;
    int minBits = 24;              // evidence the definition must carry
    double magicShare = 0.05;      // an offset-0 prefix this rare is taken first
    double rareShare = 0.05;       // rules added for strength are at most this common
    // The windows samples and reference files were read with: a string rule
    // never searches further than rarity was measured.
    Window window;
};

struct LearnResult {
    bool ok = false;
    std::string reason;              // why not, when !ok
    std::vector<LearnedRule> rules;  // in source order
    int bits = 0;
    std::size_t samples = 0;
    std::size_t references = 0;
    std::size_t candidates = 0;
    // Reference files in which every chosen rule holds (when !ok because of them).
    std::size_t stillMatching = 0;
    std::vector<std::string> stillMatchingExamples;
};

class Learner {
public:
    explicit Learner(LearnOptions options = {}) : m_options(options) {}

    LearnResult learn(const std::vector<Sample>& samples, const std::vector<Sample>& reference) const;

    // Every rule that holds in all samples, with bits and reference hits
    // filled in, before any choice is made. Rules that hold in every
    // reference file are left out.
    std::vector<LearnedRule> candidates(const std::vector<Sample>& samples, const std::vector<Sample>& reference) const;

    // How much a rule is worth once its rarity among the reference files is
    // taken into account: its bits, reduced as it gets more common.
    static double weight(const LearnedRule& rule, std::size_t references);

    const LearnOptions& options() const { return m_options; }

private:
    LearnOptions m_options;
};

} // namespace gv::learner
