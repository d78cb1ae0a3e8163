// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuiVonkProgram.h"
#include "Payloads.h"
#include "ReportMemory.h"
#include "TerminationSignals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    gv::StartWithReportMemory(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("GUI-Vonk"));
    gv::TerminationSignals::install();
    gv::RegisterIdentifierPayloads();
    return gv::RunGuiVonk(gv::StartupSettings::ForThisProgram());
}
