// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/format/DbFormat.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace gv::vonk::db {

// What a definition's rules hold, outside negations. The compiler stores
// them in each definition's flags (see kHeaderRuleTraits), so that a start
// does not read every rule to learn them; the loader derives them the same
// way for a file that does not carry them.
enum : std::uint8_t {
    kTraitStructure = 1, // a rule that settles what a text is (shebang, XML root, JSON, magic at the start)
    kTraitMarkup = 2,    // an XML root or a JSON document
    kTraitBehind = 4,    // `zip-has "/"`: an archive found behind other data
    kTraitText = 8,      // holds for text only: every way to satisfy it reads text
    kTraitPlain = 16,    // a block of one bare `text` test (kept for a definition's root)
};

// Each rule's traits. Rules come after the block that holds them, so one
// pass from the last rule to the first folds every block's children into
// it. The rules must already be known sound (children in range, after
// their block). `text(ref)` gives a pool text.
template <typename Text>
void ruleTraits(std::span<const NodeRecord> nodes, Text&& text, std::vector<std::uint8_t>& holds)
{
    holds.assign(nodes.size(), 0);
    for (std::size_t i = nodes.size(); i-- > 0;) {
        const NodeRecord& n = nodes[i];
        std::uint8_t bits = 0;
        switch (static_cast<NodeKind>(n.kind)) {
        case NodeKind::All:
        case NodeKind::Any:
        case NodeKind::Some: {
            // An All block needs text when one of its rules does; the others
            // when every one of theirs does.
            std::uint8_t every = kTraitText;
            for (std::uint32_t c = n.first; c < n.first + n.count; ++c) {
                bits |= holds[c] & ~kTraitPlain;
                every &= holds[c];
            }
            if (static_cast<NodeKind>(n.kind) != NodeKind::All)
                bits = static_cast<std::uint8_t>((bits & ~kTraitText) | every);
            else if (n.count == 1 && static_cast<NodeKind>(nodes[n.first].kind) == NodeKind::Text)
                bits |= kTraitPlain;
            break;
        }
        case NodeKind::Not: break;
        case NodeKind::XmlRoot:
        case NodeKind::Json: bits = kTraitStructure | kTraitMarkup | kTraitText; break;
        case NodeKind::Text: bits = static_cast<TextKind>(n.flags) == TextKind::Any ? kTraitText : 0; break;
        case NodeKind::Delimited:
        case NodeKind::KeyValue: bits = kTraitText; break;
        case NodeKind::Shebang: bits = kTraitStructure | kTraitText; break;
        case NodeKind::AtPattern:
        case NodeKind::Head: bits = kTraitStructure; break;
        case NodeKind::ZipHas: bits = std::string_view(text(n.a)) == "/" ? kTraitBehind : 0; break;
        default: break;
        }
        holds[i] = bits;
    }
}

} // namespace gv::vonk::db
