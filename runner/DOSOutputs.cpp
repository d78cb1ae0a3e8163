// SPDX-License-Identifier: GPL-3.0-or-later
#include "DOSOutputs.h"

#include "CommandLineWords.h"
#include "ProgramLookup.h"
#include "Utf8ChunkDecoder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace gv {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 256;
// What one read of the pipe may take in: the chunks handed on are still
// the kReadSize bytes a read of their own would give, cut from it in
// order, so a flood costs one system call per 64 chunks rather than one
// per chunk.
constexpr std::size_t kStageSize = 16 << 10;
constexpr std::size_t kOutputBlock = std::size_t(1) << 20;
// Room for a few frames of a fast child's output: more would only lengthen
// the wait after a stop, as what is in the pipe is still shown.
constexpr int kPipeRoom = 256 << 10;
// Time a stopped group gets to end on SIGTERM before SIGKILL follows.
constexpr auto kStopGrace = std::chrono::milliseconds(300);
// After Stop(), a pipe still held open (by a writer outside the group)
// ends the run anyway once this much time has passed.
constexpr auto kStopGiveUp = std::chrono::milliseconds(1500);
// How long a child whose output has ended may take to exit before a
// background waiter takes over reaping it.
constexpr auto kReapPatience = std::chrono::milliseconds(50);
// Longest stretch PumpAvailable() reads before handing control back.
constexpr auto kPumpSlice = std::chrono::milliseconds(15);

constexpr char kMsgEmpty[] = "Command Line empty";
constexpr char kMsgPipe[] = "CreatePipe failed. Error: ";
constexpr char kMsgNotFound[] = "File or command not found";

// What Stop() may touch from another thread. `ended` is set, under the
// mutex, before the group leader is reaped: while it is false the
// leader's pid cannot have been reused, so signalling -pgid is safe.
struct GroupControl {
    std::mutex mutex;
    pid_t pgid = -1;
    int wakeFd = -1;
    bool ended = false;
    bool stopRequested = false;
    Clock::time_point stopTime;
};

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void reapInBackground(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to wait with: the child stays a zombie until we exit,
        // which beats blocking the caller on a process that may run on.
    }
}

void requestStop(const std::shared_ptr<GroupControl>& control)
{
    {
        std::lock_guard lock(control->mutex);
        if (control->ended || control->stopRequested)
            return;
        control->stopRequested = true;
        control->stopTime = Clock::now();
        ::kill(-control->pgid, SIGTERM);
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = ::write(control->wakeFd, &one, sizeof one);
    }
    try {
        std::thread([control] {
            std::this_thread::sleep_for(kStopGrace);
            std::lock_guard lock(control->mutex);
            if (!control->ended)
                ::kill(-control->pgid, SIGKILL);
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(control->mutex);
        if (!control->ended)
            ::kill(-control->pgid, SIGKILL);
    }
}

// A reader never writes to the pipe, but the host program may write to
// pipes of its own; a vanished reader there must give an error, not end
// the whole program. Children get the default back when they start.
void ignoreSigpipeOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            ::sigaction(SIGPIPE, &ignore, nullptr);
        }
    });
}

// Starts `path` with `words` as its arguments, in its own process group,
// with /dev/null, the pipe and nothing else. Returns 0 or an errno value.
int spawnChild(const std::string& path, const std::vector<std::string>& words, int writeFd,
               const std::string& workingDirectory, pid_t& pid)
{
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    int rc = posix_spawn_file_actions_init(&actions);
    if (rc != 0)
        return rc;
    rc = posix_spawnattr_init(&attr);
    if (rc != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }

    rc = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0)
        rc = posix_spawn_file_actions_adddup2(&actions, writeFd, STDOUT_FILENO);
    if (rc == 0)
        rc = posix_spawn_file_actions_adddup2(&actions, writeFd, STDERR_FILENO);
    if (rc == 0 && !workingDirectory.empty())
        rc = posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    // Descriptors the host opened without close-on-exec stay with the host.
    if (rc == 0)
        rc = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    if (rc == 0)
        rc = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (rc == 0)
        rc = posix_spawnattr_setpgroup(&attr, 0);
    if (rc == 0)
        rc = posix_spawnattr_setsigmask(&attr, &noSignals);
    if (rc == 0)
        rc = posix_spawnattr_setsigdefault(&attr, &defaults);
    if (rc == 0)
        rc = ::posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);

    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

} // namespace

struct DOSOutputs::Run {
    int readFd = -1;
    pid_t pid = -1;
    std::shared_ptr<GroupControl> control;
    Utf8ChunkDecoder decoder;
    // Bytes read from the pipe and not yet handed on: [staged, stagedEnd).
    std::size_t staged = 0;
    std::size_t stagedEnd = 0;
    char stage[kStageSize];
    std::string chunk;
};

DOSOutputs::DOSOutputs()
{
    ignoreSigpipeOnce();
}

