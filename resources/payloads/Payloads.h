// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace gv {

// Makes the embedded identifier (FILES 102) and its database (FILES 103)
// known to the resource lookup. Called once at start; harmless twice.
void RegisterIdentifierPayloads();

} // namespace gv
