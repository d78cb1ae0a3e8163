// SPDX-License-Identifier: GPL-3.0-or-later
#include "PathFunctions.h"

namespace gv {

std::string TrimAtNull(std::string_view text)
{
    const std::size_t nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

std::string AddTrailingBackslash(std::string_view path)
{
    std::string result(path);
    if (!result.empty() && result.back() != kPathSeparator)
        result += kPathSeparator;
    return result;
}

PathParts SplitPath(std::string_view path)
{
    PathParts parts;
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':') {
        parts.drive = std::string(path.substr(0, 2));
        path.remove_prefix(2);
    }
#endif
    if (path.empty())
        return parts;
    // A trailing separator names a folder. Scanning it for a dot would take
    // "/dir.d/" for the file "dir" with the extension ".d/".
    if (path.back() == kPathSeparator) {
        parts.folder = std::string(path);
        return parts;
    }
    const std::size_t sep = path.rfind(kPathSeparator);
    const std::string_view last = sep == std::string_view::npos ? path : path.substr(sep + 1);
    if (sep != std::string_view::npos)
        parts.folder = std::string(path.substr(0, sep + 1));

    // "." and ".." name folders, not files with an empty stem.
    if (last == "." || last == "..") {
        parts.folder += std::string(last);
        return parts;
    }

    const std::size_t dot = last.rfind('.');
    if (dot != std::string_view::npos && dot + 1 < last.size()) {
        parts.name = std::string(last.substr(0, dot));
        parts.extension = std::string(last.substr(dot));
    } else {
        parts.name = std::string(last);
    }

    // A last part with no dot at all is taken for a folder.
    if (parts.extension.empty() && !parts.name.empty() && parts.name.find('.') == std::string::npos) {
        parts.folder += parts.name;
        parts.name.clear();
    }
    return parts;
}

std::string PathFolder(std::string_view path)
{
    const PathParts p = SplitPath(path);
    return AddTrailingBackslash(p.drive + p.folder);
}

std::string PathFileName(std::string_view path)
{
    const PathParts p = SplitPath(path);
    return p.name + p.extension;
}

std::string MakeDialogFilter(std::string_view filter, std::string_view description, std::string_view pattern)
{
    std::string result(filter);
    result += description;
    result += '\0';
    result += pattern;
    result += '\0';
    return result;
}

namespace {

std::string qtPatterns(std::string_view patterns)
{
    std::string out;
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(';', start);
        if (end == std::string_view::npos)
            end = patterns.size();
        std::string_view one = patterns.substr(start, end - start);
        while (!one.empty() && one.front() == ' ')
            one.remove_prefix(1);
        while (!one.empty() && one.back() == ' ')
            one.remove_suffix(1);
        if (!one.empty()) {
            if (!out.empty())
                out += ' ';
            out += one == "*.*" ? std::string_view("*") : one;
        }
        start = end + 1;
    }
    return out.empty() ? std::string("*") : out;
}

} // namespace

std::vector<std::string> NameFiltersFromDialogFilter(std::string_view filter)
{
    std::vector<std::string> result;
    std::size_t pos = 0;
    while (pos < filter.size()) {
        const std::size_t descEnd = filter.find('\0', pos);
        if (descEnd == std::string_view::npos)
            break; // a description without its pattern
        std::size_t patEnd = filter.find('\0', descEnd + 1);
        if (patEnd == std::string_view::npos)
            patEnd = filter.size();
        const std::string_view description = filter.substr(pos, descEnd - pos);
        const std::string_view patterns = filter.substr(descEnd + 1, patEnd - descEnd - 1);
        if (description.empty() && patterns.empty())
            break; // the double NUL that ends a filter list
        std::string entry(description.empty() ? patterns : description);
        entry += " (";
        entry += qtPatterns(patterns);
        entry += ')';
        result.push_back(std::move(entry));
        pos = patEnd + 1;
    }
    return result;
}

} // namespace gv
