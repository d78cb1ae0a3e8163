// Not a test: prints how long the window takes from its creation to being
// shown, with the identifier written out at start and without, over several
// runs (the figures for the release note).
//
//   gv_startup_figures [runs]

#include "Payloads.h"
#include "ProgramStart.h"
#include "TempFolder.h"
#include "frmDOSOutput.h"

#include "winhelpers/MsgBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double timeToShown(bool deploy, const std::string& folder)
{
    gv::StartupSettings settings;
    settings.deploy = deploy;
    settings.programFolder = folder;
    settings.userFolder = folder + "/user";
    QElapsedTimer clock;
    clock.start();
    gv::frmDOSOutput window;
    window.setProgramLife(std::make_unique<gv::ProgramStart>(settings));
    window.Form_Load();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return -1;
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    window.close();
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    gv::RegisterIdentifierPayloads();
    gv::SetMsgBoxAnswerer([](const gv::MsgBoxRequest&, QMessageBox*) { return int(gv::vbOK); });
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    timeToShown(false, gv::testing::TempFolder().str()); // warm-up: fonts, artwork
    for (const bool deploy : { false, true }) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            gv::testing::TempFolder folder;
            times.push_back(timeToShown(deploy, folder.str()));
        }
        std::sort(times.begin(), times.end());
        std::printf("%-22s runs %d  min %.1f ms  median %.1f ms  max %.1f ms\n",
            deploy ? "with deployment:" : "without deployment:", runs, times.front(), times[times.size() / 2],
            times.back());
    }
    return 0;
}
