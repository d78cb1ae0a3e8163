#include "vonk/match/OleDirectory.h"

#include "vonk/base/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace gv::vonk {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;

// A class id as stored (three little-endian fields, then eight bytes in
// order) in its usual written form.
std::string formatClsid(const std::uint8_t* p)
{
    static const char digits[] = "0123456789ABCDEF";
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out;
    for (int k = 0; k < 16; ++k) {
        if (k == 4 || k == 6 || k == 8 || k == 10)
            out += '-';
        out += digits[p[order[k]] >> 4];
        out += digits[p[order[k]] & 15];
    }
    return out;
}

} // namespace

void OleDirectory::read(ByteSource& src)
{
    m_valid = false;
    m_names.clear();
    m_rootClsid.clear();
    std::uint8_t h[512];
    static const std::uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (src.readAt(0, h, 512) != 512 || std::memcmp(h, magic, 8) != 0)
        return;
    unsigned shift = le16(h + 0x1E);
    if (shift != 9 && shift != 12)
        return;
    const std::uint64_t sectorSize = std::uint64_t{1} << shift;
    const std::uint32_t perFatSector = static_cast<std::uint32_t>(sectorSize / 4);
    std::uint32_t firstDir = le32(h + 0x30);
    auto sectorPos = [&](std::uint32_t s) { return (std::uint64_t{s} + 1) * sectorSize; };

    // The first 109 allocation-table sectors are listed in the header; that
    // covers the directory of all but very large documents.
    std::uint32_t fatSectors[109];
    for (int i = 0; i < 109; ++i)
        fatSectors[i] = le32(h + 0x4C + 4 * i);
    std::vector<std::uint8_t> fatBuf(sectorSize);
    std::uint32_t cachedFat = 0xFFFFFFFF;
    auto next = [&](std::uint32_t s) -> std::uint32_t {
        std::uint32_t fi = s / perFatSector;
        if (fi >= 109)
            return kEndOfChain;
        if (fi != cachedFat) {
            if (src.readAt(sectorPos(fatSectors[fi]), fatBuf.data(), sectorSize) != sectorSize)
                return kEndOfChain;
            cachedFat = fi;
        }
        return le32(fatBuf.data() + 4 * (s % perFatSector));
    };

    struct Entry {
        std::string name;
        std::uint8_t type;
        std::uint32_t left, right, child;
    };
    std::vector<Entry> entries;
    std::vector<std::uint8_t> sec(sectorSize);
    std::uint32_t s = firstDir;
    std::vector<std::uint32_t> seen;
    for (std::size_t n = 0; n < kMaxSectors && s < 0xFFFFFFFA; ++n) {
        if (std::find(seen.begin(), seen.end(), s) != seen.end())
            break; // a chain that loops
        seen.push_back(s);
        if (src.readAt(sectorPos(s), sec.data(), sectorSize) != sectorSize)
            break;
        for (std::size_t off = 0; off + 128 <= sectorSize && entries.size() < kMaxEntries; off += 128) {
            const std::uint8_t* e = sec.data() + off;
            std::size_t nameBytes = le16(e + 0x40);
            Entry entry{{}, e[0x42], le32(e + 0x44), le32(e + 0x48), le32(e + 0x4C)};
            // Unused slots still take their index: the tree's links count them.
            if (entry.type == 0 || nameBytes < 2 || nameBytes > 64) {
                entry.type = 0;
            } else {
                for (std::size_t k = 0; k + 1 < nameBytes - 1; k += 2) {
                    std::uint16_t u = le16(e + k);
                    if (u == 0)
                        break;
                    entry.name += u < 0x80 ? static_cast<char>(u) : '?';
                }
            }
            if (entries.empty() && entry.type == 5) {
                static const std::uint8_t zero[16] = {};
                if (std::memcmp(e + 0x50, zero, 16) != 0)
                    m_rootClsid = formatClsid(e + 0x50);
            }
            entries.push_back(std::move(entry));
        }
        s = next(s);
    }

    // The root's children form one tree of left and right siblings.
    if (!entries.empty() && entries[0].type == 5) {
        std::vector<bool> visited(entries.size(), false);
        visited[0] = true;
        std::vector<std::uint32_t> todo{entries[0].child};
        while (!todo.empty()) {
            std::uint32_t i = todo.back();
            todo.pop_back();
            if (i >= entries.size() || visited[i] || entries[i].type == 0)
                continue;
            visited[i] = true;
            m_names.push_back(entries[i].name);
            todo.push_back(entries[i].left);
            todo.push_back(entries[i].right);
        }
    }
    if (m_names.empty()) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].type != 0 && !(i == 0 && entries[i].type == 5))
                m_names.push_back(entries[i].name);
        }
    }
    m_valid = !m_names.empty();
}

bool OleDirectory::has(std::string_view name) const
{
    for (const auto& n : m_names) {
        if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) { return lowerAscii(a) == lowerAscii(b); }))
            return true;
    }
    return false;
}

} // namespace gv::vonk
