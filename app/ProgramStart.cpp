#include "ProgramStart.h"

#include "IdentifierDeployment.h"
#include "InstanceLock.h"
#include "runner/ProgramLookup.h"
#include "winhelpers/MsgBox.h"

#include <QFile>
#include <QString>

#include <cstdio>

namespace gv {

namespace {

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

ProgramStart::ProgramStart(StartupSettings settings)
    : m_settings(std::move(settings))
{
}

ProgramStart::~ProgramStart()
{
    // A window that goes without being closed still takes the deployed
    // files with it.
    if (m_deployment)
        m_deployment->Remove();
}

void ProgramStart::giveUp()
{
    m_deployment.reset();
    m_instanceLock.reset();
}

bool ProgramStart::claimInstance()
{
    if (!m_settings.lockPath.empty()) {
        auto lock = std::make_unique<InstanceLock>(m_settings.lockPath);
        if (!lock->TryAcquire())
            return false;
        // Held for the program's whole life, released by the kernel however
        // the process ends.
        m_instanceLock = std::move(lock);
    }
    // The per-user lock lives where the environment says; the program
    // folder's own lock does not depend on it.
    if (m_settings.deploy) {
        m_deployment = std::make_unique<IdentifierDeployment>(m_settings.programFolder, m_settings.userFolder);
        if (!m_deployment->LockProgramFolder()) {
            giveUp();
            return false;
        }
    }
    return true;
}

std::string ProgramStart::identifierFolder() const
{
    return m_deployment && m_deployment->Deployed() ? m_deployment->Folder() : std::string();
}

bool ProgramStart::identifierMissing() const
{
    return m_deployment && !m_deployment->Deployed();
}

bool ProgramStart::deploy()
{
    if (!m_deployment)
        return true;
    if (m_settings.folderCheck)
        m_deployment->setFolderCheck(m_settings.folderCheck);
    if (!m_settings.noticeFolder.empty())
        m_deployment->setNoticeFolder(m_settings.noticeFolder);
    const DeploymentResult result = m_deployment->Deploy();
    if (result.otherCopyRunning) {
        // Another copy deploys into the user's folder this one would use.
        giveUp();
        return false;
    }

    const QString program = folderText(m_settings.programFolder);
    const QString user = folderText(m_settings.userFolder);
    if (result.missingPayload) {
        SystemMsgBox(QStringLiteral("Questa copia di GUI-Vonk non contiene Vonk e le sue definizioni (VonkDefs.vkd): "
                                    "la finestra resta utilizzabile, ma nessuna identificazione verrà eseguita."),
            vbExclamation);
        return true;
    }
    if (!m_deployment->Deployed()) {
        SystemMsgBox(QStringLiteral("Impossibile scrivere Vonk e le sue definizioni (VonkDefs.vkd): "
                                    "non accettano file né la cartella del programma\n%1\nné la cartella personale\n%2\n\n"
                                    "La finestra resta utilizzabile, ma nessuna identificazione verrà eseguita.")
                         .arg(program, user.isEmpty() ? QStringLiteral("(sconosciuta)") : user),
            vbExclamation);
        return true;
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
    return true;
}

void ProgramStart::removeDeployed(bool quiet)
{
    if (!m_deployment)
        return;
    const std::vector<std::string> failures = m_deployment->Remove();
    if (failures.empty())
        return;
    QString list;
    for (const std::string& failure : failures)
        list += QStringLiteral("\n") + folderText(failure);
    const QString text = QStringLiteral("Impossibile eliminare alla chiusura:") + list;
    if (quiet)
        std::fprintf(stderr, "gui-vonk: %s\n", text.toLocal8Bit().constData());
    else
        SystemMsgBox(text, vbExclamation);
}

} // namespace gv
