// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/build/SourceDefinition.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// A type as another project's data describes it, before it becomes a
// definition: what every importer produces.
struct ImportedType {
    std::string mime;                 // empty: the source names no MIME type
    std::string key;                  // id suffix when `mime` is empty
    std::vector<std::string> aliases;
    std::vector<std::string> subClassOf;
    std::vector<std::string> exts;
    std::string comment;
    std::string icon;
    std::string source;               // "shared-mime-info", "tika", "puremagic"
    std::string idPrefix;             // "mime:", "tika:", "puremagic:"
    std::string file;
    int line = 0;
    int priority = -1;                // highest priority of its magic, -1 without magic
    SourceRule alternatives;          // an Any block: magic matches and XML roots
};

// Turns the types of several sources into definitions, one per MIME type
// (aliases included). Our definitions come first and are never changed: a
// type that names one of their MIME types is dropped. Sources follow in the
// order given; the first to name a MIME type defines it, and a later one
// only adds what it lacks (extensions, aliases, parents, magic the first
// did not have). Types without a MIME type are kept apart, by their key.
class ImportMerge {
public:
    struct Result {
        std::size_t added = 0;    // new definitions
        std::size_t ours = 0;     // types dropped for our definitions
        std::size_t enriched = 0; // types that added to an earlier source's
    };
    static Result mergeInto(std::vector<SourceDefinition>& defs, const std::vector<const std::vector<ImportedType>*>& sources);

    // The evidence the strongest way through a rule tree adds, and whether
    // all its patterns are printable text: what damping is computed from.
    static std::uint32_t strength(const SourceRule& r);
    static bool textLike(const SourceRule& r);
};

} // namespace gv::vonk
