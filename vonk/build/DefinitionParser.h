// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/build/SourceDefinition.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// Reads .vdef sources. Errors are collected (file:line: reason) rather than
// thrown, so one run of the compiler reports every mistake in every source.
class DefinitionParser {
public:
    // Parses one source; definitions and errors accumulate across calls.
    void parse(std::string_view text, const std::string& fileName);
    // Reads and parses a file; a file that cannot be read is an error, and so
    // is anything but a regular file of at most kMaxSourceBytes.
    void parseFile(const std::string& path);
    static constexpr std::uint64_t kMaxSourceBytes = 16u << 20;
    // Cross-source checks: parents exist, no parent cycles. Returns true when
    // no error was found in any source.
    bool finish();

    const std::vector<SourceDefinition>& definitions() const { return m_defs; }
    std::vector<SourceDefinition>& definitions() { return m_defs; }
    const std::vector<SourceError>& errors() const { return m_errors; }

    // The categories `cat` accepts, in alphabetical order.
    static const std::vector<std::string>& categories();
    // A definition id: lower-case ASCII letters, digits and . _ + -, starting
    // with a letter or digit.
    static bool validId(std::string_view id);
    // A character an id may hold (. _ + - only after the first).
    static bool isIdChar(char c);

private:
    struct Token {
        std::string text;
        bool quoted = false;
    };

    bool tokenize(std::string_view line, std::vector<Token>& out, std::string& error) const;
    void statement(const std::vector<Token>& tokens, std::string_view lineText);
    // Parses a rule from tokens[i..]; returns false after reporting an error.
    bool rule(const std::vector<Token>& tokens, std::size_t i, SourceRule& out, bool& opensBlock);
    // One reader per keyword, found through a table in statement() and rule().
    void typeStatement(const std::vector<Token>& tokens);
    void descStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    void extStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    void mimeStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    void catStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    void parentStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    void weightStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    void minConfidenceStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    void endStatement(const std::vector<Token>& tokens, SourceDefinition& def);
    bool notRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool blockRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool someRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool atRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool withinRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool headTailRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool sizeRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool memberRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool clsidRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool tiffTagRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool derShapeRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool zipTextRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool zipFirstRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool brandRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool textRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool xmlRootRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool jsonRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool shebangRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool delimitedRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool keyValueRule(const std::vector<Token>& t, std::size_t i, SourceRule& r, bool& opensBlock);
    bool needCount(const std::vector<Token>& t, std::size_t i, std::size_t n, const char* usage);
    static bool quotedAt(const std::vector<Token>& t, std::size_t j);
    bool pattern(const std::vector<Token>& tokens, std::size_t i, SourceRule& out);
    void closeDefinition();
    void error(const std::string& reason);

    std::vector<SourceDefinition> m_defs;
    std::vector<SourceError> m_errors;
    std::map<std::string, std::pair<std::string, int>, std::less<>> m_ids;
    std::vector<SourceRule*> m_blocks; // open blocks of the current definition
    bool m_inDefinition = false;
    std::string m_file;
    int m_line = 0;
};

} // namespace gv::vonk
