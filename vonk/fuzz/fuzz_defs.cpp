// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the definition compiler: any source text must give errors with a
// line number, or a database that loads.

#include "vonk/format/Database.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/build/DefinitionParser.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gv::vonk::DefinitionParser parser;
    parser.parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.vdef");
    if (!parser.finish()) {
        for (const auto& e : parser.errors()) {
            if (e.reason.empty())
                __builtin_trap();
        }
        return 0;
    }
    if (parser.definitions().empty())
        return 0;
    std::string error;
    if (!gv::vonk::Database::fromBytes(gv::vonk::DatabaseWriter::build(parser.definitions()), error))
        __builtin_trap(); // the compiler wrote something its own loader rejects
    return 0;
}
