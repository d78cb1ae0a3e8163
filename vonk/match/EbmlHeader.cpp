#include "vonk/match/EbmlHeader.h"

namespace gv::vonk {

namespace {

// An EBML variable-length number at `pos`: its width is told by the first
// byte's leading zero bits. `keepMarker` keeps the width bit, as element ids
// are written. False when it does not fit or is longer than `maxWidth`.
bool readVint(std::span<const std::uint8_t> b, std::size_t& pos, std::size_t maxWidth, bool keepMarker, std::uint64_t& value,
              bool& unknown)
{
    if (pos >= b.size() || b[pos] == 0)
        return false;
    std::size_t width = 1;
    while (!(b[pos] & (0x80 >> (width - 1))))
        ++width;
    if (width > maxWidth || b.size() - pos < width)
        return false;
    std::uint64_t v = keepMarker ? b[pos] : (b[pos] & (0xFF >> width));
    bool allOnes = v == (0xFFu >> width);
    for (std::size_t k = 1; k < width; ++k) {
        v = (v << 8) | b[pos + k];
        allOnes = allOnes && b[pos + k] == 0xFF;
    }
    unknown = !keepMarker && allOnes;
    pos += width;
    value = v;
    return true;
}

constexpr std::uint64_t kEbmlId = 0x1A45DFA3;
constexpr std::uint64_t kDocTypeId = 0x4282;

} // namespace

std::string readEbmlDocType(std::span<const std::uint8_t> head)
{
    std::size_t pos = 0;
    std::uint64_t id = 0, size = 0;
    bool unknown = false;
    if (!readVint(head, pos, 4, true, id, unknown) || id != kEbmlId)
        return {};
    if (!readVint(head, pos, 8, false, size, unknown) || unknown)
        return {};
    // A header longer than the head is judged on what the head holds.
    const std::size_t end = size < head.size() - pos ? pos + static_cast<std::size_t>(size) : head.size();
    const auto body = head.first(end);
    while (pos < end) {
        std::uint64_t childSize = 0;
        if (!readVint(body, pos, 4, true, id, unknown) || !readVint(body, pos, 8, false, childSize, unknown) || unknown
            || childSize > end - pos)
            return {};
        if (id == kDocTypeId) {
            std::string name(reinterpret_cast<const char*>(body.data() + pos), static_cast<std::size_t>(childSize));
            while (!name.empty() && name.back() == '\0')
                name.pop_back();
            return name;
        }
        pos += static_cast<std::size_t>(childSize);
    }
    return {};
}

} // namespace gv::vonk
