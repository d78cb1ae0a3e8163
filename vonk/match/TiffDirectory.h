// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/ByteSource.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// The tags of a TIFF file's first image directories, in either byte order,
// classic or with 64-bit offsets (BigTIFF). Camera raws and other formats
// built on TIFF differ only in their tags (a DNG version, a maker's name, a
// colour filter array, map keys), so the directories are walked: the chain
// from the first one, and the sub-image and Exif directories they point to.
// Some raws open with their own version number instead of 42 ("RO", "RS",
// 0x55); it is accepted, as the layout that follows is classic TIFF.
// Bounded whatever the file claims: at most kMaxIfds directories (each
// visited once, so loops end), kMaxEntries entries each, kMaxText bytes of
// each text value; offsets past the end are skipped.
class TiffDirectory {
public:
    static constexpr std::size_t kMaxIfds = 8;
    static constexpr std::size_t kMaxEntries = 512;
    static constexpr std::size_t kMaxText = 64;

    struct Entry {
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint64_t count = 0;
        // The first value of an integer tag (BYTE, SHORT, LONG, LONG8 and
        // the IFD types); 0 for others.
        std::uint64_t number = 0;
        bool isNumber = false;
        // An ASCII tag's text up to its first NUL, at most kMaxText bytes.
        std::string text;
    };

    void read(ByteSource& src);
    // The header and the first directory were read.
    bool valid() const { return m_valid; }
    bool big() const { return m_big; }
    bool has(std::uint16_t tag) const;
    // Some directory holds `tag` as an integer whose first value is `value`.
    bool hasNumber(std::uint16_t tag, std::uint64_t value) const;
    // Some directory holds `tag` as ASCII text that starts with `prefix`.
    bool hasText(std::uint16_t tag, std::string_view prefix) const;
    const std::vector<Entry>& entries() const { return m_entries; }

private:
    bool m_valid = false;
    bool m_big = false;
    std::vector<Entry> m_entries;
};

} // namespace gv::vonk
