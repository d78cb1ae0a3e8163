// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/ByteSource.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// The member names of a ZIP archive, read from its central directory, which
// is found from the end-of-central-directory record. Work is bounded: at
// most kMaxEntries names and kMaxDirectoryBytes of directory, whatever the
// archive claims. A damaged directory leaves `valid` false.
class ZipDirectory {
public:
    static constexpr std::size_t kMaxEntries = 20000;
    static constexpr std::size_t kMaxDirectoryBytes = 4u << 20;

    // `tail` holds the file's last bytes (up to 64 KiB), where the end record
    // is looked for without another read.
    void read(ByteSource& src, std::span<const std::uint8_t> tail);
    bool valid() const { return m_valid; }
    // A name ending in '/' matches any member under that prefix.
    bool has(std::string_view name) const;
    const std::vector<std::string>& names() const { return m_names; }

private:
    bool m_valid = false;
    std::vector<std::string> m_names;
    std::vector<std::uint8_t> m_buffer;
};

// The first local file header of a ZIP archive, at offset 0.
struct ZipFirstMember {
    bool found = false;
    std::string name;
    bool stored = false;      // method 0: data is the member's content
    std::string dataPrefix;   // up to 256 bytes of the stored data
};
ZipFirstMember readZipFirstMember(const std::uint8_t* head, std::size_t size);

} // namespace gv::vonk
