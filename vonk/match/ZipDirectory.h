// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/ByteSource.h"

#include <cstdint>
#include <optional>
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
    // A member's content is read for a look inside (a package's manifest),
    // never whole: at most this much output, from at most kMaxPackedBytes of
    // input, whatever its headers claim.
    static constexpr std::size_t kMaxMemberBytes = 64u << 10;
    static constexpr std::size_t kMaxPackedBytes = 1u << 20;

    // `tail` holds the file's last bytes (up to 64 KiB), where the end record
    // is looked for without another read.
    void read(ByteSource& src, std::span<const std::uint8_t> tail);
    bool valid() const { return m_valid; }
    // A name ending in '/' matches any member under that prefix; a '*'
    // stands for any run of characters within one path segment
    // ("*.dist-info/WHEEL").
    bool has(std::string_view name) const;
    const std::vector<std::string>& names() const { return m_names; }
    // The start of member `name`'s content (at most `limit` bytes, stored or
    // deflated), or nothing when the member is missing, encrypted, packed
    // another way or unreadable. A damaged or cut stream gives what came out
    // before the damage.
    std::optional<std::string> read(ByteSource& src, std::string_view name, std::size_t limit = kMaxMemberBytes) const;

private:
    // Where a member's data is, as the central directory says.
    struct Entry {
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint64_t packedSize = 0;
        std::uint64_t localOffset = 0;
    };

    bool m_valid = false;
    std::vector<std::string> m_names;
    std::vector<Entry> m_entries;
    // Bytes in front of the archive (a self-extractor's program), by which
    // every recorded offset is shifted.
    std::uint64_t m_shift = 0;
    std::vector<std::uint8_t> m_buffer;
};

// '*' matches any run of characters other than '/'; everything else itself.
bool zipNameMatches(std::string_view pattern, std::string_view name);

// The first local file header of a ZIP archive, at offset 0.
struct ZipFirstMember {
    bool found = false;
    std::string name;
    bool stored = false;      // method 0: data is the member's content
    std::string dataPrefix;   // up to 256 bytes of the stored data
};
ZipFirstMember readZipFirstMember(const std::uint8_t* head, std::size_t size);

} // namespace gv::vonk
