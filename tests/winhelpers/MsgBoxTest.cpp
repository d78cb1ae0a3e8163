// SPDX-License-Identifier: GPL-3.0-or-later
#include "MsgBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Seen {
    gv::MsgBoxRequest request;
    QRect frame;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::WindowModality modality = Qt::NonModal;
    bool visible = false;
};

// Records what the box looked like and presses the given button.
class MsgBoxTest : public ::testing::Test {
protected:
    void TearDown() override { gv::SetMsgBoxAnswerer({}); }

    void answerWith(QMessageBox::StandardButton press)
    {
        gv::SetMsgBoxAnswerer([this, press](const gv::MsgBoxRequest& req, QMessageBox* box) {
            Seen s;
            s.request = req;
            s.frame = box->frameGeometry();
            s.text = box->text();
            s.title = box->windowTitle();
            s.icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                s.buttons.push_back(box->standardButton(b));
            if (box->defaultButton())
                s.defaultButton = box->standardButton(box->defaultButton());
            s.modality = box->windowModality();
            s.visible = box->isVisible();
            seen.push_back(s);
            QAbstractButton* b = box->button(press);
            if (!b)
                return 0;
            b->click();
            // The numbers the system gives its buttons, written out by hand.
            switch (box->standardButton(box->clickedButton())) {
            case QMessageBox::Ok: return 1;
            case QMessageBox::Cancel: return 2;
            case QMessageBox::Abort: return 3;
            case QMessageBox::Retry: return 4;
            case QMessageBox::Ignore: return 5;
            case QMessageBox::Yes: return 6;
            case QMessageBox::No: return 7;
            default: return -1;
            }
        });
    }

    std::vector<Seen> seen;
};

