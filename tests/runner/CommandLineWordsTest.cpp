// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLineWords.h"

#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string line;
    Words words;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitCommandLine : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, GivesTheWords)
{
    EXPECT_EQ(gv::splitCommandLine(GetParam().line), GetParam().words) << "line: " << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitCommandLine,
    testing::Values(
        SplitCase{"empty", "", {}},
        SplitCase{"blanksOnly", "  \t \n ", {}},
        SplitCase{"plain", "cmd /c vonk file.txt", {"cmd", "/c", "vonk", "file.txt"}},
        SplitCase{"blankRuns", "  a \t\tb  ", {"a", "b"}},
        SplitCase{"newlineSeparates", "a\nb\r\nc", {"a", "b", "c"}},
        SplitCase{"escapedBlank", R"(a\ b c)", {"a b", "c"}},
        SplitCase{"escapedQuotes", R"(\"a\' b)", {"\"a'", "b"}},
        SplitCase{"escapedBackslash", R"(a\\b)", {R"(a\b)"}},
        SplitCase{"escapedNewline", "a\\\nb", {"a\nb"}},
        SplitCase{"escapedOrdinary", R"(\a\b)", {"ab"}},
        SplitCase{"trailingBackslash", R"(a\)", {R"(a\)"}},
        SplitCase{"doubleQuotesGroup", R"(x "a b  c" y)", {"x", "a b  c", "y"}},
        SplitCase{"singleQuotesGroup", R"(x 'a "b" c' y)", {"x", R"(a "b" c)", "y"}},
        SplitCase{"backslashLiteralInSingle", R"('a\b\'c)", {R"(a\b\c)"}},
        SplitCase{"backslashEscapesInDouble", R"("a\"b\\c\d")", {R"(a"b\cd)"}},
        SplitCase{"quotesGlue", R"(a"b c"d'e f'g)", {"ab cde fg"}},
        SplitCase{"emptyQuotesMakeWord", R"(a "" '' b)", {"a", "", "", "b"}},
        SplitCase{"unclosedDouble", R"(a "b c)", {"a", "b c"}},
        SplitCase{"unclosedSingle", "a 'b c\\", {"a", "b c\\"}},
        SplitCase{"noExpansion", "echo $HOME * ; ~ `x` | > <", {"echo", "$HOME", "*", ";", "~", "`x`", "|", ">", "<"}},
        SplitCase{"utf8Kept", "vonk caff\xC3\xA8.txt", {"vonk", "caff\xC3\xA8.txt"}},
        SplitCase{"quotedBlanksOnly", R"("   ")", {"   "}}),
    [](const testing::TestParamInfo<SplitCase>& test) { return std::string(test.param.name); });

class QuoteCommandWord : public testing::TestWithParam<std::string> {};

TEST_P(QuoteCommandWord, SplitsBackToTheSameWord)
{
    const std::string word = GetParam();
    const std::string line = "prog " + gv::quoteCommandWord(word) + " tail";
    EXPECT_EQ(gv::splitCommandLine(line), (Words{"prog", word, "tail"})) << "quoted as: " << line;
}

INSTANTIATE_TEST_SUITE_P(
    Words, QuoteCommandWord,
    testing::Values(std::string("/home/user/file.txt"), std::string(""), std::string("a b"),
                    std::string("it's"), std::string("''"), std::string(R"(back\slash)"),
                    std::string("\"dq\""), std::string("line\nbreak"), std::string("tab\there"),
                    std::string("$(rm -rf ~);`x`*?"), std::string("caff\xC3\xA8 \xE2\x82\xAC"),
                    std::string("-v"), std::string("\\")));

// The form the window shows in its command field: a backslash before each
// blank, quote and backslash, nothing else touched.
TEST(QuoteCommandWordForm, EscapesExactlyTheSplittersSpecialCharacters)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/tmp/a-b_c.d/x+y,z:1=2@3%", "/tmp/a-b_c.d/x+y,z:1=2@3%"},
        {"/a b", "/a\\ b"},
        {"/tab\there", "/tab\\\there"},
        {"/new\nline", "/new\\\nline"},
        {"/cr\rvt\vff\f", "/cr\\\rvt\\\vff\\\f"},
        {"/it's", "/it\\'s"},
        {"/say \"hi\"", "/say\\ \\\"hi\\\""},
        {"/back\\slash", "/back\\\\slash"},
        {"/$(reboot);rm -rf `x`&|<>*?", "/$(reboot);rm\\ -rf\\ `x`&|<>*?"},
        {"/caf\xc3\xa9 \xff\xfe", "/caf\xc3\xa9\\ \xff\xfe"},
        {"", "''"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(gv::quoteCommandWord(in), out) << in;
}

} // namespace
