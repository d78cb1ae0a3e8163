// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsoleLineEnds.h"

namespace gv {

std::string ConsoleLineEnds::toPane(std::string_view chunk)
{
    std::string out;
    out.reserve(chunk.size() + chunk.size() / 8);
    for (const char c : chunk) {
        if (c == '\n') {
            if (!m_lastWasCR)
                out += "\r\n";
            m_lastWasCR = false;
        } else if (c == '\r') {
            out += "\r\n";
            m_lastWasCR = true;
        } else {
            out += c == '\0' ? ' ' : c;
            m_lastWasCR = false;
        }
    }
    return out;
}

} // namespace gv
