// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/build/ImportMerge.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// Imports freedesktop shared-mime-info package files (and Tika's type list,
// written in the same language) as extra definitions for the types our own
// sources lack. Our sources always win: an imported type is dropped when we
// define its MIME type or one of its aliases, and imported ids carry a prefix
// no source id can have, so they never shadow ours.
//
// The system's files are not ours to fix, so nothing here is fatal: a
// malformed file or rule is skipped with a warning naming file:line.
class MimeInfoImport {
public:
    static constexpr std::string_view kSourceTag = "shared-mime-info";
    static constexpr std::string_view kIdPrefix = "mime:";

    // Tika writes its type list in the same language with a few additions:
    // descriptions in <_comment>, string values in hex ("0x..."),
    // case-insensitive and UTF-16 strings, and minShouldMatch.
    enum class Dialect { SharedMimeInfo, Tika };
    static constexpr std::string_view kTikaSourceTag = "tika";
    static constexpr std::string_view kTikaIdPrefix = "tika:";
    explicit MimeInfoImport(Dialect dialect = Dialect::SharedMimeInfo) : m_dialect(dialect) {}

    // Reads one package file; returns false (with a warning) when it is not
    // well-formed, in which case nothing from it is kept.
    bool parse(std::string_view xml, const std::string& fileName);
    bool parseFile(const std::string& path);
    // Every *.xml in the folder, sorted by name. Returns the number of files read.
    std::size_t parseFolder(const std::string& folder);

    // Appends to `defs` (already checked sources) the imported types they
    // lack. Returns how many were added.
    std::size_t mergeInto(std::vector<SourceDefinition>& defs);

    const std::vector<std::string>& warnings() const { return m_warnings; }
    // Types seen, and of them those dropped because our sources define them.
    std::size_t typesSeen() const { return m_types.size(); }
    std::size_t typesOurs() const { return m_ours; }

    using Type = ImportedType;
    const std::vector<Type>& types() const { return m_types; }

    // A parsed XML element (the reader builds a tree per file).
    struct Element;

private:
    void importType(const Element& e);
    bool convertMatch(const Element& m, int depth, SourceRule& out);
    void warn(int line, const std::string& reason);

    std::vector<Type> m_types;
    std::vector<std::string> m_warnings;
    std::string m_file;
    std::size_t m_ours = 0;
    Dialect m_dialect;
};

} // namespace gv::vonk
