#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gv {

// Finds the file that a command's first word names.
//
// A word holding a slash is a path: absolute, or relative to `baseDir`
// (the folder the command will start in; empty means the current
// directory). Any other word is looked up in `searchDirs` in order; an
// empty or relative entry is taken relative to `baseDir`. The first
// candidate that is a regular file we may execute wins. Returns the path
// to hand to exec, or nothing when no such file exists.
std::optional<std::string> findProgram(std::string_view word,
                                       const std::vector<std::string>& searchDirs,
                                       const std::string& baseDir = {});

// The folders of the PATH variable in order; an empty entry means the
// current directory. Without PATH, the system's default search path.
std::vector<std::string> pathDirectories();

// The folder of the running executable, links resolved, without a
// trailing slash; "" when the system does not tell. The one place the
// program asks where it lies.
const std::string& programFolder();

} // namespace gv
