// SPDX-License-Identifier: GPL-3.0-or-later
// The identifier's operating-system calls on Windows. Paths are UTF-8 in
// the rest of the program and UTF-16 at every Win32 call, so any name the
// file system holds can be named and reported. Descriptors are the C
// runtime's, made from Win32 handles, so the code above sees one kind of
// open file on every system.
#include "vonk/base/FileAccess.h"
#include "vonk/base/Platform.h"

#include <windows.h>

#include <atomic>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <thread>

namespace gv::vonk {

namespace {

std::wstring widen(const std::string& s)
{
    if (s.empty())
        return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string narrow(const wchar_t* w, std::size_t length)
{
    if (length == 0)
        return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), s.data(), n, nullptr, nullptr);
    return s;
}

std::string narrow(const std::wstring& w)
{
    return narrow(w.data(), w.size());
}

// The same words as on POSIX systems for the same faults, so reports read
// alike; the system's own text for the rest.
std::string describeError(DWORD e)
{
    switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return "no such file";
    case ERROR_ACCESS_DENIED:
        return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "in use by another program";
    case ERROR_FILENAME_EXCED_RANGE:
        return "name too long";
    case ERROR_INVALID_NAME:
        return "not a valid name";
    case ERROR_CANT_RESOLVE_FILENAME:
        return "symbolic link loop";
    default:
        break;
    }
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, e, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = n ? narrow(text, n) : std::string();
    if (text)
        ::LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' '))
        s.pop_back();
    return s.empty() ? "system error " + std::to_string(e) : s;
}

std::string describeFileType(DWORD type)
{
    switch (type) {
    case FILE_TYPE_PIPE:
        return "a pipe, not read";
    case FILE_TYPE_CHAR:
        return "a character device, not read";
    default:
        return "not a regular file, not read";
    }
}

// Reading shares everything: a file another program is writing or
// replacing is still read, and never locked against it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openForReading(const std::string& path)
{
    return ::CreateFileW(widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool writeAll(HANDLE h, std::string_view bytes)
{
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

std::atomic<unsigned> g_tempCounter{0};

UINT g_consoleCodePage = 0;

void restoreConsoleCodePage()
{
    if (g_consoleCodePage)
        ::SetConsoleOutputCP(g_consoleCodePage);
}

} // namespace

FileAccess::Result FileAccess::open(const std::string& path, bool listed, bool /*regular*/, std::optional<std::uint64_t> /*size*/)
{
    Result r;
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) {
        DWORD e = ::GetLastError();
        // Device names (NUL, CON) have no attributes: opening them tells.
        if (e != ERROR_INVALID_PARAMETER && e != ERROR_INVALID_FUNCTION && e != ERROR_NOT_SUPPORTED) {
            r.reason = describeError(e);
            return r;
        }
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        r.status = listed ? Status::Skipped : Status::Failed;
        r.reason = listed ? "a folder (use -s to look inside)" : "a folder";
        return r;
    }
    HANDLE h = openForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        r.reason = describeError(::GetLastError());
        return r;
    }
    // The path may have been replaced since: judge what was opened.
    DWORD type = ::GetFileType(h);
    BY_HANDLE_FILE_INFORMATION info {};
    LARGE_INTEGER size {};
    if (type != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        || !::GetFileSizeEx(h, &size)) {
        r.reason = describeFileType(type);
        ::CloseHandle(h);
        return r;
    }
    r.size = static_cast<std::uint64_t>(size.QuadPart);
    if (r.size == 0) {
        ::CloseHandle(h);
        r.status = Status::Empty;
        r.reason = "empty file";
        return r;
    }
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        r.reason = "too many open files";
        return r;
    }
    r.status = Status::Ok;
    r.fd = fd;
    return r;
}

bool replaceFile(const std::string& path, std::string_view bytes, std::string& error)
{
    const std::wstring target = widen(path);
    DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "cannot write " + path + ": a folder";
        return false;
    }
    // A device (NUL, CON) is written as it is: it cannot be renamed over.
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        HANDLE probe = ::CreateFileW(target.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            bool device = ::GetFileType(probe) != FILE_TYPE_DISK;
            bool ok = !device || writeAll(probe, bytes);
            ::CloseHandle(probe);
            if (device) {
                if (!ok)
                    error = "cannot write " + path + ": " + describeError(::GetLastError());
                return ok;
            }
        }
    }
    // Written beside the file under a name of this process and this write
    // alone, then moved over it in one step: a reader sees the old content
    // or the new, never a part.
    HANDLE h = INVALID_HANDLE_VALUE;
    std::wstring tmp;
    DWORD e = 0;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        tmp = target + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(g_tempCounter.fetch_add(1));
        h = ::CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        e = ::GetLastError();
        if (h == INVALID_HANDLE_VALUE && e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        error = "cannot write " + path + ": " + (e == ERROR_PATH_NOT_FOUND ? std::string("its folder does not exist") : describeError(e));
        return false;
    }
    bool ok = writeAll(h, bytes) && ::FlushFileBuffers(h);
    e = ::GetLastError();
    ::CloseHandle(h);
    if (!ok) {
        error = "cannot write " + narrow(tmp) + ": " + describeError(e);
        ::DeleteFileW(tmp.c_str());
        return false;
    }
    // Another writer's move, or a scanner that has the file open without
    // sharing, holds it for a moment: the move is tried again for a while.
    BOOL moved = FALSE;
    for (int attempt = 0; attempt < 50 && !moved; ++attempt) {
        moved = ::MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        e = moved ? 0 : ::GetLastError();
        if (!moved && e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION)
            break;
        if (!moved)
            ::Sleep(10);
    }
    if (!moved) {
        error = "cannot write " + path + ": " + describeError(e);
        ::DeleteFileW(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace gv::vonk

namespace gv::vonk::platform {

std::vector<std::string> arguments(int argc, char** argv)
{
    // The narrow argv holds the names in the ANSI code page, which cannot
    // hold most names: the wide command line can.
    int n = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i)
        args.push_back(narrow(std::wstring(wide[i])));
    ::LocalFree(wide);
    return args;
}

void prepareHeap(std::size_t) {}

bool outputIsStored()
{
    // A console and NUL are both character devices here: kept as watched.
    return ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_DISK;
}

void prepareConsole()
{
    // The report is UTF-8 with LF line ends, the same bytes as everywhere.
    // A console is told so; a pipe or a file gets the bytes unchanged.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    DWORD mode = 0;
    bool console = ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode)
        || ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode);
    if (console && ::GetConsoleOutputCP() != CP_UTF8) {
        // The console's code page outlives us: the next program of that
        // console gets back what it had.
        g_consoleCodePage = ::GetConsoleOutputCP();
        if (::SetConsoleOutputCP(CP_UTF8))
            std::atexit(restoreConsoleCodePage);
        else
            g_consoleCodePage = 0;
    }
}

