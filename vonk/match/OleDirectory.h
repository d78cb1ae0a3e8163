#pragma once

#include "vonk/match/ByteSource.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// Stream and storage names of an OLE2 compound document, read by following
// the directory's sector chain through the allocation table. Bounded: at
// most kMaxSectors directory sectors and kMaxEntries names.
class OleDirectory {
public:
    static constexpr std::size_t kMaxSectors = 512;
    static constexpr std::size_t kMaxEntries = 4096;

    void read(ByteSource& src);
    bool valid() const { return m_valid; }
    // Case-insensitive (ASCII) comparison.
    bool has(std::string_view name) const;
    const std::vector<std::string>& names() const { return m_names; }

private:
    bool m_valid = false;
    std::vector<std::string> m_names;
};

} // namespace gv::vonk
