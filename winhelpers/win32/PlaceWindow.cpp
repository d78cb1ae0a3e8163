// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlaceWindow.h"

#include "winhelpers/core/WindowPlacement.h"

namespace gv {

namespace {

Rect toRect(const RECT& r)
{
    return Rect { r.left, r.top, r.right, r.bottom };
}

} // namespace

void PlaceWindow(HWND window, HWND reference, int mode, int shift)
{
    if (!window || mode == NoMove)
        return;
    PlacementInput in;
    RECT r {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
    in.workArea = toRect(r);
    RECT ref {};
    if (reference && ::GetWindowRect(reference, &ref))
        in.reference = toRect(ref);
    RECT own {};
    ::GetWindowRect(window, &own);
    in.window = toRect(own);
    in.left = own.left;
    in.top = own.top;
    POINT p {};
    if (mode == MouseShift && ::GetCursorPos(&p))
        in.pointer = Point { p.x, p.y };
    in.mode = mode;
    in.shift = shift;
    const Placement at = ComputeWindowPlacement(in);
    ::SetWindowPos(window, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace gv
