// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/TextStructure.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gv::vonk {

enum class Encoding : std::uint8_t {
    Binary,
    Ascii,
    Utf8,
    Utf16Le,
    Utf16Be,
    Utf32Le,
    Utf32Be,
    EightBit, // no control bytes, but not valid UTF-8: some legacy 8-bit code page
};

struct TextInfo {
    Encoding encoding = Encoding::Binary;
    bool bom = false;
    // Filled in by Probe from the whole head.
    LineEndings lineEndings = LineEndings::None;
    bool isText() const { return encoding != Encoding::Binary; }
    // "ASCII", "UTF-8", "UTF-16LE with BOM", ...
    std::string describe() const;
};

// Judges whether a file's head is text and in which encoding. `truncated`
// says the head is cut from a longer file, so a multi-byte sequence cut at
// the end is not held against it.
TextInfo classifyText(const std::uint8_t* data, std::size_t size, bool truncated);

// The head as bytes a markup sniffer can read: UTF-16/32 code units below
// 0x80 become bytes, others become '?'; a UTF-8 BOM is dropped.
std::string asciiView(const std::uint8_t* data, std::size_t size, const TextInfo& info, std::size_t limit);

} // namespace gv::vonk
