// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TextModel.h"

#include "vonk/format/DbFormat.h"
#include "vonk/match/TextCues.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gv::vonk {

TextModel::TextModel(std::span<const std::uint8_t> section)
{
    if (section.size() < sizeof(db::TextModelHeader))
        return;
    db::TextModelHeader h;
    std::memcpy(&h, section.data(), sizeof h);
    m_classes = h.classCount;
    m_features = h.featureCount;
    m_slotMask = h.slotCount - 1;
    m_head = h.headBytes;
    m_unitsPerNat = h.unitsPerNat1000 / 1000.0;
    m_names = section.data() + sizeof h;
    m_bias = m_names + std::size_t{m_classes} * db::kTextClassName;
    m_slots = m_bias + std::size_t{m_classes} * 4;
    m_weights = reinterpret_cast<const std::int8_t*>(m_slots + std::size_t{h.slotCount} * sizeof(db::TextModelSlot));
    // Prose, and the other documents it may be taken for without harm.
    constexpr std::string_view prose[] = {"text", "markdown", "restructuredtext"};
    constexpr std::string_view documents[] = {"troff", "tex", "html", "po", "diff"};
    for (std::uint32_t c = 0; c < m_classes; ++c) {
        const std::string_view n = className(c);
        m_kinds.push_back(std::find(std::begin(prose), std::end(prose), n) != std::end(prose) ? Kind::Prose
                : std::find(std::begin(documents), std::end(documents), n) != std::end(documents) ? Kind::Document
                                                                                                   : Kind::Code);
        const std::pair<std::string_view, std::uint32_t*> known[] = {
            {"c-source", &m_cSource}, {"c-header", &m_cHeader}, {"cpp-source", &m_cpp}, {"go-source", &m_go}, {"markdown", &m_markdown}, {"text", &m_text}, {"makefile", &m_make},
            {"typescript", &m_typeScript}, {"javascript", &m_javaScript}};
        for (const auto& [name, index] : known) {
            if (n == name)
                *index = c;
        }
    }
}

std::string_view TextModel::className(std::size_t c) const
{
    const char* n = reinterpret_cast<const char*>(m_names + c * db::kTextClassName);
    return {n, ::strnlen(n, db::kTextClassName)};
}

// The slots are not checked when the database loads (that would read the
// whole table at every start): a row out of range counts as no row, and a
// table without an empty slot ends the search after one round.
std::uint32_t TextModel::row(std::uint32_t hash) const
{
    std::uint32_t s = hash & m_slotMask;
    for (std::uint32_t probes = 0; probes <= m_slotMask; ++probes, s = (s + 1) & m_slotMask) {
        db::TextModelSlot slot;
        std::memcpy(&slot, m_slots + std::size_t{s} * sizeof slot, sizeof slot);
        if (slot.hash == hash)
            return slot.row < m_features ? slot.row : db::kNoTextRow;
        if (slot.hash == 0)
            break;
    }
    return db::kNoTextRow;
}

void TextModel::judge(std::string_view text, Work& w, Verdict& out, bool explain) const
{
    out.ranked.clear();
    out.reasons.clear();
    if (empty())
        return;
    textFeatures(text.substr(0, m_head), w.features);
    if (w.counts.size() != m_features)
        w.counts.assign(m_features, 0);
    w.touched.clear();
    w.firstSeen.clear();
    constexpr std::size_t kMemoBits = 10;
    w.rowMemo.assign(std::size_t{1} << kMemoBits, 0);
    for (std::uint32_t i = 0; i < w.features.size(); ++i) {
        const std::uint32_t hash = w.features[i].hash;
        std::uint64_t& memo = w.rowMemo[(hash * 0x9E3779B1u) >> (32 - kMemoBits)];
        std::uint32_t r;
        if (memo >> 32 == hash) {
            r = static_cast<std::uint32_t>(memo);
        } else {
            r = row(hash);
            memo = std::uint64_t{hash} << 32 | r;
        }
        if (r == db::kNoTextRow)
            continue;
        if (w.counts[r] == 0) {
            w.touched.push_back(r);
            w.firstSeen.push_back(i);
        }
        if (w.counts[r] < 0xFFFF)
            ++w.counts[r];
    }
    w.scores.assign(m_classes, 0);
    for (std::uint32_t c = 0; c < m_classes; ++c)
        std::memcpy(&w.scores[c], m_bias + 4 * c, 4);
    std::int32_t* scores = w.scores.data();
    for (std::uint32_t r : w.touched) {
        const std::int32_t weight = static_cast<std::int32_t>(featureWeight(w.counts[r]));
        const std::int8_t* q = m_weights + std::size_t{r} * m_classes;
        std::uint32_t c = 0;
#if defined(__SSE2__)
        // Sixteen classes a step: a weight (at most 16) times a byte fits in
        // 16 bits, widened to 32 for the sums.
        const __m128i w16 = _mm_set1_epi16(static_cast<short>(weight));
        for (; c + 16 <= m_classes; c += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + c));
            const __m128i lo = _mm_mullo_epi16(_mm_srai_epi16(_mm_unpacklo_epi8(x, x), 8), w16);
            const __m128i hi = _mm_mullo_epi16(_mm_srai_epi16(_mm_unpackhi_epi8(x, x), 8), w16);
            const __m128i parts[4] = {_mm_srai_epi32(_mm_unpacklo_epi16(lo, lo), 16), _mm_srai_epi32(_mm_unpackhi_epi16(lo, lo), 16),
                _mm_srai_epi32(_mm_unpacklo_epi16(hi, hi), 16), _mm_srai_epi32(_mm_unpackhi_epi16(hi, hi), 16)};
            for (int k = 0; k < 4; ++k) {
                auto* to = reinterpret_cast<__m128i*>(scores + c + 4 * k);
                _mm_storeu_si128(to, _mm_add_epi32(_mm_loadu_si128(to), parts[k]));
            }
        }
