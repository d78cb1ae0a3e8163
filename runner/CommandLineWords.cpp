#include "CommandLineWords.h"

namespace gv {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The characters splitCommandLine() treats specially: the blanks, both
// quotes and the backslash.
bool isSpecial(char c)
{
    return isBlank(c) || c == '\'' || c == '"' || c == '\\';
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
    // An empty word would vanish between the blanks around it.
    if (word.empty())
        return "''";
    // A backslash before each special character keeps the word readable
    // (the window shows it in its command field) and passes every other
    // byte, '$', ';', '`' and bytes that are not UTF-8 included, as it is:
    // no shell stands between the command line and the program.
    std::string out;
    out.reserve(word.size() + word.size() / 8 + 2);
    for (char c : word) {
        if (isSpecial(c))
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace gv
