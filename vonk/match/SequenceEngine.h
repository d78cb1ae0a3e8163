// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/format/SequenceProgram.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace gv::vonk {

// Runs compiled byte sequences (SequenceProgram.h) over a view of a file.
// Gaps make a naive search try every split of the file between them, which
// a hostile file can turn into hours; here an unbounded gap that failed from
// some start fails at once from any later one (it would try a subset of the
// same places), and every run stops after kBudget steps, failing.
class SequenceEngine {
public:
    static constexpr std::uint64_t kBudget = 1u << 18;

    // True when `program` (already validated) matches `data`, read from its
    // first byte forward, or from its last backward when `backward`; `at`
    // is then where the match began, counted in reading order.
    bool match(std::span<const std::uint8_t> program, std::span<const std::uint8_t> data, bool backward, std::size_t& at);
    // The same for a program that stays in place as long as the engine (a
    // database's): its decoding is made once and kept under `slot`.
    bool matchKept(std::uint32_t slot, std::span<const std::uint8_t> program, std::span<const std::uint8_t> data, bool backward,
        std::size_t& at);
    // How far from its start a view must reach for the kept program to
    // answer as over any longer view: where its latest match can end.
    // SIZE_MAX when a gap is unbounded.
    std::size_t keptReach(std::uint32_t slot, std::span<const std::uint8_t> program);

private:
    // A decoded program, and what a gap followed by a set or by
    // alternatives may skip at once: the bytes that can begin what follows,
    // and the budget a start costs when its byte is not one of them (what
    // trying it would have spent), 0 where every byte may begin it.
    // Alternatives keep the bytes that can begin any of them the same way
    // (`altOpen`: one of them is empty, so any byte will do), and a gap
    // before a literal where the literal's rarest byte is, found with
    // memchr.
    struct Program {
        bool decoded = false;
        bool valid = false;
        std::vector<seq::Step> steps;
        // By step, in one piece: a database's programs are prepared by the
        // thousand in a run.
        struct Aid {
            std::array<std::uint8_t, 32> firstBytes;
            std::array<std::uint8_t, 32> altFirst;
            std::uint32_t missCost = 0;
            std::uint32_t rareAt = 0;
            std::uint8_t altOpen = 1;
        };
        std::vector<Aid> aids;
        // The longest literal behind a wide gap (somewhere before it),
        // which every match holds: where the view lacks it, nothing more
        // is tried. It is looked for when a run first reaches the first
        // wide gap (`gate`), so that a view whose fixed start fails costs
        // no search. Its bytes in the order of the data read forward and
        // backward, its two rarest bytes' places in each, and the latest
        // place it may begin.
        struct Required {
            std::vector<std::uint8_t> forward, backward;
            std::size_t rare[2][2] = {};
            std::size_t lastStart = 0;
            std::size_t gate = 0;
        };
        bool hasRequired = false;
        Required required;
        std::size_t reach = 0;
    };
    Program& kept(std::uint32_t slot, std::span<const std::uint8_t> program);
    static void findRequired(Program& p);
    bool mayMatch(const Program& p) const;
    static void prepare(std::span<const std::uint8_t> program, Program& p);
    bool run(const Program& p, std::span<const std::uint8_t> data, bool backward, std::size_t& at);

    bool from(std::size_t step, std::size_t pos);
    bool fits(const std::uint8_t* body, std::size_t len, std::size_t pos, std::size_t& width);
    std::uint8_t byteAt(std::size_t pos) const { return m_backward ? m_data[m_len - 1 - pos] : m_data[pos]; }

    Program m_once;
    // Kept programs by slot: a slot's place in m_kept plus one, 0 until its
    // first run. Slots are a database's node numbers, so the index is dense.
    std::vector<std::uint32_t> m_keptAt;
    std::vector<Program> m_kept;
    const Program* m_program = nullptr;
    std::vector<std::size_t> m_failedFrom;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_len = 0;
    bool m_backward = false;
    std::uint64_t m_budget = 0;
    std::size_t m_gapEnd = 0;
    bool m_requiredSought = false;
};

} // namespace gv::vonk
