#include "FileAccess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gv::vonk {

namespace {

std::string describeSpecial(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe), not read";
    if (S_ISSOCK(mode))
        return "a socket, not read";
    if (S_ISCHR(mode))
        return "a character device, not read";
    if (S_ISBLK(mode))
        return "a block device, not read";
    return "not a regular file, not read";
}

std::string describeErrno(int e)
{
    switch (e) {
    case ENOENT: return "no such file";
    case EACCES:
    case EPERM: return "permission denied";
    case ELOOP: return "symbolic link loop";
    case ENOTDIR: return "no such file (a part of the path is not a folder)";
    case ENAMETOOLONG: return "name too long";
    default: return std::strerror(e);
    }
}

} // namespace

FdGuard::~FdGuard()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileAccess::Result FileAccess::open(const std::string& path, bool listed)
{
    Result r;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) != 0) {
        r.reason = describeErrno(errno);
        return r;
    }
    struct stat st = lst;
    if (S_ISLNK(lst.st_mode)) {
        if (::stat(path.c_str(), &st) != 0) {
            int e = errno;
            r.reason = e == ENOENT ? "dangling symbolic link (its target does not exist)"
                : e == ELOOP       ? "symbolic link loop"
                                   : describeErrno(e);
            return r;
        }
    }
    if (S_ISDIR(st.st_mode)) {
        r.status = listed ? Status::Skipped : Status::Failed;
        r.reason = listed ? "a folder (use -s to look inside)" : "a folder";
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        r.reason = describeSpecial(st.st_mode);
        return r;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        r.reason = describeErrno(errno);
        return r;
    }
    // The path may have been replaced since stat: judge what was opened.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        r.reason = describeSpecial(st.st_mode);
        ::close(fd);
        return r;
    }
    r.size = static_cast<std::uint64_t>(st.st_size);
    if (r.size == 0) {
        ::close(fd);
        r.status = Status::Empty;
        r.reason = "empty file";
        return r;
    }
    r.status = Status::Ok;
    r.fd = fd;
    return r;
}

} // namespace gv::vonk
