#include "IdentifierDeployment.h"

#include "InstanceLock.h"
#include "winhelpers/core/ResourceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace gv {

namespace {

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool entryExists(const std::string& path, struct stat* st)
{
    return ::lstat(path.c_str(), st) == 0;
}

std::string absoluteEnv(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || value[0] != '/')
        return {};
    return value;
}

// Creates folder and any missing parents, each private to the user.
bool makeFolders(const std::string& folder)
{
    for (std::size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

// The user's folder must be a real folder of this user that nobody else can
// write into, or another account could swap the identifier we run.
bool preparePrivateFolder(const std::string& folder)
{
    if (folder.empty() || !makeFolders(folder))
        return false;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return false;
    return true;
}

// When the kernel started process pid (clock ticks since boot), or nothing
// when there is no such process. With the pid it names one process for
// good: a pid reused later has another start time.
std::optional<unsigned long long> processStartTime(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name in parentheses may hold blanks and parentheses.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    // State is the third field; the start time is the twenty-second.
    for (int number = 3; number <= 22; ++number) {
        if (!(fields >> field))
            return std::nullopt;
    }
    try {
        return std::stoull(field);
    } catch (...) {
        return std::nullopt;
    }
}

unsigned long long ownStartTime()
{
    return processStartTime(::getpid()).value_or(0);
}

// FNV-1a, 64 bits: the record only has to tell our bytes from any others
// that came to stand under the same identity, not resist a forger (who
// could as well write into the folder).
std::optional<IdentifierDeployment::FileIdentity> identify(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<IdentifierDeployment::FileIdentity> result;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::uint64_t hash = 14695981039346656037ull;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                hash ^= static_cast<unsigned char>(buffer[i]);
                hash *= 1099511628211ull;
            }
        }
        if (n == 0)
            result = IdentifierDeployment::FileIdentity { st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec,
                st.st_mtim.tv_nsec, hash };
    }
    ::close(fd);
    return result;
}

// Whether path still is the file with that identity; the cheap fields are
// compared before the bytes are read.
bool stillIs(const std::string& path, const IdentifierDeployment::FileIdentity& identity)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != identity.device
        || st.st_ino != identity.inode || st.st_size != identity.size || st.st_mtim.tv_sec != identity.mtimeSec
        || st.st_mtim.tv_nsec != identity.mtimeNsec)
        return false;
    const auto now = identify(path);
    return now && *now == identity;
}

// Whether path is a regular file holding exactly the carried bytes, and can
// run when the carried file is a program.
bool holdsCarriedBytes(const std::string& path, const CarriedFile& file)
{
    const EmbeddedResource* resource = FindEmbeddedResource(kPayloadType, file.id);
    struct stat st {};
    if (!resource || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)
        || static_cast<std::size_t>(st.st_size) != resource->size)
        return false;
    if (file.executable && ::access(path.c_str(), X_OK) != 0)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.size() == resource->size && std::memcmp(bytes.data(), resource->data, resource->size) == 0;
}

constexpr const char* kRecordHeading = "GUI-Vonk deployment record 2";

// The record: who wrote the files (pid and start time) and what each one
// was right after writing. Text, one item a line; the name comes last, so
// it may hold blanks.
struct Record {
    pid_t writer = 0;
    unsigned long long writerStart = 0;
    std::vector<std::pair<std::string, IdentifierDeployment::FileIdentity>> files;
};

std::optional<Record> readRecord(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) || line != kRecordHeading)
        return std::nullopt;
    Record record;
    long long writer = 0;
    if (!std::getline(in, line) || std::sscanf(line.c_str(), "writer %lld %llu", &writer, &record.writerStart) != 2
        || writer <= 0)
        return std::nullopt;
    record.writer = static_cast<pid_t>(writer);
    while (std::getline(in, line)) {
        unsigned long long device = 0, inode = 0, hash = 0;
        long long size = 0, seconds = 0;
        long nanoseconds = 0;
        int nameAt = 0;
        if (std::sscanf(line.c_str(), "file %llu %llu %lld %lld %ld %llx %n", &device, &inode, &size, &seconds,
                &nanoseconds, &hash, &nameAt)
                != 6
            || nameAt <= 0)
            return std::nullopt;
        record.files.emplace_back(line.substr(static_cast<std::size_t>(nameAt)),
            IdentifierDeployment::FileIdentity { static_cast<dev_t>(device), static_cast<ino_t>(inode),
                static_cast<off_t>(size), seconds, nanoseconds, hash });
    }
    return record;
}

