// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/build/ImportMerge.h"

#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// Imports puremagic's signature list (magic_data.json): flat byte strings
// at an offset from the start ("headers") or from the end ("footers"), each
// with an extension, a MIME type (often none) and a description. The
// entries of one MIME type become one type; entries without one (or with
// application/octet-stream, which says nothing) one type per description.
// As with the other imports, a bad entry is skipped with a warning naming
// file:line.
class PureMagicImport {
public:
    static constexpr std::string_view kSourceTag = "puremagic";
    static constexpr std::string_view kIdPrefix = "puremagic:";

    bool parse(std::string_view json, const std::string& fileName);
    bool parseFile(const std::string& path);

    const std::vector<ImportedType>& types() const { return m_types; }
    const std::vector<std::string>& warnings() const { return m_warnings; }

private:
    void warn(int line, const std::string& reason);

    std::vector<ImportedType> m_types;
    std::vector<std::string> m_warnings;
    std::string m_file;
};

} // namespace gv::vonk
