#pragma once

#include <string>
#include <sys/types.h>

namespace gv {

// Receives the text of every read of a run, in reading order. The last
// chunk of every run is empty.
class IReceiveOutputs {
public:
    virtual ~IReceiveOutputs() = default;
    virtual void ReceiveOutputs(const std::string& CommandOutputs) = 0;
};

// Shows the runner's own failures ("Command Line empty", "CreatePipe
// failed. Error: N", "File or command not found"): the window maps this to
// a modal box with the error icon, tests capture it. Without a sink the
// message goes to standard error.
class IRunnerMessages {
public:
    virtual ~IRunnerMessages() = default;
    virtual void ShowRunnerFailure(const std::string& message) = 0;
};

// Runs one command line as a child process whose standard output and
// standard error share one pipe, and hands on what it prints in chunks of
// at most 256 bytes read, decoded as UTF-8 (a character split between two
// reads arrives whole in the later chunk).
//
// Two ways to run: ExecuteCommand() blocks until no process holds the
// pipe any more; Start() + OutputFd() + PumpAvailable() let an event loop
// watch the pipe and stay responsive. Stop() ends the child's whole
// process group.
class DOSOutputs {
public:
    DOSOutputs();
    ~DOSOutputs();
    DOSOutputs(const DOSOutputs&) = delete;
    DOSOutputs& operator=(const DOSOutputs&) = delete;

    const std::string& CommandLine() const;
    void setCommandLine(const std::string& DOSCommand);
    const std::string& Outputs() const;

    void setListener(IReceiveOutputs* listener);
    void setMessageSink(IRunnerMessages* sink);

    // A non-empty argument replaces CommandLine first. Returns Outputs when
    // a process was started, empty text after a reported failure.
    std::string ExecuteCommand(const std::string& commandLine = {});

    // Starts a run without waiting for it. False after a reported failure.
    bool Start(const std::string& commandLine = {});
    // The pipe's read end while a run lasts (non-blocking), -1 otherwise.
    int OutputFd() const;
    // Reads every chunk available now without blocking, one event per
    // read. At the end of the output raises the final empty chunk, reaps
    // the child and returns false; true while the run goes on.
    bool PumpAvailable();
    // Ends the running child's process group; the run then ends at the
    // next PumpAvailable() (or inside ExecuteCommand when called from a
    // listener or another thread).
    void Stop();
    bool IsRunning() const;

private:
    struct Run;
    std::string m_commandLine;
    std::string m_outputs;
    IReceiveOutputs* m_listener = nullptr;
    IRunnerMessages* m_sink = nullptr;
    Run* m_run = nullptr;
};

} // namespace gv
