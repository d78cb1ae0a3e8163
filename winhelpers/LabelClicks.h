// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace gv {

// Gives a label (or any widget without a clicked signal) the click or
// double click of a button: a click is a left press and release both on the
// widget, a double click the second press of a left double click.
class LabelClicks : public QObject {
    Q_OBJECT
public:
    enum Kind { Click, DoubleClick };

    // The handler object is owned by the widget.
    static void attach(QWidget* widget, Kind kind, std::function<void()> action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LabelClicks(QWidget* widget, Kind kind, std::function<void()> action);

    Kind m_kind;
    std::function<void()> m_action;
    bool m_pressed = false;
};

} // namespace gv
