// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few operating-system calls of the identifier's programs, with one
// implementation for POSIX systems (PlatformPosix.cpp) and one for Windows
// (PlatformWin32.cpp). Text is UTF-8 on both sides of this header: on
// Windows, paths and the command line are converted from and to UTF-16 here.
// File opening and safe replacing (FileAccess.h) are implemented there too.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gv::vonk::platform {

// The program's arguments, argv[0] included, as UTF-8. On Windows they come
// from the wide command line, so names in any language arrive whole.
std::vector<std::string> arguments(int argc, char** argv);

// Makes standard output and error carry the report's bytes unchanged (no
// line-end translation) and, where they are a console, show UTF-8 text.
void prepareConsole();

// Makes the first `bytes` of the heap present at once. On virtual machines
// the first touch of each fresh page can cost some ten microseconds, more
// than a start's whole work on it, even when it was made present in one
// call: where it can, the heap's next allocations go to one huge page.
// A hint: where the system cannot, pages come in as they are touched.
void prepareHeap(std::size_t bytes);

// Whether standard output goes to a file (or a device that keeps nothing,
// such as /dev/null) rather than to a terminal, a pipe or a socket: then
// no one reads the report as it is written, and it need not go out file
// by file.
bool outputIsStored();

// The folder of the running executable, without a trailing separator;
// empty when it cannot be told.
std::string executableFolder();

// Whether `c` separates the parts of a path: '/' everywhere, '\' also on
// Windows. There a backslash is a separator, never an escape in patterns.
bool isSeparator(char c);
// The separator put between a folder and a name when none was written.
char separator();

// Whether anything is at `path`, links followed.
bool exists(const std::string& path);
// Whether `path` is a folder, links followed.
bool isFolder(const std::string& path);
// What is at `path`, links followed: one look that tells a named target's
// folder from its file, so opening the file need not look again. `size`,
// where given, gets a file's size where the look tells it.
enum class PathKind { Missing, Folder, File, Other };
PathKind pathKind(const std::string& path, std::optional<std::uint64_t>* size = nullptr);
// Whether `path` is a folder itself, not a link to one.
bool isFolderNotLink(const std::string& path);
// The size of the file at `path`; 0 when it cannot be told.
std::uint64_t fileSize(const std::string& path);

struct FolderEntry {
    std::string name;
    // What the listing says of the entry, where it says anything.
    // File: a regular file (not a link, FIFO, device or socket).
    enum class Type { Unknown, Folder, File, Other } type = Type::Unknown;
};
// The names in folder `dir` ("." and ".." left out), unsorted. Returns ""
// when listed, else why not ("permission denied", ...).
std::string listFolder(const std::string& dir, std::vector<FolderEntry>& entries);

// Reads up to `n` bytes at `offset` of a descriptor from FileAccess::open,
// without moving a shared position; fewer at the end or on an error, which
// `error` then describes when given.
std::size_t readAt(int fd, std::uint64_t offset, std::uint8_t* dst, std::size_t n, std::string* error = nullptr);
void closeFile(int fd);
// Closes every descriptor of `fds` (from FileAccess::open, each once); the
// order of `fds` is not kept. Where the system closes a run of consecutive
// descriptors in one call, each run costs one call.
void closeFiles(std::span<int> fds);
// How many descriptors this process may have open at once.
std::size_t descriptorLimit();
// How many processors this process may run on (those it is held to, where
// the system holds processes to some), at least 1.
unsigned usableProcessors();

// A whole file in memory, read-only: mapped, or (large files, where huge
// pages are to be had) read into memory of its own.
struct MappedFile {
    enum class Status { Mapped, Empty, CannotOpen, NotRegular, TooLarge, CannotMap } status = Status::CannotOpen;
    std::string reason; // for CannotOpen and CannotMap
    void* address = nullptr;
    std::size_t length = 0; // the file's bytes at `address`
    std::size_t extent = 0; // what unmapFile releases (at least `length`)
};
// Maps `path` when it is a regular file of at most `limit` bytes.
MappedFile mapFile(const std::string& path, std::uint64_t limit);
// Releases what mapFile gave: its address and extent.
void unmapFile(void* address, std::size_t extent);

} // namespace gv::vonk::platform
