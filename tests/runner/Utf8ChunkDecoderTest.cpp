// SPDX-License-Identifier: GPL-3.0-or-later
#include "Utf8ChunkDecoder.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* R = "\xEF\xBF\xBD"; // U+FFFD

struct DecodeCase {
    const char* name;
    std::vector<std::string> reads;   // bytes of each read, in order
    std::vector<std::string> chunks;  // text each read yields
    std::string atEnd;                // what finish() adds
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class Utf8ChunkDecoderTable : public testing::TestWithParam<DecodeCase> {};

TEST_P(Utf8ChunkDecoderTable, DecodesEveryRead)
{
    const DecodeCase& c = GetParam();
    ASSERT_EQ(c.reads.size(), c.chunks.size());
    gv::Utf8ChunkDecoder decoder;
    for (std::size_t i = 0; i < c.reads.size(); ++i) {
        std::string out;
        decoder.decode(c.reads[i].data(), c.reads[i].size(), out);
        EXPECT_EQ(out, c.chunks[i]) << "read " << i;
    }
    std::string tail;
    decoder.finish(tail);
    EXPECT_EQ(tail, c.atEnd);
    EXPECT_FALSE(decoder.hasPending());
}

using S = std::string;

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8ChunkDecoderTable,
    testing::Values(
        DecodeCase{"ascii", {"abc", "def"}, {"abc", "def"}, ""},
        DecodeCase{"controlBytesPass", {S("a\0b\r\n", 5), "\r", "\nc"}, {S("a\0b\r\n", 5), "\r", "\nc"}, ""},
        DecodeCase{"twoByteSplit", {"x\xC3", "\xA9y"}, {"x", "\xC3\xA9y"}, ""},
        DecodeCase{"threeByteSplitTwice", {"\xE2", "\x82", "\xAC!"}, {"", "", "\xE2\x82\xAC!"}, ""},
        DecodeCase{"fourByteSplit", {"\xF0\x9F", "\x98\x80"}, {"", "\xF0\x9F\x98\x80"}, ""},
        DecodeCase{"wholeMultibyte", {"caff\xC3\xA8 \xE2\x82\xAC"}, {"caff\xC3\xA8 \xE2\x82\xAC"}, ""},
        DecodeCase{"loneContinuation", {"a\x80z"}, {S("a") + R + "z"}, ""},
        DecodeCase{"latin1Byte", {"caff\xE8 ok"}, {S("caff") + R + " ok"}, ""},
        DecodeCase{"invalidLeads", {"\xC0\xC1\xF5\xFF"}, {S(R) + R + R + R}, ""},
        DecodeCase{"overlongThreeByte", {"\xE0\x80\x80"}, {S(R) + R + R}, ""},
        DecodeCase{"surrogate", {"\xED\xA0\x80"}, {S(R) + R + R}, ""},
        DecodeCase{"aboveUnicode", {"\xF4\x90\x80\x80"}, {S(R) + R + R + R}, ""},
        DecodeCase{"truncatedThenAscii", {"\xE2\x82" "A"}, {S(R) + "A"}, ""},
        DecodeCase{"pendingBrokenNextRead", {"a\xE2\x82", "Bc"}, {"a", S(R) + "Bc"}, ""},
        DecodeCase{"pendingBrokenByLead", {"\xC3", "\xC3\xA9"}, {"", S(R) + "\xC3\xA9"}, ""},
        DecodeCase{"cutShortAtEnd", {"ok\xE2\x82"}, {"ok"}, R},
        DecodeCase{"emptyRead", {"", "a"}, {"", "a"}, ""}),
    [](const testing::TestParamInfo<DecodeCase>& test) { return std::string(test.param.name); });

// Every way of cutting a mixed text into two reads gives back the text.
TEST(Utf8ChunkDecoder, AnySplitPointKeepsTheText)
{
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z\r\n";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        gv::Utf8ChunkDecoder decoder;
        std::string out;
        decoder.decode(text.data(), cut, out);
        decoder.decode(text.data() + cut, text.size() - cut, out);
        decoder.finish(out);
        EXPECT_EQ(out, text) << "cut at " << cut;
    }
}

// The one-character check agrees with the decoder: a sequence is valid
// exactly when decoding it alone gives it back unchanged.
TEST(Utf8ChunkDecoder, SequenceLengthAgreesWithTheDecoder)
{
    const char* samples[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC0\xAF", "\xE0\x9F\x80",
        "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "\xE2\x82", "\xFF"};
    for (const char* sample : samples) {
        const std::string bytes = sample;
        gv::Utf8ChunkDecoder decoder;
        std::string out;
        decoder.decode(bytes.data(), bytes.size(), out);
        decoder.finish(out);
        const int length = gv::validUtf8SequenceLength(bytes, 0);
        EXPECT_EQ(length != 0, out == bytes) << testing::PrintToString(bytes);
        if (length != 0) {
            EXPECT_EQ(static_cast<std::size_t>(length), bytes.size()) << testing::PrintToString(bytes);
        }
    }
}

} // namespace