template <typename Files>
bool writeRecord(const std::string& path, const Files& files)
{
    std::string text = std::string(kRecordHeading) + "\nwriter " + std::to_string(::getpid()) + " "
        + std::to_string(ownStartTime()) + "\n";
    for (const auto& file : files) {
        char line[160];
        const auto& id = file.identity;
        std::snprintf(line, sizeof line, "file %llu %llu %lld %lld %ld %llx ",
            static_cast<unsigned long long>(id.device), static_cast<unsigned long long>(id.inode),
            static_cast<long long>(id.size), static_cast<long long>(id.mtimeSec), id.mtimeNsec,
            static_cast<unsigned long long>(id.hash));
        text += line + file.name + "\n";
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

// A writer that is still running is another copy (one that lost its lock
// file, say): what it wrote is not ours to touch. We ourselves count as
// ended.
bool writerRuns(const Record& record)
{
    if (record.writer == ::getpid() && record.writerStart == ownStartTime())
        return false;
    const auto start = processStartTime(record.writer);
    return start && *start == record.writerStart;
}

} // namespace

const std::vector<CarriedFile>& IdentifierFiles()
{
    static const std::vector<CarriedFile> files {
        { "vonk", kIdentifierResource, true },
        { "VonkDefs.vkd", kDatabaseResource, false },
    };
    return files;
}

std::string PerUserDeploymentFolder()
{
    if (std::string runtime = absoluteEnv("XDG_RUNTIME_DIR"); !runtime.empty())
        return joinPath(runtime, "gui-vonk");
    if (std::string cache = absoluteEnv("XDG_CACHE_HOME"); !cache.empty())
        return joinPath(cache, "gui-vonk");
    if (std::string home = absoluteEnv("HOME"); !home.empty())
        return joinPath(home, ".cache/gui-vonk");
    return {};
}

std::string PersistentNoticeFolder()
{
    if (std::string cache = absoluteEnv("XDG_CACHE_HOME"); !cache.empty())
        return joinPath(cache, "gui-vonk");
    if (std::string home = absoluteEnv("HOME"); !home.empty())
        return joinPath(home, ".cache/gui-vonk");
    return {};
}

bool FolderAcceptsFiles(const std::string& folder)
{
    if (folder.empty())
        return false;
    std::string probe = joinPath(folder, ".gui-vonk-probe-XXXXXX");
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

IdentifierDeployment::IdentifierDeployment(std::string programFolder, std::string userFolder,
                                           std::vector<CarriedFile> files)
    : m_programFolder(std::move(programFolder))
    , m_userFolder(std::move(userFolder))
    , m_files(std::move(files))
    , m_check(FolderAcceptsFiles)
{
}

IdentifierDeployment::~IdentifierDeployment() = default;

void IdentifierDeployment::setFolderCheck(std::function<bool(const std::string&)> check)
{
    m_check = check ? std::move(check) : std::function<bool(const std::string&)>(FolderAcceptsFiles);
}

bool IdentifierDeployment::lockFolder(const std::string& folder, std::unique_ptr<InstanceLock>& lock)
{
    lock = std::make_unique<InstanceLock>(joinPath(folder, kLockName));
    if (!lock->TryAcquire()) {
        lock.reset();
        return false;
    }
    if (!lock->IsHeld())
        lock.reset();
    return true;
}

bool IdentifierDeployment::LockProgramFolder()
{
    if (!m_programLockTried) {
        m_programLockTried = true;
        m_programLockRefused = !m_programFolder.empty() && !lockFolder(m_programFolder, m_programLock);
    }
    return !m_programLockRefused;
}

bool IdentifierDeployment::assessProgramFolder(std::vector<Found>& found) const
{
    const std::optional<Record> record = readRecord(joinPath(m_programFolder, kRecordName));
    const bool writerEnded = record && !writerRuns(*record);
    found.assign(m_files.size(), Found::Absent);
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        const std::string path = joinPath(m_programFolder, m_files[i].name);
        struct stat st {};
        if (!entryExists(path, &st))
            continue;
        found[i] = Found::Foreign;
        if (!S_ISREG(st.st_mode))
            continue;
        if (writerEnded) {
            for (const auto& [name, identity] : record->files) {
                if (name == m_files[i].name && stillIs(path, identity))
                    found[i] = Found::Ours;
            }
        }
        if (found[i] == Found::Foreign && holdsCarriedBytes(path, m_files[i]))
            found[i] = Found::Carried;
    }
    return !record || writerEnded;
}

bool IdentifierDeployment::writeInto(const std::string& folder, const std::vector<Found>* found)
{
    const bool recorded = folder == m_programFolder;
    const std::string record = joinPath(folder, kRecordName);
    m_written.clear();
    // The record goes first and grows with every file: whatever happens
    // next, what the next start finds here is known to be ours.
    if (recorded && !writeRecord(record, m_written))
        return false;
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        if (found && (*found)[i] == Found::Carried)
            continue;
        const CarriedFile& file = m_files[i];
        const std::string target = joinPath(folder, file.name);
        if (ExtractResourceFile(target, file.id, kPayloadType, true) != ExtractOutcome::Written)
            return false;
        if (!file.executable && ::chmod(target.c_str(), 0644) != 0)
            return false;
        const auto identity = identify(target);
        if (!identity)
            return false;
        m_written.push_back({ file.name, *identity });
        if (recorded && !writeRecord(record, m_written))
            return false;
    }
    return true;
}

