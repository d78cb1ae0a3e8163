// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/report/DatabaseListing.h"

#include <cstdio>
#include <ctime>

namespace gv::vonk {

namespace {

// Tabs and line breaks in a field would break the one-line-per-definition
// layout that scripts rely on; other control characters (ESC) would drive
// the terminal, so they are shown as \xHH.
std::string field(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\t' || c == '\n' || c == '\r') {
            out += ' ';
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

DatabaseListing::Counts DatabaseListing::counts(const Database& db)
{
    Counts c;
    c.total = db.defCount();
    for (std::uint32_t i = 0; i < c.total; ++i)
        if (db.def(i).flags & db::kDefImported)
            ++c.imported;
    c.ours = c.total - c.imported;
    return c;
}

void DatabaseListing::list(const Database& db, std::FILE* out)
{
    std::fputs("# id\textensions\tMIME types\tdescription\tsource\n", out);
    for (std::uint32_t i = 0; i < db.defCount(); ++i) {
        const db::DefRecord d = db.def(i);
        std::fprintf(out, "%s\t%s\t%s\t%s\t%s\n", field(db.str(d.id)).c_str(), field(db.str(d.ext)).c_str(),
            field(db.str(d.mime)).c_str(), field(db.str(d.desc)).c_str(), field(db.str(d.source)).c_str());
    }
    Counts c = counts(db);
    std::fprintf(out, "# %u definitions: %u ours, %u imported from shared-mime-info\n", c.total, c.ours, c.imported);
}

void DatabaseListing::info(const Database& db, const std::string& path, std::uint64_t fileSize, std::FILE* out)
{
    const db::Header& h = db.header();
    char date[32] = "unknown";
    std::time_t t = static_cast<std::time_t>(h.buildTime);
    std::tm tm {};
    if (h.buildTime != 0 && gmtime_r(&t, &tm))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S UTC", &tm);
    Counts c = counts(db);
    std::fprintf(out, "database:     %s\n", path.c_str());
    std::fprintf(out, "version:      %u\n", static_cast<unsigned>(h.version));
    std::fprintf(out, "built:        %s\n", date);
    std::fprintf(out, "definitions:  %u (%u ours, %u imported from shared-mime-info)\n", c.total, c.ours, c.imported);
    std::fprintf(out, "size:         %llu bytes\n", static_cast<unsigned long long>(fileSize));
    std::fprintf(out, "checksum:     %08x (CRC-32)\n", static_cast<unsigned>(h.bodyCrc));
}

} // namespace gv::vonk
