#include "IdentifierDeployment.h"

#include "ResourceFile.h"
#include "winhelpers/ResourceTable.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

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

bool writeRecord(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::string text = "vonk and VonkDefs.vkd here were written by GUI-Vonk (process "
        + std::to_string(::getpid()) + ") and are removed when it closes.\n";
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
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

std::string RunningProgramFolder()
{
    std::string buffer(4096, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const std::size_t slash = buffer.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : buffer.substr(0, slash);
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

void IdentifierDeployment::setFolderCheck(std::function<bool(const std::string&)> check)
{
    m_check = check ? std::move(check) : std::function<bool(const std::string&)>(FolderAcceptsFiles);
}

bool IdentifierDeployment::holdsOthers() const
{
    struct stat st {};
    const bool ourRecord = entryExists(joinPath(m_programFolder, kRecordName), &st) && S_ISREG(st.st_mode);
    for (const CarriedFile& file : m_files) {
        if (!entryExists(joinPath(m_programFolder, file.name), &st))
            continue;
        if (S_ISDIR(st.st_mode) || !ourRecord)
            return true;
    }
    return false;
}

bool IdentifierDeployment::writeAll(const std::string& folder)
{
    for (const CarriedFile& file : m_files) {
        const std::string target = joinPath(folder, file.name);
        if (ExtractResourceToFile(target, file.id, kPayloadType, true) != ExtractOutcome::Written)
            return false;
        if (!file.executable && ::chmod(target.c_str(), 0644) != 0)
            return false;
    }
    return true;
}

void IdentifierDeployment::removeQuietly(const std::string& folder)
{
    for (const CarriedFile& file : m_files)
        ::unlink(joinPath(folder, file.name).c_str());
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

    FallbackReason reason = FallbackReason::None;
    if (m_programFolder.empty()) {
        reason = FallbackReason::ProgramFolderUnwritable;
    } else if (holdsOthers()) {
        reason = FallbackReason::ProgramFolderHoldsOthers;
    } else if (!m_check(m_programFolder)) {
        reason = FallbackReason::ProgramFolderUnwritable;
    } else {
        // The record goes first: whatever happens next, the files found
        // here at the next start are known to be ours.
        if (writeRecord(joinPath(m_programFolder, kRecordName)) && writeAll(m_programFolder)) {
            m_result.place = DeploymentPlace::ProgramFolder;
            m_result.folder = m_programFolder;
            return m_result;
        }
        removeQuietly(m_programFolder);
        reason = FallbackReason::ProgramFolderUnwritable;
    }
    m_result.reason = reason;

    if (m_userFolder.empty() || m_userFolder == m_programFolder)
        return m_result;
    if (preparePrivateFolder(m_userFolder) && m_check(m_userFolder) && writeAll(m_userFolder)) {
        m_result.place = DeploymentPlace::UserFolder;
        m_result.folder = m_userFolder;
        m_result.tellUser = firstNoticeFor(m_programFolder);
        return m_result;
    }
    removeQuietly(m_userFolder);
    return m_result;
}

std::vector<std::string> IdentifierDeployment::Remove()
{
    if (m_removeRan)
        return m_removeFailures;
    m_removeRan = true;
    if (!Deployed())
        return {};
    for (const CarriedFile& file : m_files) {
        const std::string path = joinPath(m_result.folder, file.name);
        if (::unlink(path.c_str()) == 0 || errno == ENOENT)
            continue;
        const int error = errno;
        m_removeFailures.push_back(path + ": " + std::strerror(error));
    }
    if (m_result.place == DeploymentPlace::ProgramFolder && m_removeFailures.empty())
        ::unlink(joinPath(m_result.folder, kRecordName).c_str());
    return m_removeFailures;
}

} // namespace gv
