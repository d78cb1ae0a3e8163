#pragma once

#include <string>

namespace gv {

// What the program does around the window's start and close: keeping a
// second copy out, writing the identifier out and taking it away again.
// The window calls it at the steps of Form_Load and Form_QueryUnload; the
// program gives the real one, and a window without one does none of it.
class ProgramLife {
public:
    virtual ~ProgramLife() = default;

    // First step of the start: false when another copy runs.
    virtual bool claimInstance() = 0;
    // Writes the identifier and its database out, telling the user what
    // he must know about where they went. False when another copy holds
    // the folder they would go to: the start ends here.
    virtual bool deploy() = 0;
    // The folder identification commands start in; "" when nothing is
    // deployed.
    virtual std::string identifierFolder() const = 0;
    // A deployment was tried and wrote nothing: no command may run, or the
    // interpreter would look for an identifier nobody chose.
    virtual bool identifierMissing() const = 0;
    // Removes what deploy() wrote, once; what cannot be removed is said in
    // a box, or on standard error when quiet (nobody is there to answer).
    virtual void removeDeployed(bool quiet) = 0;
};

} // namespace gv
