// SPDX-License-Identifier: GPL-3.0-or-later
#include "LabelClicks.h"

#include <QMouseEvent>
#include <QWidget>

#include <utility>

namespace gv {

LabelClicks::LabelClicks(QWidget* widget, Kind kind, std::function<void()> action)
    : QObject(widget)
    , m_kind(kind)
    , m_action(std::move(action))
{
}

void LabelClicks::attach(QWidget* widget, Kind kind, std::function<void()> action)
{
    if (!widget)
        return;
    widget->installEventFilter(new LabelClicks(widget, kind, std::move(action)));
}

bool LabelClicks::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_pressed = true;
        break;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        const bool wasPressed = std::exchange(m_pressed, false);
        // Released elsewhere: the user changed their mind.
        if (m_kind == Click && wasPressed && widget->rect().contains(mouse->position().toPoint()))
            m_action();
        break;
    }
    case QEvent::MouseButtonDblClick:
        // The second press of a double click: a click label has had its
        // click already, a double-click label gets its double click.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && m_kind == DoubleClick)
            m_action();
        break;
    default:
        break;
    }
    return false;
}

} // namespace gv
