#include "vonk/report/ReportWriter.h"

#include <nlohmann/json.hpp>

#include <cmath>

#include <cstdio>

namespace gv::vonk {

namespace {

std::string firstWord(std::string_view s)
{
    auto sp = s.find(' ');
    return std::string(s.substr(0, sp));
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

std::string ReportWriter::printable(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
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
    return out;
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
    j["text"] = text.isText() ? nlohmann::json(text.describe()) : nlohmann::json(nullptr);
    j["line_endings"] = text.isText() ? nlohmann::json(lineEndingsName(text.lineEndings)) : nlohmann::json(nullptr);
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
        m_buf += printable(path);
        if (m_options.verbose)
            m_buf += "  (" + std::to_string(size) + " bytes)";
        m_buf += '\n';
        for (const auto& s : shown) {
            const db::DefRecord& d = m_db.def(s.candidate->def);
            std::string ext = firstWord(m_db.str(d.ext));
            m_buf += "  " + percentText(s.candidate->percent) + "  " + (ext == "-" ? std::string("(none)") : "." + ext);
            m_buf.append(ext.size() + 1 < 7 ? 7 - ext.size() - 1 : 1, ' ');
            m_buf += description(*s.candidate, text);
            if (s.candidate->confidence == Confidence::Low)
                m_buf += "  (weak evidence)";
            if (m_options.verbose) {
                m_buf += "  [" + std::string(m_db.str(d.mime)) + "]\n";
                m_buf += "           id " + std::string(m_db.str(d.id)) + ", " + std::string(m_db.str(d.category)) + ", from " + std::string(m_db.str(d.source)) + ((d.flags & db::kDefImported) ? " (imported)" : "") + "\n";
                for (const auto& h : s.hits)
                    m_buf += "           matched: " + std::string(m_db.str(m_db.node(h.node).src)) + "  (" + printable(h.where) + ")\n";
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
        nlohmann::json j;
        j["path"] = path;
        j["size"] = size;
        j["status"] = "identified";
        addTextFields(j, text);
        // The file's confidence is that of its best candidate.
        j["confidence"] = confidenceName(shown.front().candidate->confidence);
        auto cands = nlohmann::json::array();
        for (const auto& s : shown) {
            const db::DefRecord& d = m_db.def(s.candidate->def);
            nlohmann::json c;
            c["id"] = m_db.str(d.id);
            c["percent"] = std::round(s.candidate->percent * 10.0) / 10.0;
            c["extension"] = firstWord(m_db.str(d.ext)) == "-" ? std::string() : firstWord(m_db.str(d.ext));
            c["description"] = description(*s.candidate, text);
            c["mime"] = firstWord(m_db.str(d.mime));
            c["category"] = m_db.str(d.category);
            c["confidence"] = confidenceName(s.candidate->confidence);
            c["evidence"] = s.candidate->evidence;
            if (m_options.verbose) {
                auto rules = nlohmann::json::array();
                for (const auto& h : s.hits)
                    rules.push_back({{"rule", m_db.str(m_db.node(h.node).src)}, {"where", h.where}});
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
        const db::DefRecord& d = m_db.def(shown.front().candidate->def);
        m_buf += printable(path) + "\t" + firstWord(m_db.str(d.mime)) + "\t" + firstWord(m_db.str(d.ext)) + "\t"
            + std::string(m_db.str(d.id)) + "\t" + printable(description(*shown.front().candidate, text)) + "\n";
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
        nlohmann::json j;
        j["path"] = path;
        j["size"] = size;
        j["status"] = "unknown";
        addTextFields(j, text);
        j["candidates"] = nlohmann::json::array();
        j["matches"] = 0;
        m_buf += dump(j) + "\n";
        break;
    }
    case Format::Tsv:
        m_buf += printable(path) + "\t" + (text.isText() ? "text/plain" : "application/octet-stream") + "\t\tunknown\t" + kind + "\n";
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
        nlohmann::json j;
        j["path"] = path;
        j["size"] = 0;
        j["status"] = "empty";
        j["candidates"] = nlohmann::json::array();
        j["matches"] = 0;
        m_buf += dump(j) + "\n";
        break;
    }
    case Format::Tsv:
        m_buf += printable(path) + "\tinode/x-empty\t\tempty\tempty file\n";
        break;
    }
    flush();
}

void ReportWriter::problem(const std::string& path, const std::string& reason, bool failure)
{
    switch (m_options.format) {
    case Format::Text:
        m_buf += printable(path) + "\n  " + (failure ? "error: " : "skipped: ") + reason + "\n\n";
        break;
    case Format::Json: {
        nlohmann::json j;
        j["path"] = path;
        j["status"] = failure ? "error" : "skipped";
        j["error"] = reason;
        j["candidates"] = nlohmann::json::array();
        j["matches"] = 0;
        m_buf += dump(j) + "\n";
        break;
    }
    case Format::Tsv:
        m_buf += printable(path) + "\t" + (failure ? "error" : "skipped") + "\t\t\t" + reason + "\n";
        break;
    }
    flush();
}

} // namespace gv::vonk
