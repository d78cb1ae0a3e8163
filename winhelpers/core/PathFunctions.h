// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gv {

// The folder separator of this platform. The trailing-separator helper
// keeps its historical name.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The part before the first NUL; the whole text when it holds none.
std::string TrimAtNull(std::string_view text);

// The path with one separator appended, unless it is empty or already ends
// in one.
std::string AddTrailingBackslash(std::string_view path);

struct PathParts {
    std::string drive; // "C:" on Windows; always empty on Linux
    std::string folder;
    std::string name;
    std::string extension; // from the last dot on, dot included
    friend bool operator==(const PathParts&, const PathParts&) = default;
};

// Splits a path into folder, name and extension:
//   /dir/file.txt -> "/dir/", "file", ".txt"
//   /dir/sub      -> "/dir/sub", "", ""   (a dotless last part is a folder)
//   /dir/         -> "/dir/", "", ""
//   a.b.c         -> "", "a.b", ".c"
// A path ending in a separator is a folder whatever dots it holds; a name
// whose only dot is its last character keeps that dot ("file." is a file of
// its own here, not "file").
PathParts SplitPath(std::string_view path);

// The folder of SplitPath with a trailing separator ("" when there is none).
std::string PathFolder(std::string_view path);

// Name and extension of SplitPath.
std::string PathFileName(std::string_view path);

// Appends one description/pattern pair to a dialog filter text:
// filter + description + NUL + pattern + NUL. Calls chain to build several
// pairs.
std::string MakeDialogFilter(std::string_view filter, std::string_view description,
                             std::string_view pattern = "*.*");

// Turns a filter text of MakeDialogFilter into name filters for a Qt file
// dialog, one per pair. The description is kept as written and the patterns
// follow in a last pair of parentheses that the dialog is told to hide.
// "*.*" becomes "*": the old meaning of "*.*" is every file, and names
// without a dot are files too. Pattern lists separated by ';' become
// blank-separated.
std::vector<std::string> NameFiltersFromDialogFilter(std::string_view filter);

} // namespace gv
