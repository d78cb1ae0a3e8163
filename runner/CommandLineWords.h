#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gv {

// Splits a command line into program words the way process creation takes
// them, with no shell in between: nothing is expanded, globbed or run.
//
// - Blanks (space, tab, and the other ASCII white-space characters) separate
//   words; runs of blanks count once, leading and trailing blanks make no
//   word.
// - A backslash outside single quotes takes the next character literally,
//   whatever it is (blank, quote, newline, backslash); a backslash at the
//   very end stands for itself.
// - Single quotes group everything up to the next single quote literally,
//   backslashes included.
// - Double quotes group up to the next unescaped double quote; inside them
//   a backslash still takes the next character literally.
// - A quote left open runs to the end of the line.
// - Quotes glue to their neighbours: a"b c"d is one word, and "" is an
//   empty word.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// The inverse for one word: a text that splitCommandLine() turns back into
// exactly `word`: a backslash goes before every blank, quote and
// backslash; every other byte is kept. The empty word becomes ''.
std::string quoteCommandWord(std::string_view word);

} // namespace gv
