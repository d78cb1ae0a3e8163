// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/build/ThirdPartyImport.h"

#include "vonk/base/FileAccess.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace gv::vonk {

namespace fs = std::filesystem;

namespace {

// The main database of shared-mime-info, read before the other packages.
constexpr const char* kMainMimePackage = "shared-mime-info";

bool isFile(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

} // namespace

void ThirdPartyImport::addSource(const std::string& name, const std::string& originFile)
{
    std::string version = "unknown";
    std::string text, reason;
    if (readWholeFile(originFile, 1u << 16, text, reason)) {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("version:", 0) == 0) {
                version = line.substr(8);
                version.erase(0, version.find_first_not_of(' '));
            }
    } else {
        m_warnings.push_back(originFile + ": " + reason + "; version unknown");
    }
    for (char& c : version)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    m_sources += name + "\t" + version + "\n";
}

void ThirdPartyImport::readVendored(const std::string& folder)
{
    const fs::path root(folder);
    std::error_code ec;
    std::vector<fs::path> packages;
    for (fs::directory_iterator it(root / "mime-info", ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec))
            packages.push_back(it->path());
    if (ec || packages.empty())
        m_warnings.push_back((root / "mime-info").string() + ": no shared-mime-info packages; none imported");
    std::sort(packages.begin(), packages.end(), [](const fs::path& a, const fs::path& b) {
        bool am = a.filename() == kMainMimePackage, bm = b.filename() == kMainMimePackage;
        return am != bm ? am : a < b;
    });
    for (const auto& p : packages) {
        std::vector<fs::path> files;
        for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().extension() == ".xml")
                files.push_back(it->path());
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            m_mimeInfo.parseFile(f.string());
            addSource("shared-mime-info " + f.filename().string() + " (" + p.filename().string() + ")", (p / "ORIGIN").string());
        }
    }
    const fs::path tika = root / "tika" / "tika-mimetypes.xml";
    if (isFile(tika)) {
        m_tika.parseFile(tika.string());
        addSource("tika tika-mimetypes.xml", (root / "tika" / "ORIGIN").string());
    } else {
        m_warnings.push_back(tika.string() + " not found; nothing imported from Tika");
    }
    const fs::path pure = root / "puremagic" / "magic_data.json";
    if (isFile(pure)) {
        m_pureMagic.parseFile(pure.string());
        addSource("puremagic magic_data.json", (root / "puremagic" / "ORIGIN").string());
    } else {
        m_warnings.push_back(pure.string() + " not found; nothing imported from puremagic");
    }
}

void ThirdPartyImport::readMimeFolder(const std::string& folder)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        m_warnings.push_back(folder + " not found; no types imported from it");
        return;
    }
    if (m_mimeInfo.parseFolder(folder) == 0)
        m_warnings.push_back("no *.xml files in " + folder + "; no types imported from it");
    else
        m_sources += "shared-mime-info " + folder + "\tas found on the build machine\n";
}

ImportMerge::Result ThirdPartyImport::mergeInto(std::vector<SourceDefinition>& defs)
{
    return ImportMerge::mergeInto(defs, {&m_mimeInfo.types(), &m_tika.types(), &m_pureMagic.types()});
}

std::vector<std::string> ThirdPartyImport::warnings() const
{
    std::vector<std::string> all = m_warnings;
    for (const auto* w : {&m_mimeInfo.warnings(), &m_tika.warnings(), &m_pureMagic.warnings()})
        all.insert(all.end(), w->begin(), w->end());
    return all;
}

} // namespace gv::vonk
