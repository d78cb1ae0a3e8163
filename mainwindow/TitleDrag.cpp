#include "TitleDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace gv {

TitleDrag::TitleDrag(QWidget* window, QWidget* handle, std::function<void(QMouseEvent*)> onMove)
    : QObject(window)
    , m_window(window)
    , m_onMove(std::move(onMove))
{
    handle->setMouseTracking(true);
    handle->installEventFilter(this);
}

bool TitleDrag::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_dragOffset = mouse->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
            m_movePending = true;
        }
        break;
    }
    case QEvent::MouseMove:
        m_onMove(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        m_movePending = false;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TitleDrag::follow(QMouseEvent* event)
{
    // Moving over the title with no button held moves nothing.
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (m_dragging) {
        m_window->move(event->globalPosition().toPoint() - m_dragOffset);
        return;
    }
    // One move per press on the title. The window manager's move takes
    // the pointer, release included, so afterwards Qt may still report the
    // button held: a move started from such a report would follow the
    // pointer until the next click.
    if (!m_movePending)
        return;
    m_movePending = false;
    // The system's own move when the platform offers one; otherwise the
    // window follows the pointer until the button is released.
    if (QWindow* window = m_window->windowHandle(); window && window->startSystemMove())
        return;
    m_dragging = true;
    m_window->move(event->globalPosition().toPoint() - m_dragOffset);
}

} // namespace gv