std::string executableFolder()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    auto slash = buf.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string(".") : narrow(buf.substr(0, slash));
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

char separator()
{
    return '\\';
}

bool exists(const std::string& path)
{
    return ::GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const std::string& path)
{
    DWORD a = ::GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

PathKind pathKind(const std::string& path, std::optional<std::uint64_t>* /*size*/)
{
    DWORD a = ::GetFileAttributesW(widen(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    return (a & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

bool isFolderNotLink(const std::string& path)
{
    DWORD a = ::GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::uint64_t fileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string listFolder(const std::string& dir, std::vector<FolderEntry>& entries)
{
    std::wstring pattern = widen(dir);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found {};
    HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = ::GetLastError();
        return e == ERROR_FILE_NOT_FOUND ? std::string() : describeError(e);
    }
    do {
        std::string name = narrow(std::wstring(found.cFileName));
        if (name == "." || name == "..")
            continue;
        // A linked folder (a junction, a symbolic link) is not walked into,
        // so a loop of links cannot make a walk endless.
        const DWORD a = found.dwFileAttributes;
        FolderEntry::Type type = (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)
            ? FolderEntry::Type::Folder
            : FolderEntry::Type::Other;
        entries.push_back({std::move(name), type});
    } while (::FindNextFileW(h, &found));
    DWORD e = ::GetLastError();
    ::FindClose(h);
    return e == ERROR_NO_MORE_FILES ? std::string() : describeError(e);
}

std::size_t readAt(int fd, std::uint64_t offset, std::uint8_t* dst, std::size_t n, std::string* error)
{
    HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    std::size_t got = 0;
    while (got < n) {
        // The position is given with each read, as pread does: workers may
        // share nothing but the handle.
        OVERLAPPED at {};
        const std::uint64_t where = offset + got;
        at.Offset = static_cast<DWORD>(where & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        const DWORD chunk = n - got > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n - got);
        DWORD read = 0;
        if (!::ReadFile(h, dst + got, chunk, &read, &at)) {
            DWORD e = ::GetLastError();
            if (e != ERROR_HANDLE_EOF && error)
                *error = describeError(e);
            break;
        }
        if (read == 0)
            break;
        got += read;
    }
    return got;
}

void closeFile(int fd)
{
    ::_close(fd);
}

void closeFiles(std::span<int> fds)
{
    for (int fd : fds)
        ::_close(fd);
}

std::size_t descriptorLimit()
{
    // The C runtime's own table of descriptors.
    return 8192;
}

unsigned usableProcessors()
{
    DWORD_PTR process = 0, system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
        return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

MappedFile mapFile(const std::string& path, std::uint64_t limit)
{
    MappedFile m;
    if (isFolder(path)) {
        m.status = MappedFile::Status::NotRegular;
        return m;
    }
    HANDLE h = openForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        m.reason = describeError(::GetLastError());
        return m;
    }
    LARGE_INTEGER size {};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size)) {
        ::CloseHandle(h);
        m.status = MappedFile::Status::NotRegular;
        return m;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
        ::CloseHandle(h);
        m.status = MappedFile::Status::TooLarge;
        return m;
    }
    m.status = MappedFile::Status::Empty;
    if (size.QuadPart > 0) {
        // The view keeps the mapping, and the mapping the file: both
        // handles can go at once.
        HANDLE mapping = ::CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
        void* a = mapping ? ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
        if (!a) {
            m.status = MappedFile::Status::CannotMap;
            m.reason = describeError(::GetLastError());
        } else {
            m.status = MappedFile::Status::Mapped;
            m.address = a;
            m.length = m.extent = static_cast<std::size_t>(size.QuadPart);
        }
        if (mapping)
            ::CloseHandle(mapping);
    }
    ::CloseHandle(h);
    return m;
}

void unmapFile(void* address, std::size_t)
{
    if (address)
        ::UnmapViewOfFile(address);
}

} // namespace gv::vonk::platform
