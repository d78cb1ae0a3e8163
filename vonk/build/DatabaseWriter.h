// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/build/SourceDefinition.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gv::vonk {

// Packs parsed definitions into the binary database: assigns each rule its
// evidence, flattens rule trees, and builds the candidate index.
class DatabaseWriter {
public:
    // `defs` must have passed DefinitionParser::finish().
    // `sources` names what was imported, one "NAME\tVERSION" line each.
    // `textModel`, the trained text model's section, is copied as it is:
    // loading checks it.
    static std::vector<std::uint8_t> build(const std::vector<SourceDefinition>& defs, std::uint64_t buildTime = 0, const std::string& sources = {},
        std::span<const std::uint8_t> textModel = {});

    // Evidence (roughly bits of information) that a matching rule adds: see
    // Ranking.h.
    static std::uint32_t evidenceOf(const SourceRule& rule);
};

} // namespace gv::vonk