#endif
        for (; c < m_classes; ++c)
            scores[c] += weight * q[c];
    }
    const std::int32_t best = *std::max_element(w.scores.begin(), w.scores.end());
    double total = 0.0;
    out.ranked.resize(m_classes);
    for (std::uint32_t c = 0; c < m_classes; ++c) {
        double e = std::exp((w.scores[c] - best) / m_unitsPerNat);
        out.ranked[c] = {c, e};
        total += e;
    }
    for (auto& r : out.ranked)
        r.probability /= total;
    std::stable_sort(out.ranked.begin(), out.ranked.end(), [](const Ranked& a, const Ranked& b) { return a.probability > b.probability; });
    out.settledBy = nullptr;
    out.structural = settle(text.substr(0, m_head), out.ranked, out.settledBy);
    out.proseFirst = false;
    out.prose = 0.0;
    if (out.ranked.empty()) {
        for (std::uint32_t r : w.touched)
            w.counts[r] = 0;
        return;
    }
    if (m_kinds[out.ranked[0].cls] == Kind::Code && !out.structural) {
        auto prose = std::find_if(out.ranked.begin(), out.ranked.end(), [&](const Ranked& r) { return m_kinds[r.cls] == Kind::Prose; });
        if (prose != out.ranked.end() && prose->probability * kProseMargin > out.ranked[0].probability) {
            std::rotate(out.ranked.begin() + 1, prose, prose + 1);
            std::swap(out.ranked[0], out.ranked[1]);
            out.proseFirst = true;
        }
    }
    for (const auto& r : out.ranked)
        out.prose += m_kinds[r.cls] == Kind::Prose ? r.probability : 0.0;
    if (explain && m_classes >= 2) {
        const std::uint32_t top = out.ranked[0].cls, next = out.ranked[1].cls;
        std::vector<std::pair<std::int32_t, std::size_t>> pull;
        for (std::size_t k = 0; k < w.touched.size(); ++k) {
            const std::int8_t* q = m_weights + std::size_t{w.touched[k]} * m_classes;
            std::int32_t d = static_cast<std::int32_t>(featureWeight(w.counts[w.touched[k]])) * (q[top] - q[next]);
            if (d > 0)
                pull.push_back({d, k});
        }
        std::sort(pull.begin(), pull.end(), [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
        for (std::size_t k = 0; k < pull.size() && out.reasons.size() < 5; ++k) {
            const TextFeature& f = w.features[w.firstSeen[pull[k].second]];
            std::string t(text.substr(f.pos, std::min<std::size_t>(f.len, 40)));
            if (t.empty())
                t = "(line shape)";
            if (std::find(out.reasons.begin(), out.reasons.end(), t) == out.reasons.end())
                out.reasons.push_back(std::move(t));
        }
    }
    for (std::uint32_t r : w.touched)
        w.counts[r] = 0;
}

bool TextModel::hasProseMarks(std::string_view text) const
{
    return proseShape(text.substr(0, m_head)).marks != 0;
}

namespace {

// `to` takes the place (and the probability) of the first answer.
void promote(std::vector<TextModel::Ranked>& ranked, std::uint32_t to)
{
    auto p = std::find_if(ranked.begin(), ranked.end(), [&](const TextModel::Ranked& r) { return r.cls == to; });
    if (p == ranked.end() || p == ranked.begin())
        return;
    std::swap(p->probability, ranked.front().probability);
    std::swap(*p, ranked.front());
    std::stable_sort(ranked.begin() + 1, ranked.end(), [](const TextModel::Ranked& x, const TextModel::Ranked& y) { return x.probability > y.probability; });
}

} // namespace

bool TextModel::settle(std::string_view text, std::vector<Ranked>& ranked, const char*& why) const
{
    if (ranked.size() < 2)
        return false;
    // Rules with their recipes, make's own assignments and directives: a
    // makefile, be it two lines long.
    if (m_make != kNoClass && makeShape(text)) {
        promote(ranked, m_make);
        why = "make's lines";
        return true;
    }
    // Every Go file opens with its package clause: without one the text is
    // not Go, whatever its indentation and words; the rest share Go's part.
    if (ranked[0].cls == m_go && opensWithoutPackageClause(text)) {
        const double rest = 1.0 - ranked[0].probability;
        ranked[0].probability = 0.0;
        for (auto& r : ranked)
            r.probability = rest > 0.0 ? r.probability / rest : 0.0;
        std::rotate(ranked.begin(), ranked.begin() + 1, ranked.end());
        why = "no package clause";
    }
    const std::uint32_t top = ranked[0].cls;
    const bool cFamily = top == m_cSource || top == m_cHeader || top == m_cpp;
    if (cFamily && m_cSource != kNoClass && m_cHeader != kNoClass) {
        const CFileShape c = cFileShape(text);
        // Code without any of C++'s own constructs is C (macros alone
        // may be either's).
        if (top == m_cpp && !c.cplusplus && c.statements) {
            const double source = std::find_if(ranked.begin(), ranked.end(), [&](const Ranked& r) { return r.cls == m_cSource; })->probability;
            const double header = std::find_if(ranked.begin(), ranked.end(), [&](const Ranked& r) { return r.cls == m_cHeader; })->probability;
            promote(ranked, c.lean == CFileLean::Source || (c.lean == CFileLean::None && source >= header) ? m_cSource : m_cHeader);
            why = "none of C++'s constructs";
        } else if ((c.lean == CFileLean::Header && top == m_cSource) || (c.lean == CFileLean::Source && top == m_cHeader)) {
            promote(ranked, top == m_cSource ? m_cHeader : m_cSource);
            why = c.guarded ? "an include guard" : top == m_cSource ? "declarations without bodies" : "function bodies or autoconf's config.h";
        }
        return c.guarded && ranked[0].cls == m_cHeader;
    }
    // An include guard is the C preprocessor's alone: whatever the words
    // between, the file is a header.
    if (m_cHeader != kNoClass && (text.find("#ifndef") != std::string_view::npos || text.find("#pragma once") != std::string_view::npos)
        && cFileShape(text).guarded) {
        promote(ranked, m_cHeader);
        why = "an include guard";
        return true;
    }
    // Pascal's words read like a script's, its declarations most of all;
    // but a parameter passed "const" or a routine "overload;" no script
    // can write. The model was not taught Pascal: it has nothing to say.
    if ((top == m_typeScript || top == m_javaScript) && pascalMarks(text)) {
        ranked.clear();
        return false;
    }
    // JavaScript with none of TypeScript's own syntax is JavaScript.
    if (top == m_typeScript && m_javaScript != kNoClass && !typeScriptSyntax(text)) {
        promote(ranked, m_javaScript);
        why = "none of TypeScript's syntax";
        return false;
    }
    if (m_kinds[top] != Kind::Code && top != m_text && top != m_markdown)
        return false;
    const ProseShape shape = proseShape(text);
    // A document that quotes code is that document: the likeliest prose
    // takes the code's place.
    if (m_kinds[top] == Kind::Code && shape.document) {
        auto prose = std::find_if(ranked.begin(), ranked.end(), [&](const Ranked& r) { return m_kinds[r.cls] == Kind::Prose; });
        if (prose != ranked.end()) {
            promote(ranked, prose->cls);
            why = "a document's outline, its code indented or fenced";
        }
    }
    // Plain text has underlined headings and lists of its own; with an ATX
    // heading, or another of Markdown's marks besides, it is Markdown.
    const bool markdown = (shape.marks & kAtxHeading) || ((shape.marks & ~kPlainTextMarks) && std::popcount(shape.marks) >= 2);
    if ((ranked[0].cls == m_text || ranked[0].cls == m_markdown) && m_markdown != kNoClass && markdown) {
        if (ranked[0].cls != m_markdown)
            why = "Markdown's marks";
        promote(ranked, m_markdown);
        return true;
    }
    return false;
}

} // namespace gv::vonk
