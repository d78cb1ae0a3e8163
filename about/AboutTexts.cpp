// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutTexts.h"

#include "about/core/AboutText.h"

namespace gv {

QString aboutProgramText()
{
    return QString::fromUtf8(about::kAboutProgram);
}

QString aboutIdentifierText()
{
    return QString::fromUtf8(about::kAboutIdentifier);
}

QString aboutDefinitionsText()
{
    return QString::fromUtf8(about::kAboutDefinitions);
}

QString aboutTermsText()
{
    return QString::fromUtf8(about::kAboutTerms);
}

} // namespace gv
