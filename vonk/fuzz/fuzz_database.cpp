// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the database loader: any bytes must give either a clear error or a
// database the matcher can use safely. The checksum is not verified, so
// mutations reach the structural checks behind it.

#include "vonk/format/Database.h"
#include "vonk/match/Matcher.h"
#include "vonk/match/Probe.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    auto db = gv::vonk::Database::fromBytes(std::vector<std::uint8_t>(data, data + size), error, false);
    if (!db) {
        if (error.empty())
            __builtin_trap(); // every rejection must say why
        return 0;
    }
    gv::vonk::Matcher matcher(*db);
    gv::vonk::Probe probe;
    static const std::uint8_t sample[] = "PK\x03\x04<?xml version=\"1.0\"?><svg xmlns=\"x\"/> #!/bin/sh {\"a\": 1}";
    gv::vonk::MemorySource inputs[] = {gv::vonk::MemorySource({sample, sizeof sample}), gv::vonk::MemorySource({data, size})};
    for (auto& src : inputs) {
        probe.reset(src);
        const auto& cands = matcher.identify(probe);
        for (const auto& c : cands) {
            for (const auto& hit : matcher.explain(probe, c.def))
                (void)db->str(db->node(hit.node).src);
            (void)db->str(db->def(c.def).desc);
        }
    }
    return 0;
}
