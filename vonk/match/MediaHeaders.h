// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/ByteSource.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// Metadata that writers put in front of a stream (ID3v2 tags before MP3,
// AAC, FLAC; an APE tag with its header; the skippable frames of Zstandard
// and LZ4), skipped to find where the stream itself starts. Tags may follow
// one another; each is read from its own header, so a tag of any size (cover
// art of megabytes) is skipped without reading it.
struct LeadingTags {
    std::uint64_t end = 0; // where what follows the tags starts; 0 without tags
    unsigned count = 0;    // tags skipped
};
// `head` is the start of `src` (it saves reads); bytes past it come from `src`.
LeadingTags readLeadingTags(std::span<const std::uint8_t> head, ByteSource& src);

// The file-type box of an ISO base media file (MP4, QuickTime, 3GPP, HEIF,
// JPEG 2000): its major brand and the brands it claims compatibility with.
// The box must be the file's first, or follow a JPEG 2000 or JPEG XL
// signature box. Only the head is read.
struct FileTypeBox {
    bool found = false;
    std::string major;
    std::vector<std::string> compatible;
    bool lists(std::string_view brand) const;
};
FileTypeBox readFileTypeBox(std::span<const std::uint8_t> head);

// The types of an ISO base media file's first top-level boxes, walked by
// their sizes (a box too short, or a type that is not printable, ends the
// walk). The walk reads one box header at a time, so boxes after a large
// media-data box are found too; it stops after kMaxBoxes.
struct TopLevelBoxes {
    static constexpr std::size_t kMaxBoxes = 8;
    std::vector<std::string> types;
    bool has(std::string_view type) const;
};
TopLevelBoxes readTopLevelBoxes(std::span<const std::uint8_t> head, ByteSource& src);

} // namespace gv::vonk
