// SPDX-License-Identifier: GPL-3.0-or-later
// The window's life: the start sequence's own steps (another copy, title,
// the identifier's folder), the one close sequence every way out goes
// through, and the frame's links and hot spots. What the program does
// around them (locks, deployment) is its ProgramLife's.

#include "frmDOSOutput.h"

#include "frmAbout.h"
#include "mainwindow/core/DesignTable.h"
#include "winhelpers/FileHelpers.h"
#include "winhelpers/LabelClicks.h"
#include "winhelpers/MsgBox.h"

#include <QLabel>
#include <QPushButton>

#ifndef GV_VERSION_MAJOR
#error "GV_VERSION_MAJOR, GV_VERSION_MINOR and GV_VERSION_TWEAK come from the project's version"
#endif

namespace gv {

namespace {

// The program's file description.
const QString kFileDescription = QString::fromUtf8(design::kFileDescription);

} // namespace

QString frmDOSOutput::titleText()
{
    // The third field of the version (build) is not shown.
    return kFileDescription + QStringLiteral(" Version: ") + QString::number(GV_VERSION_MAJOR) + QLatin1Char('.')
        + QString::number(GV_VERSION_MINOR) + QLatin1Char('.') + QString::number(GV_VERSION_TWEAK)
        + QStringLiteral(" by Vessandro");
}

void frmDOSOutput::setProgramLife(std::unique_ptr<ProgramLife> life)
{
    m_life = std::move(life);
}

bool frmDOSOutput::refuseSecondCopy()
{
    return m_life && !m_life->claimInstance() && refuseStart();
}

bool frmDOSOutput::refuseStart()
{
    m_startRefused = true;
    SystemMsgBox(QString::fromUtf8(design::kAlreadyRunning), vbExclamation);
    return true;
}

bool frmDOSOutput::identifierMissing() const
{
    return m_life && m_life->identifierMissing();
}

bool frmDOSOutput::deployIdentifier()
{
    if (!m_life)
        return false;
    if (!m_life->deploy())
        return refuseStart();
    // Command lines name the identifier without a folder: they start where
    // it was written, and the interpreter looks for it there only.
    if (const std::string folder = m_life->identifierFolder(); !folder.empty() && objDOS())
        objDOS()->setWorkingDirectory(folder);
    return false;
}

void frmDOSOutput::Form_QueryUnload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A running identifier could keep its files busy: it goes first.
    m_console->abandon();
    if (m_life)
        m_life->removeDeployed(m_quietClose);
    Q_EMIT formUnloaded();
}

void frmDOSOutput::Form_Terminate()
{
    SystemMsgBox(QStringLiteral("Thanks for using."), vbOKOnly, QStringLiteral("Thanks"));
}

void frmDOSOutput::closeFromSignal()
{
    m_quietClose = true;
    Form_QueryUnload();
    close();
}

void frmDOSOutput::cmdExit_Click()
{
    m_console->abandon();
    m_console->releaseRunner();
    close();
}

void frmDOSOutput::Label7_Click()
{
    close();
}

void frmDOSOutput::Image10_DblClick()
{
    close();
}

void frmDOSOutput::Label1_DblClick()
{
    OpenWithShell(QStringLiteral("mailto:") + identifierAuthorMail(), QString());
}

void frmDOSOutput::Label5_Click()
{
    OpenWithShell(distributionHomePage(), QString());
}

void frmDOSOutput::Label2_Click(int index)
{
    switch (index) {
    case 1:
        frmAbout::showModalAbout(this);
        break;
    case 2:
        OpenWithShell(QStringLiteral("mailto:") + programAuthorMail(), QString());
        break;
    case 3:
        OpenWithShell(QStringLiteral("mailto:") + identifierAuthorMail(), QString());
        break;
    case 4:
        // "Minimizza nella traybar": there is no tray icon to go to, so the
        // window is minimised as a user expects.
        showMinimized();
        break;
    default:
        break;
    }
}

void frmDOSOutput::connectFrame()
{
    using K = LabelClicks;
    K::attach(m_Label7, K::Click, [this] { Label7_Click(); });
    K::attach(Image(10), K::DoubleClick, [this] { Image10_DblClick(); });
    K::attach(m_Label1, K::DoubleClick, [this] { Label1_DblClick(); });
    K::attach(m_Label5, K::Click, [this] { Label5_Click(); });
    for (int i = 0; i < 5; ++i)
        K::attach(m_Label2[size_t(i)], K::Click, [this, i] { Label2_Click(i); });
    connect(m_cmdExit, &QPushButton::clicked, this, &frmDOSOutput::cmdExit_Click);

    // The title label spans the whole top strip once laid out; the hot
    // spots on it must still get the mouse, so they lie above it.
    for (QWidget* spot : { static_cast<QWidget*>(m_Label7), static_cast<QWidget*>(m_Label8),
             static_cast<QWidget*>(m_Label9), static_cast<QWidget*>(m_Label2[4]) })
        spot->raise();
}

} // namespace gv
