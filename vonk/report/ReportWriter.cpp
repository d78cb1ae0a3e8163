// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/report/ReportWriter.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include <cmath>

#include <cstdio>

namespace gv::vonk {

namespace {

std::string_view firstWord(std::string_view s)
{
    return s.substr(0, s.find(' '));
}

std::string percentText(double p)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%5.1f%%", p);
    return buf;
}

std::string dump(const nlohmann::json& j)
{
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

ReportWriter::ReportWriter(const Database& db, std::FILE* out, Options options)
    : m_db(db)
    , m_out(out)
    , m_options(options)
{
}

ReportWriter::ReportWriter(const Database& db, std::string* sink, Options options)
    : m_db(db)
    , m_sink(sink)
    , m_options(options)
{
}

namespace {
#ifdef _WIN32
constexpr bool kBackslashSeparates = true;
#else
constexpr bool kBackslashSeparates = false;
#endif
} // namespace

std::string ReportWriter::printable(const std::string& s, Escape escape)
{
    std::string out;
    appendPrintable(out, s, escape);
    return out;
}

void ReportWriter::appendPrintable(std::string& out, std::string_view s, Escape escape)
{
    const bool backslashes = escape == Escape::Name && !kBackslashSeparates;
    // Most texts need no escape: they go out as they are.
    if (std::none_of(s.begin(), s.end(), [&](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u < 0x20 || u == 0x7F || (c == '\\' && backslashes);
        })) {
        out += s;
        return;
    }
    out.reserve(out.size() + s.size());
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        // On Windows a backslash only separates folders, never belongs to a
        // name: shown as it is, as the user wrote it.
        if (c == '\\' && escape == Escape::Name && !kBackslashSeparates) {
            out += "\\\\";
            continue;
        }
        if (u >= 0x20 && u != 0x7F) {
            out += c;
            continue;
        }
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        }
        }
    }
}

void ReportWriter::flush()
{
    if (m_sink) {
        m_sink->append(m_buf);
        m_buf.clear();
        return;
    }
    std::fwrite(m_buf.data(), 1, m_buf.size(), m_out);
    std::fflush(m_out);
    m_buf.clear();
}

