#include "SampleReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace gv::learner {

namespace {

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool readAt(int fd, std::uint64_t offset, std::size_t len, std::vector<std::uint8_t>& out)
{
    out.resize(len);
    std::size_t done = 0;
    while (done < len) {
        ssize_t n = ::pread(fd, out.data() + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break; // the file shrank while we read it: keep what is there
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return true;
}

bool isHidden(const fs::path& p)
{
    std::string name = p.filename().string();
    return !name.empty() && name[0] == '.';
}

bool isUnder(const fs::path& p, const fs::path& root)
{
    if (root.empty())
        return false;
    auto r = root.begin();
    auto q = p.begin();
    for (; r != root.end(); ++r, ++q) {
        if (q == p.end() || *q != *r)
            return false;
    }
    return true;
}

fs::path canonicalOrSelf(const fs::path& p)
{
    std::error_code ec;
    fs::path c = fs::weakly_canonical(p, ec);
    return ec ? p : c;
}

} // namespace

bool SampleReader::read(const fs::path& path, Sample& out, std::string& error) const
{
    // Non-blocking open, then fstat: a FIFO swapped in after listing is seen
    // for what it is instead of blocking the open.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    out = Sample{};
    out.path = path.string();
    out.size = static_cast<std::uint64_t>(st.st_size);
    std::size_t h = static_cast<std::size_t>(std::min<std::uint64_t>(out.size, m_window.head));
    std::size_t t = static_cast<std::size_t>(std::min<std::uint64_t>(out.size, m_window.tail));
    if (!readAt(fd.get(), 0, h, out.head) || !readAt(fd.get(), out.size - t, t, out.tail)) {
        error = std::strerror(errno);
        return false;
    }
    if (out.head.size() != h || out.tail.size() != t) {
        error = "the file changed while it was read";
        return false;
    }
    return true;
}

std::vector<fs::path> SampleReader::listFiles(const fs::path& dir, bool recursive, const fs::path& exclude,
    std::size_t limit, std::vector<std::string>& problems)
{
    std::vector<fs::path> found;
    const fs::path excluded = exclude.empty() ? fs::path{} : canonicalOrSelf(exclude);
    std::error_code ec;
    auto consider = [&](const fs::directory_entry& e) -> bool {
        // Returns false when the entry (a folder) must not be descended into.
        if (isHidden(e.path()))
            return false;
        if (!excluded.empty() && isUnder(canonicalOrSelf(e.path()), excluded))
            return false;
        std::error_code sec;
        if (e.is_regular_file(sec))
            found.push_back(e.path());
        return true;
    };
    if (recursive) {
        fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
        if (ec) {
            problems.push_back(dir.string() + ": " + ec.message());
            return found;
        }
        for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) {
                problems.push_back(dir.string() + ": " + ec.message());
                break;
            }
            if (!consider(*it))
                it.disable_recursion_pending();
            if (found.size() >= limit)
                break;
        }
    } else {
        fs::directory_iterator it(dir, ec);
        if (ec) {
            problems.push_back(dir.string() + ": " + ec.message());
            return found;
        }
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) {
                problems.push_back(dir.string() + ": " + ec.message());
                break;
            }
            consider(*it);
            if (found.size() >= limit)
                break;
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<fs::path> SampleReader::spread(const std::vector<fs::path>& paths, std::size_t n)
{
    if (paths.size() <= n)
        return paths;
    std::vector<fs::path> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(paths[i * paths.size() / n]);
    return out;
}

} // namespace gv::learner
