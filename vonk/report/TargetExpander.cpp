// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/report/TargetExpander.h"

#include "vonk/base/Platform.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace gv::vonk {

namespace {

// Where the last separator is (npos: none).
std::size_t lastSeparator(const std::string& s)
{
    for (std::size_t i = s.size(); i > 0; --i) {
        if (platform::isSeparator(s[i - 1]))
            return i - 1;
    }
    return std::string::npos;
}

// "dir///" -> "dir/"; "" stays ""; "/" stays "/". The separator added is
// the one the path already uses, so a name shown keeps the user's style
// ("dir\a.png" on Windows for "dir\*").
std::string withOneSlash(std::string s)
{
    while (s.size() > 1 && platform::isSeparator(s.back()) && platform::isSeparator(s[s.size() - 2]))
        s.pop_back();
    if (!s.empty() && !platform::isSeparator(s.back())) {
        auto last = lastSeparator(s);
        s += last == std::string::npos ? platform::separator() : s[last];
    }
    return s;
}

std::string cannotList(const std::string& reason)
{
    return "cannot list the folder: " + reason;
}

// Bytes of the character at `at`: a whole UTF-8 sequence, or one byte where
// the name is not UTF-8, so '?' stands for one character as the user sees it.
std::size_t characterLength(std::string_view s, std::size_t at)
{
    auto lead = static_cast<unsigned char>(s[at]);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    if (lead >= 0xF5 || at + length > s.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i) {
        auto c = static_cast<unsigned char>(s[at + i]);
        if (c < 0x80 || c > 0xBF)
            return 1;
    }
    return length;
}

} // namespace

bool TargetExpander::hasWildcard(const std::string& s)
{
    return s.find_first_of("*?") != std::string::npos;
}

bool TargetExpander::matches(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0, n = 0;
    // Where the last '*' was, and how much of the name it has taken so far.
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += characterLength(name, n);
            continue;
        }
        if (p < pattern.size()) {
            // A final lone backslash stands for itself, and where it
            // separates folders it is never an escape.
            std::size_t literal = pattern[p] == '\\' && !platform::isSeparator('\\') && p + 1 < pattern.size() ? p + 1 : p;
            if (pattern[literal] == name[n]) {
                p = literal + 1;
                ++n;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        starN += characterLength(name, starN);
        n = starN;
        p = starP;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

void TargetExpander::expand(std::string target, const Sink& sink) const
{
    auto slash = lastSeparator(target);
    std::string last = slash == std::string::npos ? target : target.substr(slash + 1);
    if (m_literal || !hasWildcard(last)) {
        std::optional<std::uint64_t> size;
        const platform::PathKind kind = target.empty() ? platform::PathKind::Missing : platform::pathKind(target, &size);
        if (kind != platform::PathKind::Folder) {
            // Opening it tells what it is, or why it cannot be read.
            // (Braced members are made in order: the shown copy first.)
            sink({target, std::move(target), false, {}, kind == platform::PathKind::File, size});
            return;
        }
        std::string problem = listFolder(target, withOneSlash(target), std::string(), sink);
        if (!problem.empty())
            sink({target, target, false, problem});
        return;
    }
    std::string shownPrefix = slash == std::string::npos ? std::string() : withOneSlash(target.substr(0, slash + 1));
    std::string dir = shownPrefix.empty() ? std::string(".") : shownPrefix;
    if (!platform::isFolder(dir)) {
        sink({target, target, false, "no such folder: " + dir});
        return;
    }
    bool any = false;
    std::string problem = listFolder(dir, shownPrefix, last, [&](TargetItem&& item) {
        any = true;
        sink(std::move(item));
    });
    if (!problem.empty()) {
        sink({target, target, false, problem});
        return;
    }
    if (!any)
        sink({target, target, false, "no file matches"});
}

std::string TargetExpander::listFolder(const std::string& dir, const std::string& shownPrefix, const std::string& pattern, const Sink& sink) const
{
    std::vector<platform::FolderEntry> entries;
    if (std::string reason = platform::listFolder(dir, entries); !reason.empty())
        return cannotList(reason);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    std::string fsPrefix = withOneSlash(dir);
    for (const auto& [name, type] : entries) {
        std::string path = fsPrefix + name;
        std::string shown = shownPrefix + name;
        // Only a walk into subfolders needs to know what an entry is; the
        // listing's type saves a stat per file, which opening it makes anyway.
        bool isDir = false;
        if (m_recursive) {
            isDir = type == platform::FolderEntry::Type::Folder
                || (type == platform::FolderEntry::Type::Unknown && platform::isFolderNotLink(path));
        }
        if (isDir) {
            // Symbolic links to folders are not followed, so a link loop
            // cannot make the walk endless.
            std::string problem = listFolder(path, withOneSlash(shown), pattern, sink);
            if (!problem.empty())
                sink({shown, path, true, problem});
            continue;
        }
        if (!pattern.empty() && !matches(pattern, name))
            continue;
        sink({std::move(shown), std::move(path), true, {}, type == platform::FolderEntry::Type::File});
    }
    return {};
}

} // namespace gv::vonk
