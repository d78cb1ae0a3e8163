// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmDOSOutput.h"

#include "CommandText.h"
#include "TitleDrag.h"
#include "mainwindow/core/DesignTable.h"
#include "winhelpers/FileHelpers.h"
#include "winhelpers/MsgBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

#include <algorithm>

namespace gv {

namespace {

const QString kReadComplete = QString::fromUtf8(design::kReadComplete);
// Ends the report of a run the user stopped, so that it cannot pass for a
// complete one.
const QString kStoppedByUser = QString::fromUtf8(design::kStoppedByUser);

} // namespace

frmDOSOutput::frmDOSOutput(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    buildDesign(this);
    m_titleDrag = new TitleDrag(this, m_LabelTOP, [this](QMouseEvent* event) { LabelTOP_MouseMove(event); });
    connect(m_Check2, &QCheckBox::clicked, this, &frmDOSOutput::Check2_Click);
    connect(m_cmdExecute, &QPushButton::clicked, this, &frmDOSOutput::cmdExecute_Click);
    connect(m_cmdStop, &QPushButton::clicked, this, &frmDOSOutput::cmdStop_Click);
    connectFrame();

    m_console = new ConsoleRun(consoleHooks(), this);

    // Enter anywhere presses the default button; Esc ends a run.
    for (const int key : { int(Qt::Key_Return), int(Qt::Key_Enter) }) {
        auto* enter = new QShortcut(QKeySequence(key), this);
        enter->setContext(Qt::WindowShortcut);
        connect(enter, &QShortcut::activated, this, &frmDOSOutput::onEnterPressed);
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (isRunning())
            cmdStop_Click();
    });

    // Centre of the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(DesignWidth / 2, DesignHeight / 2));
    }

    connectRequests();
}

frmDOSOutput::~frmDOSOutput()
{
    // The command goes before the files it may be using.
    delete m_console;
    m_console = nullptr;
    // A window that goes without being closed still takes the deployed
    // files with it.
    m_life.reset();
}

void frmDOSOutput::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;

    // A second copy says so and touches nothing.
    if (refuseSecondCopy())
        return;

    // Every command button gets the flat look, which also shows the
    // default button again (beyond the right edge, but Enter reaches it).
    // The Stop control looks the same but shows only while a run lasts.
    for (QPushButton* button : { m_cmdFile, m_cmdCartella, m_cmdExit, m_cmdExecute, m_cmdStop })
        MakeControlFlat(button);
    m_cmdStop->setVisible(false);

    Check2_Click();

    m_LabelTOP->setText(titleText());

    m_console->createRunner();

    if (deployIdentifier())
        return;

    for (int i = 0; i < 5; ++i)
        m_Option1[size_t(i)]->setText(QString::fromUtf8(design::kPlacementNames[i]));
    m_Option1[4]->setChecked(true);
}

int frmDOSOutput::GetPlacementMode() const
{
    for (int i = 0; i < 5; ++i) {
        if (m_Option1[size_t(i)]->isChecked())
            return i;
    }
    return 0;
}

void frmDOSOutput::onEnterPressed()
{
    // As in a dialog: a focused push button takes Enter itself, otherwise
    // the default button is pressed.
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused && focused != m_cmdExecute) {
        if (focused->isEnabled() && focused->isVisible())
            focused->click();
        return;
    }
    if (m_cmdExecute->isVisible() && m_cmdExecute->isEnabled())
        m_cmdExecute->click();
}

bool frmDOSOutput::isRunning() const
{
    return m_console && m_console->isRunning();
}

DOSOutputs* frmDOSOutput::objDOS() const
{
    return m_console ? m_console->runner() : nullptr;
}

ConsoleRun::Hooks frmDOSOutput::consoleHooks()
{
    ConsoleRun::Hooks hooks;
    hooks.chunk = [this](const QString& chunk) { objDOS_ReceiveOutputs(chunk); };
    hooks.runnerFailure = [](const std::string& message) {
        SystemMsgBox(QString::fromStdString(message), vbCritical, QString());
    };
    hooks.ended = [this](ConsoleRun::Ending how, std::exception_ptr error) { runEnded(how, error); };
    hooks.idle = [this] {
        m_cmdExecute->setEnabled(true);
        Q_EMIT runFinished();
    };
    return hooks;
}

