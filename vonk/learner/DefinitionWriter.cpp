// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/learner/DefinitionWriter.h"

#include "vonk/build/DefinitionParser.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace gv::learner {

namespace {

using gv::vonk::DefinitionParser;

bool idStart(char c) { return DefinitionParser::validId(std::string_view(&c, 1)); }

// A token the source format reads as one bare word: no blanks, quotes or
// comment marks.
bool bareWord(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F && c != '"' && c != '#';
    });
}

std::string percent(std::size_t hits, std::size_t total)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f%%", total ? 100.0 * static_cast<double>(hits) / static_cast<double>(total) : 0.0);
    return buf;
}

} // namespace

const std::vector<std::string>& DefinitionWriter::categories()
{
    return DefinitionParser::categories();
}

std::string DefinitionWriter::checkId(const std::string& id)
{
    if (id.empty())
        return "an id cannot be empty";
    if (!DefinitionParser::validId(id))
        return "an id is lower-case letters, digits and . _ + -, starting with a letter or digit: \"" + id + "\"";
    return {};
}

std::string DefinitionWriter::checkExt(const std::string& ext)
{
    if (!bareWord(ext) || ext[0] == '.')
        return "an extension is one word without a leading dot (or \"-\" for none): \"" + ext + "\"";
    return {};
}

std::string DefinitionWriter::checkMime(const std::string& mime)
{
    auto slash = mime.find('/');
    if (!bareWord(mime) || slash == std::string::npos || slash == 0 || slash + 1 == mime.size()
        || mime.find('/', slash + 1) != std::string::npos)
        return "a MIME type is TYPE/SUBTYPE: \"" + mime + "\"";
    return {};
}

std::string DefinitionWriter::checkCategory(const std::string& category)
{
    const auto& cats = categories();
    if (std::find(cats.begin(), cats.end(), category) != cats.end())
        return {};
    std::string all;
    for (const auto& c : cats)
        all += (all.empty() ? "" : " ") + c;
    return "the category is one of: " + all;
}

std::string DefinitionWriter::idFrom(const std::string& name)
{
    std::string id;
    for (char c : name) {
        char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (DefinitionParser::isIdChar(l))
            id += l;
        else if (!id.empty() && id.back() != '-')
            id += '-';
    }
    while (!id.empty() && !idStart(id.front()))
        id.erase(id.begin());
    while (!id.empty() && id.back() == '-')
        id.pop_back();
    return id.empty() ? "learned" : id;
}

std::string DefinitionWriter::quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string DefinitionWriter::write(const DefinitionInfo& info, const LearnResult& result)
{
    std::string out;
    for (const auto& n : info.notes)
        out += "# " + n + "\n";
    out += "type " + info.id + "\n";
    out += "  desc " + quote(info.desc) + "\n";
    out += "  ext ";
    for (const auto& e : info.exts)
        out += " " + e;
    out += "\n  mime";
    for (const auto& m : info.mimes)
        out += " " + m;
    out += "\n  cat  " + info.category + "\n";
    std::size_t widest = 0;
    for (const auto& r : result.rules)
        widest = std::max(widest, r.source().size());
    for (const auto& r : result.rules) {
        std::string line = "  " + r.source();
        line.append(widest + 2 - r.source().size(), ' ');
        line += "# " + std::to_string(r.bits) + " bits";
        if (result.references)
            line += "; in " + std::to_string(r.referenceHits) + " of " + std::to_string(result.references)
                + " reference files (" + percent(r.referenceHits, result.references) + ")";
        out += line + "\n";
    }
    return out;
}

std::vector<std::string> DefinitionWriter::check(const std::string& text, const std::string& name)
{
    DefinitionParser parser;
    parser.parse(text, name);
    parser.finish();
    std::vector<std::string> out;
    for (const auto& e : parser.errors())
        out.push_back(e.format());
    if (out.empty() && parser.definitions().empty())
        out.push_back(name + ": no definition written");
    return out;
}

} // namespace gv::learner
