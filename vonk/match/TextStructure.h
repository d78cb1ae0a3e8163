// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gv::vonk {

// Line structure of a text head, judged as a whole: unlike a pattern, these
// say how much of the text agrees, so the evidence grows with the text.

enum class LineEndings : std::uint8_t { None, Lf, CrLf, Cr, Mixed };

// "none", "LF", "CRLF", "CR" or "mixed".
const char* lineEndingsName(LineEndings e);

LineEndings lineEndingsOf(std::string_view text);

// A table of records separated by line breaks and fields separated by one
// byte, with fields in double quotes able to hold separators, line breaks
// and doubled quotes. `consistent` when there are at least two records, the
// first has at least two fields and no other has more than it or fewer than
// two (empty trailing fields are often left out). `fields` is the first
// record's count.
struct TableShape {
    bool consistent = false;
    std::size_t records = 0;
    std::size_t fields = 0;
};

// Reads at most kMaxRecords records. With `truncated`, the text is cut from
// a longer file and its unfinished last record is not judged. Blank lines
// are skipped. A comma or semicolon that is mostly followed by a blank is
// punctuation, not a separator: prose with the same number of commas on
// each line is not a table.
TableShape delimitedShape(std::string_view text, char separator, bool truncated);

// An INI-style key file: every line that is not blank or a comment (';' or
// '#') is a "[section]" header, a "key = value" assignment or a lone key
// without blanks. `valid` with at least one section and one assignment.
struct KeyFileShape {
    bool valid = false;
    std::size_t sections = 0;
    std::size_t keys = 0;
};

KeyFileShape keyFileShape(std::string_view text, bool truncated);

// A YAML-style mapping: every line that is not blank, a comment, a document
// marker ("---", "...") or a directive ("%YAML") is "key: value", "key:" or
// a list item "- ...", indented by spaces (never tabs); the lines of a block
// scalar ("key: |" or ">") are its content. One line in ten may be
// something else. `valid` with at least one key and two keys or items.
struct MappingShape {
    bool valid = false;
    std::size_t keys = 0;
    std::size_t items = 0;
};

MappingShape mappingShape(std::string_view text, bool truncated);

inline constexpr std::size_t kMaxRecords = 1000;

} // namespace gv::vonk