void frmDOSOutput::cmdExecute_Click()
{
    if (isRunning() || m_requests.refuseWithoutIdentifier())
        return;
    m_console->start([this] {
        setCursor(Qt::WaitCursor);
        m_cmdExecute->setEnabled(false);
        return commandBytesFromText(m_txtCommand->currentText());
    });
    if (isRunning())
        m_cmdStop->setVisible(true);
}

void frmDOSOutput::cmdStop_Click()
{
    m_console->stopByUser();
}

void frmDOSOutput::objDOS_ReceiveOutputs(const QString& CommandOutputs)
{
    m_txtOutputs->appendOutput(CommandOutputs);
}

void frmDOSOutput::runEnded(ConsoleRun::Ending how, std::exception_ptr error)
{
    m_txtOutputs->endOfStream();
    unsetCursor();
    m_cmdStop->setVisible(false);
    switch (how) {
    case ConsoleRun::Ending::Failed:
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            SystemMsgBox(runErrorText(e), vbOKOnly, QString());
        } catch (...) {
            SystemMsgBox(QStringLiteral("Unknown error - frmDOSOutput - 5"), vbOKOnly, QString());
        }
        break;
    case ConsoleRun::Ending::StoppedByUser:
        m_txtOutputs->appendLine(kStoppedByUser);
        [[fallthrough]];
    case ConsoleRun::Ending::Completed:
        SystemMsgBox(kReadComplete, vbOKOnly, QString());
        break;
    case ConsoleRun::Ending::Abandoned:
        // The window goes: no box waits for an answer.
        break;
    }
}

void frmDOSOutput::showEvent(QShowEvent* event)
{
    if (!m_loaded)
        Form_Load();
    QWidget::showEvent(event);
}

void frmDOSOutput::closeEvent(QCloseEvent* event)
{
    // Every way out (the title bar, the exit button, the window system)
    // comes here; the close is never refused.
    m_console->abandon();
    Form_QueryUnload();
    QWidget::closeEvent(event);
}

void frmDOSOutput::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmDOSOutput::Form_Resize()
{
    // Frame pieces follow the edges; nothing else moves. Widths and
    // heights read afresh at every step, as the pieces depend on each
    // other (the bottom pieces all take Image4's height).
    auto W = [this] { return width(); };
    auto H = [this] { return height(); };
    QLabel* image3 = Image(3);
    QLabel* image4 = Image(4);
    QLabel* image5 = Image(5);
    QLabel* image6 = Image(6);
    QLabel* image7 = Image(7);
    QLabel* image8 = Image(8);
    QLabel* image9 = Image(9);
    QLabel* image1 = Image(1);

    image6->move(W() - image6->width(), image6->y());
    image4->move(image4->x(), H() - image4->height());
    image7->move(image7->x(), H() - image4->height());
    image5->move(image5->x(), H() - image4->height());
    image6->resize(image6->width(), H());
    image5->move(W() - image5->width(), image5->y());
    image7->resize(W(), image7->height());
    image3->resize(image3->width(), H());
    image9->move(W() - image9->width(), image9->y());
    m_LabelTOP->resize(W(), m_LabelTOP->height());
    image1->resize(W(), image1->height());
    image8->move(W() - image8->width() - twips(800), image8->y());

    // The title spans the strip, but its text stops short of the first
    // title-bar button instead of running under it.
    const int textWidth = m_Label2[4]->x() - 4 - m_LabelTOP->x();
    m_LabelTOP->setContentsMargins(0, 0, std::max(0, m_LabelTOP->width() - std::max(0, textWidth)), 0);
}

void frmDOSOutput::Check2_Click()
{
    const Qt::CheckState state = m_Check2->checkState();
    if (state == Qt::PartiallyChecked)
        return;
    const bool onTop = state == Qt::Checked;
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == onTop)
        return;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (QWindow* window = windowHandle(); window && isVisible()) {
        // Changing a shown widget's flags would hide and re-create it:
        // tell the native window only, and keep the widget's record.
        overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void frmDOSOutput::LabelTOP_MouseMove(QMouseEvent* event)
{
    m_titleDrag->follow(event);
}

} // namespace gv
