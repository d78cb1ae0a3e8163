// SPDX-License-Identifier: GPL-3.0-or-later
// The identifier's operating-system calls on POSIX systems.
#include "vonk/base/FileAccess.h"
#include "vonk/base/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <thread>
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

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A device, FIFO or terminal: written through its own name.
bool writeInPlace(const std::string& path, std::string_view bytes, std::string& error)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "cannot write " + path + ": " + describeErrno(errno);
        return false;
    }
    bool ok = writeAll(fd, bytes);
    int e = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (!ok)
        error = "cannot write " + path + ": " + describeErrno(e);
    return ok;
}

// The file a symbolic link leads to, for a link whose target may not exist
// yet (writing through it creates the target, as a shell redirection does).
bool followLinks(const std::string& path, std::string& target, std::string& error)
{
    namespace fs = std::filesystem;
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) {
            target = p.string();
            return true;
        }
        fs::path next = fs::read_symlink(p, ec);
        if (ec) {
            error = "cannot write " + path + ": " + ec.message();
            return false;
        }
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    error = "cannot write " + path + ": symbolic link loop";
    return false;
}

std::atomic<unsigned> g_tempCounter{0};

} // namespace

bool replaceFile(const std::string& path, std::string_view bytes, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) {
        error = "cannot write " + path + ": a folder";
        return false;
    }
    if (fs::exists(st) && !fs::is_regular_file(st))
        return writeInPlace(path, bytes, error);

    std::string target = path;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        if (fs::exists(st)) {
            fs::path resolved = fs::canonical(path, ec);
            if (ec) {
                error = "cannot write " + path + ": " + ec.message();
                return false;
            }
            target = resolved.string();
        } else if (!followLinks(path, target, error)) {
            return false;
        }
    }

    // The temporary name carries the process and a per-process count, and
    // is created exclusively: two writers of one file, in one process or
    // in two, never write into each other's temporary file.
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(g_tempCounter.fetch_add(1));
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        int e = errno;
        error = "cannot write " + target + ": " + (e == ENOENT ? std::string("its folder does not exist") : describeErrno(e));
        return false;
    }
    // The replacement keeps the permissions the file had.
    if (replacing)
        (void)::fchmod(fd, old.st_mode & 07777);
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int e = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        error = "cannot write " + tmp + ": " + describeErrno(e);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        error = "cannot write " + target + ": " + describeErrno(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

FileAccess::Result FileAccess::open(const std::string& path, bool listed, bool regular, std::optional<std::uint64_t> size)
{
    Result r;
    if (regular && size) {
        // A named file, looked at by a stat an instant ago: that look is
        // what keeps a FIFO or a device unopened, and what it said is taken
        // for what is opened now. A second look at each file cost more than
        // reading most of them. (Should the path be replaced in between,
        // the open is non-blocking all the same, and reads that come short
        // end the file where they do.)
        if (*size == 0) {
            r.status = Status::Empty;
            r.reason = "empty file";
            return r;
        }
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            r.reason = describeErrno(errno);
            return r;
        }
        r.status = Status::Ok;
        r.fd = fd;
        r.size = *size;
        return r;
    }
    struct stat lst {};
    if (regular) {
        // A listing said it is a regular file: the fstat after opening
        // checks that it still is, and tells its size.
        lst.st_mode = S_IFREG;
    } else if (::lstat(path.c_str(), &lst) != 0) {
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

namespace gv::vonk::platform {

std::vector<std::string> arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void prepareConsole() {}

#if defined(__GLIBC__) && defined(__linux__)
namespace {

// Linux 5.14 and later; older kernels refuse the advice and nothing changes.
constexpr int kPopulateWrite = 23;
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

// What was left of the heap the C library began with, taken by hugeHeap()
// and kept: held here, it is not reported as leaked, and as a volatile the
// allocation is not left out as unused.
void* volatile g_heapStartRest = nullptr;

// Gives the heap one huge page where its next allocations go. Every first
// touch of a small page costs some microseconds on virtual machines even
// once it is present (the host maps it then), and a start touches hundreds;
// a huge page is mapped once, whole. The break is moved to one small page
// below a huge page's boundary (the system allocator takes such a foreign
// move in its stride), so that its bookkeeping lands in that page and the
// huge page's range is untouched when the advice is given: a range with a
// small page in it stays in small pages. False when the break could not be
// moved; the heap is then as it was.
bool hugeHeap(std::uintptr_t page)
{
    // What is left of the heap the C library began with would serve the
    // next small allocations, in small pages faulted in one by one: it is
    // taken first, so that they come from the huge page.
    if (const std::size_t rest = ::mallinfo2().keepcost; rest > 4 * page)
        g_heapStartRest = std::malloc(rest - 256);
    auto* cur = static_cast<char*>(::sbrk(0));
    if (cur == reinterpret_cast<char*>(-1))
        return false;
    const auto at = reinterpret_cast<std::uintptr_t>(cur);
    std::uintptr_t huge = (at + page + kHugePage - 1) & ~(kHugePage - 1);
    if (::sbrk(static_cast<std::intptr_t>(huge - page - at)) == reinterpret_cast<void*>(-1))
        return false;
    // A block reaching past the huge page's end makes the allocator own the
    // range; freed, it is the top of the heap, where allocations go next.
    void* block = std::malloc(kHugePage + 2 * page);
    const auto blockAt = reinterpret_cast<std::uintptr_t>(block);
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    std::free(block);
    if (blockAt == 0)
        return false;
    if (blockAt > huge || end < huge + kHugePage) {
        // Laid out otherwise than planned: the heap's top is in small pages.
        const auto from = (blockAt + page - 1) & ~(page - 1);
        const auto to = end & ~(page - 1);
        if (to > from)
            ::madvise(reinterpret_cast<void*>(from), to - from, kPopulateWrite);
        return true;
    }
    auto* range = reinterpret_cast<void*>(huge);
    ::madvise(range, kHugePage, MADV_HUGEPAGE);
    // Where huge pages are not to be had, this makes the small ones present.
    ::madvise(range, kHugePage, kPopulateWrite);
    return true;
}

// Files at least this large are read into huge pages rather than mapped
// (see readIntoHugePages); smaller ones are mapped.
constexpr std::size_t kHugeReadFrom = std::size_t{1} << 20;

// Whether the system gives huge pages to memory that asks for them, read
// once: where it does not, a copy would fault in its small pages one by one
// and cost more than mapping the file.
bool hugePagesOffered()
{
    static const bool offered = [] {
        const int fd = ::open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        char text[128] = {};
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        return n > 0 && (std::strstr(text, "[always]") || std::strstr(text, "[madvise]"));
    }();
    return offered;
}

// Reads the `size` bytes of `fd` into memory of their own, in huge pages.
// A mapped file's pages each cost about a microsecond at their first touch
// on virtual machines, even when the mapping made them present (the
// definitions database, 732 pages: 0.9-1.4 ms to touch once mapped and
// populated, 5 us the second time), and a run touches most of them: its
// checks, its checksum and its rules. A copy costs one read and the zeroing
// of one or two huge pages. The copy also cannot fail under the reader the
// way a mapping does when the file is cut short meanwhile (a fault on the
// missing pages): a file that shrank gives what was read, which the
// database's own checks then refuse.
void readIntoHugePages(int fd, std::size_t size, MappedFile& m)
{
    const std::size_t extent = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* raw = ::mmap(nullptr, extent + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        m.status = MappedFile::Status::CannotMap;
        m.reason = std::strerror(errno);
        return;
    }
    // Aligned to a huge page, the slack on either side given back.
    const auto rawAt = reinterpret_cast<std::uintptr_t>(raw);
    const auto at = (rawAt + kHugePage - 1) & ~(kHugePage - 1);
    if (at > rawAt)
        ::munmap(raw, at - rawAt);
    ::munmap(reinterpret_cast<void*>(at + extent), rawAt + kHugePage - at);
    auto* buffer = reinterpret_cast<char*>(at);
    ::madvise(buffer, extent, MADV_HUGEPAGE);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t r = ::pread(fd, buffer + got, size - got, static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            const int error = errno;
            ::munmap(buffer, extent);
            m.status = MappedFile::Status::CannotMap;
            m.reason = std::strerror(error);
            return;
        }
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    ::mprotect(buffer, extent, PROT_READ);
    m.status = MappedFile::Status::Mapped;
    m.address = buffer;
    m.length = got;
    m.extent = extent;
}

} // namespace
#endif

void prepareHeap(std::size_t bytes)
{
#if defined(__GLIBC__) && defined(__linux__)
    // Every thread allocates from the one heap, blocks of a few megabytes
    // come from it too, and what is freed stays: the pages made present
    // serve every allocation.
    ::mallopt(M_ARENA_MAX, 1);
    ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 8 << 20);
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (bytes <= kHugePage && hugeHeap(page))
        return;
    auto* start = static_cast<char*>(::sbrk(0));
    void* block = std::malloc(bytes);
    auto* end = static_cast<char*>(::sbrk(0));
    std::free(block);
    const auto from = (reinterpret_cast<std::uintptr_t>(start) + page - 1) & ~(page - 1);
    const auto to = reinterpret_cast<std::uintptr_t>(end) & ~(page - 1);
    if (block && start != reinterpret_cast<char*>(-1) && to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, kPopulateWrite);
#else
    (void)bytes;
#endif
}

bool outputIsStored()
{
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0)
        return false;
    return S_ISREG(st.st_mode) || (S_ISCHR(st.st_mode) && !::isatty(STDOUT_FILENO));
}

std::string executableFolder()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    std::string exe(buf, static_cast<std::size_t>(n));
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

bool isSeparator(char c)
{
    return c == '/';
}

char separator()
{
    return '/';
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

PathKind pathKind(const std::string& path, std::optional<std::uint64_t>* size)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return PathKind::Missing;
    if (S_ISDIR(st.st_mode))
        return PathKind::Folder;
    if (!S_ISREG(st.st_mode))
        return PathKind::Other;
    if (size)
        *size = static_cast<std::uint64_t>(st.st_size);
    return PathKind::File;
}

bool isFolderNotLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

std::string listFolder(const std::string& dir, std::vector<FolderEntry>& entries)
{
    auto cannotList = [](int error) {
        return error == EACCES || error == EPERM ? std::string("permission denied") : std::string(std::strerror(error));
    };
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return cannotList(errno);
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") {
            FolderEntry::Type type = e->d_type == DT_DIR ? FolderEntry::Type::Folder
                : e->d_type == DT_REG                    ? FolderEntry::Type::File
                : e->d_type == DT_UNKNOWN                ? FolderEntry::Type::Unknown
                                                         : FolderEntry::Type::Other;
            entries.push_back({std::move(name), type});
        }
        errno = 0;
    }
    int readError = errno;
    ::closedir(d);
    return readError != 0 ? cannotList(readError) : std::string();
}

