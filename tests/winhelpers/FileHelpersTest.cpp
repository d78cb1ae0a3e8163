#include "FileHelpers.h"
#include "MsgBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWidget>
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gv::SetShellOpener([this](const QString& target, const QString& params) {
            opened.push_back(target + QStringLiteral("|") + params);
            return succeed;
        });
        gv::SetMsgBoxAnswerer([this](const gv::MsgBoxRequest& r, QMessageBox* box) {
            boxes.push_back(r);
            icons.push_back(box->icon());
            return 1;
        });
    }
    void TearDown() override
    {
        gv::SetShellOpener({});
        gv::SetMsgBoxAnswerer({});
    }

    bool succeed = true;
    std::vector<QString> opened;
    std::vector<gv::MsgBoxRequest> boxes;
    std::vector<QMessageBox::Icon> icons;
};

TEST_F(ShellTest, EmptyTargetDoesNothing)
{
    gv::OpenWithShell(QString());
    succeed = false;
    gv::OpenWithShell(QString(), QStringLiteral("-x"));
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ShellTest, OpenedTargetShowsNothing)
{
    gv::OpenWithShell(QStringLiteral("https://example.org/defs"));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QStringLiteral("https://example.org/defs|"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ShellTest, FailureSaysWhereItCouldNotJump)
{
    succeed = false;
    const QString target = QStringLiteral("mailto:someone@example.org");
    gv::OpenWithShell(target);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("Error jumping to:mailto:someone@example.org"));
    EXPECT_EQ(boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(boxes[0].style, 48);
    EXPECT_FALSE(boxes[0].placed);
    EXPECT_EQ(icons[0], QMessageBox::Warning);
}

TEST(ShellDesktop, MissingLocalFileCountsAsFailure)
{
    QTemporaryDir tmp;
    std::vector<gv::MsgBoxRequest> boxes;
    gv::SetMsgBoxAnswerer([&boxes](const gv::MsgBoxRequest& r, QMessageBox*) {
        boxes.push_back(r);
        return 1;
    });
    const QString missing = tmp.path() + QStringLiteral("/not here.txt");
    gv::OpenWithShell(missing);
    gv::SetMsgBoxAnswerer({});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("Error jumping to:") + missing);
}

TEST(MakeControlFlat, ButtonsBecomeFlatAndVisible)
{
    QWidget form;
    auto* push = new QPushButton(QStringLiteral("File"), &form);
    auto* hidden = new QPushButton(QStringLiteral("Execute"), &form);
    auto* tool = new QToolButton(&form);
    hidden->hide();
    form.show();
    ASSERT_FALSE(hidden->isVisible());
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{push, hidden, tool})
        gv::MakeControlFlat(b);
    EXPECT_TRUE(push->isFlat());
    EXPECT_TRUE(hidden->isFlat());
    EXPECT_TRUE(hidden->isVisible());
    EXPECT_TRUE(tool->autoRaise());
    EXPECT_TRUE(push->isVisible());
    gv::MakeControlFlat(nullptr);
}

// A flat button must still read as a button: framed, lit under the pointer,
// and marked when it holds the focus, also focus taken by a click.
TEST(MakeControlFlat, FlatButtonShowsItsFrameHoverAndFocus)
{
    QWidget form;
    form.resize(240, 80);
    auto* button = new QPushButton(QStringLiteral("File"), &form);
    button->setGeometry(10, 10, 125, 25);
    auto* other = new QPushButton(QStringLiteral("Esci"), &form);
    other->setGeometry(10, 45, 90, 25);
    gv::MakeControlFlat(button);
    form.show();
    form.activateWindow();
    QElapsedTimer clock;
    clock.start();
    while (!form.isActiveWindow() && clock.elapsed() < 2000)
        QApplication::processEvents();
    ASSERT_TRUE(form.isActiveWindow());
    other->setFocus(Qt::MouseFocusReason);

    const QImage plain = button->grab().toImage();
    const QColor background = form.palette().color(QPalette::Window);
    for (const QPoint edge : {QPoint(0, 12), QPoint(124, 12), QPoint(60, 0), QPoint(60, 24)})
        EXPECT_NE(plain.pixelColor(edge), background) << edge.x() << "," << edge.y();

    button->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(button->hasFocus());
    const QImage focused = button->grab().toImage();
    EXPECT_NE(focused, plain);
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(button->grab().toImage(), plain);

    button->setAttribute(Qt::WA_UnderMouse, true);
    const QImage hovered = button->grab().toImage();
    EXPECT_NE(hovered, plain);
    // Lit inside, not only at the frame.
    EXPECT_NE(hovered.pixelColor(6, 12), plain.pixelColor(6, 12));
    button->setAttribute(Qt::WA_UnderMouse, false);
}

TEST(GetShortName, QtTextNamesTheSameFile)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString name = tmp.path() + QStringLiteral("/caf\u00e9 'x' \"y\" \\z");
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString s = gv::GetShortName(name);
    QString unescaped;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('\\') && i + 1 < s.size())
            ++i;
        unescaped += s[i];
    }
    EXPECT_EQ(unescaped, name);
    EXPECT_TRUE(s.contains(QStringLiteral("caf\u00e9\\ \\'x\\'\\ \\\"y\\\"\\ \\\\z")));
    EXPECT_EQ(gv::GetShortName(tmp.path() + QStringLiteral("/missing")), QString());
    EXPECT_EQ(gv::GetShortName(QString()), QString());
}

} // namespace
