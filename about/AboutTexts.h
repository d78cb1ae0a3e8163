// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace gv {

// The About window's long texts, kept apart from its layout.
QString aboutProgramText();     // Label5: what the program is (first line leaves room for Label8)
QString aboutIdentifierText();  // Label2(0): what the identifier is
QString aboutDefinitionsText(); // Label3: how the identifier works
QString aboutTermsText();       // Text1: terms of use

} // namespace gv
