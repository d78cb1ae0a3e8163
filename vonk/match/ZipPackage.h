// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/ByteSource.h"
#include "vonk/match/ZipDirectory.h"

#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// The content type of a ZIP package's main part, as the package itself
// declares it: office documents, fixed-layout documents and 3D models all
// store `[Content_Types].xml` (each part's content type) and `_rels/.rels`
// (the package's relationships, one of which points to the main part). The
// content type tells apart what the member names cannot: a template from a
// document, a macro-enabled workbook from an add-in, a slide show from a
// presentation.
//
// The main part is the target of the root relationship that names it (the
// office document, the fixed-document sequence, the 3D model); a package
// without readable relationships falls back to the first part whose content
// type declares itself a main part. Both members are read with the bounds of
// ZipDirectory::read. Empty when the package declares none.
std::string zipMainContentType(const ZipDirectory& zip, ByteSource& src);

// The value of each `NAME="..."` attribute of every element whose local name
// is `element`, in document order, for the attributes asked; a small scanner
// for the flat manifests packages keep, not a general XML parser.
struct XmlAttributes {
    std::string first, second;
};
std::vector<XmlAttributes> scanXmlElements(std::string_view xml, std::string_view element, std::string_view firstName,
                                           std::string_view secondName);

} // namespace gv::vonk
