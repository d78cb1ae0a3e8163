// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/WindowPlacement.h"

class QRect;
class QWidget;

namespace gv {

Rect ToRect(const QRect& r);

// The usable part (less panels and docks) of the screen that holds the
// reference window, or of the screen under the pointer when there is no
// reference.
Rect GetWorkArea(const QWidget* reference = nullptr);

// A window's screen rectangle including its frame; all zero for no window.
Rect GetWindowRect(const QWidget* window);

// Feeds the placement arithmetic from the live windows, the pointer and the
// screen. left and top are the values kept by modes that do not place.
Placement ComputeWindowPlacement(const QWidget* window, const QWidget* reference, int mode, int shift,
                                 int left = 0, int top = 0);

// Moves a top-level window (frame included) to where the mode puts it,
// keeping its size. Mode 0 (or below) leaves it alone. Returns whether it
// was moved.
bool PlaceWindow(QWidget* window, const QWidget* reference, int mode, int shift);

} // namespace gv
