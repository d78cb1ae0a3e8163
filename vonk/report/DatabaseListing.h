// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/format/Database.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace gv::vonk {

// What `vonk --list` and `vonk --info` print about a loaded database.
class DatabaseListing {
public:
    // How a definition can match: by its bytes, by members of a container
    // (ZIP, OLE2, EBML), by an XML root element alone, or not by content
    // at all (known by name only).
    enum class Kind { Content, Container, XmlRoot, NameOnly };
    static constexpr int kKinds = 4;
    static const char* kindName(Kind k);
    static Kind kindOf(const Database& db, std::uint32_t def);
    // "ours" for our sources, else the imported source's name.
    static std::string sourceOf(const Database& db, std::uint32_t def);

    struct Counts {
        std::uint32_t ours = 0;
        std::uint32_t imported = 0;
        std::uint32_t total = 0;
        std::uint32_t byContent = 0; // every kind but name only
    };
    static Counts counts(const Database& db);

    // One line per definition: id, extensions, MIME types, description,
    // source, how it matches, separated by tabs; then the counts on lines
    // starting "#": totals, by source and kind, and by kind.
    static void list(const Database& db, std::FILE* out);
    // Format version, build date (UTC), counts, size and checksum.
    static void info(const Database& db, const std::string& path, std::uint64_t fileSize, std::FILE* out);
};

} // namespace gv::vonk
