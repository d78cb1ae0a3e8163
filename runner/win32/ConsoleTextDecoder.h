// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace gv {

// Turns the bytes of successive pipe reads into UTF-8 text.
//
// A console program writes either UTF-8 (our identifier does, always) or
// text in the console's code page (the command interpreter's own
// messages, most other tools). Bytes that form well-formed UTF-8 pass as
// they are; a run of bytes that does not is converted from the given code
// page. A character whose bytes are split between two reads (a UTF-8
// sequence or a double-byte character of the code page) is held back and
// arrives whole with the later read. CR, LF and NUL pass unchanged.
class ConsoleTextDecoder {
public:
    // codePage 0 means the console's: GetConsoleOutputCP(), else the OEM
    // code page when this process has no console.
    explicit ConsoleTextDecoder(unsigned codePage = 0);

    // Appends the text of `size` more bytes to `out`.
    void decode(const char* data, std::size_t size, std::string& out);
    // The input has ended: whatever is still held back is converted as it
    // stands.
    void finish(std::string& out);
    unsigned codePage() const { return m_codePage; }

private:
    void convertLegacy(const std::string& bytes, std::string& out) const;

    unsigned m_codePage;
    std::string m_pending;
};

} // namespace gv
