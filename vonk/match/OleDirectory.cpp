// SPDX-License-Identifier: GPL-3.0-or-later
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
    m_compObj = {};
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
        std::uint32_t start = 0;
        std::uint64_t size = 0;
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
            Entry entry{{}, e[0x42], le32(e + 0x44), le32(e + 0x48), le32(e + 0x4C), le32(e + 0x74), le32(e + 0x78)};
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
    std::vector<std::uint32_t> rootChildren;
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
            rootChildren.push_back(i);
            todo.push_back(entries[i].left);
            todo.push_back(entries[i].right);
        }
    }
    if (m_names.empty()) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].type != 0 && !(i == 0 && entries[i].type == 5)) {
                m_names.push_back(entries[i].name);
                rootChildren.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    m_valid = !m_names.empty();

    // The CompObj stream: a hundred bytes or so, normally in the mini stream
    // (streams below the cutoff are kept in 64-byte sectors inside the root
    // entry's own stream, allocated by the mini allocation table).
    const Entry* compObj = nullptr;
    for (std::uint32_t i : rootChildren) {
        if (entries[i].type == 2 && entries[i].name == "\x01" "CompObj")
            compObj = &entries[i];
    }
    if (!compObj || entries[0].type != 5)
        return;
    // Chains are followed a bounded number of steps: a loop or a lying size
    // ends the read, never the program.
    constexpr std::uint32_t kMaxSteps = 1u << 16;
    auto walk = [&](std::uint32_t s0, std::uint64_t steps) -> std::uint32_t {
        if (steps > kMaxSteps)
            return kEndOfChain;
        for (std::uint64_t k = 0; k < steps && s0 < 0xFFFFFFFA; ++k)
            s0 = next(s0);
        return s0;
    };
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(compObj->size, 4096));
    std::vector<std::uint8_t> data;
    data.reserve(want);
    const std::uint32_t cutoff = le32(h + 0x38);
    if (compObj->size < cutoff) {
        const std::uint32_t miniFat = le32(h + 0x3C);
        const std::uint32_t miniStream = entries[0].start;
        std::uint8_t mini[64];
        std::uint8_t link[4];
        std::uint32_t m = compObj->start;
        for (std::size_t n = 0; data.size() < want && m < 0xFFFFFFFA && n < kMaxSteps; ++n) {
            const std::uint64_t offset = std::uint64_t{m} * 64;
            std::uint32_t sector = walk(miniStream, offset / sectorSize);
            if (sector >= 0xFFFFFFFA || src.readAt(sectorPos(sector) + offset % sectorSize, mini, 64) != 64)
                break;
            data.insert(data.end(), mini, mini + std::min<std::size_t>(64, want - data.size()));
            std::uint32_t fatSector = walk(miniFat, m / perFatSector);
            if (fatSector >= 0xFFFFFFFA || src.readAt(sectorPos(fatSector) + 4 * (m % perFatSector), link, 4) != 4)
                break;
            m = le32(link);
        }
    } else {
        std::vector<std::uint8_t> buf(sectorSize);
        std::uint32_t sector = compObj->start;
        for (std::size_t n = 0; data.size() < want && sector < 0xFFFFFFFA && n < kMaxSteps; ++n) {
            if (src.readAt(sectorPos(sector), buf.data(), sectorSize) != sectorSize)
                break;
            data.insert(data.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(sectorSize, want - data.size())));
            sector = next(sector);
        }
    }
    m_compObj = parseCompObj(data.data(), data.size());
}

OleDirectory::CompObj parseCompObj(const std::uint8_t* data, std::size_t size)
{
    // A 28-byte header, then the user type, the clipboard format and the
    // program id, each a length (with its NUL) and ANSI text; the clipboard
    // format may instead be a marker (0xFFFFFFFF, 0xFFFFFFFE) and a standard
    // format number, or absent (0).
    OleDirectory::CompObj out;
    std::size_t pos = 28;
    auto text = [&](std::string& to) {
        if (pos + 4 > size)
            return false;
        const std::uint32_t len = le32(data + pos);
        pos += 4;
        if (len == 0xFFFFFFFF || len == 0xFFFFFFFE) {
            pos += 4;
            return pos <= size;
        }
        if (len > 4096 || len > size - pos)
            return false;
        std::size_t n = 0;
        while (n < len && data[pos + n] != 0)
            ++n;
        to.assign(reinterpret_cast<const char*>(data + pos), n);
        pos += len;
        return true;
    };
    if (text(out.userType) && text(out.clipboardFormat))
        text(out.progId);
    return out;
}

bool OleDirectory::compObjStartsWith(std::string_view prefix) const
{
    auto starts = [&](const std::string& s) {
        return s.size() >= prefix.size()
            && std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
    };
    return !prefix.empty() && (starts(m_compObj.clipboardFormat) || starts(m_compObj.progId) || starts(m_compObj.userType));
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
