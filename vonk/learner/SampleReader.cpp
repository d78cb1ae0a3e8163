// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/learner/SampleReader.h"

#include "vonk/match/ByteSource.h"
#include "vonk/base/FileAccess.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace gv::learner {

namespace {

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
    // The identifier's own opening: special files are never opened, so a
    // FIFO among the samples cannot block the run.
    gv::vonk::FileAccess::Result file = gv::vonk::FileAccess::open(path.string(), false);
    switch (file.status) {
    case gv::vonk::FileAccess::Status::Failed:
    case gv::vonk::FileAccess::Status::Skipped:
        error = file.reason;
        return false;
    case gv::vonk::FileAccess::Status::Empty:
        // Read, but nothing to learn from: callers decide what an empty
        // sample means.
        out = Sample{};
        out.path = path.string();
        return true;
    case gv::vonk::FileAccess::Status::Ok:
        break;
    }
    gv::vonk::FdGuard guard(file.fd);
    gv::vonk::FdSource source(file.fd, file.size);
    out = Sample{};
    out.path = path.string();
    out.size = file.size;
    std::size_t h = static_cast<std::size_t>(std::min<std::uint64_t>(out.size, m_window.head));
    std::size_t t = static_cast<std::size_t>(std::min<std::uint64_t>(out.size, m_window.tail));
    out.head.resize(h);
    if (source.readAt(0, out.head.data(), h) != h) {
        error = "the file changed while it was read";
        return false;
    }
    if (h == out.size) {
        // The whole file is in the head: its end is there too.
        out.tail.assign(out.head.end() - static_cast<std::ptrdiff_t>(t), out.head.end());
        return true;
    }
    out.tail.resize(t);
    if (source.readAt(out.size - t, out.tail.data(), t) != t) {
        error = "the file changed while it was read";
        return false;
    }
    return true;
}

std::vector<fs::path> SampleReader::listFiles(const fs::path& dir, bool recursive, const fs::path& exclude,
    std::size_t limit, std::vector<std::string>& problems)
{
    std::vector<fs::path> found;
    std::error_code ec;
    // Without a folder to walk, the walk below would pass over the problem
    // in silence (permissions are skipped inside it).
    {
        fs::directory_iterator probe(dir, ec);
    }
    if (ec) {
        problems.push_back(dir.string() + ": " + ec.message());
        return found;
    }
    const fs::path excluded = exclude.empty() ? fs::path{} : canonicalOrSelf(exclude);
    if (!excluded.empty() && isUnder(canonicalOrSelf(dir), excluded))
        return found;
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& e = *it;
        if (!recursive)
            it.disable_recursion_pending();
        if (isHidden(e.path())) {
            it.disable_recursion_pending();
            continue;
        }
        std::error_code sec;
        // Only a folder or a link can lead elsewhere: a plain file's real
        // place is its folder's, which was checked on the way down.
        if (!excluded.empty() && (e.is_symlink(sec) || e.is_directory(sec))
            && isUnder(canonicalOrSelf(e.path()), excluded)) {
            it.disable_recursion_pending();
            continue;
        }
        if (e.is_regular_file(sec)) {
            found.push_back(e.path());
            if (found.size() >= limit)
                break;
        }
    }
    if (ec)
        problems.push_back(dir.string() + ": " + ec.message());
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
