// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/format/Database.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace gv::vonk {

// What `vonk --list` and `vonk --info` print about a loaded database.
class DatabaseListing {
public:
    struct Counts {
        std::uint32_t ours = 0;
        std::uint32_t imported = 0;
        std::uint32_t total = 0;
    };
    static Counts counts(const Database& db);

    // One line per definition: id, extensions, MIME types, description,
    // source, separated by tabs; then the counts on a line starting "#".
    static void list(const Database& db, std::FILE* out);
    // Format version, build date (UTC), counts, size and checksum.
    static void info(const Database& db, const std::string& path, std::uint64_t fileSize, std::FILE* out);
};

} // namespace gv::vonk
