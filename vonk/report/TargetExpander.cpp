#include "vonk/report/TargetExpander.h"

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
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

} // namespace

bool TargetExpander::hasWildcard(const std::string& s)
{
    return s.find_first_of("*?") != std::string::npos;
}

void TargetExpander::expand(const std::string& target, const Sink& sink) const
{
    struct stat st {};
    if (!target.empty() && ::lstat(target.c_str(), &st) == 0) {
        struct stat followed {};
        bool isDir = S_ISDIR(st.st_mode) || (S_ISLNK(st.st_mode) && ::stat(target.c_str(), &followed) == 0 && S_ISDIR(followed.st_mode));
        if (isDir) {
            if (!listFolder(target, withOneSlash(target), std::string(), sink))
                sink({target, target, false, "cannot list the folder"});
            return;
        }
        sink({target, target, false, {}});
        return;
    }
    auto slash = target.rfind('/');
    std::string last = slash == std::string::npos ? target : target.substr(slash + 1);
    if (!hasWildcard(last)) {
        sink({target, target, false, {}});
        return;
    }
    std::string shownPrefix = slash == std::string::npos ? std::string() : withOneSlash(target.substr(0, slash + 1));
    std::string dir = shownPrefix.empty() ? std::string(".") : shownPrefix;
    if (hasWildcard(shownPrefix)) {
        sink({target, target, false, "wildcards are supported only in the last part of a path"});
        return;
    }
    struct stat dst {};
    if (::stat(dir.c_str(), &dst) != 0 || !S_ISDIR(dst.st_mode)) {
        sink({target, target, false, "no such folder: " + (shownPrefix.empty() ? std::string(".") : shownPrefix)});
        return;
    }
    bool any = false;
    if (!listFolder(dir, shownPrefix, last, [&](const TargetItem& item) {
            any = true;
            sink(item);
        })) {
        sink({target, target, false, "cannot list the folder"});
        return;
    }
    if (!any)
        sink({target, target, false, "no file matches"});
}

bool TargetExpander::listFolder(const std::string& dir, const std::string& shownPrefix, const std::string& pattern, const Sink& sink) const
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    struct Entry {
        std::string name;
        unsigned char type; // d_type: DT_UNKNOWN when the file system does not say
        bool operator<(const Entry& o) const { return name < o.name; }
    };
    std::vector<Entry> entries;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        entries.push_back({std::move(name), e->d_type});
    }
    ::closedir(d);
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
            if (!listFolder(path, shown + "/", pattern, sink))
                sink({shown, path, true, "cannot list the folder"});
            continue;
        }
        if (!pattern.empty() && ::fnmatch(pattern.c_str(), name.c_str(), 0) != 0)
            continue;
        sink({shown, path, true, {}});
    }
    return true;
}

} // namespace gv::vonk
