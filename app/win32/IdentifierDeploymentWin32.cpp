// SPDX-License-Identifier: GPL-3.0-or-later
#include "IdentifierDeploymentWin32.h"

#include "InstanceLockWin32.h"
#include "WideText.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gv {

namespace {

constexpr const char* kRecordHeading = "GUI-Vonk deployment record win32 1";

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + "\\" + name;
}

DWORD attributesOf(const std::string& path)
{
    return ::GetFileAttributesW(Widen(path).c_str());
}

bool exists(const std::string& path)
{
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

// A plain file: not a folder, not a link or other reparse point.
bool isPlainFile(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES
        && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool removeFile(const std::string& path)
{
    return ::DeleteFileW(Widen(path).c_str()) != 0;
}

std::string lastErrorText()
{
    const DWORD error = ::GetLastError();
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result = text ? Narrow(text) : "error " + std::to_string(error);
    if (text)
        ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
        result.pop_back();
    return result;
}

// Creates folder and any missing parents; it must end up a real folder,
// not a link someone else could point elsewhere.
bool preparePrivateFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    for (std::size_t at = folder.find_first_of("\\/", 3);; at = folder.find_first_of("\\/", at + 1)) {
        const std::string part = folder.substr(0, at);
        if (!part.empty() && !exists(part))
            ::CreateDirectoryW(Widen(part).c_str(), nullptr);
        if (at == std::string::npos)
            break;
    }
    const DWORD attributes = attributesOf(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
        && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::uint64_t creationTime(DWORD pid)
{
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return 0;
    FILETIME created {}, exited {}, kernel {}, user {};
    std::uint64_t result = 0;
    DWORD code = 0;
    if (::GetProcessTimes(process, &created, &exited, &kernel, &user) && ::GetExitCodeProcess(process, &code)
        && code == STILL_ACTIVE)
        result = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    ::CloseHandle(process);
    return result;
}

// FNV-1a, 64 bits: the record only has to tell our bytes from any others
// that came to stand under the same identity, not resist a forger.
std::optional<IdentifierDeployment::FileIdentity> identify(const std::string& path)
{
    HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info {};
    std::optional<IdentifierDeployment::FileIdentity> result;
    if (::GetFileInformationByHandle(h, &info) && isPlainFile(info.dwFileAttributes)) {
        std::uint64_t hash = 14695981039346656037ull;
        char buffer[65536];
        DWORD n = 0;
        bool ok = true;
        while ((ok = ::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) && n > 0) {
            for (DWORD i = 0; i < n; ++i) {
                hash ^= static_cast<unsigned char>(buffer[i]);
                hash *= 1099511628211ull;
            }
        }
        if (ok)
            result = IdentifierDeployment::FileIdentity { info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32)
                    | info.ftLastWriteTime.dwLowDateTime,
                hash };
    }
    ::CloseHandle(h);
    return result;
}

bool stillIs(const std::string& path, const IdentifierDeployment::FileIdentity& identity)
{
    const auto now = identify(path);
    return now && *now == identity;
}

bool readWhole(const std::string& path, std::string& bytes)
{
    HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bytes.clear();
    char buffer[65536];
    DWORD n = 0;
    bool ok = true;
    while ((ok = ::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) && n > 0)
        bytes.append(buffer, n);
    ::CloseHandle(h);
    return ok;
}

// Writes bytes to a new file beside path and moves it over path, so path
// never holds part of the bytes.
bool writeWhole(const std::string& path, std::string_view bytes)
{
    const std::string temporary = path + ".gv-new-" + std::to_string(::GetCurrentProcessId());
    HANDLE h = ::CreateFileW(Widen(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    while (ok && !bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        ok = ::WriteFile(h, bytes.data(), chunk, &written, nullptr) && written > 0;
        bytes.remove_prefix(written);
    }
    ok = ::CloseHandle(h) && ok;
    if (ok && ::MoveFileExW(Widen(temporary).c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    removeFile(temporary);
    return false;
}

struct Record {
    DWORD writer = 0;
    std::uint64_t writerStart = 0;
    std::vector<std::pair<std::string, IdentifierDeployment::FileIdentity>> files;
};

std::optional<Record> readRecord(const std::string& path)
{
    std::string text;
    if (!isPlainFile(attributesOf(path)) || !readWhole(path, text))
        return std::nullopt;
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 2 || lines[0] != kRecordHeading)
        return std::nullopt;
    Record record;
    unsigned long writer = 0;
    unsigned long long start = 0;
    if (std::sscanf(lines[1].c_str(), "writer %lu %llu", &writer, &start) != 2 || writer == 0)
        return std::nullopt;
    record.writer = writer;
    record.writerStart = start;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        unsigned long volume = 0;
        unsigned long long index = 0, size = 0, time = 0, hash = 0;
        int nameAt = 0;
        if (std::sscanf(lines[i].c_str(), "file %lu %llu %llu %llu %llx %n", &volume, &index, &size, &time, &hash,
                &nameAt)
                != 5
            || nameAt <= 0)
            return std::nullopt;
        record.files.emplace_back(lines[i].substr(static_cast<std::size_t>(nameAt)),
            IdentifierDeployment::FileIdentity { static_cast<std::uint32_t>(volume), index, size, time, hash });
    }
    return record;
}

template <typename Files>
bool writeRecord(const std::string& path, const Files& files)
{
    const DWORD self = ::GetCurrentProcessId();
    std::string text = std::string(kRecordHeading) + "\nwriter " + std::to_string(self) + " "
        + std::to_string(creationTime(self)) + "\n";
    for (const auto& file : files) {
        char line[160];
        const auto& id = file.identity;
        std::snprintf(line, sizeof line, "file %lu %llu %llu %llu %llx ", static_cast<unsigned long>(id.volume),
            static_cast<unsigned long long>(id.index), static_cast<unsigned long long>(id.size),
            static_cast<unsigned long long>(id.writeTime), static_cast<unsigned long long>(id.hash));
        text += line + file.name + "\n";
    }
    return writeWhole(path, text);
}

// A writer that is still running is another copy: what it wrote is not
// ours to touch. We ourselves count as ended.
bool writerRuns(const Record& record)
{
    const DWORD self = ::GetCurrentProcessId();
    if (record.writer == self && record.writerStart == creationTime(self))
        return false;
    const std::uint64_t start = creationTime(record.writer);
    return start != 0 && start == record.writerStart;
}

} // namespace

const std::vector<CarriedFile>& IdentifierFiles()
{
    static const std::vector<CarriedFile> files {
        { "vonk.exe", kIdentifierResource },
        { "VonkDefs.vkd", kDatabaseResource },
    };
    return files;
}

std::optional<std::string_view> CarriedBytes(int id)
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(id), kPayloadType);
    if (!found)
        return std::nullopt;
    HGLOBAL loaded = ::LoadResource(self, found);
    const DWORD size = ::SizeofResource(self, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data)
        return std::nullopt;
    return std::string_view(static_cast<const char*>(data), size);
}

std::string PerUserDeploymentFolder()
{
    const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
    if (!local || !*local)
        return {};
    return joinPath(Narrow(local), "gui-vonk");
}

bool FolderAcceptsFiles(const std::string& folder)
{
    if (folder.empty())
        return false;
    const std::string probe = joinPath(folder, ".gui-vonk-probe-" + std::to_string(::GetCurrentProcessId()));
    HANDLE h = ::CreateFileW(Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

IdentifierDeployment::IdentifierDeployment(std::string programFolder, std::string userFolder,
                                           std::vector<CarriedFile> files, PayloadSource bytes)
    : m_programFolder(std::move(programFolder))
    , m_userFolder(std::move(userFolder))
    , m_files(std::move(files))
    , m_bytes(bytes ? std::move(bytes) : PayloadSource(CarriedBytes))
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
        const DWORD attributes = attributesOf(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue;
        found[i] = Found::Foreign;
        if (!isPlainFile(attributes))
            continue;
        if (writerEnded) {
            for (const auto& [name, identity] : record->files) {
                if (name == m_files[i].name && stillIs(path, identity))
                    found[i] = Found::Ours;
            }
        }
        std::string bytes;
        const auto carried = m_bytes(m_files[i].id);
        if (found[i] == Found::Foreign && carried && readWhole(path, bytes) && bytes == *carried)
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
        const auto bytes = m_bytes(file.id);
        if (!bytes || !writeWhole(target, *bytes))
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
            removeFile(path);
    }
    m_written.clear();
    if (folder == m_programFolder)
        removeFile(joinPath(folder, kRecordName));
}

bool IdentifierDeployment::firstNoticeFor(const std::string& programFolder)
{
    // Program folders already told about, one per NUL-ended entry.
    const std::string notice = joinPath(m_userFolder, kNoticeName);
    std::string seen;
    readWhole(notice, seen);
    std::size_t start = 0;
    while (start < seen.size()) {
        std::size_t end = seen.find('\0', start);
        if (end == std::string::npos)
            end = seen.size();
        if (seen.compare(start, end - start, programFolder) == 0)
            return false;
        start = end + 1;
    }
    seen += programFolder;
    seen += '\0';
    writeWhole(notice, seen);
    return true;
}

DeploymentResult IdentifierDeployment::Deploy()
{
    if (m_deployRan)
        return m_result;
    m_deployRan = true;

    for (const CarriedFile& file : m_files) {
        if (!m_bytes(file.id)) {
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
                removeFile(joinPath(m_programFolder, kRecordName));
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
            // and so is a link. A folder under the name is told, as the
            // name stays taken.
            const DWORD attributes = attributesOf(path);
            if (attributes == INVALID_FILE_ATTRIBUTES
                || (isPlainFile(attributes) && !stillIs(path, file.identity))
                || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                m_removeFailures.push_back(path + ": a folder has taken the name");
                continue;
            }
            if (removeFile(path) || ::GetLastError() == ERROR_FILE_NOT_FOUND)
                continue;
            m_removeFailures.push_back(path + ": " + lastErrorText());
        }
        if (m_result.place == DeploymentPlace::ProgramFolder && !m_written.empty() && m_removeFailures.empty())
            removeFile(joinPath(m_result.folder, kRecordName));
    }
    m_userLock.reset();
    m_programLock.reset();
    return m_removeFailures;
}

} // namespace gv
