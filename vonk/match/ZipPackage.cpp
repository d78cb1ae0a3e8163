// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/ZipPackage.h"

#include <algorithm>
#include <array>

namespace gv::vonk {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Part names compare ASCII case-insensitively in a package.
bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The relationship types that point to a package's main part: the office
// document (transitional and strict), the fixed-document sequence of XPS and
// OpenXPS, the 3D model of 3MF.
constexpr std::array<std::string_view, 5> kMainRelationships = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument",
    "http://schemas.microsoft.com/xps/2005/06/fixedrepresentation",
    "http://schemas.openxps.org/oxps/v1.0/fixedrepresentation",
    "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel",
};

} // namespace

std::vector<XmlAttributes> scanXmlElements(std::string_view xml, std::string_view element, std::string_view firstName,
                                           std::string_view secondName)
{
    std::vector<XmlAttributes> out;
    std::size_t pos = 0;
    while ((pos = xml.find('<', pos)) != std::string_view::npos) {
        ++pos;
        std::size_t nameEnd = pos;
        while (nameEnd < xml.size() && !isSpace(xml[nameEnd]) && xml[nameEnd] != '>' && xml[nameEnd] != '/')
            ++nameEnd;
        std::string_view tag = xml.substr(pos, nameEnd - pos);
        if (auto colon = tag.find(':'); colon != std::string_view::npos)
            tag = tag.substr(colon + 1);
        if (tag != element)
            continue;
        // Attributes up to the end of the tag; a tag cut by the end of what
        // was read is still scanned as far as it goes.
        XmlAttributes attrs;
        std::size_t p = nameEnd;
        while (p < xml.size() && xml[p] != '>') {
            while (p < xml.size() && (isSpace(xml[p]) || xml[p] == '/'))
                ++p;
            std::size_t eq = p;
            while (eq < xml.size() && xml[eq] != '=' && xml[eq] != '>' && !isSpace(xml[eq]))
                ++eq;
            std::string_view attr = xml.substr(p, eq - p);
            while (eq < xml.size() && isSpace(xml[eq]))
                ++eq;
            if (eq >= xml.size() || xml[eq] != '=') {
                p = eq;
                if (p < xml.size() && xml[p] != '>')
                    ++p;
                continue;
            }
            std::size_t q = eq + 1;
            while (q < xml.size() && isSpace(xml[q]))
                ++q;
            if (q >= xml.size() || (xml[q] != '"' && xml[q] != '\''))
                break;
            std::size_t close = xml.find(xml[q], q + 1);
            if (close == std::string_view::npos)
                break;
            std::string_view value = xml.substr(q + 1, close - q - 1);
            if (auto colon = attr.find(':'); colon != std::string_view::npos)
                attr = attr.substr(colon + 1);
            if (attr == firstName)
                attrs.first = value;
            else if (attr == secondName)
                attrs.second = value;
            p = close + 1;
        }
        out.push_back(std::move(attrs));
        pos = p;
    }
    return out;
}

std::string zipMainContentType(const ZipDirectory& zip, ByteSource& src)
{
    const auto types = zip.read(src, "[Content_Types].xml");
    if (!types)
        return {};
    std::string part;
    if (const auto rels = zip.read(src, "_rels/.rels")) {
        for (const auto& r : scanXmlElements(*rels, "Relationship", "Type", "Target")) {
            if (std::find(kMainRelationships.begin(), kMainRelationships.end(), r.first) != kMainRelationships.end()
                && !r.second.empty()) {
                // Targets are relative to the package root.
                part = r.second.front() == '/' ? r.second : "/" + r.second;
                break;
            }
        }
    }
    const auto overrides = scanXmlElements(*types, "Override", "PartName", "ContentType");
    if (part.empty()) {
        for (const auto& o : overrides) {
            std::string_view t = o.second;
            if (t.ends_with(".main+xml") || t.ends_with(".main"))
                return o.second;
        }
        return {};
    }
    for (const auto& o : overrides) {
        if (sameName(o.first, part))
            return o.second;
    }
    // No override: the default for the part's extension.
    const auto dot = part.rfind('.');
    if (dot == std::string::npos || part.find('/', dot) != std::string::npos)
        return {};
    const std::string_view ext = std::string_view(part).substr(dot + 1);
    for (const auto& d : scanXmlElements(*types, "Default", "Extension", "ContentType")) {
        if (sameName(d.first, ext))
            return d.second;
    }
    return {};
}

} // namespace gv::vonk
