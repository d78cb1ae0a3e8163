// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace gv {

// Turns a command's output, chunk by chunk, into the text a native
// multi-line edit control shows as lines: every line end (LF, CR LF, or a
// lone CR) becomes CR LF, also when a CR LF pair is split between two
// chunks, and a NUL (which would cut the text the control takes) becomes
// a blank. Bytes pass otherwise unchanged.
class ConsoleLineEnds {
public:
    std::string toPane(std::string_view chunk);
    // The next stream starts afresh: its first LF is a line of its own.
    void reset() { m_lastWasCR = false; }

private:
    bool m_lastWasCR = false;
};

} // namespace gv
