// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gv::vonk {

struct XmlRoot {
    bool found = false;
    std::string localName;
    std::string nameSpace;
};

// Finds the root element of XML text: skips a declaration, comments,
// processing instructions and a doctype (with an internal subset), then
// reads the first element's name and the namespace that applies to it.
XmlRoot findXmlRoot(std::string_view text);

// Where a doctype that began before `from` ends: just past its '>', found
// outside quotes and the internal subset; npos when the text ends first.
std::size_t doctypeEnd(std::string_view text, std::size_t from);

// True when the text is a JSON object or array. With `truncated`, a document
// cut off by the end of the text counts, as long as what is there is valid.
bool isJson(std::string_view text, bool truncated);

// The interpreter named by a "#!" first line: its base name, or that of the
// command after `env` and env's options. Empty when there is no shebang.
std::string shebangInterpreter(std::string_view text);

} // namespace gv::vonk
