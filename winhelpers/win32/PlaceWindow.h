// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

namespace gv {

// Moves a window (keeping its size) to where ComputeWindowPlacement puts it
// for the mode and shift, against the reference window (may be null) and
// the work area of the screen. Mode 0 leaves it where it is.
void PlaceWindow(HWND window, HWND reference, int mode, int shift);

} // namespace gv