std::size_t readAt(int fd, std::uint64_t offset, std::uint8_t* dst, std::size_t n, std::string* error)
{
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, dst + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && error)
            *error = describeErrno(errno);
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

void closeFile(int fd)
{
    ::close(fd);
}

void closeFiles(std::span<int> fds)
{
    // Descriptors opened one after another mostly follow each other; every
    // descriptor of a run belongs to the caller, so closing the run's range
    // closes nothing else.
    std::sort(fds.begin(), fds.end());
    std::size_t i = 0;
    while (i < fds.size()) {
        std::size_t j = i + 1;
        while (j < fds.size() && fds[j] == fds[j - 1] + 1)
            ++j;
#ifdef SYS_close_range
        if (j - i > 1 && ::syscall(SYS_close_range, static_cast<unsigned>(fds[i]), static_cast<unsigned>(fds[j - 1]), 0u) == 0) {
            i = j;
            continue;
        }
#endif
        // A single descriptor, or a system without the call.
        for (; i < j; ++i)
            ::close(fds[i]);
    }
}

std::size_t descriptorLimit()
{
    struct rlimit r {};
    if (::getrlimit(RLIMIT_NOFILE, &r) != 0)
        return 256;
    return r.rlim_cur == RLIM_INFINITY ? SIZE_MAX : static_cast<std::size_t>(r.rlim_cur);
}

