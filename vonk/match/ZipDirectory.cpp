// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/ZipDirectory.h"

#include "vonk/base/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <string.h>

namespace gv::vonk {

void ZipDirectory::read(ByteSource& src, std::span<const std::uint8_t> tail)
{
    m_valid = false;
    m_names.clear();
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
    (void)cdOffset;
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
        pos += 46 + nameLen + extraLen + commentLen;
    }
    m_valid = true;
}

bool ZipDirectory::has(std::string_view name) const
{
    if (!m_valid)
        return false;
    bool prefix = !name.empty() && name.back() == '/';
    for (const auto& n : m_names) {
        if (prefix ? std::string_view(n).starts_with(name) : n == name)
            return true;
    }
    return false;
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