DOSOutputs::~DOSOutputs()
{
    if (!m_run)
        return;
    // Abandoned mid-run: nothing may outlive its owner, and no event is
    // raised to a listener that may already be gone.
    m_listener = nullptr;
    abandonRun();
}

const std::string& DOSOutputs::CommandLine() const { return m_commandLine; }
void DOSOutputs::setCommandLine(const std::string& DOSCommand) { m_commandLine = DOSCommand; }
const std::string& DOSOutputs::Outputs() const
{
    if (!m_outputTail.empty()) {
        std::size_t size = m_outputs.size();
        for (const std::string& block : m_outputTail)
            size += block.size();
        m_outputs.reserve(size);
        for (const std::string& block : m_outputTail)
            m_outputs += block;
        // The last block's room is kept for what comes next: a caller that
        // asks after every chunk must not cost a new block each time.
        std::string room = std::move(m_outputTail.back());
        room.clear();
        m_outputTail.clear();
        m_outputTail.push_back(std::move(room));
    }
    return m_outputs;
}
const std::string& DOSOutputs::WorkingDirectory() const { return m_workingDirectory; }
void DOSOutputs::setWorkingDirectory(const std::string& folder) { m_workingDirectory = folder; }
void DOSOutputs::setListener(IReceiveOutputs* listener) { m_listener = listener; }
void DOSOutputs::setMessageSink(IRunnerMessages* sink) { m_sink = sink; }

void DOSOutputs::report(const std::string& message)
{
    if (m_sink)
        m_sink->ShowRunnerFailure(message);
    else
        std::cerr << message << std::endl;
}

void DOSOutputs::emitChunk(const std::string& chunk)
{
    if (m_outputTail.empty() || m_outputTail.back().size() + chunk.size() > m_outputTail.back().capacity()) {
        m_outputTail.emplace_back();
        m_outputTail.back().reserve(std::max(kOutputBlock, chunk.size()));
    }
    m_outputTail.back() += chunk;
    if (!m_listener)
        return;
    const bool outer = m_delivering;
    m_delivering = true;
    try {
        m_listener->ReceiveOutputs(chunk);
    } catch (...) {
        m_delivering = outer;
        throw;
    }
    m_delivering = outer;
}

bool DOSOutputs::Start(const std::string& commandLine)
{
    if (m_run)
        return false;
    if (!commandLine.empty())
        m_commandLine = commandLine;
    if (m_commandLine.empty()) {
        report(kMsgEmpty);
        return false;
    }

    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        report(kMsgPipe + std::to_string(errno));
        return false;
    }
    int readFd = fds[0];
    int writeFd = fds[1];
    // A window reading between relayouts of its pane lags behind a fast
    // child by a frame or two; with the default 64 KB the child would sit
    // blocked in write() meanwhile instead of working on. The chunks stay
    // 256 bytes; only the room between writer and reader grows. Where the
    // system refuses, the default serves.
    ::fcntl(readFd, F_SETPIPE_SZ, kPipeRoom);
    int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        const int error = errno;
        closeFd(readFd);
        closeFd(writeFd);
        report(kMsgPipe + std::to_string(error));
        return false;
    }

    const std::vector<std::string> words = splitCommandLine(m_commandLine);
    std::optional<std::string> path;
    if (!words.empty()) {
        std::vector<std::string> searchDirs;
        if (!programFolder().empty())
            searchDirs.push_back(programFolder());
        searchDirs.push_back(std::string()); // the run's current directory
        for (std::string& dir : pathDirectories())
            searchDirs.push_back(std::move(dir));
        path = findProgram(words.front(), searchDirs, m_workingDirectory);
    }
    pid_t pid = -1;
    if (!path || spawnChild(*path, words, writeFd, m_workingDirectory, pid) != 0) {
        closeFd(readFd);
        closeFd(writeFd);
        closeFd(wakeFd);
        report(kMsgNotFound);
        return false;
    }

    // From here only the child and what it starts hold a write end, so
    // the read sees the end of output once the last of them has gone.
    closeFd(writeFd);
    ::fcntl(readFd, F_SETFL, ::fcntl(readFd, F_GETFL) | O_NONBLOCK);

    m_outputs.clear();
    m_outputTail.clear();
    auto run = std::make_unique<Run>();
    run->readFd = readFd;
    run->pid = pid;
    run->control = std::make_shared<GroupControl>();
    run->control->pgid = pid;
    run->control->wakeFd = wakeFd;
    run->chunk.reserve(kReadSize * 3 + 8);
    {
        std::lock_guard lock(m_runMutex);
        m_run = run.release();
    }
    return true;
}

