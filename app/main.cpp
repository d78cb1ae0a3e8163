#include "frmDOSOutput.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("GUI-Vonk"));
    gv::frmDOSOutput window;
    window.show();
    return app.exec();
}
