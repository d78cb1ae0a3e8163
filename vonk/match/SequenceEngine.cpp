// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/SequenceEngine.h"

#include "vonk/base/AnchoredSearch.h"
#include "vonk/base/RareByte.h"

#include <algorithm>
#include <cstring>

namespace gv::vonk {

using namespace seq;

namespace {

bool inSet(const std::uint8_t* bitmap, std::uint8_t c)
{
    return (bitmap[c >> 3] >> (c & 7)) & 1;
}

} // namespace

bool SequenceEngine::match(std::span<const std::uint8_t> program, std::span<const std::uint8_t> data, bool backward, std::size_t& at)
{
    m_once.decoded = false;
    prepare(program, m_once);
    return run(m_once, data, backward, at);
}

SequenceEngine::Program& SequenceEngine::kept(std::uint32_t slot, std::span<const std::uint8_t> program)
{
    if (slot >= m_keptAt.size())
        m_keptAt.resize(std::size_t{slot} + 1, 0);
    if (m_keptAt[slot] == 0) {
        m_kept.emplace_back();
        m_keptAt[slot] = static_cast<std::uint32_t>(m_kept.size());
    }
    Program& p = m_kept[m_keptAt[slot] - 1];
    prepare(program, p);
    return p;
}

bool SequenceEngine::matchKept(std::uint32_t slot, std::span<const std::uint8_t> program, std::span<const std::uint8_t> data,
    bool backward, std::size_t& at)
{
    return run(kept(slot, program), data, backward, at);
}

std::size_t SequenceEngine::keptReach(std::uint32_t slot, std::span<const std::uint8_t> program)
{
    return kept(slot, program).reach;
}

void SequenceEngine::prepare(std::span<const std::uint8_t> program, Program& p)
{
    if (p.decoded)
        return;
    p.decoded = true;
    p.hasRequired = false;
    p.valid = decode(program, p.steps);
    p.aids.assign(p.steps.size(), Program::Aid{});
    p.reach = 0; // an invalid program matches nothing
    if (!p.valid)
        return;
    for (std::size_t i = 0; i < p.steps.size(); ++i) {
        const Step& s = p.steps[i];
        if (s.op == Gap && i + 1 < p.steps.size() && p.steps[i + 1].op == Lit && p.steps[i + 1].a > 0)
            p.aids[i].rareAt = static_cast<std::uint32_t>(rarestByte(p.steps[i + 1].data, p.steps[i + 1].a));
        if (s.op != Alt)
            continue;
        auto& first = p.aids[i].altFirst;
        first.fill(0);
        bool open = false;
        const std::uint8_t* q = s.data;
        for (std::uint32_t k = 0; k < s.a && !open; ++k) {
            const std::size_t len = std::size_t{q[0]} | std::size_t{q[1]} << 8;
            const std::uint8_t* body = q + 2;
            if (len == 0) {
                open = true;
            } else if (body[0] == Lit) {
                first[body[2] >> 3] |= static_cast<std::uint8_t>(1u << (body[2] & 7));
            } else {
                for (std::size_t b = 0; b < first.size(); ++b)
                    first[b] |= body[1 + b];
            }
            q += 2 + len;
        }
        p.aids[i].altOpen = open ? 1 : 0;
    }
    for (std::size_t i = 0; i + 1 < p.steps.size(); ++i) {
        const Step& next = p.steps[i + 1];
        if (p.steps[i].op != Gap || (next.op != Set && next.op != Alt))
            continue;
        auto& first = p.aids[i].firstBytes;
        if (next.op == Set) {
            std::memcpy(first.data(), next.data, first.size());
            p.aids[i].missCost = 1;
            continue;
        }
        first = p.aids[i + 1].altFirst;
        // Trying a start enters the step, then each alternative in turn.
        p.aids[i].missCost = p.aids[i + 1].altOpen ? 0 : 1 + next.a;
    }
    findRequired(p);
}

void SequenceEngine::findRequired(Program& p)
{
    // A gap this wide or wider makes a search of what follows it.
    constexpr std::uint32_t kWide = 64;
    // Shorter literals are found about as often as not.
    constexpr std::uint32_t kShortest = 4;
    std::size_t reach = 0; // the latest place the step may begin
    bool bounded = true;
    std::size_t best = p.steps.size(), bestReach = 0, gate = 0;
    bool wide = false; // a wide gap lies before the step: where it begins varies
    for (std::size_t i = 0; i < p.steps.size(); ++i) {
        const Step& s = p.steps[i];
        if (s.op == Lit && wide && s.a >= kShortest && (best == p.steps.size() || s.a > p.steps[best].a)) {
            best = i;
            bestReach = bounded ? reach : static_cast<std::size_t>(-1);
        }
        std::size_t width = 0;
        switch (s.op) {
        case Lit: width = s.a; break;
        case Set: width = 1; break;
        case Gap:
            if (s.b == kUnbounded)
                bounded = false;
            if (!wide && s.b - s.a >= kWide) {
                wide = true;
                gate = i;
            }
            width = s.b;
            break;
        case Alt: {
            const std::uint8_t* q = s.data;
            for (std::uint32_t k = 0; k < s.a; ++k) {
                const std::size_t len = std::size_t{q[0]} | std::size_t{q[1]} << 8;
                width = std::max<std::size_t>(width, static_cast<std::size_t>(std::max(0, bodyWidth(q + 2, len))));
                q += 2 + len;
            }
            break;
        }
        }
        reach += width;
    }
    p.reach = bounded ? reach : static_cast<std::size_t>(-1);
    if (best == p.steps.size())
        return;
    const Step& lit = p.steps[best];
    Program::Required& r = p.required;
    r.forward.assign(lit.data, lit.data + lit.a);
    r.backward.assign(r.forward.rbegin(), r.forward.rend());
    for (int way = 0; way < 2; ++way) {
        const std::uint8_t* bytes = way ? r.backward.data() : r.forward.data();
        r.rare[way][0] = rarestByte(bytes, lit.a);
        r.rare[way][1] = rarestByte(bytes, lit.a, nullptr, r.rare[way][0]);
    }
    r.lastStart = bestReach;
    r.gate = gate;
    p.hasRequired = true;
}

bool SequenceEngine::mayMatch(const Program& p) const
{
    const Program::Required& r = p.required;
    const std::size_t len = r.forward.size();
    if (len > m_len)
        return false;
    const std::size_t last = std::min(m_len - len, r.lastStart);
    // Read backward, view place v is byte m_len - 1 - v: a literal that may
    // begin at view places 0 to `last` lies, reversed, at the end.
    const std::uint8_t* base = m_backward ? m_data + (m_len - len - last) : m_data;
    const std::uint8_t* bytes = m_backward ? r.backward.data() : r.forward.data();
    const std::size_t* rare = r.rare[m_backward ? 1 : 0];
    // A view of one repeated byte can make every start agree on both
    // anchors: past a few comparisons per byte the check gives up, and the
    // program is run as it would have been.
    std::size_t work = 0;
    const std::size_t most = 4 * m_len + 4096;
    auto matches = [&](std::size_t at) {
        for (std::size_t i = 0; i < len; ++i) {
            if (base[at + i] != bytes[i])
                return (work += i + 1) > most;
        }
        return true;
    };
    const AnchorByte first{rare[0], bytes[rare[0]], bytes[rare[0]]};
    const AnchorByte second{rare[1], bytes[rare[1]], bytes[rare[1]]};
    return findAnchored(base, last, first, &second, matches) != kNotFound;
}

bool SequenceEngine::run(const Program& p, std::span<const std::uint8_t> data, bool backward, std::size_t& at)
{
    if (!p.valid)
        return false;
    m_program = &p;
    m_data = data.data();
    m_len = data.size();
    m_backward = backward;
    m_budget = kBudget;
    m_requiredSought = false;
    m_failedFrom.assign(p.steps.size(), m_len + 1);
    // The first step of a pattern that may start anywhere is a gap from 0:
    // where the match began is where that gap ended.
    if (!from(0, 0))
        return false;
    at = 0;
    if (!p.steps.empty() && p.steps[0].op == Gap)
        at = m_gapEnd;
    return true;
}

bool SequenceEngine::fits(const std::uint8_t* body, std::size_t len, std::size_t pos, std::size_t& width)
{
    std::size_t i = 0;
    width = 0;
    while (i < len) {
        if (body[i] == Lit) {
            std::size_t n = body[i + 1];
            if (pos + width + n > m_len)
                return false;
            for (std::size_t k = 0; k < n; ++k) {
                if (byteAt(pos + width + k) != body[i + 2 + k])
                    return false;
            }
            width += n;
            i += 2 + n;
        } else {
            if (pos + width >= m_len || !inSet(body + i + 1, byteAt(pos + width)))
                return false;
            ++width;
            i += 33;
        }
    }
    return true;
}

bool SequenceEngine::from(std::size_t step, std::size_t pos)
{
    const std::vector<Step>& steps = m_program->steps;
    if (step == steps.size())
        return true;
    if (m_budget == 0)
        return false;
    --m_budget;
    const Step& s = steps[step];
    switch (s.op) {
    case Lit: {
        if (pos + s.a > m_len)
            return false;
        if (m_budget < s.a)
            return m_budget = 0, false;
        m_budget -= s.a;
        for (std::uint32_t k = 0; k < s.a; ++k) {
            if (byteAt(pos + k) != s.data[k])
                return false;
        }
        return from(step + 1, pos + s.a);
    }
    case Set:
        if (pos >= m_len || !inSet(s.data, byteAt(pos)))
            return false;
        return from(step + 1, pos + 1);
    case Alt: {
        // A byte that begins no alternative fails them all: what trying
        // each would have spent is counted, so the budget runs out where
        // it did.
        if (!m_program->aids[step].altOpen && (pos >= m_len || !inSet(m_program->aids[step].altFirst.data(), byteAt(pos)))) {
            m_budget -= std::min<std::uint64_t>(m_budget, s.a);
            return false;
        }
        const std::uint8_t* q = s.data;
        for (std::uint32_t k = 0; k < s.a; ++k) {
            std::size_t len = std::size_t{q[0]} | std::size_t{q[1]} << 8;
            std::size_t width = 0;
            if (fits(q + 2, len, pos, width) && from(step + 1, pos + width))
                return true;
            q += 2 + len;
            if (m_budget == 0)
                return false;
            --m_budget;
        }
        return false;
    }
    case Gap: {
        // No match is possible without the required literal: nothing more
        // is tried, which is the answer the rest of the run would give.
        if (step == m_program->required.gate && m_program->hasRequired && !m_requiredSought) {
            m_requiredSought = true;
            if (!mayMatch(*m_program)) {
                m_budget = 0;
                return false;
            }
        }
        const bool unbounded = s.b == kUnbounded;
        if (unbounded && pos >= m_failedFrom[step])
            return false;
        if (pos + s.a > m_len)
            return false;
        const std::size_t last = unbounded ? m_len : std::min<std::size_t>(m_len, pos + std::size_t{s.b});
        // A literal next is found by its rarest byte with memchr (memrchr
        // reading backward): a literal that starts with a zero byte would
        // otherwise stop the search at every zero of a binary file.
        const Step* next = step + 1 < steps.size() ? &steps[step + 1] : nullptr;
        const bool nextLit = next && next->op == Lit && next->a > 0;
        const std::size_t k = m_program->aids[step].rareAt;
        for (std::size_t p = pos + s.a; p <= last; ++p) {
            if (nextLit) {
                // The literal must fit: its last byte at most at m_len - 1.
                if (p + next->a > m_len)
                    break;
                const std::size_t stop = std::min(last, m_len - next->a);
                const std::uint8_t c = next->data[k];
                if (!m_backward) {
                    auto* hit = static_cast<const std::uint8_t*>(std::memchr(m_data + p + k, c, stop - p + 1));
                    if (!hit)
                        break;
                    p = static_cast<std::size_t>(hit - m_data) - k;
                } else {
                    // Reading position r is byte m_len - 1 - r.
                    const std::uint8_t* low = m_data + (m_len - 1 - (stop + k));
                    auto* hit = static_cast<const std::uint8_t*>(::memrchr(low, c, stop - p + 1));
                    if (!hit)
                        break;
                    p = m_len - 1 - static_cast<std::size_t>(hit - m_data) - k;
                }
            }
            if (step == 0)
                m_gapEnd = p;
            // A start whose byte begins nothing that follows fails; only its
            // cost is counted, as trying it would have spent it.
            if (const std::uint32_t cost = m_program->aids[step].missCost; cost && p < m_len && !inSet(m_program->aids[step].firstBytes.data(), byteAt(p))) {
                if (m_budget <= cost) {
                    m_budget = 0;
                    return false;
                }
                m_budget -= cost + 1;
                continue;
            }
            if (from(step + 1, p))
                return true;
            if (m_budget == 0)
                return false;
            --m_budget;
        }
        if (unbounded)
            m_failedFrom[step] = std::min(m_failedFrom[step], pos);
        return false;
    }
    }
    return false;
}

} // namespace gv::vonk
