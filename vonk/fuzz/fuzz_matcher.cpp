// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes matching: any file content, against definitions using every rule
// kind (containers, markup, numbers, ranges), must be judged without a
// crash, an overrun or unbounded work.

#include "vonk/format/Database.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/build/DefinitionParser.h"
#include "vonk/fuzz/FuzzDefinitions.h"
#include "vonk/match/Matcher.h"
#include "vonk/match/Probe.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace {

const gv::vonk::Database& database()
{
    static std::unique_ptr<gv::vonk::Database> db = [] {
        gv::vonk::DefinitionParser parser;
        parser.parse(gv::vonk::fuzz::kSource, "fuzz.vdef");
        if (!parser.finish())
            std::abort();
        std::string error;
        auto d = gv::vonk::Database::fromBytes(gv::vonk::DatabaseWriter::build(parser.definitions()), error);
        if (!d)
            std::abort();
        return d;
    }();
    return *db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static gv::vonk::Matcher matcher(database());
    static gv::vonk::Probe probe;
    gv::vonk::MemorySource src({data, size});
    probe.reset(src);
    const auto& cands = matcher.identify(probe);
    double total = 0;
    for (const auto& c : cands) {
        total += c.percent;
        (void)matcher.explain(probe, c.def);
    }
    if (!cands.empty() && (total < 99.9 || total > 100.1))
        __builtin_trap();
    (void)probe.text().describe();
    (void)probe.xml();
    (void)probe.json();
    (void)probe.shebang();
    (void)probe.table(';');
    (void)probe.keyFile();
    (void)probe.zip();
    (void)probe.ole();
    return 0;
}
