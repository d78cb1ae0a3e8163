#include "CommandLineWords.h"

namespace gv {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Characters that never need quoting; everything else (blanks, quotes,
// backslashes, control and non-ASCII bytes) gets quoted so that the word
// survives a trip through splitCommandLine() whatever it holds.
bool isPlain(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '/': case '.': case '-': case '_': case '+': case ',': case ':':
    case '=': case '@': case '%':
        return true;
    default:
        return false;
    }
}

} // namespace

std::vector<std::string> splitCommandLine(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    std::size_t i = 0;
    const std::size_t n = line.size();

    while (i < n) {
        const char c = line[i];
        if (isBlank(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (i + 1 < n) {
                word += line[i + 1];
                i += 2;
            } else {
                word += c;
                ++i;
            }
        } else if (c == '\'') {
            ++i;
            while (i < n && line[i] != '\'')
                word += line[i++];
            if (i < n)
                ++i; // closing quote
        } else if (c == '"') {
            ++i;
            while (i < n && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < n) {
                    word += line[i + 1];
                    i += 2;
                } else {
                    word += line[i++];
                }
            }
            if (i < n)
                ++i; // closing quote
        } else {
            word += c;
            ++i;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string quoteCommandWord(std::string_view word)
{
    bool plain = !word.empty();
    for (char c : word) {
        if (!isPlain(c)) {
            plain = false;
            break;
        }
    }
    if (plain)
        return std::string(word);

    // Inside single quotes only the single quote itself needs care: close
    // the quotes, give it escaped, open them again.
    std::string quoted;
    quoted.reserve(word.size() + 2);
    quoted += '\'';
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

} // namespace gv
