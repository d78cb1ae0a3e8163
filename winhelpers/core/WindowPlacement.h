// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace gv {

// Screen rectangle in pixels: right and bottom are exclusive edges.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    constexpr std::int32_t width() const { return right - left; }
    constexpr std::int32_t height() const { return bottom - top; }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Where a window should go: its new top-left corner and its (unchanged) size.
struct Placement {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend constexpr bool operator==(const Placement&, const Placement&) = default;
};

// The five placement choices the user can pick for dialogs and boxes.
enum PlacementMode : std::int32_t {
    NoMove = 0,
    ScreenCenter = 1,
    ParentFormCenter = 2,
    ParentFormShift = 3,
    MouseShift = 4,
};

// Everything the placement depends on, read from the screen by the caller.
// A missing reference window is an all-zero rectangle.
struct PlacementInput {
    Rect workArea;
    Rect reference;
    Rect window;   // only its size matters
    Point pointer; // read only for MouseShift
    std::int32_t mode = NoMove;
    std::int32_t shift = 0;
    // The corner kept by modes that do not place (0 and anything unknown),
    // before the clamps still pull it into the work area.
    std::int32_t left = 0;
    std::int32_t top = 0;
};

// Places a window by mode, then pulls it back into the work area. Halvings
// truncate toward zero and each term is halved on its own, so odd sizes
// land exactly where users of the old arithmetic expect them. Intermediate
// sums are computed wide, so extreme rectangles cannot overflow.
Placement ComputeWindowPlacement(const PlacementInput& in);

} // namespace gv
