#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gv {

std::string InstanceLock::DefaultPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/gui-vonk.lock";
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp && *tmp) ? tmp : "/tmp";
    return folder + "/gui-vonk-" + std::to_string(::getuid()) + ".lock";
}

InstanceLock::InstanceLock(std::string path) : m_path(std::move(path)) {}

InstanceLock::~InstanceLock()
{
    Release();
}

void InstanceLock::Release()
{
    if (m_fd < 0)
        return;
    // Removed while still held: whoever opened it meanwhile finds, once
    // it has the lock, that the name no longer leads to it.
    ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
}

bool InstanceLock::TryAcquire()
{
    if (m_fd >= 0)
        return true;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return true;
        // In a shared temporary folder another user may have made the file
        // first; a lock they hold says nothing about our own copies.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return true;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const bool heldElsewhere = (errno == EWOULDBLOCK);
            ::close(fd);
            return !heldElsewhere;
        }
        struct stat named {};
        if (::lstat(m_path.c_str(), &named) == 0 && named.st_dev == st.st_dev && named.st_ino == st.st_ino) {
            m_fd = fd;
            return true;
        }
        // Its holder removed it while letting go: try the new one.
        ::close(fd);
    }
    return true;
}

} // namespace gv
