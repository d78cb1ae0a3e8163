// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace gv {

// SIGTERM, SIGINT and SIGHUP turned into a Qt signal on the main thread: the
// handler only writes the signal's number into a pipe (all a handler may
// safely do), and a socket notifier reads it in the event loop, where the
// window can close properly. A signal that comes again before the loop has
// taken the first one ends the process the default way: the loop is stuck.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers (once per process; later calls return the same
    // object). Call after the application object exists.
    static TerminationSignals* install();
    // The installed object, or null.
    static TerminationSignals* instance();

    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    TerminationSignals();
    void onReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace gv
