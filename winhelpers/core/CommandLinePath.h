#pragma once

#include <string>

namespace gv {

// The command-line form of an existing path (given as the file system's
// bytes): made absolute against the current folder without resolving
// links, then quoted for the runner's word splitting (quoteCommandWord), so
// it stays one word and names exactly that file. "" when nothing by that
// name exists; a link whose target is missing still exists as a name.
std::string EscapedAbsolutePath(const std::string& path);

} // namespace gv
