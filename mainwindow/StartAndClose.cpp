// The window's life: the start sequence's own steps (another copy, title,
// deployment of the identifier), the one close sequence every way out goes
// through, and the frame's links and hot spots.

#include "frmDOSOutput.h"

#include "frmAbout.h"
#include "winhelpers/FileHelpers.h"
#include "winhelpers/LabelClicks.h"
#include "winhelpers/MsgBox.h"
#include "winhelpers/core/IdentifierDeployment.h"
#include "winhelpers/core/InstanceLock.h"
#include "runner/ProgramLookup.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <cstdio>

#ifndef GV_VERSION_MAJOR
#error "GV_VERSION_MAJOR, GV_VERSION_MINOR and GV_VERSION_TWEAK come from the project's version"
#endif

namespace gv {

namespace {

// The program's file description.
const QString kFileDescription = QStringLiteral("Vonk-Gui : Gui 4 Vonk  - by Vessandro");

QString folderText(const std::string& folder)
{
    return QFile::decodeName(QByteArray::fromStdString(folder));
}

} // namespace

StartupSettings StartupSettings::ForThisProgram()
{
    StartupSettings settings;
    settings.lockPath = InstanceLock::DefaultPath();
    settings.deploy = true;
    settings.programFolder = gv::programFolder();
    settings.userFolder = PerUserDeploymentFolder();
    settings.noticeFolder = PersistentNoticeFolder();
    return settings;
}

QString frmDOSOutput::titleText()
{
    // The third field of the version (build) is not shown.
    return kFileDescription + QStringLiteral(" Version: ") + QString::number(GV_VERSION_MAJOR) + QLatin1Char('.')
        + QString::number(GV_VERSION_MINOR) + QLatin1Char('.') + QString::number(GV_VERSION_TWEAK)
        + QStringLiteral(" by Vessandro");
}

void frmDOSOutput::setStartupSettings(const StartupSettings& settings)
{
    m_settings = std::make_unique<StartupSettings>(settings);
}

bool frmDOSOutput::refuseSecondCopy()
{
    if (!m_settings)
        return false;
    if (!m_settings->lockPath.empty()) {
        auto lock = std::make_unique<InstanceLock>(m_settings->lockPath);
        if (lock->TryAcquire()) {
            // Held for the window's whole life, released by the kernel however
            // the process ends.
            m_instanceLock = std::move(lock);
        } else {
            return refuseStart();
        }
    }
    // The per-user lock lives where the environment says; the program
    // folder's own lock does not depend on it.
    if (m_settings->deploy) {
        m_deployment = std::make_unique<IdentifierDeployment>(m_settings->programFolder, m_settings->userFolder);
        if (!m_deployment->LockProgramFolder()) {
            m_deployment.reset();
            return refuseStart();
        }
    }
    return false;
}

bool frmDOSOutput::refuseStart()
{
    m_instanceLock.reset();
    m_startRefused = true;
    SystemMsgBox(QStringLiteral("VonkGUI risulta avviato"), vbExclamation);
    return true;
}

bool frmDOSOutput::identifierMissing() const
{
    return m_deployment && !m_deployment->Deployed();
}

bool frmDOSOutput::deployIdentifier()
{
    if (!m_deployment)
        return false;
    if (m_settings->folderCheck)
        m_deployment->setFolderCheck(m_settings->folderCheck);
    if (!m_settings->noticeFolder.empty())
        m_deployment->setNoticeFolder(m_settings->noticeFolder);
    const DeploymentResult result = m_deployment->Deploy();
    if (result.otherCopyRunning) {
        // Another copy deploys into the user's folder this one would use.
        m_deployment.reset();
        return refuseStart();
    }

    // Command lines name the identifier without a folder: they start where
    // it was written, and the interpreter looks for it there only.
    if (m_deployment->Deployed() && objDOS())
        objDOS()->setWorkingDirectory(result.folder);

    const QString program = folderText(m_settings->programFolder);
    const QString user = folderText(m_settings->userFolder);
    if (result.missingPayload) {
        SystemMsgBox(QStringLiteral("Questa copia di GUI-Vonk non contiene Vonk e le sue definizioni (VonkDefs.vkd): "
                                    "la finestra resta utilizzabile, ma nessuna identificazione verrà eseguita."),
            vbExclamation);
        return false;
    }
    if (!m_deployment->Deployed()) {
        SystemMsgBox(QStringLiteral("Impossibile scrivere Vonk e le sue definizioni (VonkDefs.vkd): "
                                    "non accettano file né la cartella del programma\n%1\nné la cartella personale\n%2\n\n"
                                    "La finestra resta utilizzabile, ma nessuna identificazione verrà eseguita.")
                         .arg(program, user.isEmpty() ? QStringLiteral("(sconosciuta)") : user),
            vbExclamation);
        return false;
    }
    if (result.place == DeploymentPlace::UserFolder && result.tellUser) {
        const QString why = result.reason == FallbackReason::ProgramFolderHoldsOthers
            ? QStringLiteral("Nella cartella del programma\n%1\nci sono già file vonk o VonkDefs.vkd che GUI-Vonk "
                             "non ha scritto: restano come sono.")
                  .arg(program)
            : QStringLiteral("La cartella del programma\n%1\nnon accetta file.").arg(program);
        SystemMsgBox(why
                + QStringLiteral("\n\nVonk e le sue definizioni (VonkDefs.vkd) sono stati scritti nella cartella "
                                 "personale\n%1\ne verranno rimossi alla chiusura. Questo avviso non verrà più mostrato.")
                      .arg(user),
            vbInformation);
    }
    return false;
}

void frmDOSOutput::Form_QueryUnload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A running identifier could keep its files busy: it goes first.
    m_console->abandon();
    if (m_deployment) {
        const std::vector<std::string> failures = m_deployment->Remove();
        if (!failures.empty()) {
            QString list;
            for (const std::string& failure : failures)
                list += QStringLiteral("\n") + folderText(failure);
            const QString text = QStringLiteral("Impossibile eliminare alla chiusura:") + list;
            if (m_quietClose)
                std::fprintf(stderr, "gui-vonk: %s\n", text.toLocal8Bit().constData());
            else
                SystemMsgBox(text, vbExclamation);
        }
    }
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
