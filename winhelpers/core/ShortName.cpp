#include "ShortName.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace gv {

bool IsCommandLineSpecial(char c)
{
    switch (c) {
    case ' ': case '\t': case '\n': case '\r': case '\v': case '\f':
    case '\'': case '"': case '\\':
        return true;
    default:
        return false;
    }
}

std::string EscapeCommandWord(std::string_view word)
{
    std::string out;
    out.reserve(word.size() + word.size() / 8 + 2);
    for (char c : word) {
        if (IsCommandLineSpecial(c))
            out += '\\';
        out += c;
    }
    return out;
}

static std::string currentFolder()
{
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        if (::getcwd(buf.data(), buf.size()))
            return std::string(buf.data());
        if (errno != ERANGE)
            return {};
        buf.resize(buf.size() * 2);
    }
}

std::string ShortPathOf(const std::string& path)
{
    // A NUL would cut the name the system sees: that names another file.
    if (path.empty() || path.find('\0') != std::string::npos)
        return {};
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    std::string absolute = path;
    if (path.front() != '/') {
        const std::string cwd = currentFolder();
        if (cwd.empty())
            return {};
        absolute = cwd;
        if (absolute.back() != '/')
            absolute += '/';
        absolute += path;
    }
    return EscapeCommandWord(absolute);
}

} // namespace gv
