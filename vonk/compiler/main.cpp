// SPDX-License-Identifier: GPL-3.0-or-later
// vonk-defs: checks definition sources and writes the binary database.
//   vonk-defs [-o VonkDefs.vkd] [--no-import | --mime-dir DIR] SOURCE...
// (a SOURCE may be a folder of *.vdef). The types of the system's
// shared-mime-info database that the sources lack are imported too.
// Exit codes: 0 done, 1 errors in the sources, 2 usage or output errors.

#include "vonk/format/Database.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/format/DbFormat.h"
#include "vonk/build/DefinitionParser.h"
#include "vonk/base/FileAccess.h"
#include "vonk/base/Platform.h"
#include "vonk/build/MimeInfoImport.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string_view>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    CLI::App app{"Compiles vonk definition sources (*.vdef) into a definitions database."};
    std::vector<std::string> sources;
    std::string output;
    bool quiet = false;
    bool showIndex = false;
    bool noImport = false;
    std::string mimeDir = gv::vonk::MimeInfoImport::kDefaultFolder;
    app.add_option("sources", sources, "definition sources, or folders holding *.vdef files")->required();
    app.add_option("-o,--output", output, "database to write (without it the sources are only checked)");
    app.add_flag("-q,--quiet", quiet, "print nothing but errors");
    app.add_flag("--show-index", showIndex, "print how each definition is found (fixed bytes, a searched literal, or tried on every file)");
    auto* noImportOpt = app.add_flag("--no-import", noImport, "do not import the types of the shared-mime-info database");
    app.add_option("--mime-dir", mimeDir, "import shared-mime-info package files (*.xml) from this folder")
        ->capture_default_str()
        ->excludes(noImportOpt);
    // Arguments as UTF-8 whatever the system, after the program's name, in
    // the reverse order CLI11 takes a vector in.
    auto args = gv::vonk::platform::arguments(argc, argv);
    app.name(args.front());
    args.erase(args.begin());
    std::reverse(args.begin(), args.end());
    gv::vonk::platform::prepareConsole();
    // "/x" is a path here on every system, never an option.
    app.allow_windows_style_options(false);
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }

    // A source left out in silence would leave its types out of the
    // database, so every folder must be listed and every *.vdef in it read
    // (a folder or a FIFO named like one is refused by the parser).
    gv::vonk::DefinitionParser parser;
    std::vector<gv::vonk::SourceError> listingErrors;
    std::size_t files = 0;
    for (const auto& s : sources) {
        std::error_code ec;
        if (fs::is_directory(s, ec)) {
            std::vector<fs::path> found;
            fs::directory_iterator it(s, ec), end;
            for (; !ec && it != end; it.increment(ec)) {
                if (it->path().extension() == ".vdef")
                    found.push_back(it->path());
            }
            if (ec) {
                listingErrors.push_back({s, 0, "cannot list the folder: " + ec.message()});
                continue;
            }
            std::sort(found.begin(), found.end());
            for (const auto& p : found) {
                parser.parseFile(p.string());
                ++files;
            }
        } else {
            parser.parseFile(s);
            ++files;
        }
    }
    bool ok = parser.finish() && listingErrors.empty();
    for (const auto& e : listingErrors)
        std::cerr << e.format() << '\n';
    for (const auto& e : parser.errors())
        std::cerr << e.format() << '\n';
    if (!ok) {
        std::cerr << "vonk-defs: " << listingErrors.size() + parser.errors().size() << " error(s); no database written\n";
        return 1;
    }
    if (parser.definitions().empty()) {
        std::cerr << "vonk-defs: no definitions found in the sources\n";
        return 1;
    }

    const std::size_t ownCount = parser.definitions().size();
    std::size_t imported = 0;
    if (!noImport) {
        // The system's database is a bonus: when it is missing or broken the
        // build goes on with our own types and says so.
        gv::vonk::MimeInfoImport importer;
        std::error_code ec;
        if (!fs::is_directory(mimeDir, ec)) {
            std::cerr << "vonk-defs: warning: " << mimeDir << " not found (is shared-mime-info installed?); no types imported\n";
        } else if (importer.parseFolder(mimeDir) == 0) {
            std::cerr << "vonk-defs: warning: no *.xml files in " << mimeDir << "; no types imported\n";
        } else {
            imported = importer.mergeInto(parser.definitions());
        }
        for (const auto& w : importer.warnings())
            std::cerr << "vonk-defs: warning: " << w << '\n';
    }

    std::uint64_t when = static_cast<std::uint64_t>(std::time(nullptr));
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"))
        when = std::strtoull(epoch, nullptr, 10);
    auto bytes = gv::vonk::DatabaseWriter::build(parser.definitions(), when);
    if (!output.empty()) {
        // Replaced whole, so a reader never sees a half-written database; a
        // link or a device named as the output stays what it is.
        std::string error;
        std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (!gv::vonk::replaceFile(output, view, error)) {
            std::cerr << "vonk-defs: " << error << '\n';
            return 2;
        }
    }
    if (showIndex) {
        std::string error;
        auto db = gv::vonk::Database::fromBytes(bytes, error);
        if (!db) {
            std::cerr << "vonk-defs: " << error << '\n';
            return 2;
        }
        std::vector<std::string> how(db->defCount());
        for (const auto& a : db->anchors()) {
            char buf[64];
            std::snprintf(buf, sizeof buf, " bytes@%lld/%u", static_cast<long long>(a.offset), static_cast<unsigned>(a.len));
            how[a.def] += buf;
        }
        for (const auto& l : db->literals())
            how[l.def] += std::string(" literal(") + (l.zone ? "tail " : "head ") + std::to_string(l.extent) + (l.flags & 1 ? ", text only" : "") + ")";
        for (std::uint32_t a : db->always())
            how[a] += " every-file";
        for (std::uint32_t i = 0; i < db->defCount(); ++i)
            std::cout << db->str(db->def(i).id) << ":" << how[i] << '\n';
    }
    if (!quiet) {
        std::cout << "vonk-defs: " << ownCount << " definitions from " << files << " source(s)";
        if (!noImport)
            std::cout << ", " << imported << " imported from shared-mime-info";
        if (!output.empty())
            std::cout << " -> " << output << " (" << bytes.size() << " bytes)";
        std::cout << '\n';
    }
    return 0;
}