TEST_F(MsgBoxTest, StyleWordGivesButtonsIconAndDefaultTitle)
{
    using B = QMessageBox;
    struct Case {
        int style;
        std::vector<B::StandardButton> buttons;
        B::Icon icon;
    };
    const Case cases[] = {
        {0, {B::Ok}, B::NoIcon},
        {1 + 16, {B::Ok, B::Cancel}, B::Critical},
        {2 + 32, {B::Abort, B::Retry, B::Ignore}, B::Question},
        {3 + 48, {B::Yes, B::No, B::Cancel}, B::Warning},
        {4 + 64, {B::Yes, B::No}, B::Information},
        {5, {B::Retry, B::Cancel}, B::NoIcon},
        {4096, {B::Ok}, B::NoIcon},
        {4164, {B::Yes, B::No}, B::Information},
    };
    answerWith(QMessageBox::Ok);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        seen.clear();
        gv::SystemMsgBox(QStringLiteral("a <b>prompt</b>"), c.style);
        ASSERT_EQ(seen.size(), 1u);
        // The row's order is the platform's layout; the set is ours.
        auto shown = seen[0].buttons;
        auto wanted = c.buttons;
        std::sort(shown.begin(), shown.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(shown, wanted);
        EXPECT_EQ(seen[0].icon, c.icon);
        EXPECT_EQ(seen[0].defaultButton, c.buttons.front());
        EXPECT_EQ(seen[0].title, QStringLiteral("GUI-Vonk"));
        EXPECT_EQ(seen[0].request.title, QStringLiteral("GUI-Vonk"));
        EXPECT_EQ(seen[0].text, QStringLiteral("a <b>prompt</b>"));
        EXPECT_TRUE(seen[0].visible);
        EXPECT_FALSE(seen[0].request.placed);
    }
    seen.clear();
    gv::SystemMsgBox(QStringLiteral("x"), 4096, QStringLiteral("Thanks"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, QStringLiteral("Thanks"));
    EXPECT_EQ(seen[0].modality, Qt::ApplicationModal);
}

TEST_F(MsgBoxTest, PressedButtonMapsToItsNumber)
{
    using B = QMessageBox;
    struct Case {
        int style;
        B::StandardButton press;
        int expected;
    };
    const Case cases[] = {
        {0, B::Ok, 1},     {1, B::Cancel, 2}, {2, B::Abort, 3}, {2, B::Retry, 4}, {2, B::Ignore, 5},
        {3, B::Yes, 6},    {3, B::No, 7},     {4, B::No, 7},    {5, B::Retry, 4}, {5, B::Cancel, 2},
        {4164, B::Yes, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        answerWith(c.press);
        EXPECT_EQ(gv::PlacedMsgBox(QStringLiteral("q"), c.style), c.expected);
    }
}

TEST_F(MsgBoxTest, BoxClosedWithoutAButtonCountsAsEscape)
{
    struct Case {
        int style;
        int expected;
    };
    const Case cases[] = {{0, 1}, {1, 2}, {2, 3}, {3, 2}, {4, 7}, {5, 2}};
    gv::SetMsgBoxAnswerer([](const gv::MsgBoxRequest&, QMessageBox*) { return 0; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        EXPECT_EQ(gv::SystemMsgBox(QStringLiteral("q"), c.style), c.expected);
    }
}

TEST_F(MsgBoxTest, CentredOnScreenKeepingItsSize)
{
    answerWith(QMessageBox::Ok);
    const QString prompt = QStringLiteral("Operazione annullata");
    gv::SystemMsgBox(prompt, 4096);
    gv::PlacedMsgBox(prompt, 4096, QString(), false);
    ASSERT_EQ(seen.size(), 2u);
    const QSize size = seen[1].frame.size();
    EXPECT_EQ(size, seen[0].frame.size());
    EXPECT_TRUE(seen[1].request.placed);
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(seen[1].frame.left(), work.left() + (work.width() - size.width()) / 2);
    EXPECT_EQ(seen[1].frame.top(), work.top() + (work.height() - size.height()) / 2);
}

TEST_F(MsgBoxTest, CentredOverTheActiveWindowOrTheScreenWhenAsked)
{
    QWidget owner;
    owner.setGeometry(60, 40, 301, 201);
    owner.show();
    owner.activateWindow();
    QApplication::setActiveWindow(&owner);
    ASSERT_EQ(QApplication::activeWindow(), &owner);
    const QRect of = owner.frameGeometry();

    answerWith(QMessageBox::Ok);
    gv::PlacedMsgBox(QStringLiteral("Operazione annullata"), 4096, QString(), true);
    gv::PlacedMsgBox(QStringLiteral("Operazione annullata"), 4096, QString(), false);
    ASSERT_EQ(seen.size(), 2u);
    const QSize size = seen[0].frame.size();
    EXPECT_EQ(seen[0].frame.left(), of.left() + of.width() / 2 - size.width() / 2);
    EXPECT_EQ(seen[0].frame.top(), of.top() + of.height() / 2 - size.height() / 2);
    EXPECT_EQ(seen[0].modality, Qt::ApplicationModal);

    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(seen[1].frame.left(), work.left() + (work.width() - size.width()) / 2);
    EXPECT_EQ(seen[1].frame.top(), work.top() + (work.height() - size.height()) / 2);
}

} // namespace

namespace {

// Without an answerer the box runs modally; a timer plays the person.
TEST(MsgBoxModal, ModalBoxReturnsTheClickedButtonAndIsPlaced)
{
    QRect frame;
    int attempts = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++attempts;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            frame = box->frameGeometry();
            box->button(QMessageBox::No)->click();
        } else if (attempts > 500) {
            // Never leave the run hanging on a box nobody found.
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w))
                    b->reject();
        }
    });
    timer.start();
    const int result = gv::PlacedMsgBox(QStringLiteral("eseguire il parsing del FILE selezionato ?"), 4 + 32 + 4096);
    timer.stop();
    EXPECT_EQ(result, 7);
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(frame.left(), work.left() + (work.width() - frame.width()) / 2);
    EXPECT_EQ(frame.top(), work.top() + (work.height() - frame.height()) / 2);
}

} // namespace
