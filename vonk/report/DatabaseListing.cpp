// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/report/DatabaseListing.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>
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

// What the rules under a node look at: container members, XML roots, bytes.
void survey(const Database& db, std::uint32_t node, bool& container, bool& xml, bool& bytes, int depth = 0)
{
    const db::NodeRecord n = db.node(node);
    switch (static_cast<db::NodeKind>(n.kind)) {
    case db::NodeKind::ZipHas:
    case db::NodeKind::ZipFirst:
    case db::NodeKind::OleHas:
    case db::NodeKind::OleClsid:
    case db::NodeKind::EbmlDocType:
        container = true;
        break;
    case db::NodeKind::XmlRoot:
        xml = true;
        break;
    case db::NodeKind::Not:
    case db::NodeKind::Size:
        break; // never evidence of a type on their own
    case db::NodeKind::All:
    case db::NodeKind::Any:
    case db::NodeKind::Some:
        if (depth < static_cast<int>(db::kMaxNesting))
            for (std::uint32_t c = 0; c < n.count; ++c)
                survey(db, n.first + c, container, xml, bytes, depth + 1);
        break;
    default:
        bytes = true;
    }
}

} // namespace

const char* DatabaseListing::kindName(Kind k)
{
    switch (k) {
    case Kind::Content: return "content";
    case Kind::Container: return "container";
    case Kind::XmlRoot: return "xml-root";
    case Kind::NameOnly: break;
    }
    return "name only";
}

DatabaseListing::Kind DatabaseListing::kindOf(const Database& db, std::uint32_t def)
{
    const db::DefRecord d = db.def(def);
    if (d.flags & db::kDefNameOnly)
        return Kind::NameOnly;
    bool container = false, xml = false, bytes = false;
    survey(db, d.root, container, xml, bytes);
    if (container)
        return Kind::Container;
    if (xml && !bytes)
        return Kind::XmlRoot;
    return Kind::Content;
}

std::string DatabaseListing::sourceOf(const Database& db, std::uint32_t def)
{
    const db::DefRecord d = db.def(def);
    if (!(d.flags & db::kDefImported))
        return "ours";
    std::string_view s = db.str(d.source);
    return field(s.substr(0, s.find(':')));
}

DatabaseListing::Counts DatabaseListing::counts(const Database& db)
{
    Counts c;
    c.total = db.defCount();
    for (std::uint32_t i = 0; i < c.total; ++i) {
        if (db.def(i).flags & db::kDefImported)
            ++c.imported;
        if (!(db.def(i).flags & db::kDefNameOnly))
            ++c.byContent;
    }
    c.ours = c.total - c.imported;
    return c;
}

void DatabaseListing::list(const Database& db, std::FILE* out)
{
    std::fputs("# id\textensions\tMIME types\tdescription\tsource\tmatches by\n", out);
    // Source -> count per kind; ours first, then in the order met.
    std::vector<std::pair<std::string, std::array<std::uint32_t, kKinds>>> bySource{{"ours", {}}};
    std::array<std::uint32_t, kKinds> byKind{};
    for (std::uint32_t i = 0; i < db.defCount(); ++i) {
        const db::DefRecord d = db.def(i);
        const Kind k = kindOf(db, i);
        std::fprintf(out, "%s\t%s\t%s\t%s\t%s\t%s\n", field(db.str(d.id)).c_str(), field(db.str(d.ext)).c_str(),
            field(db.str(d.mime)).c_str(), field(db.str(d.desc)).c_str(), field(db.str(d.source)).c_str(), kindName(k));
        const std::string src = sourceOf(db, i);
        auto it = std::find_if(bySource.begin(), bySource.end(), [&](const auto& e) { return e.first == src; });
        if (it == bySource.end())
            it = bySource.insert(bySource.end(), {src, {}});
        ++it->second[static_cast<int>(k)];
        ++byKind[static_cast<int>(k)];
    }
    Counts c = counts(db);
    std::fprintf(out, "# %u definitions: %u ours, %u imported; %u can match by content\n", c.total, c.ours, c.imported, c.byContent);
    auto kinds = [&](const std::array<std::uint32_t, kKinds>& n) {
        std::string s;
        for (int k = 0; k < kKinds; ++k)
            s += std::string(k ? ", " : "") + kindName(static_cast<Kind>(k)) + " " + std::to_string(n[k]);
        return s;
    };
    for (const auto& [src, n] : bySource) {
        std::uint32_t sum = 0;
        for (auto x : n)
            sum += x;
        std::fprintf(out, "# source %s: %u (%s)\n", src.c_str(), sum, kinds(n).c_str());
    }
    std::fprintf(out, "# by kind: %s\n", kinds(byKind).c_str());
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
    std::fprintf(out, "definitions:  %u (%u ours, %u imported; %u can match by content)\n", c.total, c.ours, c.imported, c.byContent);
    // One "NAME\tVERSION" line per imported source.
    std::string_view sources = db.str(h.sources);
    const char* label = "imported:     ";
    while (!sources.empty()) {
        std::string_view line = sources.substr(0, sources.find('\n'));
        sources.remove_prefix(std::min(sources.size(), line.size() + 1));
        std::string_view name = line.substr(0, line.find('\t'));
        std::string_view version = name.size() < line.size() ? line.substr(name.size() + 1) : std::string_view("unknown");
        std::fprintf(out, "%s%s, version %s\n", label, field(name).c_str(), field(version).c_str());
        label = "              ";
    }
    std::fprintf(out, "size:         %llu bytes\n", static_cast<unsigned long long>(fileSize));
    std::fprintf(out, "checksum:     %08x (XXH3)\n", static_cast<unsigned>(h.bodyHash));
}

} // namespace gv::vonk
