// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/build/SourceDefinition.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// Imports the PRONOM registry's formats from its published signature files
// (the byte-signature file and the container-signature file, committed under
// third_party/pronom) and merges them with the types already defined.
//
// One type, several names: a PRONOM format joins an existing type when our
// mapping table says so (definitions/pronom.map), else when it lists a MIME
// type that the type lists (generic ones such as text/plain excepted); the
// type then carries its PUID. A format that joins a type known only by name
// lends it its signatures. Every other format with a signature becomes a
// type of its own, `pronom:` + its PUID, whose evidence is damped like any
// imported magic so that it ranks below our definitions.
//
// Malformed signatures are skipped with a warning naming the PUID; nothing
// here is fatal.
class PronomImport {
public:
    static constexpr std::string_view kIdPrefix = "pronom:";

    bool parseSignatureFile(std::string_view xml, const std::string& fileName);
    bool parseContainerFile(std::string_view xml, const std::string& fileName);
    // Lines "PUID id" ('#' starts a comment).
    bool parseMapping(std::string_view text, const std::string& fileName);
    // The newest DROID_SignatureFile_*.xml and container-signature-*.xml in
    // the folder; false when the byte-signature file is missing or broken.
    bool parseFolder(const std::string& folder);
    bool parseMappingFile(const std::string& path);

    // Appends the formats that join no existing type; returns how many.
    std::size_t mergeInto(std::vector<SourceDefinition>& defs);

    const std::vector<std::string>& warnings() const { return m_warnings; }
    std::size_t formatsSeen() const { return m_formats.size(); }
    std::size_t formatsJoined() const { return m_joined; }

    struct Format {
        int id = 0;
        std::string puid;
        std::string name;
        std::string version;
        std::vector<std::string> mimes;
        std::vector<std::string> exts;
        std::vector<int> signatureIds;
        std::vector<int> priorityOver; // format ids
        std::vector<SourceRule> containers; // from the container file
        std::string containerMime; // the carrier's MIME type when it has containers
        int line = 0;
    };
    struct Element;

private:
    void warn(const std::string& reason) { m_warnings.push_back(reason); }
    // `who` names the formats and the signature in warnings.
    bool byteSequence(const Element& seq, const std::string& who, int signatureId, SourceRule& out);
    bool internalSignature(const Element& sig, const std::string& who, int signatureId, SourceRule& out);
    SourceRule rulesOf(const Format& f) const;

    std::vector<Format> m_formats;
    std::map<int, std::string> m_puidById;
    // Compiled internal signatures by id, and the PUIDs that use each (for
    // warnings); a signature that failed to compile is absent.
    std::map<int, SourceRule> m_signatures;
    std::map<std::string, std::string> m_mapping;
    std::vector<std::string> m_warnings;
    std::string m_file;
    std::string m_signatureFile = "PRONOM";
    std::size_t m_joined = 0;
};

} // namespace gv::vonk
