#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace gv {

// Command-line text and the bytes the runner gets. File names are bytes,
// not always UTF-8: a byte that is not part of valid UTF-8 travels through
// the text as the lone surrogate U+DC00 + byte, so any name round-trips
// exactly through txtCommand.
QString commandTextFromBytes(std::string_view bytes);
std::string commandBytesFromText(const QString& text);

} // namespace gv
