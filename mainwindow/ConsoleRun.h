// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/DOSOutputs.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class QSocketNotifier;

namespace gv {

// Raised when the window has no command runner any more.
class MissingRunnerError : public std::runtime_error {
public:
    MissingRunnerError();
};

// Text of the Execute handler's error box: description, " - ", source,
// " - ", number. A std::exception maps to its what() text, the window as
// source and the number of the nearest run-time error (7 for an
// allocation failure, 91 for a missing runner, 5 otherwise).
QString runErrorText(const std::exception& error);

// The window's one command runner, driven from the event loop: the pipe is
// watched by a socket notifier, a stop keeps polling until the process
// group has gone (the pipe may stay quiet meanwhile), and every run, however
// it ends, goes through one end: ended() reports it while the run still
// counts as running (so no request can start under its boxes), then idle().
class ConsoleRun : public QObject, private IReceiveOutputs, private IRunnerMessages {
    Q_OBJECT
public:
    enum class Ending {
        Completed,     // the output ended
        StoppedByUser, // the output ended after stopByUser()
        Failed,        // an error, passed on to ended()
        Abandoned,     // abandon(): the caller has given the run up
    };

    struct Hooks {
        // One chunk of output, in reading order; may throw, which ends the
        // run as Failed once the runner's read has returned.
        std::function<void(const QString&)> chunk;
        // The runner's own failures ("File or command not found", ...).
        std::function<void(const std::string&)> runnerFailure;
        std::function<void(Ending, std::exception_ptr)> ended;
        std::function<void()> idle;
    };

    explicit ConsoleRun(Hooks hooks, QObject* parent = nullptr);
    ~ConsoleRun() override;

    DOSOutputs* runner() const { return m_runner.get(); }
    void createRunner();
    // Lets the runner go (a running command is not waited for).
    void releaseRunner();
    bool isRunning() const { return m_running; }

    // Starts a run of the command line that prepare() gives; prepare runs
    // first and may throw. Returns at once, or after the end when the run
    // could not start. Ignored while a run lasts.
    void start(const std::function<std::string()>& prepare);
    // Ends the running command's process group; the run ends as usual.
    void stopByUser();
    // Ends a run here and now, without the event loop and with no report
    // but ended(Abandoned): the window is going.
    void abandon();

private:
    void ReceiveOutputs(const std::string& CommandOutputs) override;
    void ShowRunnerFailure(const std::string& message) override;
    void onReadable();
    void stop();
    void end(Ending how, std::exception_ptr error = nullptr);

    Hooks m_hooks;
    std::unique_ptr<DOSOutputs> m_runner;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_stopPoll;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_stoppedByUser = false;
    std::exception_ptr m_error;
};

} // namespace gv
