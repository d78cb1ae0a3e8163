// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the About window offscreen into a PNG, for a person to look at:
//   gv-about-screenshot OUT.png
#include "frmAbout.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: gv-about-screenshot OUT.png\n");
        return 2;
    }
    gv::frmAbout about;
    about.show();
    QApplication::processEvents();
    return about.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
