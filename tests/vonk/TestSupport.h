// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the identifier's engine tests: temporary folders, and
// databases compiled in-process from source text.

#include "vonk/format/Database.h"
#include "vonk/match/TextTokens.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/build/DefinitionParser.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace gv::vonk::test {

// Gives the owner back write access before removing, as engine tests make
// unreadable files and folders on purpose.
using TempDir = gv::test::TempFolder;

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A character device to use as a target; empty when none is at hand.
inline std::string characterDevice()
{
#ifdef _WIN32
    return "NUL";
#else
    for (const char* p : {"/dev/zero", "/dev/full", "/dev/null", "/dev/urandom"}) {
        struct stat st {};
        if (::stat(p, &st) == 0 && S_ISCHR(st.st_mode))
            return p;
    }
    return {};
#endif
}

inline std::vector<std::uint8_t> toBytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

// Compiles source text; fails the test on source errors. `textModel` is
// a text model section to include.
inline std::unique_ptr<Database> compile(const std::string& source, std::span<const std::uint8_t> textModel = {})
{
    DefinitionParser parser;
    parser.parse(source, "test.vdef");
    bool ok = parser.finish();
    for (const auto& e : parser.errors())
        ADD_FAILURE() << e.format();
    if (!ok)
        return nullptr;
    std::string error;
    auto db = Database::fromBytes(DatabaseWriter::build(parser.definitions(), 0, {}, textModel), error);
    EXPECT_TRUE(db) << error;
    return db;
}