unsigned usableProcessors()
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

MappedFile mapFile(const std::string& path, std::uint64_t limit)
{
    MappedFile m;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        m.reason = std::strerror(errno);
        return m;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m.status = MappedFile::Status::NotRegular;
        return m;
    }
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
        ::close(fd);
        m.status = MappedFile::Status::TooLarge;
        return m;
    }
    m.status = MappedFile::Status::Empty;
    const auto size = static_cast<std::size_t>(st.st_size);
#if defined(__GLIBC__) && defined(__linux__)
    if (size >= kHugeReadFrom && hugePagesOffered()) {
        readIntoHugePages(fd, size, m);
        ::close(fd);
        return m;
    }
#endif
    if (size > 0) {
        // Mapped, not copied, and every page mapped in this one call: the
        // checksum reads them all anyway, and one call costs far less than
        // a fault every few pages (the file is most often in the cache).
        void* a = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (a == MAP_FAILED) {
            m.status = MappedFile::Status::CannotMap;
            m.reason = std::strerror(errno);
        } else {
            m.status = MappedFile::Status::Mapped;
            m.address = a;
            m.length = m.extent = size;
        }
    }
    ::close(fd);
    return m;
}

void unmapFile(void* address, std::size_t extent)
{
    if (address)
        ::munmap(address, extent);
}

} // namespace gv::vonk::platform
