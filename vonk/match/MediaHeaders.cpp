// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/MediaHeaders.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace gv::vonk {

namespace {

// A file may carry an ID3v2 tag, an APE tag and a second ID3v2 tag an
// editor added in front; more than this is no longer a file a player reads.
constexpr unsigned kMaxTags = 8;

std::uint32_t be32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::uint32_t le32(const std::uint8_t* p)
{
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

std::uint64_t be64(const std::uint8_t* p)
{
    return (std::uint64_t{be32(p)} << 32) | be32(p + 4);
}

// `n` bytes at `pos` from the head when it holds them, else from the source;
// false when the file has fewer.
bool readBytes(std::span<const std::uint8_t> head, ByteSource& src, std::uint64_t pos, std::uint8_t* out, std::size_t n)
{
    if (pos <= head.size() && head.size() - pos >= n) {
        std::memcpy(out, head.data() + pos, n);
        return true;
    }
    return pos < src.size() && src.readAt(pos, out, n) == n;
}

// The length of the ID3v2 tag at `b` (its 10-byte header), 0 when it is not
// one. The size is syncsafe: seven bits a byte, so a header whose size
// bytes have the top bit set is not a tag.
std::uint64_t id3v2Length(const std::uint8_t* b)
{
    if (std::memcmp(b, "ID3", 3) != 0 || b[3] < 2 || b[3] > 4 || b[4] == 0xFF)
        return 0;
    if ((b[6] | b[7] | b[8] | b[9]) & 0x80)
        return 0;
    std::uint64_t size = (std::uint64_t{b[6]} << 21) | (std::uint64_t{b[7]} << 14) | (std::uint64_t{b[8]} << 7) | b[9];
    // Version 4 may repeat the header as a footer after the frames.
    const bool footer = b[3] == 4 && (b[5] & 0x10);
    return 10 + size + (footer ? 10 : 0);
}

// The length of an APE tag that starts with its 32-byte header, 0 when `b`
// is not one. The size in the header counts the items and the footer but
// not the header itself.
std::uint64_t apeLength(const std::uint8_t* b)
{
    constexpr std::uint32_t kIsHeader = 1u << 29;
    if (std::memcmp(b, "APETAGEX", 8) != 0)
        return 0;
    const std::uint32_t version = le32(b + 8);
    if ((version != 1000 && version != 2000) || !(le32(b + 20) & kIsHeader))
        return 0;
    for (int i = 24; i < 32; ++i) {
        if (b[i] != 0)
            return 0;
    }
    const std::uint32_t size = le32(b + 12);
    // At least the footer.
    if (size < 32)
        return 0;
    return 32 + std::uint64_t{size};
}

// The length of a skippable frame of a Zstandard or LZ4 stream (magic
// 0x184D2A50 to 0x184D2A5F, then a 32-bit size), 0 when `b` is not one.
// Both formats share it; writers use it for metadata and seek tables.
std::uint64_t skippableFrameLength(const std::uint8_t* b)
{
    if ((le32(b) & 0xFFFFFFF0u) != 0x184D2A50u)
        return 0;
    return 8 + std::uint64_t{le32(b + 4)};
}

bool printableType(const std::uint8_t* t)
{
    return std::all_of(t, t + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

} // namespace

LeadingTags readLeadingTags(std::span<const std::uint8_t> head, ByteSource& src)
{
    LeadingTags tags;
    const std::uint64_t size = src.size();
    std::array<std::uint8_t, 32> b{};
    while (tags.count < kMaxTags && tags.end < size) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(b.size(), size - tags.end));
        if (n < 8 || !readBytes(head, src, tags.end, b.data(), n))
            break;
        std::uint64_t length = skippableFrameLength(b.data());
        if (length == 0 && n >= 10)
            length = id3v2Length(b.data());
        if (length == 0 && n >= 32)
            length = apeLength(b.data());
        if (length == 0)
            break;
        // A tag cut off by the end of the file leaves nothing after it.
        tags.end = std::min(size, tags.end + length);
        ++tags.count;
    }
    return tags;
}

bool FileTypeBox::lists(std::string_view brand) const
{
    return found && (major == brand || std::find(compatible.begin(), compatible.end(), brand) != compatible.end());
}

FileTypeBox readFileTypeBox(std::span<const std::uint8_t> head)
{
    // Brands beyond these are not read: real files list a handful.
    constexpr std::size_t kMaxBrands = 64;
    FileTypeBox box;
    std::size_t pos = 0;
    // A signature box of 12 bytes may come first (JPEG 2000, JPEG XL).
    if (head.size() >= 12 && be32(head.data()) == 12
        && (std::memcmp(head.data() + 4, "jP  ", 4) == 0 || std::memcmp(head.data() + 4, "JXL ", 4) == 0))
        pos = 12;
    if (head.size() - pos < 16 || std::memcmp(head.data() + pos + 4, "ftyp", 4) != 0)
        return box;
    std::uint64_t length = be32(head.data() + pos);
    std::size_t header = 8;
    if (length == 1) {
        if (head.size() - pos < 24)
            return box;
        length = be64(head.data() + pos + 8);
        header = 16;
    }
    // Room for the major brand and the minor version at least.
    if (length < header + 8)
        return box;
    const std::uint64_t end = std::min<std::uint64_t>(pos + length, head.size());
    std::size_t at = pos + header;
    if (end - at < 8)
        return box;
    box.found = true;
    box.major.assign(reinterpret_cast<const char*>(head.data() + at), 4);
    at += 8;
    while (end - at >= 4 && box.compatible.size() < kMaxBrands) {
        box.compatible.emplace_back(reinterpret_cast<const char*>(head.data() + at), 4);
        at += 4;
    }
    return box;
}

bool TopLevelBoxes::has(std::string_view type) const
{
    return std::find(types.begin(), types.end(), type) != types.end();
}

TopLevelBoxes readTopLevelBoxes(std::span<const std::uint8_t> head, ByteSource& src)
{
    TopLevelBoxes boxes;
    const std::uint64_t size = src.size();
    std::uint64_t pos = 0;
    std::array<std::uint8_t, 16> b{};
    while (boxes.types.size() < TopLevelBoxes::kMaxBoxes && size - pos >= 8) {
        if (!readBytes(head, src, pos, b.data(), 8) || !printableType(b.data() + 4))
            break;
        std::uint64_t length = be32(b.data());
        if (length == 1) {
            if (!readBytes(head, src, pos, b.data(), 16))
                break;
            length = be64(b.data() + 8);
            if (length < 16)
                break;
        } else if (length == 0) {
            length = size - pos; // the box runs to the end of the file
        } else if (length < 8) {
            break;
        }
        boxes.types.emplace_back(reinterpret_cast<const char*>(b.data() + 4), 4);
        // The last box may be cut off by the end of a partial file.
        if (length >= size - pos)
            break;
        pos += length;
    }
    return boxes;
}

} // namespace gv::vonk
