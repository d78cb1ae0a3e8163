// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/Probe.h"

#include "vonk/format/DbFormat.h"
#include "vonk/match/ZipPackage.h"

#include <algorithm>
#include <cstring>

namespace gv::vonk {

void Probe::reset(ByteSource& src)
{
    m_src = &src;
    m_size = src.size();
    m_done = 0;
    m_farLen = 0;
    m_tiffRead = m_derRead = false;
    m_tables.clear();
    m_media.tagsRead = m_media.fileTypeRead = m_media.boxesRead = false;
    m_zipMembers.clear();
    // The same read brings a little past the head: the superblocks that
    // file systems keep just after 64 KiB, and the whole of a file a little
    // larger than the head, come without reads of their own. A larger file
    // is read kFirstRead bytes first (see head() and bytesAt()).
    m_head.resize(db::kHeadSize + kPastHead);
    m_headWant = static_cast<std::size_t>(std::min<std::uint64_t>(m_size, db::kHeadSize + kPastHead));
    const std::size_t want = m_size > m_headWant ? kFirstRead : m_headWant;
    m_readLen = src.readAt(0, m_head.data(), want);
    if (m_readLen < want) {
        m_size = m_readLen; // the file shrank or could not be read past this point
        m_headWant = m_readLen;
    }
    m_headLen = std::min<std::size_t>(m_readLen, db::kHeadSize);
    if (m_size <= m_headLen) {
        m_tailPtr = m_head.data();
        m_tailLen = m_headLen;
        return;
    }
    // The tail is always the file's last bytes, even where it overlaps the
    // head, so a tail rule never needs to stitch two buffers.
    m_tailBuf.resize(db::kHeadSize);
    m_tailLen = 0;
    m_tailPtr = m_tailBuf.data();
    tail(kShortTail);
}

void Probe::readRestOfHead()
{
    m_readLen += m_src->readAt(m_readLen, m_head.data() + m_readLen, m_headWant - m_readLen);
    // A file that shrank meanwhile keeps the head it has.
    m_headWant = m_readLen;
    m_headLen = std::min<std::size_t>(m_readLen, db::kHeadSize);
}

std::span<const std::uint8_t> Probe::tail(std::size_t n)
{
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>({m_size, db::kHeadSize, std::max<std::uint64_t>(n, 1)}));
    if (m_tailPtr == m_head.data() || want <= m_tailLen)
        return {m_tailPtr, m_tailLen};
    // Read only the part not yet read, in front of what is there.
    std::size_t extra = want - m_tailLen;
    std::uint8_t* front = m_tailBuf.data() + db::kHeadSize - want;
    if (m_size - want + extra <= m_readLen) {
        std::memcpy(front, m_head.data() + (m_size - want), extra);
    } else if (m_src->readAt(m_size - want, front, extra) != extra) {
        // Unreadable: keep what we have.
        return {m_tailPtr, m_tailLen};
    }
    m_tailPtr = front;
    m_tailLen = want;
    return {m_tailPtr, m_tailLen};
}

const std::uint8_t* Probe::bytesAt(std::uint64_t pos, std::size_t n)
{
    if (pos > m_size || n > m_size - pos)
        return nullptr;
    if (pos + n <= m_readLen)
        return m_head.data() + pos;
    constexpr std::size_t kFarBlock = 1024;
    // Few bytes inside the head's unread part are read with the few
    // kilobytes around them, where other rules' marks lie too (the
    // descriptors at 32 KiB, the superblocks at 64 KiB); more, with the rest
    // of the head.
    const bool inHead = pos + n <= m_headWant;
    if (inHead && n > kFarBlock) {
        readRestOfHead();
        if (pos + n <= m_readLen)
            return m_head.data() + pos;
    }
    if (pos >= tailStart())
        return m_tailPtr + (pos - tailStart());
    if (pos >= m_farPos && pos - m_farPos + n <= m_farLen)
        return m_far.data() + (pos - m_farPos);
    if (n <= kFarBlock) {
        const std::size_t block = inHead ? 4 * kFarBlock : kFarBlock;
        const std::uint64_t from = pos & ~std::uint64_t{block - 1};
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(2 * block, m_size - from));
        m_far.resize(2 * block);
        m_farLen = 0;
        if (m_src->readAt(from, m_far.data(), len) != len)
            return nullptr;
        m_farPos = from;
        m_farLen = len;
        return m_far.data() + (pos - from);
    }
    m_scratch.resize(n);
    if (m_src->readAt(pos, m_scratch.data(), n) != n)
        return nullptr;
    return m_scratch.data();
}

std::size_t Probe::CachedSource::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    const Probe& p = m_probe;
    std::size_t got = 0;
    while (got < n && offset + got < p.m_size) {
        const std::uint64_t pos = offset + got;
        std::size_t k;
        if (pos < p.m_readLen) {
            k = static_cast<std::size_t>(std::min<std::uint64_t>(n - got, p.m_readLen - pos));
            std::memcpy(dst + got, p.m_head.data() + pos, k);
        } else if (p.m_tailLen && pos >= p.tailStart()) {
            k = static_cast<std::size_t>(std::min<std::uint64_t>(n - got, p.m_size - pos));
            std::memcpy(dst + got, p.m_tailPtr + (pos - p.tailStart()), k);
        } else {
            // Between the head and the tail: from the file, up to the tail.
            const std::uint64_t stop = p.m_tailLen ? p.tailStart() : p.m_size;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n - got, stop - pos));
            k = p.m_src->readAt(pos, dst + got, want);
            if (k < want)
                return got + k;
        }
        got += k;
    }
    return got;
}

