#pragma once

#include "ProgramLife.h"
#include "StartupSettings.h"

#include <memory>

namespace gv {

class IdentifierDeployment;
class InstanceLock;

// The program's own start and close around the window: the per-user lock
// and the deployment folder's lock keep a second copy out, the identifier
// and its database are written out (and the user told where, when it
// matters), and taken away again at close or when this object goes.
class ProgramStart : public ProgramLife {
public:
    explicit ProgramStart(StartupSettings settings);
    ~ProgramStart() override;

    bool claimInstance() override;
    bool deploy() override;
    std::string identifierFolder() const override;
    bool identifierMissing() const override;
    void removeDeployed(bool quiet) override;

    // Where the identifier went; null before deploy() or without deploying.
    const IdentifierDeployment* deployment() const { return m_deployment.get(); }

private:
    void giveUp();

    StartupSettings m_settings;
    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<IdentifierDeployment> m_deployment;
};

} // namespace gv
