#include "CommandLinePath.h"

#include "runner/CommandLineWords.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace gv {

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

std::string EscapedAbsolutePath(const std::string& path)
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
    return quoteCommandWord(absolute);
}

} // namespace gv
