// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsoleRun.h"

#include <QSocketNotifier>

#include <new>

namespace gv {

MissingRunnerError::MissingRunnerError()
    : std::runtime_error("Object variable or With block variable not set")
{
}

QString runErrorText(const std::exception& error)
{
    int number = 5; // invalid procedure call or argument
    if (dynamic_cast<const std::bad_alloc*>(&error))
        number = 7; // out of memory
    else if (dynamic_cast<const MissingRunnerError*>(&error))
        number = 91;
    return QString::fromUtf8(error.what()) + QStringLiteral(" - ") + QStringLiteral("frmDOSOutput")
        + QStringLiteral(" - ") + QString::number(number);
}

ConsoleRun::ConsoleRun(Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
{
    // After a stop the pipe may stay quiet while the runner waits for the
    // group to go: keep asking it so the end is seen.
    m_stopPoll.setInterval(50);
    connect(&m_stopPoll, &QTimer::timeout, this, &ConsoleRun::onReadable);
    createRunner();
}

ConsoleRun::~ConsoleRun()
{
    m_stopPoll.stop();
    m_notifier.reset();
    releaseRunner();
}

void ConsoleRun::createRunner()
{
    if (m_runner)
        return;
    m_runner = std::make_unique<DOSOutputs>();
    m_runner->setListener(this);
    m_runner->setMessageSink(this);
}

void ConsoleRun::releaseRunner()
{
    if (!m_runner)
        return;
    m_runner->setListener(nullptr);
    m_runner->setMessageSink(nullptr);
    m_runner->Stop();
    m_runner.reset();
}

void ConsoleRun::start(const std::function<std::string()>& prepare)
{
    if (m_running)
        return;
    m_running = true;
    m_stopRequested = false;
    m_stoppedByUser = false;
    m_error = nullptr;
    try {
        const std::string commandLine = prepare();
        if (!m_runner)
            throw MissingRunnerError();
        m_runner->setCommandLine(commandLine);
        // A run that does not start has had its failure box from the
        // runner; it ends as any other.
        if (!m_runner->Start() || m_runner->OutputFd() < 0) {
            end(Ending::Completed);
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_runner->OutputFd(), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &ConsoleRun::onReadable);
    } catch (...) {
        // A started run is ended and drained before the error is told.
        if (m_runner)
            m_runner->StopAndWait();
        end(Ending::Failed, std::current_exception());
    }
}

void ConsoleRun::stopByUser()
{
    if (!m_running || !m_runner || m_stopRequested)
        return;
    m_stoppedByUser = true;
    stop();
}

void ConsoleRun::stop()
{
    if (!m_running || !m_runner || m_stopRequested)
        return;
    m_stopRequested = true;
    m_runner->Stop();
    m_stopPoll.start();
}

void ConsoleRun::abandon()
{
    if (!m_running)
        return;
    if (m_runner && m_runner->IsRunning())
        m_runner->StopAndWait();
    end(Ending::Abandoned);
}

void ConsoleRun::onReadable()
{
    if (!m_running || !m_runner)
        return;
    bool more = false;
    try {
        more = m_runner->PumpAvailable();
    } catch (...) {
        if (!m_error)
            m_error = std::current_exception();
        more = m_runner->IsRunning();
    }
    if (m_error && !m_stopRequested)
        stop();
    if (!more) {
        const std::exception_ptr error = m_error;
        end(error ? Ending::Failed : m_stoppedByUser ? Ending::StoppedByUser : Ending::Completed, error);
    }
}

void ConsoleRun::ReceiveOutputs(const std::string& CommandOutputs)
{
    if (m_error)
        return;
    try {
        m_hooks.chunk(QString::fromStdString(CommandOutputs));
    } catch (...) {
        // Handled once the runner's read has returned, so the runner is
        // never unwound from inside.
        m_error = std::current_exception();
    }
}

void ConsoleRun::ShowRunnerFailure(const std::string& message)
{
    m_hooks.runnerFailure(message);
}

void ConsoleRun::end(Ending how, std::exception_ptr error)
{
    m_stopPoll.stop();
    if (m_notifier) {
        // This may run inside the notifier's own signal.
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    m_error = nullptr;
    m_hooks.ended(how, error);
    m_running = false;
    m_hooks.idle();
}

} // namespace gv
