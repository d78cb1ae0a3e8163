// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The definitions as written in the .vdef sources, before they are packed
// into the database.

#include "vonk/format/DbFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gv::vonk {

struct SourceRule {
    db::NodeKind kind = db::NodeKind::All;
    db::CmpOp op = db::CmpOp::Eq;
    db::NumKind num = db::NumKind::U8;
    db::TextKind textKind = db::TextKind::Any;
    std::int64_t off = 0;
    std::int64_t to = 0;
    std::uint64_t value = 0;
    std::uint64_t mask = ~std::uint64_t{0};
    bool hasMask = false;
    std::vector<std::uint8_t> bytes; // pattern bytes
    std::vector<std::uint8_t> masks; // pattern masks, same length
    std::string first;               // name for string rules
    std::string second;              // namespace / content
    std::string text;                // source text, for verbose reports
    int line = 0;
    // When not 0, the most evidence the rule gives, whatever its bytes say
    // (imported magic: see ImportMerge).
    std::uint32_t evidenceCap = 0;
    std::vector<SourceRule> children;
};

struct SourceDefinition {
    std::string id;
    std::string desc;
    std::vector<std::string> exts;
    std::vector<std::string> mimes;
    // PRONOM's identifiers for this type (fmt/11, x-fmt/263).
    std::vector<std::string> puids;
    std::string category;
    std::string parent;
    int weight = 0;
    // `min-confidence high`: see db::kDefNeedsHigh.
    bool needsHigh = false;
    // The weight discounts doubtful evidence (imported magic) rather than
    // nudging the ranking: see db::kDefDamped.
    bool damped = false;
    // Known by name only (imported without content rules): listed, but never
    // a candidate, since content decides and never the name.
    bool contentless = false;
    // Taken from shared-mime-info: see db::kDefImported.
    bool imported = false;
    // Matched by another registry's signatures only: see db::kDefYields.
    bool yields = false;
    std::string file;
    int line = 0;
    SourceRule root; // an All block holding the top-level rules
};

struct SourceError {
    std::string file;
    int line = 0;
    std::string reason;
    // Line 0 is a fault of the file as a whole (it could not be read).
    std::string format() const { return file + (line > 0 ? ":" + std::to_string(line) : "") + ": " + reason; }
};

} // namespace gv::vonk
