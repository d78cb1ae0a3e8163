#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QMouseEvent;
class QWidget;

namespace gv {

// Moves a borderless window by a label of its own title bar: once per
// press on the label, the window manager's own move where the platform
// offers one, else the window follows the pointer until the release.
class TitleDrag : public QObject {
public:
    // Mouse moves over the handle go to onMove, which passes them on to
    // follow() (the window's mouse-move handler of its title label).
    TitleDrag(QWidget* window, QWidget* handle, std::function<void(QMouseEvent*)> onMove);

    void follow(QMouseEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    std::function<void(QMouseEvent*)> m_onMove;
    // A left press on the title that has not started a move yet.
    bool m_movePending = false;
    // Manual move of the window when the system cannot move it itself.
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace gv
