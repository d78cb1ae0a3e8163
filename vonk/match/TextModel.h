// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/TextTokens.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// The text model of a database (see db::TextModelHeader), read in place: a
// linear model over the features of TextTokens.h whose scores, divided by a
// calibrated scale, give each class's probability by softmax. A class is the
// id of the definition it stands for ("text" is prose).
class TextModel {
public:
    TextModel() = default;
    // `section` must have passed the database's validation.
    explicit TextModel(std::span<const std::uint8_t> section);

    bool empty() const { return m_classes == 0; }
    std::size_t classCount() const { return m_classes; }
    std::string_view className(std::size_t c) const;

    // Buffers one caller reuses from file to file.
    struct Work {
        std::vector<TextFeature> features;
        std::vector<std::uint16_t> counts;   // per row
        std::vector<std::uint32_t> touched;  // rows seen, in order
        std::vector<std::uint32_t> firstSeen; // per touched row: its first feature
        std::vector<std::int32_t> scores;
        // Rows of the features seen in this text (hash << 32 | row, 0 for
        // none): a word's repetitions are looked up in the table once.
        std::vector<std::uint64_t> rowMemo;
    };

    struct Ranked {
        std::uint32_t cls = 0;
        double probability = 0.0;
    };
    struct Verdict {
        // Every class, most probable first; but when the best is a
        // programming or data language that prose comes close to (within
        // kProseMargin), the prose goes first, the language second: prose
        // is not called code on a narrow margin. Empty when the text is of
        // a format the model was not taught and the structure shows it.
        std::vector<Ranked> ranked;
        bool proseFirst = false; // that happened
        // The probability of prose (plain text and the light markups)
        // together: what a reader first asks is whether the text is prose.
        double prose = 0.0;
        // The first answer is the one structure proved (a make file's
        // lines, Markdown's marks), however little text there is to weigh.
        bool structural = false;
        // What structure changed the words' order by, when it did.
        const char* settledBy = nullptr;
        // With `explain`: the text of the features that most set the best
        // class apart from the runner-up, strongest first.
        std::vector<std::string> reasons;
    };

    void judge(std::string_view text, Work& work, Verdict& out, bool explain = false) const;
    bool isProse(std::uint32_t cls) const { return cls < m_kinds.size() && m_kinds[cls] == Kind::Prose; }
    // Marks of a document's form in the text the model reads: headings,
    // list items, links, code spans...
    bool hasProseMarks(std::string_view text) const;

    // How many times as probable as the likeliest prose a language must be
    // to be the answer (the trainer's PROSE_MARGIN).
    static constexpr double kProseMargin = 1.25;

private:
    std::uint32_t row(std::uint32_t hash) const;
    // Where the words leave alike formats a reader tells by structure (a C
    // header from a source, Go from C, a document from the code it quotes,
    // Markdown from plain text), that structure settles the order.
    // True when structure proved the first answer; `ranked` is emptied
    // where structure shows a format the model does not know.
    bool settle(std::string_view text, std::vector<Ranked>& ranked, const char*& why) const;

    static constexpr std::uint32_t kNoClass = 0xFFFFFFFF;
    std::uint32_t m_cSource = kNoClass, m_cHeader = kNoClass, m_cpp = kNoClass, m_go = kNoClass, m_markdown = kNoClass, m_text = kNoClass, m_make = kNoClass;
    std::uint32_t m_typeScript = kNoClass, m_javaScript = kNoClass;

    enum class Kind : std::uint8_t { Code, Prose, Document };
    std::vector<Kind> m_kinds; // per class

    std::uint32_t m_classes = 0;
    std::uint32_t m_features = 0;
    std::uint32_t m_slotMask = 0;
    std::size_t m_head = 0;
    double m_unitsPerNat = 1.0;
    const std::uint8_t* m_names = nullptr;
    const std::uint8_t* m_bias = nullptr;
    const std::uint8_t* m_slots = nullptr;
    const std::int8_t* m_weights = nullptr;
};

} // namespace gv::vonk
