// SPDX-License-Identifier: GPL-3.0-or-later
// What every sample shares: byte runs at fixed places and strings anywhere.

#include "LearnerTestSupport.h"
#include "vonk/learner/SharedBytes.h"
#include "vonk/learner/SharedStrings.h"

#include <gtest/gtest.h>

using namespace gv::learner;
using namespace gv::learner::test;

namespace {

std::vector<Sample> samples(const std::vector<std::string>& contents, Window w = {})
{
    std::vector<Sample> out;
    for (const auto& c : contents)
        out.push_back(sample(c, "s", w));
    return out;
}

std::string show(const std::vector<ByteRun>& runs)
{
    std::string out;
    for (const auto& r : runs)
        out += std::to_string(r.offset) + ":" + std::string(r.bytes.begin(), r.bytes.end()) + " ";
    return out;
}

struct BytesCase {
    const char* name;
    std::vector<std::string> contents;
    std::size_t minLength;
    std::string fromStart; // "offset:bytes " per run
    std::string fromEnd;
};

} // namespace

TEST(SharedBytes, FindsRunsAtTheSamePlaceFromStartAndEnd)
{
    const std::vector<BytesCase> cases{
        {"common prefix", {"ABCDxyz1", "ABCDpqr22"}, 2, "0:ABCD ", ""},
        {"gap splits the run", {"AB1CD--", "AB2CD++"}, 2, "0:AB 3:CD ", "-7:AB -4:CD "},
        {"short runs dropped", {"A1CD", "A2CD"}, 2, "2:CD ", "-2:CD "},
        {"minimum length honoured", {"ABC1xyzw", "ABC2klmn"}, 4, "", ""},
        {"unequal lengths: only where every sample has a byte", {"MAGICplus-a-long-tail", "MAGIC"}, 2, "0:MAGIC ", ""},
        {"trailer at different offsets", {"12345END!", "abEND!"}, 2, "", "-4:END! "},
        {"two trailer runs in file order", {"xxT1-T2", "yyyyT1+T2"}, 2, "", "-5:T1 -2:T2 "},
        {"nothing shared", {"abcdefgh", "bcdefghi", "cdefghij"}, 2, "", ""},
        {"one sample shares everything with itself", {"solo"}, 2, "0:solo ", "-4:solo "},
    };
    for (const auto& c : cases) {
        auto s = samples(c.contents);
        EXPECT_EQ(show(SharedBytes::fromStart(s, c.minLength)), c.fromStart) << c.name;
        EXPECT_EQ(show(SharedBytes::fromEnd(s, c.minLength)), c.fromEnd) << c.name;
    }
}

TEST(SharedBytes, LooksOnlyWithinTheReadWindows)
{
    // The samples agree only beyond the head window and before the tail one.
    Window w{8, 8};
    std::string pad1(8, 'a'), pad2(8, 'b');
    auto s = samples({pad1 + "SHARED-MIDDLE" + pad1, pad2 + "SHARED-MIDDLE" + pad2}, w);
    EXPECT_TRUE(SharedBytes::fromStart(s, 2).empty());
    EXPECT_TRUE(SharedBytes::fromEnd(s, 2).empty());
}

TEST(SharedBytes, EmptyInputGivesNothing)
{
    EXPECT_TRUE(SharedBytes::fromStart({}, 2).empty());
    EXPECT_TRUE(SharedBytes::fromEnd({}, 2).empty());
}

namespace {

struct StringsCase {
    const char* name;
    std::vector<std::string> contents;
    Zone zone;
    std::vector<std::string> expected; // longest first
    std::vector<std::size_t> reach;
};

} // namespace

TEST(SharedStrings, FindsMaximalPrintableStringsWhereverTheyAre)
{
    using namespace std::string_literals;
    const std::vector<StringsCase> cases{
        {"different offsets", {"\x01\x02hello world\x03"s, "zz\x05\x06\x07hello world"s}, Zone::Head, {"hello world"}, {16}},
        {"non-printable byte splits runs", {"abc\0defg\x01"s, "\x01" "abc\0defg"s}, Zone::Head, {"defg"}, {9}},
        {"a substring is not listed apart", {"\x01Quick brown\x02Quick"s, "\x03Quick brown\x04"s}, Zone::Head, {"Quick brown"}, {12}},
        {"partial overlap gives both maximal pieces", {"\x01" "ABCDEFGH\x02"s, "\x01" "ABCDEF\x02" "DEFGH\x03"s}, Zone::Head,
            {"ABCDEF", "DEFGH"}, {7, 13}},
        {"shorter than the minimum", {"\x01" "abc\x02"s, "\x03" "abc\x04"s}, Zone::Head, {}, {}},
        {"nothing shared", {"\x01" "aaaaaa"s, "\x02" "bbbbbb"s}, Zone::Head, {}, {}},
        {"tail reach counts back from the end", {"\x01" "trailer!\x02\x03"s, "\x05" "trailer!\x04\x04\x04\x04"s}, Zone::Tail,
            {"trailer!"}, {12}},
        {"unequal lengths", {"\x01" "SIG:" + std::string(3000, '\x02') + "name=value"s, "name=value\x02SIG:"s},
            Zone::Head, {"name=value", "SIG:"}, {3015, 15}},
    };
    for (const auto& c : cases) {
        auto found = SharedStrings::find(samples(c.contents), c.zone, 4);
        std::vector<std::string> texts;
        std::vector<std::size_t> reach;
        for (const auto& f : found) {
            texts.push_back(f.text);
            reach.push_back(f.reach);
            EXPECT_EQ(f.zone, c.zone) << c.name;
        }
        EXPECT_EQ(texts, c.expected) << c.name;
        EXPECT_EQ(reach, c.reach) << c.name;
    }
}

TEST(SharedStrings, EveryFoundStringIsInEverySampleWithinItsReach)
{
    // Random samples with planted strings: whatever is found must hold.
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<Sample> s;
        for (int i = 0; i < 4; ++i) {
            std::string body = randomBytes(rng, 50 + rng() % 400);
            body.insert(rng() % body.size(), "<planted-marker>");
            s.push_back(sample(body));
        }
        auto found = SharedStrings::find(s, Zone::Head, 4);
        bool planted = false;
        for (const auto& f : found) {
            planted = planted || f.text.find("planted-marker") != std::string::npos;
            for (const auto& x : s) {
                std::size_t r = SharedStrings::reachIn(x.head, f.text, Zone::Head);
                ASSERT_NE(r, std::string::npos) << f.text;
                EXPECT_LE(r, f.reach);
            }
        }
        EXPECT_TRUE(planted) << "round " << round;
    }
}
