// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mainwindow/ProgramLife.h"

#include <memory>
#include <string>

namespace gv {

class IdentifierDeployment;
class InstanceLock;

// The Windows program's start and close around its window: the per-user
// lock and the deployment folder's lock keep a second copy out, the
// identifier and its database are written out of the executable's FILES
// resources (and the user told where, when it matters), and taken away
// again at close or when this object goes.
class ProgramStartWin32 : public ProgramLife {
public:
    // Empty lockPath: no per-user lock (tests).
    ProgramStartWin32(std::string lockPath, std::string programFolder, std::string userFolder);
    ~ProgramStartWin32() override;

    bool claimInstance() override;
    bool deploy() override;
    std::string identifierFolder() const override;
    bool identifierMissing() const override;
    void removeDeployed(bool quiet) override;

private:
    void giveUp();

    std::string m_lockPath;
    std::string m_programFolder;
    std::string m_userFolder;
    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<IdentifierDeployment> m_deployment;
};

} // namespace gv
