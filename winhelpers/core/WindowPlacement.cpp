// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowPlacement.h"

#include <cstdint>

namespace gv {

Placement ComputeWindowPlacement(const PlacementInput& in)
{
    using Wide = std::int64_t;
    const Wide wl = in.workArea.left;
    const Wide wt = in.workArea.top;
    const Wide wr = in.workArea.right;
    const Wide wb = in.workArea.bottom;
    const Wide ww = wr - wl;
    const Wide wh = wb - wt;
    const Wide rl = in.reference.left;
    const Wide rt = in.reference.top;
    const Wide rr = in.reference.right;
    const Wide rw = rr - rl;
    const Wide rh = Wide(in.reference.bottom) - rt;
    const Wide width = Wide(in.window.right) - in.window.left;
    const Wide height = Wide(in.window.bottom) - in.window.top;
    const Wide shift = in.shift;

    Wide left = in.left;
    Wide top = in.top;
    switch (in.mode) {
    case ScreenCenter:
        left = wl + (ww - width) / 2;
        top = wt + (wh - height) / 2;
        break;
    case ParentFormCenter:
        left = rl + rw / 2 - width / 2;
        top = rt + rh / 2 - height / 2;
        break;
    case ParentFormShift:
        // Above the reference's top edge, so the reference's title stays
        // visible beneath the window.
        left = rl + shift;
        top = rt - shift;
        break;
    case MouseShift:
        left = Wide(in.pointer.x) + shift;
        top = Wide(in.pointer.y) - height / 2;
        if (left + width > wr)
            left = Wide(in.pointer.x) - shift - width;
        break;
    default:
        break;
    }

    if (left < wl)
        left = wl;
    if (left + width > wr) {
        left = rr - width - shift;
        if (left + width > wr)
            left = wr - width - shift;
        if (left < wl)
            left = wl;
    }

    if (top < wt)
        top = wt;
    if (top + height > wb) {
        top = wb - height;
        if (top < wt)
            top = wt;
    }

    return Placement{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                     static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

} // namespace gv
