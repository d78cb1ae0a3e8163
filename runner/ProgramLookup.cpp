// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramLookup.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace gv {

namespace {

bool isRunnableFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return ::access(path.c_str(), X_OK) == 0;
}

std::string joinPath(const std::string& dir, std::string_view name)
{
    if (dir.empty())
        return std::string(name);
    std::string path = dir;
    if (path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// Resolves a possibly relative location against the start folder.
std::string againstBase(const std::string& location, const std::string& baseDir)
{
    if (location.empty())
        return baseDir.empty() ? std::string(".") : baseDir;
    if (location.front() == '/' || baseDir.empty())
        return location;
    return joinPath(baseDir, location);
}

} // namespace

std::optional<std::string> findProgram(std::string_view word,
                                       const std::vector<std::string>& searchDirs,
                                       const std::string& baseDir)
{
    if (word.empty() || word.find('\0') != std::string_view::npos)
        return std::nullopt;
    if (word.find('/') != std::string_view::npos) {
        std::string path = againstBase(std::string(word), baseDir);
        if (isRunnableFile(path))
            return path;
        return std::nullopt;
    }
    for (const std::string& dir : searchDirs) {
        std::string path = joinPath(againstBase(dir, baseDir), word);
        if (isRunnableFile(path))
            return path;
    }
    return std::nullopt;
}

std::vector<std::string> pathDirectories()
{
    std::string path;
    if (const char* env = std::getenv("PATH")) {
        path = env;
    } else {
        const std::size_t len = ::confstr(_CS_PATH, nullptr, 0);
        if (len > 0) {
            path.resize(len);
            ::confstr(_CS_PATH, path.data(), len);
            path.resize(len - 1);
        }
    }
    std::vector<std::string> dirs;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = path.find(':', start);
        dirs.push_back(path.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return dirs;
}

const std::string& programFolder()
{
    static const std::string folder = [] {
        std::string buffer(PATH_MAX, '\0');
        const ssize_t len = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (len <= 0)
            return std::string();
        buffer.resize(static_cast<std::size_t>(len));
        const std::size_t slash = buffer.rfind('/');
        if (slash == std::string::npos)
            return std::string();
        return slash == 0 ? std::string("/") : buffer.substr(0, slash);
    }();
    return folder;
}

} // namespace gv
