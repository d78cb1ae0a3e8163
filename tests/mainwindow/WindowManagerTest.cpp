// SPDX-License-Identifier: GPL-3.0-or-later
// What only a real window manager shows: a window moved by its title stops
// when the button is let go. Run by under_openbox.sh, with the pointer
// driven through the X server (xdotool) so that the window manager sees
// exactly what a person's mouse would give it.

#include "frmDOSOutput.h"

#include "frmAbout.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>

using gv::frmDOSOutput;

namespace {

void xdotool(const QStringList& arguments)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
}

void movePointer(const QPoint& to)
{
    xdotool({ QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y()) });
}

// Moves the pointer in small steps, letting the window see each of them.
void glide(const QPoint& from, const QPoint& by, int steps = 12)
{
    for (int i = 1; i <= steps; ++i) {
        movePointer(from + by * i / steps);
        QTest::qWait(25);
    }
}

// Where the window stands once the window manager has stopped moving it.
QPoint settledPosition(const QWidget& window)
{
    QPoint last = window.pos();
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(50);
        if (window.pos() == last && i >= 4)
            break;
        last = window.pos();
    }
    return last;
}

} // namespace

class WindowManagerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void titleDragEndsWithTheButton();
    void minimisedAboutComesBackWithTheMainWindow();
};

void WindowManagerTest::initTestCase()
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        QSKIP("needs an X server with a window manager (run through under_openbox.sh)");
}

void WindowManagerTest::titleDragEndsWithTheButton()
{
    frmDOSOutput window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = settledPosition(window);

    const QPoint grip = window.mapToGlobal(window.LabelTOP()->geometry().topLeft() + QPoint(30, 7));
    const QPoint drag(90, 60);
    movePointer(grip);
    QTest::qWait(100);
    xdotool({ QStringLiteral("mousedown"), QStringLiteral("1") });
    QTest::qWait(100);
    glide(grip, drag);
    xdotool({ QStringLiteral("mouseup"), QStringLiteral("1") });
    const QPoint dropped = settledPosition(window);
    // The window manager starts its move a few pixels into the drag.
    const QPoint moved = dropped - start;
    QVERIFY2(moved.x() > drag.x() / 2 && moved.x() <= drag.x() && moved.y() > drag.y() / 2 && moved.y() <= drag.y(),
        qPrintable(QStringLiteral("moved by %1,%2").arg(moved.x()).arg(moved.y())));

    // The button is up: the pointer goes on alone, over the title first.
    glide(grip + drag, QPoint(70, 45));
    glide(grip + drag + QPoint(70, 45), QPoint(-140, 20));
    QCOMPARE(settledPosition(window), dropped);

    // A second press starts a second move.
    const QPoint again = window.mapToGlobal(window.LabelTOP()->geometry().topLeft() + QPoint(30, 7));
    movePointer(again);
    QTest::qWait(100);
    xdotool({ QStringLiteral("mousedown"), QStringLiteral("1") });
    QTest::qWait(100);
    glide(again, -drag);
    xdotool({ QStringLiteral("mouseup"), QStringLiteral("1") });
    const QPoint back = settledPosition(window);
    QVERIFY((back - start).manhattanLength() < (dropped - start).manhattanLength() / 2);
    glide(again - drag, QPoint(60, 30));
    QCOMPARE(settledPosition(window), back);
}

// The window manager may offer to minimise the modal About window even
// without a minimise button; the main window, blocked behind it, must then
// bring it back when it is itself activated, and never stay dead.
void WindowManagerTest::minimisedAboutComesBackWithTheMainWindow()
{
    frmDOSOutput window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    bool minimised = false;
    bool restored = false;
    gv::frmAbout::setInspector([&](gv::frmAbout& about) {
        QTest::qWait(200);
        xdotool({ QStringLiteral("windowminimize"), QString::number(about.winId()) });
        minimised = QTest::qWaitFor([&] { return about.isMinimized(); }, 2000);
        xdotool({ QStringLiteral("windowactivate"), QString::number(window.winId()) });
        restored = QTest::qWaitFor([&] { return !about.isMinimized() && !window.isMinimized(); }, 2000);
    });
    window.Label2_Click(1);
    gv::frmAbout::setInspector(nullptr);
    QVERIFY(minimised);
    QVERIFY(restored);
}

QTEST_MAIN(WindowManagerTest)
#include "WindowManagerTest.moc"
