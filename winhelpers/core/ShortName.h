#pragma once

#include <string>
#include <string_view>

namespace gv {

// True for the characters that the runner's word splitting treats
// specially: the blanks (space, tab, newline, CR, VT, FF), both quotes and
// the backslash.
bool IsCommandLineSpecial(char c);

// Puts a backslash before every special character, so the text reaches the
// program as one word, exactly as given. Every other byte (including '$',
// ';', '`' and bytes that are not UTF-8) passes unchanged: no shell stands
// between the command line and the program.
std::string EscapeCommandWord(std::string_view word);

// The command-line form of an existing path (given as the file system's
// bytes): made absolute against the current folder without resolving
// links, then escaped. "" when nothing by that name exists; a link whose
// target is missing still exists as a name.
std::string ShortPathOf(const std::string& path);

} // namespace gv
