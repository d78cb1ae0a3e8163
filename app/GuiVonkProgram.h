// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StartupSettings.h"

namespace gv {

// The program's life, from the start sequence to the thanks box: refuses a
// second copy, writes the identifier out, shows the window, runs the event
// loop until the window closes by any path, then, once the window has gone,
// thanks the user. A termination signal (with TerminationSignals installed)
// closes the window the same way, without the thanks: nobody is there to
// answer it. Needs the application object; returns the exit status.
int RunGuiVonk(const StartupSettings& settings);

} // namespace gv
