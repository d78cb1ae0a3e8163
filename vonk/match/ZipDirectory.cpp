// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/ZipDirectory.h"

#include "vonk/base/LittleEndian.h"
#include "vonk/match/Inflate.h"

#include <algorithm>
#include <cstring>
#include <string.h>

namespace gv::vonk {

void ZipDirectory::read(ByteSource& src, std::span<const std::uint8_t> tail)
{
    m_valid = false;
    m_names.clear();
    m_entries.clear();
    m_shift = 0;
    const std::uint64_t size = src.size();
    const std::size_t tailLen = tail.size();
    if (size < 22 || tailLen < 22 || tailLen > size)
        return;
    const std::uint64_t tailStart = size - tailLen;
    // The end record is the last "PK\5\6" whose comment reaches the end.
    std::size_t eocd = std::string::npos;
    const std::uint8_t* base = tail.data();
    std::size_t searchEnd = tailLen - 22 + 1;
    while (searchEnd > 0) {
        const void* hit = ::memrchr(base, 'P', searchEnd);
        if (!hit)
            break;
        std::size_t i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
        const std::uint8_t* p = base + i;
        if (p[1] == 'K' && p[2] == 5 && p[3] == 6 && i + 22 + le16(p + 20) <= tailLen) {
            eocd = i;
            break;
        }
        searchEnd = i;
    }
    if (eocd == std::string::npos)
        return;
    std::uint8_t endRecord[22];
    std::memcpy(endRecord, base + eocd, 22);
    const std::uint8_t* e = endRecord;
    std::uint8_t locator[20];
    bool haveLocator = eocd >= 20;
    if (haveLocator)
        std::memcpy(locator, base + eocd - 20, 20);
    std::uint64_t entries = le16(e + 10);
    std::uint64_t cdSize = le32(e + 12);
    std::uint64_t cdOffset = le32(e + 16);
    std::uint64_t eocdPos = tailStart + eocd;
    std::uint64_t cdEnd = eocdPos;
    if ((entries == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF) && haveLocator) {
        // ZIP64: the locator just before the end record points to the ZIP64 end record.
        const std::uint8_t* loc = locator;
        if (le32(loc) == 0x07064b50) {
            std::uint64_t z64 = le64(loc + 8);
            std::uint8_t rec[56];
            if (z64 + 56 <= size && src.readAt(z64, rec, 56) == 56 && le32(rec) == 0x06064b50) {
                entries = le64(rec + 32);
                cdSize = le64(rec + 40);
                cdOffset = le64(rec + 48);
                cdEnd = z64;
            }
        }
    }
    if (cdSize > cdEnd)
        return;
    // Data prepended to the archive (self-extractors) shifts every offset.
    std::uint64_t actualStart = cdEnd - cdSize;
    m_shift = actualStart > cdOffset ? actualStart - cdOffset : 0;
    std::size_t readLen = static_cast<std::size_t>(std::min<std::uint64_t>(cdSize, kMaxDirectoryBytes));
    m_buffer.resize(readLen);
    if (src.readAt(actualStart, m_buffer.data(), readLen) != readLen)
        return;
    std::size_t pos = 0;
    std::uint64_t limit = std::min<std::uint64_t>(entries, kMaxEntries);
    for (std::uint64_t k = 0; k < limit; ++k) {
        if (pos + 46 > readLen)
            break;
        const std::uint8_t* h = m_buffer.data() + pos;
        if (le32(h) != 0x02014b50) {
            if (k == 0)
                return;
            break;
        }
        std::size_t nameLen = le16(h + 28), extraLen = le16(h + 30), commentLen = le16(h + 32);
        if (pos + 46 + nameLen > readLen)
            break;
        m_names.emplace_back(reinterpret_cast<const char*>(h + 46), nameLen);
        Entry entry{le16(h + 8), le16(h + 10), le32(h + 20), le32(h + 42)};
        // ZIP64 keeps the sizes and offsets that do not fit in an extra
        // field, in a fixed order, each only when its slot is all ones.
        std::size_t x = pos + 46 + nameLen, xEnd = std::min(x + extraLen, readLen);
        while (x + 4 <= xEnd) {
            std::size_t len = le16(m_buffer.data() + x + 2);
            if (le16(m_buffer.data() + x) == 0x0001) {
                const std::uint8_t* f = m_buffer.data() + x + 4;
                const std::uint8_t* fEnd = f + std::min(len, xEnd - x - 4);
                auto take = [&](std::uint64_t& v, bool wide) {
                    if (wide && f + 8 <= fEnd) {
                        v = le64(f);
                        f += 8;
                    }
                };
                std::uint64_t unpacked = 0;
                take(unpacked, le32(h + 24) == 0xFFFFFFFF);
                take(entry.packedSize, entry.packedSize == 0xFFFFFFFF);
                take(entry.localOffset, entry.localOffset == 0xFFFFFFFF);
                break;
            }
            x += 4 + len;
        }
        m_entries.push_back(entry);
        pos += 46 + nameLen + extraLen + commentLen;
    }
    m_valid = true;
}

bool zipNameMatches(std::string_view pattern, std::string_view name)
{
    // Going back to the last star alone is enough: an earlier star could only
    // take more of the same segment, which the last one can take as well.
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos && name[starN] != '/') {
            p = starP;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool ZipDirectory::has(std::string_view name) const
{
    if (!m_valid)
        return false;
    const bool prefix = !name.empty() && name.back() == '/';
    const bool glob = name.find('*') != std::string_view::npos;
    const std::size_t depth = static_cast<std::size_t>(std::count(name.begin(), name.end(), '/'));
    for (const auto& n : m_names) {
        std::string_view member(n);
        if (glob && prefix) {
            // Compare the pattern with as many leading segments of the member.
            std::size_t cut = 0, seen = 0;
            while (seen < depth && (cut = member.find('/', cut)) != std::string_view::npos) {
                ++cut;
                ++seen;
            }
            if (seen == depth && zipNameMatches(name, member.substr(0, cut)))
                return true;
        } else if (glob ? zipNameMatches(name, member) : prefix ? member.starts_with(name) : member == name) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> ZipDirectory::read(ByteSource& src, std::string_view name, std::size_t limit) const
{
    auto it = m_valid ? std::find(m_names.begin(), m_names.end(), name) : m_names.end();
    if (it == m_names.end())
        return std::nullopt;
    const Entry& e = m_entries[static_cast<std::size_t>(it - m_names.begin())];
    if ((e.flags & 1) || (e.method != 0 && e.method != 8))
        return std::nullopt; // encrypted, or a method we do not unpack
    // The local header, where the directory says (shifted by what precedes
    // the archive), else where the unshifted offset points.
    const std::uint64_t size = src.size();
    std::uint8_t local[30];
    std::uint64_t at = 0;
    bool found = false;
    for (std::uint64_t candidate : {e.localOffset + m_shift, e.localOffset}) {
        if (candidate <= size && size - candidate >= 30 && src.readAt(candidate, local, 30) == 30 && le32(local) == 0x04034b50) {
            at = candidate;
            found = true;
            break;
        }
    }
    if (!found)
        return std::nullopt;
    const std::uint64_t data = at + 30 + le16(local + 26) + le16(local + 28);
    if (data > size)
        return std::nullopt;
    // Never trust the recorded size further than the file and our bound.
    std::uint64_t packed = std::min<std::uint64_t>({e.packedSize, size - data, kMaxPackedBytes});
    if (e.method == 0)
        packed = std::min<std::uint64_t>(packed, limit);
    if (e.method == 0) {
        std::string stored(static_cast<std::size_t>(packed), '\0');
        if (src.readAt(data, reinterpret_cast<std::uint8_t*>(stored.data()), stored.size()) != stored.size())
            return std::nullopt;
        return stored;
    }
    struct Member {
        ByteSource& src;
        std::uint64_t start;
    } member{src, data};
    auto read = [](void* context, std::uint64_t offset, std::uint8_t* buffer, std::size_t count) -> std::size_t {
        auto& m = *static_cast<Member*>(context);
        return m.src.readAt(m.start + offset, buffer, count);
    };
    return inflateRaw(read, &member, packed, limit);
}

ZipFirstMember readZipFirstMember(const std::uint8_t* head, std::size_t size)
{
    ZipFirstMember m;
    if (size < 30 || le32(head) != 0x04034b50)
        return m;
    std::size_t nameLen = le16(head + 26), extraLen = le16(head + 28);
    if (30 + nameLen > size)
        return m;
    m.found = true;
    m.name.assign(reinterpret_cast<const char*>(head + 30), nameLen);
    m.stored = le16(head + 8) == 0;
    std::size_t data = 30 + nameLen + extraLen;
    if (m.stored && data < size) {
        std::size_t len = std::min<std::size_t>({size - data, 256, le32(head + 18) ? std::size_t{le32(head + 18)} : std::size_t{256}});
        m.dataPrefix.assign(reinterpret_cast<const char*>(head + data), len);
    }
    return m;
}

} // namespace gv::vonk