DOSOutputs::DrainResult DOSOutputs::drain(bool timeSliced)
{
    const Clock::time_point sliceEnd = timeSliced ? Clock::now() + kPumpSlice : Clock::time_point::max();
    bool first = true;
    for (;;) {
        Run& run = *m_run;
        if (run.staged == run.stagedEnd) {
            // Between two reads look up from a flood: the event loop wants
            // its turn, and a stopped run must not be held open by a writer
            // that escaped the group and keeps writing. Nothing read stays
            // behind meanwhile, as the pipe's notifier would not tell of it.
            if (!first && ((timeSliced && Clock::now() >= sliceEnd) || stopGaveUp()))
                return DrainResult::Pending;
            first = false;
            const ssize_t n = ::read(run.readFd, run.stage, kStageSize);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    return DrainResult::Pending;
                break; // any other failing read ends the run, unreported
            }
            if (n == 0)
                break;
            run.staged = 0;
            run.stagedEnd = static_cast<std::size_t>(n);
        }
        // One chunk: what a read of kReadSize bytes would have given.
        const std::size_t n = std::min(kReadSize, run.stagedEnd - run.staged);
        const char* const bytes = run.stage + run.staged;
        run.staged += n;
        run.chunk.clear();
        run.decoder.decode(bytes, n, run.chunk);
        emitChunk(run.chunk);
    }
    // A character cut short by the end of output still shows, as U+FFFD.
    m_run->chunk.clear();
    m_run->decoder.finish(m_run->chunk);
    if (!m_run->chunk.empty())
        emitChunk(m_run->chunk);
    return DrainResult::Ended;
}

bool DOSOutputs::stopGaveUp() const
{
    std::lock_guard lock(m_run->control->mutex);
    return m_run->control->stopRequested && Clock::now() - m_run->control->stopTime >= kStopGiveUp;
}

void DOSOutputs::finishRun()
{
    Run* run = m_run;
    GroupControl& control = *run->control;
    bool stopped = false;
    {
        std::lock_guard lock(control.mutex);
        stopped = control.stopRequested;
        if (stopped)
            ::kill(-control.pgid, SIGKILL); // whatever still lingers in the group
        control.ended = true;
        closeFd(control.wakeFd);
    }
    closeFd(run->readFd);

    // The pipe ends while the child is still on its way out (its files
    // close before it becomes a zombie), so give it a moment before
    // deciding that it closed its output and runs on.
    const Clock::time_point patience = Clock::now() + kReapPatience;
    int status = 0;
    pid_t done = 0;
    for (;;) {
        done = ::waitpid(run->pid, &status, stopped ? 0 : WNOHANG);
        if (done < 0 && errno == EINTR)
            continue;
        if (done != 0 || Clock::now() >= patience)
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (done == 0)
        reapInBackground(run->pid);

    std::lock_guard lock(m_runMutex);
    delete m_run;
    m_run = nullptr;
}

void DOSOutputs::abandonRun()
{
    {
        std::lock_guard lock(m_run->control->mutex);
        m_run->control->stopRequested = true;
        m_run->control->stopTime = Clock::now();
    }
    finishRun();
}

bool DOSOutputs::PumpAvailable()
{
    if (!m_run)
        return false;
    try {
        if (drain(true) == DrainResult::Pending && !stopGaveUp())
            return true;
        emitChunk(std::string());
    } catch (...) {
        abandonRun();
        throw;
    }
    finishRun();
    return false;
}

std::string DOSOutputs::ExecuteCommand(const std::string& commandLine)
{
    if (m_run || !Start(commandLine))
        return {};

    try {
        waitForEnd();
        emitChunk(std::string());
    } catch (...) {
        abandonRun();
        throw;
    }
    finishRun();
    return Outputs();
}

void DOSOutputs::waitForEnd()
{
    while (drain(false) == DrainResult::Pending) {
        // Nothing to read now: sleep until the pipe or Stop() wakes us.
        int timeout = -1;
        {
            std::lock_guard lock(m_run->control->mutex);
            if (m_run->control->stopRequested) {
                const auto left = m_run->control->stopTime + kStopGiveUp - Clock::now();
                if (left <= Clock::duration::zero())
                    break;
                timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
            }
        }
        pollfd fds[2] = {{m_run->readFd, POLLIN, 0}, {m_run->control->wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeout) > 0 && (fds[1].revents & POLLIN)) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = ::read(fds[1].fd, &count, sizeof count);
        }
    }
}

int DOSOutputs::OutputFd() const
{
    return m_run ? m_run->readFd : -1;
}

void DOSOutputs::Stop()
{
    std::shared_ptr<GroupControl> control;
    {
        std::lock_guard lock(m_runMutex);
        if (!m_run)
            return;
        control = m_run->control;
    }
    requestStop(control);
}

void DOSOutputs::StopAndWait()
{
    if (!m_run)
        return;
    Stop();
    if (m_delivering)
        return;
    // The run was given up: its last words are kept in Outputs only.
    IReceiveOutputs* const listener = m_listener;
    m_listener = nullptr;
    try {
        waitForEnd();
    } catch (...) {
        m_listener = listener;
        abandonRun();
        throw;
    }
    m_listener = listener;
    finishRun();
}

bool DOSOutputs::IsRunning() const
{
    std::lock_guard lock(m_runMutex);
    return m_run != nullptr;
}

} // namespace gv
