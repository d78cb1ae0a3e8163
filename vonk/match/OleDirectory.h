// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/ByteSource.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// The top-level stream and storage names of an OLE2 compound document and
// the class id of its root storage, read by following the directory's sector
// chain through the allocation table. Only entries the root's sibling tree
// reaches count: a program's main streams sit there, while embedded objects
// (a workbook inside a presentation) sit in sub-storages, and editors leave
// stale entries behind in the directory's free slots. A tree that cannot be
// walked (a damaged or truncated file) falls back to every named entry.
// Bounded: at most kMaxSectors directory sectors and kMaxEntries names.
class OleDirectory {
public:
    static constexpr std::size_t kMaxSectors = 512;
    static constexpr std::size_t kMaxEntries = 4096;

    void read(ByteSource& src);
    bool valid() const { return m_valid; }
    // Case-insensitive (ASCII) comparison.
    bool has(std::string_view name) const;
    const std::vector<std::string>& names() const { return m_names; }
    // The root storage's class id as text ("00020906-0000-0000-C000-000000000046"),
    // empty when the root entry is missing or its id is all zero.
    const std::string& rootClsid() const { return m_rootClsid; }
    // What the root's CompObj stream says the document is: the user type
    // ("Microsoft Word-Dokument": localised), the clipboard format
    // ("MSWordDoc", "MSProject.MPP14") and the program id ("Word.Document.8").
    // Empty strings when the stream is missing or says nothing there.
    struct CompObj {
        std::string userType, clipboardFormat, progId;
    };
    const CompObj& compObj() const { return m_compObj; }
    // The clipboard format, the program id or the user type starts with
    // `prefix` (ASCII case-insensitive).
    bool compObjStartsWith(std::string_view prefix) const;

private:
    bool m_valid = false;
    std::vector<std::string> m_names;
    std::string m_rootClsid;
    CompObj m_compObj;
};

// The strings of a CompObj stream's content (see OleDirectory::compObj).
OleDirectory::CompObj parseCompObj(const std::uint8_t* data, std::size_t size);

} // namespace gv::vonk