namespace {

// "UTF-8", or "UTF-16LE with BOM, CRLF line endings": line endings are
// named when they are not the usual LF.
std::string textDetails(const TextInfo& text)
{
    std::string s = text.describe();
    if (text.lineEndings != LineEndings::Lf && text.lineEndings != LineEndings::None)
        s += std::string(", ") + lineEndingsName(text.lineEndings) + " line endings";
    return s;
}

void addTextFields(nlohmann::json& j, const TextInfo& text)
{
    if (!text.isText())
        return;
    j["text"] = text.describe();
    j["line_endings"] = lineEndingsName(text.lineEndings);
}

bool isValidUtf8(const std::string& s)
{
    try {
        (void)nlohmann::json(s).dump();
        return true;
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
}

std::string base64(const std::string& bytes)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

// Every record has the same members, null where a file has no value, so a
// reader never needs to ask whether a member is there. `path` is text for
// reading (bytes that are not UTF-8 become U+FFFD); `path_bytes` carries
// such a name losslessly, base64-encoded, and is null for UTF-8 names.
nlohmann::json record(const std::string& path, const char* status)
{
    nlohmann::json j;
    j["path"] = path;
    j["path_bytes"] = isValidUtf8(path) ? nlohmann::json(nullptr) : nlohmann::json(base64(path));
    j["size"] = nullptr;
    j["status"] = status;
    j["error"] = nullptr;
    j["text"] = nullptr;
    j["line_endings"] = nullptr;
    j["confidence"] = nullptr;
    j["by_name"] = nullptr;
    j["matches"] = 0;
    j["candidates"] = nlohmann::json::array();
    return j;
}

} // namespace

std::string ReportWriter::description(const Candidate& c, const TextInfo& text) const
{
    std::string desc(m_db.str(m_db.def(c.def).desc));
    if (c.plainText && text.isText())
        desc += " (" + textDetails(text) + ")";
    return desc;
}

void ReportWriter::matched(const std::string& path, std::uint64_t size, const TextInfo& text, const std::vector<Shown>& shown, std::size_t totalMatches)
{
    switch (m_options.format) {
    case Format::Text: {
        appendPrintable(m_buf, path);
        if (m_options.verbose)
            m_buf += "  (" + std::to_string(size) + " bytes)";
        m_buf += '\n';
        for (const auto& s : shown) {
            const db::DefRecord& d = m_db.def(s.candidate->def);
            const std::string_view ext = firstWord(m_db.str(d.ext));
            m_buf += "  ";
            m_buf += percentText(s.candidate->percent);
            m_buf += "  ";
            if (ext == "-") {
                m_buf += "(none)";
            } else {
                m_buf += '.';
                m_buf += ext;
            }
            m_buf.append(ext.size() + 1 < 7 ? 7 - ext.size() - 1 : 1, ' ');
            appendPrintable(m_buf, description(*s.candidate, text), Escape::Text);
            if (s.candidate->confidence == Confidence::Low)
                m_buf += "  (weak evidence)";
            if (s.candidate->byName)
                m_buf += "  (by name)";
            if (m_options.verbose) {
                auto shownText = [](std::string_view t) { return printable(std::string(t), Escape::Text); };
                m_buf += "  [" + shownText(m_db.str(d.mime)) + "]\n";
                m_buf += "           id " + shownText(m_db.str(d.id)) + ", " + shownText(m_db.str(d.category)) + ", from " + shownText(m_db.str(d.source)) + ((d.flags & db::kDefImported) ? " (imported)" : "")
                    + (d.puid.len ? ", PRONOM " + shownText(m_db.str(d.puid)) : "") + "\n";
                for (const auto& h : s.hits)
                    m_buf += "           matched: " + (h.rule.empty() ? shownText(m_db.str(m_db.node(h.node).src)) : h.rule) + "  (" + printable(h.where) + ")\n";
            } else {
                m_buf += '\n';
            }
        }
        if (totalMatches > shown.size())
            m_buf += "           (" + std::to_string(totalMatches - shown.size()) + " more not shown; -r:nn shows more)\n";
        m_buf += '\n';
        break;
    }
    case Format::Json: {
        nlohmann::json j = record(path, "identified");
        j["size"] = size;
        addTextFields(j, text);
        // The file's confidence is that of its best candidate.
        j["confidence"] = confidenceName(shown.front().candidate->confidence);
        j["by_name"] = shown.front().candidate->byName;
        auto cands = nlohmann::json::array();
        for (const auto& s : shown) {
            const db::DefRecord& d = m_db.def(s.candidate->def);
            nlohmann::json c;
            c["id"] = m_db.str(d.id);
            c["percent"] = std::round(s.candidate->percent * 10.0) / 10.0;
            c["extension"] = firstWord(m_db.str(d.ext)) == "-" ? std::string() : std::string(firstWord(m_db.str(d.ext)));
            c["description"] = description(*s.candidate, text);
            c["mime"] = firstWord(m_db.str(d.mime));
            c["category"] = m_db.str(d.category);
            c["confidence"] = confidenceName(s.candidate->confidence);
            c["evidence"] = s.candidate->evidence;
            c["by_name"] = s.candidate->byName;
            auto puids = nlohmann::json::array();
            for (std::string_view rest = m_db.str(d.puid); !rest.empty();) {
                auto sp = rest.find(' ');
                puids.push_back(std::string(rest.substr(0, sp)));
                rest = sp == std::string_view::npos ? std::string_view() : rest.substr(sp + 1);
            }
            c["puid"] = std::move(puids);
            if (m_options.verbose) {
                auto rules = nlohmann::json::array();
                for (const auto& h : s.hits)
                    rules.push_back({{"rule", h.rule.empty() ? std::string(m_db.str(m_db.node(h.node).src)) : h.rule}, {"where", h.where}});
                c["rules"] = rules;
            }
            cands.push_back(std::move(c));
        }
        j["candidates"] = std::move(cands);
        j["matches"] = totalMatches;
        m_buf += dump(j) + "\n";
        break;
    }
    case Format::Tsv: {
        const Candidate& c = *shown.front().candidate;
        const db::DefRecord& d = m_db.def(c.def);
        auto field = [&](std::string_view t) {
            appendPrintable(m_buf, t);
            m_buf += '\t';
        };
        field(path);
        field(firstWord(m_db.str(d.mime)));
        field(firstWord(m_db.str(d.ext)));
        field(m_db.str(d.id));
        appendPrintable(m_buf, m_db.str(d.desc));
        if (c.plainText && text.isText())
            appendPrintable(m_buf, " (" + textDetails(text) + ")");
        m_buf += '\t';
        m_buf += c.byName ? "name\t" : "content\t";
        appendPrintable(m_buf, m_db.str(d.puid));
        m_buf += '\n';
        break;
    }
    }
    flush();
}

void ReportWriter::unmatched(const std::string& path, std::uint64_t size, const TextInfo& text)
{
    std::string kind = text.isText() ? "text (" + textDetails(text) + ")" : "binary data";
    switch (m_options.format) {
    case Format::Text:
        m_buf += printable(path);
        if (m_options.verbose)
            m_buf += "  (" + std::to_string(size) + " bytes)";
        m_buf += "\n  no known type matched; looks like " + kind + "\n\n";
        break;
    case Format::Json: {
        nlohmann::json j = record(path, "unknown");
        j["size"] = size;
        addTextFields(j, text);
        m_buf += dump(j) + "\n";
        break;
    }
    case Format::Tsv:
        m_buf += printable(path) + "\t" + (text.isText() ? "text/plain" : "application/octet-stream") + "\t\tunknown\t" + kind + "\t\t\n";
        break;
    }
    flush();
}

void ReportWriter::empty(const std::string& path)
{
    switch (m_options.format) {
    case Format::Text:
        m_buf += printable(path) + "\n  empty file (0 bytes)\n\n";
        break;
    case Format::Json: {
        nlohmann::json j = record(path, "empty");
        j["size"] = 0;
        m_buf += dump(j) + "\n";
        break;
    }
    case Format::Tsv:
        m_buf += printable(path) + "\tinode/x-empty\t\tempty\tempty file\t\t\n";
        break;
    }
    flush();
}

void ReportWriter::problem(const std::string& path, const std::string& reason, bool failure)
{
    switch (m_options.format) {
    case Format::Text:
        m_buf += printable(path) + "\n  " + (failure ? "error: " : "skipped: ") + printable(reason) + "\n\n";
        break;
    case Format::Json: {
        nlohmann::json j = record(path, failure ? "error" : "skipped");
        j["error"] = reason;
        m_buf += dump(j) + "\n";
        break;
    }
    case Format::Tsv:
        m_buf += printable(path) + "\t" + (failure ? "error" : "skipped") + "\t\t\t" + printable(reason) + "\t\t\n";
        break;
    }
    flush();
}

} // namespace gv::vonk
