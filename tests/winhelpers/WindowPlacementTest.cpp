// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowPlacement.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using gv::Placement;
using gv::PlacementInput;
using gv::Point;
using gv::Rect;

constexpr Rect kWork{0, 0, 1000, 700};
constexpr Rect kNoReference{};

Rect sized(int w, int h)
{
    // Where the window is now does not matter, only its size.
    return Rect{37, 91, 37 + w, 91 + h};
}

struct Case {
    const char* what;
    Rect work;
    Rect reference;
    Rect window;
    Point pointer;
    int mode;
    int shift;
    int passedLeft;
    int passedTop;
    int left; // expected, computed by hand
    int top;
};

class WindowPlacementTest : public ::testing::TestWithParam<Case> {};

TEST_P(WindowPlacementTest, LandsWhereTheArithmeticSays)
{
    const Case& c = GetParam();
    PlacementInput in;
    in.workArea = c.work;
    in.reference = c.reference;
    in.window = c.window;
    in.pointer = c.pointer;
    in.mode = c.mode;
    in.shift = c.shift;
    in.left = c.passedLeft;
    in.top = c.passedTop;
    const Placement p = gv::ComputeWindowPlacement(in);
    EXPECT_EQ(p.left, c.left) << c.what;
    EXPECT_EQ(p.top, c.top) << c.what;
    EXPECT_EQ(p.width, c.window.width()) << c.what;
    EXPECT_EQ(p.height, c.window.height()) << c.what;
}

const Case kCases[] = {
    // Mode 1: centred in the work area.
    {"screen centre, even sizes", kWork, kNoReference, sized(200, 100), {}, 1, 0, 0, 0, 400, 300},
    {"screen centre, odd sizes truncate", kWork, kNoReference, sized(301, 101), {}, 1, 0, 0, 0, 349, 299},
    {"screen centre, work area not at origin", {100, 50, 1101, 750}, kNoReference, sized(300, 200), {}, 1, 0, 0,
     0, 450, 300},
    {"screen centre on a screen left of the primary", {-1280, 0, 0, 1024}, kNoReference, sized(200, 100), {}, 1, 0,
     0, 0, -740, 462},
    {"screen centre ignores the reference and the shift", kWork, {10, 10, 20, 20}, sized(200, 100), {}, 1, 25, 0,
     0, 400, 300},
    {"window larger than the work area sits at its corner", kWork, kNoReference, sized(1200, 800), {}, 1, 0, 0, 0,
     0, 0},

    // Mode 2: centred over the reference; each term halved on its own
    // (400/2 - 201/2 = 100, where (400-201)/2 would give 99).
    {"reference centre, terms halved separately", kWork, {100, 100, 500, 400}, sized(201, 101), {}, 2, 0, 0, 0,
     200, 200},
    {"reference centre, missing reference clamps to the corner", kWork, kNoReference, sized(200, 100), {}, 2, 0, 0,
     0, 0, 0},
    {"reference centre, missing reference, offset work area", {100, 50, 1100, 750}, kNoReference, sized(200, 100),
     {}, 2, 0, 0, 0, 100, 50},
    {"reference centre overflowing right, no shift", kWork, {600, 100, 1000, 500}, sized(500, 100), {}, 2, 0, 0, 0,
     500, 250},
    {"reference centre overflowing right, with shift", kWork, {600, 100, 1000, 500}, sized(500, 100), {}, 2, 20, 0,
     0, 480, 250},

    // Mode 3: shifted right of the reference's left and above its top.
    {"reference shift", kWork, {300, 300, 700, 600}, sized(200, 100), {}, 3, 30, 0, 0, 330, 270},
    {"reference shift near the top clamps to the work area", kWork, {300, 10, 700, 300}, sized(200, 100), {}, 3, 30,
     0, 0, 330, 0},
    {"reference shift overflowing: right-aligned to the reference", kWork, {700, 300, 950, 600}, sized(400, 100), {},
     3, 30, 0, 0, 520, 270},
    {"reference shift overflowing twice: right-aligned to the work area", kWork, {700, 300, 1300, 600},
     sized(400, 100), {}, 3, 30, 0, 0, 570, 270},
    {"reference shift, reference left of the work area", kWork, {-500, 200, -100, 400}, sized(200, 100), {}, 3, 30,
     0, 0, 0, 170},

    // Mode 4: right of the pointer, vertically centred on it.
    {"mouse shift", kWork, kNoReference, sized(200, 100), {400, 300}, 4, 30, 0, 0, 430, 250},
    {"mouse shift, odd height", kWork, kNoReference, sized(200, 101), {400, 300}, 4, 30, 0, 0, 430, 250},
    {"mouse shift near the right edge flips left", kWork, kNoReference, sized(200, 100), {900, 300}, 4, 30, 0, 0,
     670, 250},
    {"mouse shift, exact fit does not flip", kWork, kNoReference, sized(200, 100), {770, 300}, 4, 30, 0, 0, 800,
     250},
    {"mouse shift near the bottom", kWork, kNoReference, sized(200, 100), {400, 690}, 4, 30, 0, 0, 430, 600},
    {"mouse shift near the top", kWork, kNoReference, sized(200, 100), {400, 10}, 4, 30, 0, 0, 430, 0},
    {"mouse shift, flipped past the left edge", kWork, kNoReference, sized(980, 100), {50, 300}, 4, 30, 0, 0, 0,
     250},

    // Other modes keep the corner passed in; the clamps still apply.
    {"no move keeps the passed corner", kWork, kNoReference, sized(200, 100), {500, 500}, 0, 30, 123, 45, 123, 45},
    {"no move clamps into an offset work area", {100, 50, 1100, 750}, kNoReference, sized(200, 100), {}, 0, 0, 0, 0,
     100, 50},
    {"unknown mode overflowing both ways", kWork, kNoReference, sized(200, 100), {}, 7, 10, 950, 650, 0, 600},
    {"negative mode is no mode", kWork, kNoReference, sized(200, 100), {}, -1, 0, 10, 20, 10, 20},

    // Values at the ends of the range do not wrap around.
    {"huge shift", kWork, {0, 0, 100, 100}, sized(200, 100), {}, 3, INT_MAX, 0, 0, 0, 0},
    {"huge pointer", kWork, kNoReference, sized(200, 100), {INT_MAX, INT_MIN}, 4, INT_MAX, 0, 0, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(AllModes, WindowPlacementTest, ::testing::ValuesIn(kCases));

} // namespace