void IdentifierDeployment::removeQuietly(const std::string& folder)
{
    for (const Written& file : m_written) {
        const std::string path = joinPath(folder, file.name);
        if (stillIs(path, file.identity))
            ::unlink(path.c_str());
    }
    m_written.clear();
    if (folder == m_programFolder)
        ::unlink(joinPath(folder, kRecordName).c_str());
}

bool IdentifierDeployment::firstNoticeFor(const std::string& programFolder)
{
    // Program folders already told about, one per NUL-ended entry (a folder
    // name may hold any other byte).
    std::string folder = m_noticeFolder.empty() ? m_userFolder : m_noticeFolder;
    if (folder != m_userFolder && !preparePrivateFolder(folder))
        folder = m_userFolder;
    const std::string notice = joinPath(folder, kNoticeName);
    std::string seen;
    {
        std::ifstream in(notice, std::ios::binary);
        seen.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::size_t start = 0;
    while (start < seen.size()) {
        std::size_t end = seen.find('\0', start);
        if (end == std::string::npos)
            end = seen.size();
        if (seen.compare(start, end - start, programFolder) == 0)
            return false;
        start = end + 1;
    }
    std::ofstream out(notice, std::ios::binary | std::ios::app);
    out << programFolder << '\0';
    return true;
}

DeploymentResult IdentifierDeployment::Deploy()
{
    if (m_deployRan)
        return m_result;
    m_deployRan = true;

    for (const CarriedFile& file : m_files) {
        if (!FindEmbeddedResource(kPayloadType, file.id)) {
            m_result.missingPayload = true;
            return m_result;
        }
    }
    if (!LockProgramFolder()) {
        m_result.otherCopyRunning = true;
        return m_result;
    }

    FallbackReason reason = FallbackReason::ProgramFolderUnwritable;
    if (!m_programFolder.empty()) {
        std::vector<Found> found;
        const bool noOtherWriter = assessProgramFolder(found);
        auto count = [&found](Found kind) { return std::count(found.begin(), found.end(), kind); };
        if (!noOtherWriter || count(Found::Foreign) > 0) {
            reason = FallbackReason::ProgramFolderHoldsOthers;
        } else if (count(Found::Carried) == static_cast<std::ptrdiff_t>(found.size())) {
            // Already there, byte for byte: used where they are and left
            // alone at close. A record an ended run left behind goes.
            if (m_programLock)
                ::unlink(joinPath(m_programFolder, kRecordName).c_str());
            m_result.place = DeploymentPlace::ProgramFolder;
            m_result.folder = m_programFolder;
            return m_result;
        } else if (m_programLock && m_check(m_programFolder)) {
            // Only a folder we hold the lock of is written.
            if (writeInto(m_programFolder, &found)) {
                m_result.place = DeploymentPlace::ProgramFolder;
                m_result.folder = m_programFolder;
                return m_result;
            }
            removeQuietly(m_programFolder);
        }
    }
    m_result.reason = reason;

    if (m_userFolder.empty() || m_userFolder == m_programFolder)
        return m_result;
    if (preparePrivateFolder(m_userFolder)) {
        if (!lockFolder(m_userFolder, m_userLock)) {
            m_result.otherCopyRunning = true;
            return m_result;
        }
        if (m_userLock && m_check(m_userFolder) && writeInto(m_userFolder, nullptr)) {
            m_result.place = DeploymentPlace::UserFolder;
            m_result.folder = m_userFolder;
            m_result.tellUser = firstNoticeFor(m_programFolder);
            return m_result;
        }
        removeQuietly(m_userFolder);
        m_userLock.reset();
    }
    return m_result;
}

std::vector<std::string> IdentifierDeployment::Remove()
{
    if (m_removeRan)
        return m_removeFailures;
    m_removeRan = true;
    if (Deployed()) {
        for (const Written& file : m_written) {
            const std::string path = joinPath(m_result.folder, file.name);
            // A file that is no longer the one we wrote is somebody's now,
            // and so is a link. A folder cannot be removed like a file: it
            // is told, as the name stays taken.
            struct stat st {};
            if (!entryExists(path, &st) || (S_ISREG(st.st_mode) && !stillIs(path, file.identity))
                || (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)))
                continue;
            if (::unlink(path.c_str()) == 0 || errno == ENOENT)
                continue;
            const int error = errno;
            m_removeFailures.push_back(path + ": " + std::strerror(error));
        }
        if (m_result.place == DeploymentPlace::ProgramFolder && !m_written.empty() && m_removeFailures.empty())
            ::unlink(joinPath(m_result.folder, kRecordName).c_str());
    }
    m_userLock.reset();
    m_programLock.reset();
    return m_removeFailures;
}

} // namespace gv