const TextInfo& Probe::text()
{
    if (!(m_done & kText)) {
        std::size_t n = std::min(m_headLen, kTextSample);
        m_text = classifyText(m_head.data(), n, m_size > n);
        m_done |= kText;
        if (m_text.isText())
            m_text.lineEndings = lineEndingsOf(textView());
    }
    return m_text;
}

const std::string& Probe::textView()
{
    if (!(m_done & kView)) {
        const auto h = head();
        m_view = asciiView(h.data(), h.size(), text(), db::kHeadSize);
        m_done |= kView;
    }
    return m_view;
}

const XmlRoot& Probe::xml()
{
    if (!(m_done & kXml)) {
        m_xml = text().isText() ? findXmlRoot(textView()) : XmlRoot{};
        m_done |= kXml;
    }
    return m_xml;
}

bool Probe::json()
{
    if (!(m_done & kJson)) {
        m_json = text().isText() && isJson(textView(), m_size > headSize());
        m_done |= kJson;
    }
    return m_json;
}

std::size_t Probe::jsonLength()
{
    return json() ? textView().size() : 0;
}

TableShape Probe::table(char separator)
{
    for (const Table& t : m_tables) {
        if (t.separator == separator)
            return t.shape;
    }
    TableShape shape;
    if (text().isText())
        shape = delimitedShape(textView(), separator, m_size > headSize());
    m_tables.push_back({separator, shape});
    return shape;
}

const KeyFileShape& Probe::keyFile()
{
    if (!(m_done & kKeyFile)) {
        m_keyFile = text().isText() ? keyFileShape(textView(), m_size > headSize()) : KeyFileShape{};
        m_done |= kKeyFile;
    }
    return m_keyFile;
}

const MappingShape& Probe::mapping()
{
    if (!(m_done & kMapping)) {
        m_mapping = text().isText() ? mappingShape(textView(), m_size > headSize()) : MappingShape{};
        m_done |= kMapping;
    }
    return m_mapping;
}

const std::string& Probe::shebang()
{
    if (!(m_done & kShebang)) {
        m_shebang = text().isText() ? shebangInterpreter(textView()) : std::string();
        m_done |= kShebang;
    }
    return m_shebang;
}

const ZipDirectory& Probe::zip()
{
    if (!(m_done & kZip)) {
        // An archive that starts the file may carry a comment of up to 64 KiB
        // after its end record. One behind other data (a self-extractor, a
        // polyglot) is looked for in the last 4 KiB only, as the ZIP type's
        // own rule does: most files are not archives, and for them the long
        // search would mean reading the last 64 KiB of every large file.
        const bool startsAsZip = m_headLen >= 4 && m_head[0] == 'P' && m_head[1] == 'K'
            && ((m_head[2] == 3 && m_head[3] == 4) || (m_head[2] == 5 && m_head[3] == 6) || (m_head[2] == 7 && m_head[3] == 8));
        std::span<const std::uint8_t> t = tail(startsAsZip ? db::kHeadSize : kShortTail);
        if (!startsAsZip && t.size() > kShortTail)
            t = t.last(kShortTail);
        m_zip.read(m_cached, t);
        m_done |= kZip;
    }
    return m_zip;
}

const ZipFirstMember& Probe::zipFirst()
{
    if (!(m_done & kZipFirst)) {
        const auto h = head();
        m_zipFirst = readZipFirstMember(h.data(), h.size());
        m_done |= kZipFirst;
    }
    return m_zipFirst;
}

const std::string& Probe::zipContentType()
{
    if (!(m_done & kZipContentType)) {
        m_zipContentType = zip().valid() ? zipMainContentType(zip(), m_cached) : std::string();
        m_done |= kZipContentType;
    }
    return m_zipContentType;
}

const std::string* Probe::zipMember(std::string_view name)
{
    for (const Member& m : m_zipMembers) {
        if (m.name == name)
            return m.content ? &*m.content : nullptr;
    }
    const ZipDirectory& z = zip();
    m_zipMembers.push_back({std::string(name), z.valid() ? z.read(m_cached, name) : std::nullopt});
    const Member& m = m_zipMembers.back();
    return m.content ? &*m.content : nullptr;
}

const OleDirectory& Probe::ole()
{
    if (!(m_done & kOle)) {
        m_ole.read(m_cached);
        m_done |= kOle;
    }
    return m_ole;
}

const TiffDirectory& Probe::tiff()
{
    if (!m_tiffRead) {
        m_tiff.read(m_cached);
        m_tiffRead = true;
    }
    return m_tiff;
}

DerShape Probe::derShape()
{
    if (!m_derRead) {
        m_derShape = readDerShape(m_cached);
        m_derRead = true;
    }
    return m_derShape;
}

const LeadingTags& Probe::leadingTags()
{
    if (!m_media.tagsRead) {
        m_media.tags = readLeadingTags(headRead(), m_cached);
        m_media.tagsRead = true;
    }
    return m_media.tags;
}

const FileTypeBox& Probe::fileTypeBox()
{
    if (!m_media.fileTypeRead) {
        m_media.fileType = readFileTypeBox(head());
        m_media.fileTypeRead = true;
    }
    return m_media.fileType;
}

const TopLevelBoxes& Probe::topLevelBoxes()
{
    if (!m_media.boxesRead) {
        m_media.boxes = readTopLevelBoxes(headRead(), m_cached);
        m_media.boxesRead = true;
    }
    return m_media.boxes;
}

} // namespace gv::vonk
