// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gv {

// Length (1 to 4) of the well-formed UTF-8 character that starts at `at`;
// 0 when the bytes there are not one: a stray continuation byte, an
// overlong form, a surrogate, a value above U+10FFFF, or a sequence cut
// short by the end of `bytes`.
int validUtf8SequenceLength(std::string_view bytes, std::size_t at);

// Turns the bytes of successive pipe reads into valid UTF-8 text.
//
// A character whose bytes are split between two reads is held back and
// arrives whole with the later read, so a read boundary never damages
// text. Bytes that are not UTF-8 (stray continuation bytes, overlong
// forms, surrogates, values above U+10FFFF, a sequence cut short) become
// U+FFFD, one per maximal ill-formed subpart, so nothing vanishes
// silently. Every other byte, CR, LF and NUL included, passes unchanged.
class Utf8ChunkDecoder {
public:
    // Appends the text of `size` more bytes to `out`.
    void decode(const char* data, std::size_t size, std::string& out);
    // The input has ended: a character still held back is incomplete for
    // good and becomes U+FFFD.
    void finish(std::string& out);
    bool hasPending() const { return m_pendingSize != 0; }
    void reset() { m_pendingSize = 0; }

private:
    unsigned char m_pending[4] = {};
    std::size_t m_pendingSize = 0;
};

} // namespace gv
