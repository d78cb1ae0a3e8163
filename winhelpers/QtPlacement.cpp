// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPlacement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace gv {

Rect ToRect(const QRect& r)
{
    // QRect's right() and bottom() are inclusive; ours are exclusive.
    return Rect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

static QScreen* screenFor(const QWidget* reference)
{
    QScreen* screen = nullptr;
    if (reference) {
        const QWidget* w = reference->window();
        screen = QGuiApplication::screenAt(w->frameGeometry().center());
        if (!screen)
            screen = w->screen();
    }
    if (!screen)
        screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen;
}

Rect GetWorkArea(const QWidget* reference)
{
    QScreen* screen = screenFor(reference);
    return screen ? ToRect(screen->availableGeometry()) : Rect{};
}

Rect GetWindowRect(const QWidget* window)
{
    if (!window)
        return Rect{};
    return ToRect(window->window()->frameGeometry());
}

Placement ComputeWindowPlacement(const QWidget* window, const QWidget* reference, int mode, int shift, int left,
                                 int top)
{
    PlacementInput in;
    in.workArea = GetWorkArea(reference);
    in.reference = GetWindowRect(reference);
    in.window = GetWindowRect(window);
    if (mode == MouseShift) {
        const QPoint p = QCursor::pos();
        in.pointer = Point{p.x(), p.y()};
    }
    in.mode = mode;
    in.shift = shift;
    in.left = left;
    in.top = top;
    return ComputeWindowPlacement(in);
}

bool PlaceWindow(QWidget* window, const QWidget* reference, int mode, int shift)
{
    if (!window || mode <= NoMove)
        return false;
    const Placement p = ComputeWindowPlacement(window, reference, mode, shift);
    // move() positions a top-level window by its frame, which is what the
    // arithmetic measured.
    window->window()->move(p.left, p.top);
    return true;
}

} // namespace gv
