// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/report/TargetExpander.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace gv::vonk {

namespace {

// "dir///" -> "dir/"; "" stays ""; "/" stays "/".
std::string withOneSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/' && s[s.size() - 2] == '/')
        s.pop_back();
    if (!s.empty() && s.back() != '/')
        s += '/';
    return s;
}

std::string cannotList(int error)
{
    return std::string("cannot list the folder: ") + (error == EACCES || error == EPERM ? "permission denied" : std::strerror(error));
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
            // A final lone backslash stands for itself.
            std::size_t literal = pattern[p] == '\\' && p + 1 < pattern.size() ? p + 1 : p;
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

void TargetExpander::expand(const std::string& target, const Sink& sink) const
{
    auto slash = target.rfind('/');
    std::string last = slash == std::string::npos ? target : target.substr(slash + 1);
    if (m_literal || !hasWildcard(last)) {
        struct stat st {};
        struct stat followed {};
        bool isDir = !target.empty() && ::lstat(target.c_str(), &st) == 0
            && (S_ISDIR(st.st_mode) || (S_ISLNK(st.st_mode) && ::stat(target.c_str(), &followed) == 0 && S_ISDIR(followed.st_mode)));
        if (!isDir) {
            // Opening it tells what it is, or why it cannot be read.
            sink({target, target, false, {}});
            return;
        }
        std::string problem = listFolder(target, withOneSlash(target), std::string(), sink);
        if (!problem.empty())
            sink({target, target, false, problem});
        return;
    }
    std::string shownPrefix = slash == std::string::npos ? std::string() : withOneSlash(target.substr(0, slash + 1));
    std::string dir = shownPrefix.empty() ? std::string(".") : shownPrefix;
    struct stat dst {};
    if (::stat(dir.c_str(), &dst) != 0 || !S_ISDIR(dst.st_mode)) {
        sink({target, target, false, "no such folder: " + dir});
        return;
    }
    bool any = false;
    std::string problem = listFolder(dir, shownPrefix, last, [&](const TargetItem& item) {
        any = true;
        sink(item);
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
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return cannotList(errno);
    struct Entry {
        std::string name;
        unsigned char type; // d_type: DT_UNKNOWN when the file system does not say
        bool operator<(const Entry& o) const { return name < o.name; }
    };
    std::vector<Entry> entries;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            entries.push_back({std::move(name), e->d_type});
        errno = 0;
    }
    int readError = errno;
    ::closedir(d);
    if (readError != 0)
        return cannotList(readError);
    std::sort(entries.begin(), entries.end());
    std::string fsPrefix = withOneSlash(dir);
    for (const auto& [name, type] : entries) {
        std::string path = fsPrefix + name;
        std::string shown = shownPrefix + name;
        // Only a walk into subfolders needs to know what an entry is; the
        // listing's type saves a stat per file, which opening it makes anyway.
        bool isDir = false;
        if (m_recursive) {
            struct stat st {};
            isDir = type == DT_DIR || (type == DT_UNKNOWN && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        }
        if (isDir) {
            // Symbolic links to folders are not followed, so a link loop
            // cannot make the walk endless.
            std::string problem = listFolder(path, shown + "/", pattern, sink);
            if (!problem.empty())
                sink({shown, path, true, problem});
            continue;
        }
        if (!pattern.empty() && !matches(pattern, name))
            continue;
        sink({shown, path, true, {}});
    }
    return {};
}

} // namespace gv::vonk
