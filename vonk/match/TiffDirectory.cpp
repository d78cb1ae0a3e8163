// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/TiffDirectory.h"

#include <algorithm>

namespace gv::vonk {

namespace {

constexpr std::uint16_t kSubIfdsTag = 330;
constexpr std::uint16_t kExifIfdTag = 34665;
// Text values read from elsewhere in the file, per file: enough for the
// maker and model of every directory, bounded against hostile counts.
constexpr int kMaxTextReads = 64;
// Directory offsets waiting to be read (a SubIFDs array may list many).
constexpr std::size_t kMaxQueued = 4 * TiffDirectory::kMaxIfds;

// Bytes one value of a field type takes; 0 for types this reader does not
// know (whose entries still count as present).
std::size_t typeSize(std::uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE ASCII SBYTE UNDEFINED
    case 3: case 8: return 2;                   // SHORT SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG SLONG FLOAT IFD
    case 5: case 10: case 12: case 16: case 17: case 18: return 8; // RATIONALs DOUBLE LONG8 SLONG8 IFD8
    default: return 0;
    }
}

bool unsignedInteger(std::uint16_t type)
{
    return type == 1 || type == 3 || type == 4 || type == 13 || type == 16 || type == 18;
}

class Reader {
public:
    Reader(ByteSource& src, bool bigEndian) : m_src(src), m_size(src.size()), m_bigEndian(bigEndian) {}

    std::uint64_t number(const std::uint8_t* p, std::size_t width) const
    {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i)
            v |= std::uint64_t{p[i]} << (8 * (m_bigEndian ? width - 1 - i : i));
        return v;
    }

    // The n bytes at pos, or false when they are not all inside the file.
    bool fetch(std::uint64_t pos, std::size_t n, std::vector<std::uint8_t>& out)
    {
        if (pos > m_size || n > m_size - pos)
            return false;
        out.resize(n);
        return m_src.readAt(pos, out.data(), n) == n;
    }

    std::uint64_t size() const { return m_size; }

private:
    ByteSource& m_src;
    std::uint64_t m_size;
    bool m_bigEndian;
};

} // namespace

void TiffDirectory::read(ByteSource& src)
{
    m_valid = false;
    m_big = false;
    m_entries.clear();
    std::uint8_t h[16] = {};
    const std::uint64_t size = src.size();
    if (size < 8 || src.readAt(0, h, static_cast<std::size_t>(std::min<std::uint64_t>(size, 16))) < 8)
        return;
    bool bigEndian = false;
    if (h[0] == 'M' && h[1] == 'M')
        bigEndian = true;
    else if (h[0] != 'I' || h[1] != 'I')
        return;
    Reader r(src, bigEndian);
    const std::uint64_t version = r.number(h + 2, 2);
    std::uint64_t first = 0;
    if (version == 43) {
        // Offsets are 8 bytes wide, and the header says so.
        if (size < 16 || r.number(h + 4, 2) != 8 || r.number(h + 6, 2) != 0)
            return;
        m_big = true;
        first = r.number(h + 8, 8);
    } else if (version == 42 || version == 0x4F52 || version == 0x5352 || version == 0x55) {
        first = r.number(h + 4, 4);
    } else {
        return;
    }
    const std::size_t offsetWidth = m_big ? 8 : 4;
    const std::size_t countWidth = m_big ? 8 : 2;
    const std::size_t entrySize = m_big ? 20 : 12;

    std::vector<std::uint64_t> queue{first};
    std::vector<std::uint64_t> seen;
    std::vector<std::uint8_t> dir, value;
    int textReads = 0;
    auto enqueue = [&](std::uint64_t off) {
        if (queue.size() < kMaxQueued)
            queue.push_back(off);
    };
    for (std::size_t qi = 0; qi < queue.size() && seen.size() < kMaxIfds; ++qi) {
        const std::uint64_t pos = queue[qi];
        // The header takes the first bytes; a directory seen before is a loop.
        if (pos < 8 || pos >= size || std::find(seen.begin(), seen.end(), pos) != seen.end())
            continue;
        seen.push_back(pos);
        if (!r.fetch(pos, countWidth, dir))
            continue;
        const std::uint64_t count = r.number(dir.data(), countWidth);
        // A truncated file still shows the entries it holds.
        const std::uint64_t room = (size - pos - countWidth) / entrySize;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>({count, kMaxEntries, room}));
        if (n == 0)
            continue;
        const bool whole = n == count && size - pos - countWidth - n * entrySize >= offsetWidth;
        if (!r.fetch(pos + countWidth, n * entrySize + (whole ? offsetWidth : 0), dir))
            continue;
        if (qi == 0)
            m_valid = true;
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint8_t* e = dir.data() + k * entrySize;
            Entry en;
            en.tag = static_cast<std::uint16_t>(r.number(e, 2));
            en.type = static_cast<std::uint16_t>(r.number(e + 2, 2));
            en.count = r.number(e + 4, offsetWidth);
            const std::uint8_t* field = e + 4 + offsetWidth;
            const std::size_t width = typeSize(en.type);
            // Values that fit in the entry are kept there, others elsewhere.
            const bool inlineValues = width != 0 && en.count <= offsetWidth / width;
            if (en.count > 0 && unsignedInteger(en.type) && inlineValues) {
                en.number = r.number(field, width);
                en.isNumber = true;
            }
            if (en.type == 2 && en.count > 0) {
                const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(en.count, kMaxText));
                if (inlineValues)
                    en.text.assign(reinterpret_cast<const char*>(field), len);
                else if (textReads++ < kMaxTextReads && r.fetch(r.number(field, offsetWidth), len, value))
                    en.text.assign(reinterpret_cast<const char*>(value.data()), len);
                en.text = en.text.substr(0, en.text.find('\0'));
            }
            const bool pointer = en.type == 4 || en.type == 13 || en.type == 16 || en.type == 18;
            if (pointer && (en.tag == kSubIfdsTag || en.tag == kExifIfdTag) && en.count > 0) {
                const std::size_t many = static_cast<std::size_t>(std::min<std::uint64_t>(en.count, kMaxIfds));
                if (inlineValues) {
                    for (std::size_t j = 0; j < many; ++j)
                        enqueue(r.number(field + j * width, width));
                } else if (r.fetch(r.number(field, offsetWidth), many * width, value)) {
                    for (std::size_t j = 0; j < many; ++j)
                        enqueue(r.number(value.data() + j * width, width));
                }
            }
            m_entries.push_back(std::move(en));
        }
        if (whole)
            enqueue(r.number(dir.data() + n * entrySize, offsetWidth));
    }
}

bool TiffDirectory::has(std::uint16_t tag) const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.tag == tag; });
}

bool TiffDirectory::hasNumber(std::uint16_t tag, std::uint64_t value) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
        [&](const Entry& e) { return e.tag == tag && e.isNumber && e.number == value; });
}

bool TiffDirectory::hasText(std::uint16_t tag, std::string_view prefix) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
        [&](const Entry& e) { return e.tag == tag && e.type == 2 && std::string_view(e.text).starts_with(prefix); });
}

} // namespace gv::vonk