// A text model section whose features are single words: each word gives its
// classes these weights. `unitsPerNat1000` is the calibration.
struct ModelWord {
    std::string word;
    std::vector<std::int8_t> weights;
};
inline std::vector<std::uint8_t> makeTextModel(const std::vector<std::string>& classes, const std::vector<ModelWord>& words,
    std::uint32_t slots = 16, std::uint32_t unitsPerNat1000 = 10000)
{
    db::TextModelHeader h{};
    std::memcpy(h.magic, db::kTextModelMagic, sizeof h.magic);
    h.version = db::kTextModelVersion;
    h.classCount = static_cast<std::uint32_t>(classes.size());
    h.featureCount = static_cast<std::uint32_t>(words.size());
    h.slotCount = slots;
    h.headBytes = 8192;
    h.unitsPerNat1000 = unitsPerNat1000;
    std::vector<std::uint8_t> out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    for (const auto& c : classes) {
        std::string name = c;
        name.resize(db::kTextClassName, '\0');
        out.insert(out.end(), name.begin(), name.end());
    }
    out.insert(out.end(), classes.size() * 4, 0);
    std::vector<db::TextModelSlot> table(slots, db::TextModelSlot{0, db::kNoTextRow});
    std::vector<TextFeature> f;
    for (std::uint32_t row = 0; row < words.size(); ++row) {
        textFeatures(words[row].word, f);
        std::uint32_t s = f.front().hash & (slots - 1);
        while (table[s].hash != 0)
            s = (s + 1) & (slots - 1);
        table[s] = {f.front().hash, row};
    }
    auto* t = reinterpret_cast<const std::uint8_t*>(table.data());
    out.insert(out.end(), t, t + table.size() * sizeof(db::TextModelSlot));
    for (const auto& w : words) {
        for (std::int8_t v : w.weights)
            out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

inline std::vector<std::uint8_t> compileFileBytes(const std::string& path)
{
    DefinitionParser parser;
    parser.parseFile(path);
    EXPECT_TRUE(parser.finish());
    return DatabaseWriter::build(parser.definitions());
}

inline std::string le16(unsigned v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
inline std::string le32(std::uint32_t v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

struct ZipMember {
    std::string name;
    std::string data;
    bool deflate = false; // stored raw-deflated (method 8) rather than as is
};

// A raw deflate stream of `data`, as ZIP members hold it.
inline std::string deflateRaw(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A ZIP archive with stored members, a central directory and an end record.
inline std::string makeZip(const std::vector<ZipMember>& members, const std::string& prefix = {})
{
    std::string out = prefix, central;
    for (const auto& m : members) {
        std::uint32_t offset = static_cast<std::uint32_t>(out.size() - prefix.size());
        const std::string packed = m.deflate ? deflateRaw(m.data) : m.data;
        const unsigned method = m.deflate ? 8 : 0;
        out += "PK\x03\x04" + le16(20) + le16(0) + le16(method) + le16(0) + le16(0) + le32(0)
            + le32(static_cast<std::uint32_t>(packed.size())) + le32(static_cast<std::uint32_t>(m.data.size()))
            + le16(static_cast<unsigned>(m.name.size())) + le16(0) + m.name + packed;
        central += "PK\x01\x02" + le16(20) + le16(20) + le16(0) + le16(method) + le16(0) + le16(0) + le32(0)
            + le32(static_cast<std::uint32_t>(packed.size())) + le32(static_cast<std::uint32_t>(m.data.size()))
            + le16(static_cast<unsigned>(m.name.size())) + le16(0) + le16(0) + le16(0) + le16(0) + le32(0) + le32(offset) + m.name;
    }
    std::uint32_t cdOffset = static_cast<std::uint32_t>(out.size() - prefix.size());
    out += central;
    out += "PK\x05\x06" + le16(0) + le16(0) + le16(static_cast<unsigned>(members.size())) + le16(static_cast<unsigned>(members.size()))
        + le32(static_cast<std::uint32_t>(central.size())) + le32(cdOffset) + le16(0);
    return out;
}

// A minimal OLE2 compound file (512-byte sectors): header, one allocation
// sector, two directory sectors holding a root entry with the given class id
// (16 bytes as stored, or none), the streams as the root's children (a chain
// of right siblings; at most 7 with the stale entries), and stale entries
// that no link reaches, as editors leave them in free slots.
inline std::string makeOle(const std::vector<std::string>& streams, const std::string& rootClsid = {},
                           const std::vector<std::string>& stale = {})
{
    std::string header(512, '\0');
    const char magic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    header.replace(0, 8, magic, 8);
    header.replace(0x18, 2, le16(0x3E));
    header.replace(0x1A, 2, le16(3));
    header.replace(0x1C, 2, le16(0xFFFE));
    header.replace(0x1E, 2, le16(9));
    header.replace(0x20, 2, le16(6));
    header.replace(0x2C, 4, le32(1));   // one allocation sector
    header.replace(0x30, 4, le32(1));   // directory starts at sector 1
    header.replace(0x3C, 4, le32(0xFFFFFFFE));
    header.replace(0x44, 4, le32(0xFFFFFFFE));
    for (int i = 0; i < 109; ++i)
        header.replace(0x4C + 4 * i, 4, le32(i == 0 ? 0 : 0xFFFFFFFF));
    std::string fat(512, '\xFF');
    fat.replace(0, 4, le32(0xFFFFFFFD));  // sector 0: allocation table itself
    fat.replace(4, 4, le32(2));           // sector 1: directory, continued in 2
    fat.replace(8, 4, le32(0xFFFFFFFE));  // sector 2: end of the directory chain
    std::string dir(1024, '\0');
    auto entry = [&](std::size_t index, const std::string& name, char type, std::uint32_t child, std::uint32_t right) {
        std::string e(128, '\0');
        for (std::size_t k = 0; k < name.size(); ++k)
            e[2 * k] = name[k];
        e.replace(0x40, 2, le16(static_cast<unsigned>(2 * (name.size() + 1))));
        e[0x42] = type;
        e.replace(0x44, 4, le32(0xFFFFFFFF));
        e.replace(0x48, 4, le32(right));
        e.replace(0x4C, 4, le32(child));
        if (type == 5 && rootClsid.size() == 16)
            e.replace(0x50, 16, rootClsid);
        dir.replace(index * 128, 128, e);
    };
    const std::size_t n = std::min<std::size_t>(streams.size(), 7);
    entry(0, "Root Entry", 5, n ? 1 : 0xFFFFFFFF, 0xFFFFFFFF);
    for (std::size_t i = 0; i < n; ++i)
        entry(i + 1, streams[i], 2, 0xFFFFFFFF, i + 1 < n ? static_cast<std::uint32_t>(i + 2) : 0xFFFFFFFF);
    for (std::size_t i = 0; i < stale.size() && n + 1 + i < 8; ++i)
        entry(n + 1 + i, stale[i], 2, 0xFFFFFFFF, 0xFFFFFFFF);
    return header + fat + dir;
}

} // namespace gv::vonk::test
