// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/format/DbFormat.h"
#include "vonk/match/ByteSource.h"
#include "vonk/match/DerStructure.h"
#include "vonk/match/MediaHeaders.h"
#include "vonk/match/OleDirectory.h"
#include "vonk/match/TextClassifier.h"
#include "vonk/match/TextSniffer.h"
#include "vonk/match/TiffDirectory.h"
#include "vonk/match/ZipDirectory.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// What the matcher knows about one file: its size, a bounded head and tail,
// and analyses (text, markup, containers) computed only when a rule asks and
// then kept for the other rules. Buffers are reused from file to file.
class Probe {
public:
    static constexpr std::size_t kTextSample = 16384;
    static constexpr std::size_t kShortTail = 4096;
    static constexpr std::size_t kPastHead = 4096;
    // A file larger than the head and what comes past it is read this far
    // first, and the rest of its head only when something asks for it.
    static constexpr std::size_t kFirstRead = 16384;
    static_assert(kFirstRead >= kTextSample, "the text is judged on what the first read brings");

    Probe() = default;
    // The cached source refers to its probe.
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    void reset(ByteSource& src);

    // The file as the readers see it: reads that the head or tail already
    // hold are served from them, so a reader checking a header costs no
    // system call.
    ByteSource& source() { return m_cached; }
    std::uint64_t size() const { return m_size; }
    std::span<const std::uint8_t> head()
    {
        if (m_readLen < m_headWant)
            readRestOfHead();
        return {m_head.data(), m_headLen};
    }
    // What of the head is read so far: all of it, or at least kFirstRead bytes.
    std::span<const std::uint8_t> headRead() const { return {m_head.data(), m_headLen}; }
    // How long head() is.
    std::size_t headSize() const { return std::min<std::size_t>(m_headWant, db::kHeadSize); }
    // The file's last bytes: at least min(size, n), at most 64 KiB. Large
    // files get a short tail first; it grows only when a rule asks.
    std::span<const std::uint8_t> tail(std::size_t n = 0);
    std::uint64_t tailStart() const { return m_size - m_tailLen; }

    // The n bytes at pos, from the head or tail when they hold them, else read
    // now (a small range with the block around it, which neighbouring rules
    // read too: the superblocks past the head). Null when the range is not
    // wholly inside the file. The bytes stay valid until the next call.
    const std::uint8_t* bytesAt(std::uint64_t pos, std::size_t n);

    const TextInfo& text();
    const XmlRoot& xml();
    bool json();
    // How many bytes of text the JSON judgement covered.
    std::size_t jsonLength();
    TableShape table(char separator);
    const KeyFileShape& keyFile();
    const MappingShape& mapping();
    const std::string& shebang();
    const ZipDirectory& zip();
    const ZipFirstMember& zipFirst();
    // The content type of a ZIP package's main part (see ZipPackage.h).
    const std::string& zipContentType();
    // The start of a ZIP member's content (ZipDirectory::read), kept for the
    // other rules that ask for the same member; null when it cannot be read.
    const std::string* zipMember(std::string_view name);
    const OleDirectory& ole();
    const TiffDirectory& tiff();
    DerShape derShape();
    const LeadingTags& leadingTags();
    const FileTypeBox& fileTypeBox();
    const TopLevelBoxes& topLevelBoxes();
    // The head as text a sniffer can read (see asciiView).
    const std::string& textView();

private:
    class CachedSource final : public ByteSource {
    public:
        explicit CachedSource(Probe& probe) : m_probe(probe) {}
        std::uint64_t size() const override { return m_probe.m_size; }
        std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;

    private:
        Probe& m_probe;
    };

    void readRestOfHead();

    ByteSource* m_src = nullptr;
    CachedSource m_cached{*this};
    std::uint64_t m_size = 0;
    std::vector<std::uint8_t> m_head;    // the head, then what the first read brought past it
    std::size_t m_headLen = 0;
    std::size_t m_readLen = 0;           // bytes of the file at the start of m_head
    std::size_t m_headWant = 0;          // what m_head holds once the head is read in full
    std::vector<std::uint8_t> m_tailBuf;
    const std::uint8_t* m_tailPtr = nullptr;
    std::size_t m_tailLen = 0;
    std::vector<std::uint8_t> m_scratch;
    std::vector<std::uint8_t> m_far;
    std::uint64_t m_farPos = 0;
    std::size_t m_farLen = 0;

    enum Done : unsigned { kText = 1, kView = 2, kXml = 4, kJson = 8, kShebang = 16, kZip = 32, kZipFirst = 64, kOle = 128, kKeyFile = 256, kMapping = 512, kZipContentType = 1024 };
    unsigned m_done = 0;
    TextInfo m_text;
    std::string m_view;
    XmlRoot m_xml;
    bool m_json = false;
    // Tables judged so far for this file, by separator (a few at most).
    struct Table {
        char separator;
        TableShape shape;
    };
    std::vector<Table> m_tables;
    KeyFileShape m_keyFile;
    MappingShape m_mapping;
    std::string m_shebang;
    ZipDirectory m_zip;
    ZipFirstMember m_zipFirst;
    std::string m_zipContentType;
    struct Member {
        std::string name;
        std::optional<std::string> content;
    };
    std::vector<Member> m_zipMembers;
    OleDirectory m_ole;
    // Read on first use for this file.
    bool m_tiffRead = false;
    TiffDirectory m_tiff;
    bool m_derRead = false;
    DerShape m_derShape = DerShape::None;
    // Media structures, read when a rule first asks.
    struct Media {
        bool tagsRead = false, fileTypeRead = false, boxesRead = false;
        LeadingTags tags;
        FileTypeBox fileType;
        TopLevelBoxes boxes;
    };
    Media m_media;
};

} // namespace gv::vonk
