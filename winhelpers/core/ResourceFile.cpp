#include "ResourceFile.h"

#include "winhelpers/core/ResourceTable.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace gv {

namespace {

bool writeAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

ExtractOutcome ExtractResourceFile(const std::string& target, int id, std::string_view type, bool overwrite)
{
    if (target.empty() || target.find('\0') != std::string::npos)
        return ExtractOutcome::Failed;

    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    if (exists) {
        if (!overwrite)
            return ExtractOutcome::KeptExisting;
        if (::unlink(target.c_str()) != 0)
            return ExtractOutcome::Failed;
    }

    const EmbeddedResource* res = FindEmbeddedResource(type, id);
    if (!res)
        return ExtractOutcome::MissingResource;

    std::string tempName = target + ".XXXXXX";
    std::vector<char> pattern(tempName.begin(), tempName.end());
    pattern.push_back('\0');
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return ExtractOutcome::Failed;
    tempName.assign(pattern.data());

    bool ok = writeAll(fd, res->data, res->size);
    // Explicit, so the mask of the session cannot take the execute bits.
    ok = ::fchmod(fd, 0755) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tempName.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempName.c_str());
        return ExtractOutcome::Failed;
    }
    return ExtractOutcome::Written;
}

} // namespace gv
