// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace gv {

// Receives the text of every read of a run, in reading order, on the
// owner's thread. The last chunk of every run is empty, except for a run
// given up with StopAndWait(), which tells the listener nothing more.
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

// Runs one command line as a hidden child process whose standard output
// and standard error share one anonymous pipe, and hands on what it prints
// in chunks of at most 256 bytes read, as UTF-8 (see ConsoleTextDecoder:
// the identifier's UTF-8 and the interpreter's code-page text both arrive
// readable; a character split between two reads arrives whole).
//
// The command line goes to CreateProcessW unchanged: callers write
// "cmd /c ..." themselves. When it starts with "cmd", the real command
// interpreter (COMSPEC, else the system folder's) is named as the program,
// so no "cmd.exe" lying beside us or in the current folder runs instead. The child gets no standard input, a hidden window and a job
// object of its own, so Stop() ends the interpreter and everything it
// started.
//
// Two ways to run: ExecuteCommand() blocks until no process holds the
// pipe any more; Start() + PumpAvailable() keep a window responsive. A
// worker thread reads the pipe and queues the chunks; the notifier (set
// with setChunkNotifier) is called from that thread whenever something was
// queued or the output ended: a window posts itself a message there and
// calls PumpAvailable() when it arrives. Listeners only ever run on the
// owner's thread, inside ExecuteCommand() or PumpAvailable().
//
// One run at a time: Start() or ExecuteCommand() while a run lasts is
// refused quietly (false or empty text, no message, CommandLine and
// Outputs unchanged). Stop() and IsRunning() may be called from any
// thread; everything else from the owner's.
class DOSOutputs {
public:
    DOSOutputs();
    ~DOSOutputs();
    DOSOutputs(const DOSOutputs&) = delete;
    DOSOutputs& operator=(const DOSOutputs&) = delete;

    const std::string& CommandLine() const;
    void setCommandLine(const std::string& DOSCommand);
    const std::string& Outputs() const;

    // Folder the next runs start in; empty (the default) means the current
    // directory of this process.
    const std::string& WorkingDirectory() const;
    void setWorkingDirectory(const std::string& folder);

    void setListener(IReceiveOutputs* listener);
    void setMessageSink(IRunnerMessages* sink);
    // Called on the reading thread; must not block and must not call back
    // into the runner except Stop() and IsRunning().
    void setChunkNotifier(std::function<void()> notifier);

    // A non-empty argument replaces CommandLine first. Returns Outputs when
    // a process was started, empty text after a reported failure.
    std::string ExecuteCommand(const std::string& commandLine = {});

    // Starts a run without waiting for it. False after a reported failure.
    bool Start(const std::string& commandLine = {});
    // Hands every queued chunk to the listener. At the end of the output
    // raises the final empty chunk, closes the run's handles and returns
    // false; true while the run goes on.
    bool PumpAvailable();
    // Ends the job: the interpreter and every process it started. The run
    // then ends at the next PumpAvailable() (the notifier is called when
    // the pipe has closed). Nothing happens when idle.
    void Stop();
    // Stop() for a caller that cannot go back to its event loop (a window
    // that is closing): waits here for the run to end. What was still
    // queued goes to Outputs but not to the listener, nor does the final
    // empty chunk. Nothing happens when idle.
    void StopAndWait();
    bool IsRunning() const;

private:
    struct Run;

    void report(const std::string& message);
    void emitChunk(const std::string& chunk);
    void finishRun();

    std::string m_commandLine;
    std::string m_outputs;
    std::string m_workingDirectory;
    IReceiveOutputs* m_listener = nullptr;
    IRunnerMessages* m_sink = nullptr;
    std::function<void()> m_notifier;
    std::unique_ptr<Run> m_run;
    bool m_delivering = false;
    mutable std::mutex m_runMutex;
};

} // namespace gv
