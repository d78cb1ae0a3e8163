// SPDX-License-Identifier: GPL-3.0-or-later
// vonk-defs: checks definition sources and writes the binary database.
//   vonk-defs [-o VonkDefs.vkd] [--imports DIR] [--mime-dir DIR] [--no-import] SOURCE...
// (a SOURCE may be a folder of *.vdef). The types that the sources lack are
// imported from the other projects' lists committed in DIR (third_party/)
// and, by hand, from a folder of shared-mime-info package files.
// Exit codes: 0 done, 1 errors in the sources, 2 usage or output errors.

#include "vonk/format/Database.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/format/DbFormat.h"
#include "vonk/build/DefinitionParser.h"
#include "vonk/base/FileAccess.h"
#include "vonk/base/Platform.h"
#include "vonk/build/PronomImport.h"
#include "vonk/build/ThirdPartyImport.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// The PRONOM files a folder holds, as --info lists its sources: the
// version is in each file's name (DROID_SignatureFile_V122.xml,
// container-signature-20260119.xml).
std::string pronomSources(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.ends_with(".xml"))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& name : names) {
        const auto cut = name.find_last_of('_') != std::string::npos && name.starts_with("DROID") ? name.find_last_of('_') + 1
                                                                                                 : name.find_last_of('-') + 1;
        out += "pronom " + name + "\t" + name.substr(cut, name.size() - 4 - cut) + "\n";
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Compiles vonk definition sources (*.vdef) into a definitions database."};
    std::vector<std::string> sources;
    std::string output;
    bool quiet = false;
    bool showIndex = false;
    bool noImport = false;
    std::string importsDir;
    std::string mimeDir;
    std::string textModelPath;
    app.add_option("sources", sources, "definition sources, or folders holding *.vdef files")->required();
    app.add_option("-o,--output", output, "database to write (without it the sources are only checked)");
    app.add_flag("-q,--quiet", quiet, "print nothing but errors");
    app.add_flag("--show-index", showIndex, "print how each definition is found (fixed bytes, a searched literal, or tried on every file)");
    auto* noImportOpt = app.add_flag("--no-import", noImport, "import nothing: our own definitions only");
    app.add_option("--imports", importsDir, "import the type lists committed in this folder (third_party: mime-info/, tika/, puremagic/)")
        ->excludes(noImportOpt);
    app.add_option("--mime-dir", mimeDir, "also import shared-mime-info package files (*.xml) from this folder")
        ->excludes(noImportOpt);
    std::string pronomDir, pronomMap;
    app.add_option("--pronom-dir", pronomDir, "import the PRONOM signature files (DROID_SignatureFile_*.xml, container-signature-*.xml) from this folder")
        ->excludes(noImportOpt);
    app.add_option("--pronom-map", pronomMap, "our table of PRONOM formats that are types we define (lines \"PUID id\")")
        ->excludes(noImportOpt);
    app.add_option("--text-model", textModelPath, "the trained text model (definitions/text-model/model.bin) to include");
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
    const bool importing = !noImport && (!importsDir.empty() || !mimeDir.empty());
    gv::vonk::ThirdPartyImport importer;
    std::string importedSources;
    if (importing) {
        // Imports are a bonus: when one is missing or broken the build goes
        // on with the rest and says so.
        if (!importsDir.empty())
            importer.readVendored(importsDir);
        if (!mimeDir.empty())
            importer.readMimeFolder(mimeDir);
        imported = importer.mergeInto(parser.definitions()).added;
        // Their lists are not ours to fix: the build says how many rules
        // were left out, a run by hand which.
        const auto warnings = importer.warnings();
        if (quiet && !warnings.empty())
            std::cerr << "vonk-defs: " << warnings.size() << " warning(s) importing other projects' types (run without --quiet to list them)\n";
        for (const auto& w : quiet ? std::vector<std::string>{} : warnings)
            std::cerr << "vonk-defs: warning: " << w << '\n';
    }

    importedSources = importer.sources();

    // PRONOM comes last: its formats join the types above when they are the
    // same format, and only the rest become types of their own.
    std::size_t pronomAdded = 0, pronomJoined = 0;
    if (!noImport && !pronomDir.empty()) {
        gv::vonk::PronomImport pronom;
        if (!pronomMap.empty())
            pronom.parseMappingFile(pronomMap);
        if (pronom.parseFolder(pronomDir)) {
            pronomAdded = pronom.mergeInto(parser.definitions());
            pronomJoined = pronom.formatsJoined();
        }
        const auto& warnings = pronom.warnings();
        if (quiet && !warnings.empty())
            std::cerr << "vonk-defs: " << warnings.size() << " PRONOM signature(s) left out (run without --quiet to list them)\n";
        for (const auto& w : quiet ? std::vector<std::string>{} : warnings)
            std::cerr << "vonk-defs: warning: " << w << '\n';
        importedSources += pronomSources(pronomDir);
    }

    std::uint64_t when = static_cast<std::uint64_t>(std::time(nullptr));
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"))
        when = std::strtoull(epoch, nullptr, 10);
    std::vector<std::uint8_t> textModel;
    if (!textModelPath.empty()) {
        std::string error, text;
        if (!gv::vonk::readWholeFile(textModelPath, gv::vonk::db::kMaxPool, text, error)) {
            std::cerr << "vonk-defs: " << error << '\n';
            return 2;
        }
        textModel.assign(text.begin(), text.end());
    }
    auto bytes = gv::vonk::DatabaseWriter::build(parser.definitions(), when, importedSources, textModel);
    if (!textModel.empty()) {
        // Checked as vonk will check it, so a damaged model stops the build
        // rather than every later run.
        std::string error;
        if (!gv::vonk::Database::fromBytes(bytes, error)) {
            std::cerr << "vonk-defs: " << textModelPath << ": " << error << '\n';
            return 1;
        }
    }
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
        for (const auto& l : db->literals()) {
            if (static_cast<gv::vonk::db::Zone>(l.zone) == gv::vonk::db::Zone::XmlRoot)
                how[l.def] += " root(" + std::string(db->str(l.text)) + ")";
            else
                how[l.def] += std::string(" literal(") + (l.zone ? "tail " : "head ") + std::to_string(l.extent) + (l.flags & 1 ? ", text only" : "") + ")";
        }
        for (std::uint32_t a : db->always())
            how[a] += " every-file";
        for (std::uint32_t i = 0; i < db->defCount(); ++i)
            std::cout << db->str(db->def(i).id) << ":" << how[i] << '\n';
    }
    if (!quiet) {
        std::cout << "vonk-defs: " << ownCount << " definitions from " << files << " source(s)";
        if (importing)
            std::cout << ", " << imported << " imported";
        if (!noImport && !pronomDir.empty())
            std::cout << ", " << pronomAdded << " from PRONOM (" << pronomJoined << " more PRONOM formats joined existing types)";
        if (!output.empty())
            std::cout << " -> " << output << " (" << bytes.size() << " bytes)";
        std::cout << '\n';
    }
    return 0;
}
