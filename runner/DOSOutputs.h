// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <string>
#include <vector>
#include <sys/types.h>

namespace gv {

// Receives the text of every read of a run, in reading order. The last
// chunk of every run is empty, except for a run given up with
// StopAndWait(), which tells the listener nothing more.
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
//
// The command line is split into words without any shell (see
// splitCommandLine()); the first word names the program: a word with a
// slash is a path, any other is looked up in the runner's own program
// folder, then the run's working directory, then PATH. The child gets
// /dev/null as standard input, the pipe as standard output and error, its
// own process group and no other descriptor of ours; it is reaped when the
// output ends (or later, by a background waiter, if it lingers with its
// output closed). Its exit status is not used.
//
// One run at a time: Start() or ExecuteCommand() while a run lasts (from a
// listener, say) is refused quietly: false or empty text, no message, and
// neither CommandLine nor Outputs change. An empty chunk can also arrive
// mid-run, when a read held only the start of a character; the end of a
// run is told by ExecuteCommand() returning or PumpAvailable() giving
// false, not by the empty chunk alone.
//
// Threads: everything runs on the owner's thread except Stop() and
// IsRunning(), which may also be called from any other thread. A listener
// that throws ends the run: the group is killed and reaped, then the
// exception goes on to the caller.
class DOSOutputs {
public:
    DOSOutputs();
    ~DOSOutputs();
    DOSOutputs(const DOSOutputs&) = delete;
    DOSOutputs& operator=(const DOSOutputs&) = delete;

    const std::string& CommandLine() const;
    void setCommandLine(const std::string& DOSCommand);
    const std::string& Outputs() const;

    // Folder the next runs start in; empty (the default) means the
    // current directory of this process. Relative program paths and the
    // current-directory step of the lookup use it too.
    const std::string& WorkingDirectory() const;
    void setWorkingDirectory(const std::string& folder);

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
    // the child and returns false; true while the run goes on. Under a
    // flood of output it returns after a short time slice (still true,
    // the descriptor still readable) so the event loop can repaint.
    bool PumpAvailable();
    // Ends the running child's process group: SIGTERM at once, SIGKILL
    // a moment later to whatever is left. The run then ends at the next
    // PumpAvailable() (or inside ExecuteCommand when called from a
    // listener or another thread). A writer that escaped the group (a
    // program that made itself a session leader) cannot hold the run
    // open for more than a second and a half after Stop(); an event loop
    // should keep calling PumpAvailable() on a timer meanwhile so it sees
    // that end even without pipe activity. Nothing happens when idle.
    void Stop();
    // Stop() for a caller that cannot go back to its event loop first (a
    // start that failed halfway, a window that is closing): waits here
    // for the run to end, then reaps the child and closes the pipe, as
    // the end of any run does. What the group still prints meanwhile goes
    // to Outputs but not to the listener, nor does the final empty chunk:
    // the caller has given the run up. Returns within Stop()'s second and
    // a half even when a writer escaped the group. Nothing happens when
    // idle. Called from inside a listener it only stops: the run is in
    // the middle of a read there, and ends as Stop() describes.
    void StopAndWait();
    bool IsRunning() const;

private:
    struct Run;
    enum class DrainResult { Pending, Ended };

    void report(const std::string& message);
    void emitChunk(const std::string& chunk);
    DrainResult drain(bool timeSliced);
    void waitForEnd();
    bool stopGaveUp() const;
    void finishRun();
    void abandonRun();

    std::string m_commandLine;
    // Outputs is m_outputs followed by m_outputTail. A report of many
    // megabytes grows in blocks of its own, never reallocated and copied
    // as a whole; Outputs() joins them when asked.
    mutable std::string m_outputs;
    mutable std::vector<std::string> m_outputTail;
    std::string m_workingDirectory;
    IReceiveOutputs* m_listener = nullptr;
    IRunnerMessages* m_sink = nullptr;
    Run* m_run = nullptr;
    // True while a listener is being told of a chunk.
    bool m_delivering = false;
    // Guards m_run against Stop() and IsRunning() from other threads; the
    // owner's thread alone creates and ends runs.
    mutable std::mutex m_runMutex;
};

} // namespace gv
