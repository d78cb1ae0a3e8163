// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramStartWin32.h"

#include "IdentifierDeploymentWin32.h"
#include "InstanceLockWin32.h"
#include "winhelpers/win32/MsgBoxWin32.h"

#include <cstdio>

namespace gv {

ProgramStartWin32::ProgramStartWin32(std::string lockPath, std::string programFolder, std::string userFolder)
    : m_lockPath(std::move(lockPath))
    , m_programFolder(std::move(programFolder))
    , m_userFolder(std::move(userFolder))
{
}

ProgramStartWin32::~ProgramStartWin32()
{
    // A window that goes without being closed still takes the deployed
    // files with it.
    if (m_deployment)
        m_deployment->Remove();
}

void ProgramStartWin32::giveUp()
{
    m_deployment.reset();
    m_instanceLock.reset();
}

bool ProgramStartWin32::claimInstance()
{
    if (!m_lockPath.empty()) {
        auto lock = std::make_unique<InstanceLock>(m_lockPath);
        if (!lock->TryAcquire())
            return false;
        // Held for the program's whole life, let go by the system however
        // the process ends.
        m_instanceLock = std::move(lock);
    }
    m_deployment = std::make_unique<IdentifierDeployment>(m_programFolder, m_userFolder);
    if (!m_deployment->LockProgramFolder()) {
        giveUp();
        return false;
    }
    return true;
}

std::string ProgramStartWin32::identifierFolder() const
{
    return m_deployment && m_deployment->Deployed() ? m_deployment->Folder() : std::string();
}

bool ProgramStartWin32::identifierMissing() const
{
    return m_deployment && !m_deployment->Deployed();
}

bool ProgramStartWin32::deploy()
{
    if (!m_deployment)
        return true;
    const DeploymentResult result = m_deployment->Deploy();
    if (result.otherCopyRunning) {
        // Another copy deploys into the user's folder this one would use.
        giveUp();
        return false;
    }
    if (result.missingPayload) {
        SystemMsgBox("Questa copia di GUI-Vonk non contiene Vonk e le sue definizioni (VonkDefs.vkd): "
                     "la finestra resta utilizzabile, ma nessuna identificazione verrà eseguita.",
                     vbExclamation);
        return true;
    }
    const std::string user = m_userFolder.empty() ? std::string("(sconosciuta)") : m_userFolder;
    if (!m_deployment->Deployed()) {
        SystemMsgBox("Impossibile scrivere Vonk e le sue definizioni (VonkDefs.vkd): non accettano file né la "
                     "cartella del programma\n" + m_programFolder + "\nné la cartella personale\n" + user +
                     "\n\nLa finestra resta utilizzabile, ma nessuna identificazione verrà eseguita.",
                     vbExclamation);
        return true;
    }
    if (result.place == DeploymentPlace::UserFolder && result.tellUser) {
        const std::string why = result.reason == FallbackReason::ProgramFolderHoldsOthers
            ? "Nella cartella del programma\n" + m_programFolder +
                  "\nci sono già file vonk.exe o VonkDefs.vkd che GUI-Vonk non ha scritto: restano come sono."
            : "La cartella del programma\n" + m_programFolder + "\nnon accetta file.";
        SystemMsgBox(why + "\n\nVonk e le sue definizioni (VonkDefs.vkd) sono stati scritti nella cartella "
                           "personale\n" + user + "\ne verranno rimossi alla chiusura. Questo avviso non verrà più "
                           "mostrato.",
                     vbInformation);
    }
    return true;
}

void ProgramStartWin32::removeDeployed(bool quiet)
{
    if (!m_deployment)
        return;
    const std::vector<std::string> failures = m_deployment->Remove();
    if (failures.empty())
        return;
    std::string text = "Impossibile eliminare alla chiusura:";
    for (const std::string& failure : failures)
        text += "\n" + failure;
    if (quiet)
        std::fprintf(stderr, "gui-vonk: %s\n", text.c_str());
    else
        SystemMsgBox(text, vbExclamation);
}

} // namespace gv
