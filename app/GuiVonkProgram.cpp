#include "GuiVonkProgram.h"

#include "ProgramStart.h"
#include "TerminationSignals.h"
#include "frmDOSOutput.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace gv {

int RunGuiVonk(const StartupSettings& settings)
{
    // The boxes of the start sequence can be the only windows on screen;
    // closing one of them must not end the program.
    const bool quitOnLast = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);

    auto window = std::make_unique<frmDOSOutput>();
    window->setProgramLife(std::make_unique<ProgramStart>(settings));
    bool bySignal = false;

    // Queued, so the window has finished closing before the loop ends.
    QObject::connect(window.get(), &frmDOSOutput::formUnloaded, window.get(),
        [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    QMetaObject::Connection signalLink;
    if (TerminationSignals* signals = TerminationSignals::instance()) {
        signalLink = QObject::connect(signals, &TerminationSignals::received, window.get(), [&window, &bySignal](int) {
            bySignal = true;
            window->closeFromSignal();
            // Also ends any box that is waiting for an answer.
            QCoreApplication::exit(0);
        });
    }

    // The start runs inside the event loop, so a signal also reaches a
    // start-up box.
    QTimer::singleShot(0, window.get(), [&window] {
        window->Form_Load();
        if (window->startRefused() || window->isUnloaded()) {
            QCoreApplication::exit(0);
            return;
        }
        window->show();
    });

    const int status = QApplication::exec();
    QObject::disconnect(signalLink);

    const bool thank = !bySignal && !window->startRefused() && window->isUnloaded();
    // The loop can also end without a close (the session ending): the
    // close sequence still runs.
    if (!window->isUnloaded())
        window->closeFromSignal();
    window.reset();
    if (thank) {
        // A signal while the thanks wait ends the wait.
        QMetaObject::Connection endThanks;
        if (TerminationSignals* signals = TerminationSignals::instance()) {
            endThanks = QObject::connect(signals, &TerminationSignals::received, signals, [](int) {
                if (QWidget* box = QApplication::activeModalWidget())
                    box->close();
            });
        }
        frmDOSOutput::Form_Terminate();
        QObject::disconnect(endThanks);
    }

    QApplication::setQuitOnLastWindowClosed(quitOnLast);
    return status;
}

} // namespace gv
