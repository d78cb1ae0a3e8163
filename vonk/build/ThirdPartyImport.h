// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/build/ImportMerge.h"
#include "vonk/build/MimeInfoImport.h"
#include "vonk/build/PureMagicImport.h"

#include <string>
#include <vector>

namespace gv::vonk {

// Reads every other project's type list the database imports, from the
// copies committed under third_party/ (and, by hand, a folder of
// shared-mime-info package files), and merges them into our definitions:
// shared-mime-info first (its main database, then the other packages by
// name), then Tika, then puremagic. Nothing here is fatal: a missing or
// broken file is a warning and the build goes on with the rest.
class ThirdPartyImport {
public:
    // The committed layout: mime-info/PACKAGE/*.xml, tika/tika-mimetypes.xml,
    // puremagic/magic_data.json, each folder with an ORIGIN note whose
    // "version:" line is recorded in the database.
    void readVendored(const std::string& folder);
    // Every *.xml in a folder of shared-mime-info package files.
    void readMimeFolder(const std::string& folder);

    ImportMerge::Result mergeInto(std::vector<SourceDefinition>& defs);

    // One "NAME\tVERSION" line per file read, for the database header.
    const std::string& sources() const { return m_sources; }
    std::vector<std::string> warnings() const;

private:
    void addSource(const std::string& name, const std::string& originFile);

    MimeInfoImport m_mimeInfo;
    MimeInfoImport m_tika{MimeInfoImport::Dialect::Tika};
    PureMagicImport m_pureMagic;
    std::string m_sources;
    std::vector<std::string> m_warnings;
};

} // namespace gv::vonk
