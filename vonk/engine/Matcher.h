#pragma once

#include "Database.h"
#include "Probe.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gv::vonk {

struct Candidate {
    std::uint32_t def = 0;
    std::uint64_t score = 0;
    double percent = 0.0;
};

// One rule that held, and where.
struct RuleHit {
    std::uint32_t node = 0;
    std::string where;
};

// Finds the definitions a file matches and ranks them. One Matcher serves
// many files in turn; its work buffers are reused, so identifying a file
// allocates nothing in the common case.
class Matcher {
public:
    explicit Matcher(const Database& db);

    // Every matching definition, best first; percentages over all of them add
    // up to 100.
    const std::vector<Candidate>& identify(Probe& probe);
    // The rules of `def` that held for the probed file (verbose reports).
    std::vector<RuleHit> explain(Probe& probe, std::uint32_t def);

    // How many definitions the last identify() evaluated (for benchmarks).
    std::size_t evaluatedCount() const { return m_candidates.size(); }

private:
    void addCandidate(std::uint32_t def);
    bool evalDef(std::uint32_t def, Probe& probe, std::uint64_t& score);
    bool eval(std::uint32_t node, Probe& probe, std::uint64_t& evidence, std::vector<RuleHit>* trace);
    bool search(const db::NodeRecord& n, const std::uint8_t* data, std::size_t len, std::size_t lastStart, std::size_t& found) const;

    const Database& m_db;
    std::uint32_t m_gen = 0;
    std::vector<std::uint32_t> m_candStamp;
    std::vector<std::uint32_t> m_evalStamp;
    std::vector<std::uint64_t> m_score;
    std::vector<std::uint8_t> m_matched;
    std::vector<std::uint8_t> m_busy;
    std::vector<std::uint32_t> m_candidates;
    std::vector<Candidate> m_result;
};

} // namespace gv::vonk
