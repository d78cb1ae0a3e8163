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
    };

    struct Ranked {
        std::uint32_t cls = 0;
        double probability = 0.0;
    };
    struct Verdict {
        std::vector<Ranked> ranked; // every class, most probable first
        // With `explain`: the text of the features that most set the best
        // class apart from the runner-up, strongest first.
        std::vector<std::string> reasons;
    };

    void judge(std::string_view text, Work& work, Verdict& out, bool explain = false) const;

private:
    std::uint32_t row(std::uint32_t hash) const;

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
