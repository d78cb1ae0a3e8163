// SPDX-License-Identifier: GPL-3.0-or-later
#include "MsgBox.h"

#include "QtPlacement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QShowEvent>

#include <utility>

namespace gv {

namespace {

MsgBoxAnswerer& currentAnswerer()
{
    static MsgBoxAnswerer answerer;
    return answerer;
}

constexpr int kButtonsMask = 0x0F;
constexpr int kIconMask = 0xF0;
constexpr int kDefaultButtonMask = 0x300;
constexpr int kSystemModal = 0x1000;
constexpr int kTaskModal = 0x2000;
constexpr int kTopmost = 0x40000;

// A box that moves itself once, right after its first show has given it
// its final size, and before the window system maps it.
class PlacedBox : public QMessageBox {
public:
    PlacedBox(QWidget* owner, int mode) : QMessageBox(owner), m_mode(mode) {}

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        if (m_moved || m_mode <= NoMove)
            return;
        m_moved = true;
        QWidget* reference = m_mode == ParentFormCenter ? parentWidget() : nullptr;
        PlaceWindow(this, reference, m_mode, 0);
    }

private:
    int m_mode;
    bool m_moved = false;
};

QList<QMessageBox::StandardButton> buttonsOf(int style)
{
    using B = QMessageBox;
    switch (style & kButtonsMask) {
    case vbOKCancel:
        return {B::Ok, B::Cancel};
    case vbAbortRetryIgnore:
        return {B::Abort, B::Retry, B::Ignore};
    case vbYesNoCancel:
        return {B::Yes, B::No, B::Cancel};
    case vbYesNo:
        return {B::Yes, B::No};
    case vbRetryCancel:
        return {B::Retry, B::Cancel};
    default:
        return {B::Ok};
    }
}

QMessageBox::Icon iconOf(int style)
{
    switch (style & kIconMask) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int numberOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return vbOK;
    case QMessageBox::Cancel:
        return vbCancel;
    case QMessageBox::Abort:
        return vbAbort;
    case QMessageBox::Retry:
        return vbRetry;
    case QMessageBox::Ignore:
        return vbIgnore;
    case QMessageBox::Yes:
        return vbYes;
    case QMessageBox::No:
        return vbNo;
    default:
        return 0;
    }
}

// What a box that was closed without pressing a button means: the button
// that Escape stands for, as with the system's own boxes.
int closedWithoutButton(int style)
{
    switch (style & kButtonsMask) {
    case vbOKOnly:
        return vbOK;
    case vbAbortRetryIgnore:
        return vbAbort;
    case vbYesNo:
        return vbNo;
    default:
        return vbCancel;
    }
}

int showBox(const QString& prompt, int style, const QString& title, bool placed, bool centreOnOwner)
{
    QWidget* owner = QApplication::activeWindow();
    int mode = NoMove;
    if (placed)
        // Without an owner there is nothing to centre over: a box in the
        // screen's corner helps nobody, so it goes to the work area's centre.
        mode = centreOnOwner && owner ? ParentFormCenter : ScreenCenter;

    QPointer<QMessageBox> box = new PlacedBox(owner, mode);
    const QString shownTitle = title.isEmpty() ? QStringLiteral("GUI-Vonk") : title;
    box->setWindowTitle(shownTitle);
    // Prompts carry file names: never let one be read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(prompt);
    box->setIcon(iconOf(style));

    const QList<QMessageBox::StandardButton> buttons = buttonsOf(style);
    for (QMessageBox::StandardButton b : buttons)
        box->addButton(b);
    const int defaultIndex = (style & kDefaultButtonMask) >> 8;
    box->setDefaultButton(buttons.value(defaultIndex, buttons.first()));
    if (buttons.contains(QMessageBox::Cancel))
        box->setEscapeButton(QMessageBox::Cancel);
    else if (buttons.size() == 1)
        box->setEscapeButton(buttons.first());

    const bool wholeApplication = (style & (kSystemModal | kTaskModal)) || !owner;
    box->setWindowModality(wholeApplication ? Qt::ApplicationModal : Qt::WindowModal);
    if (style & kTopmost)
        box->setWindowFlag(Qt::WindowStaysOnTopHint, true);

    int result = 0;
    if (const MsgBoxAnswerer answerer = currentAnswerer()) {
        box->show();
        MsgBoxRequest request{prompt, style, shownTitle, placed};
        result = answerer(request, box.data());
        if (box)
            box->hide();
    } else {
        box->exec();
        if (box) {
            QAbstractButton* clicked = box->clickedButton();
            result = clicked ? numberOf(box->standardButton(clicked)) : 0;
        }
    }
    if (result == 0)
        result = closedWithoutButton(style);
    delete box.data();
    return result;
}

} // namespace

int PlacedMsgBox(const QString& prompt, int style, const QString& title, bool centreOnOwner)
{
    return showBox(prompt, style, title, true, centreOnOwner);
}

int SystemMsgBox(const QString& prompt, int style, const QString& title)
{
    return showBox(prompt, style, title, false, false);
}

void SetMsgBoxAnswerer(MsgBoxAnswerer answerer)
{
    currentAnswerer() = std::move(answerer);
}

} // namespace gv
