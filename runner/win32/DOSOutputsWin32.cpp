// SPDX-License-Identifier: GPL-3.0-or-later
#include "DOSOutputsWin32.h"

#include "ConsoleTextDecoder.h"
#include "WideText.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <system_error>
#include <thread>
#include <vector>

namespace gv {

namespace {

constexpr DWORD kReadSize = 256;
// After Stop(), a pipe still held open by a writer outside the job ends
// the run anyway once this much time has passed.
constexpr auto kStopGiveUp = std::chrono::milliseconds(1500);

constexpr char kMsgEmpty[] = "Command Line empty";
constexpr char kMsgPipe[] = "CreatePipe failed. Error: ";
constexpr char kMsgNotFound[] = "File or command not found";

void closeHandle(HANDLE& h)
{
    if (h && h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    h = nullptr;
}

// The command interpreter itself when the command line starts with it:
// left to the search, a "cmd.exe" lying in the program's folder or the
// current one would be run in its place.
std::wstring interpreterFor(const std::wstring& commandLine)
{
    const std::size_t start = commandLine.find_first_not_of(L" \t");
    if (start == std::wstring::npos)
        return {};
    const std::size_t end = commandLine.find_first_of(L" \t", start);
    const std::wstring first = commandLine.substr(start, end == std::wstring::npos ? end : end - start);
    if (::_wcsicmp(first.c_str(), L"cmd") != 0 && ::_wcsicmp(first.c_str(), L"cmd.exe") != 0)
        return {};
    if (const wchar_t* comspec = ::_wgetenv(L"COMSPEC");
        comspec && comspec[0] && comspec[1] == L':' && ::GetFileAttributesW(comspec) != INVALID_FILE_ATTRIBUTES)
        return comspec;
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::wstring(system, n) + L"\\cmd.exe";
}

} // namespace

namespace {

// What the reading thread shares with the owner and with Stop().
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> queue;
    bool ended = false;
    bool stopRequested = false;
    std::function<void()> notifier;
    HANDLE readEnd = nullptr;
    HANDLE thread = nullptr;
    HANDLE job = nullptr;
    HANDLE process = nullptr;
    ConsoleTextDecoder decoder;

    void push(std::string chunk, bool last)
    {
        {
            std::lock_guard lock(mutex);
            queue.push_back(std::move(chunk));
            ended = ended || last;
        }
        changed.notify_all();
        if (notifier)
            notifier();
    }
};

DWORD WINAPI readPipe(void* parameter)
{
    auto* shared = static_cast<Shared*>(parameter);
    char buffer[kReadSize];
    for (;;) {
        DWORD n = 0;
        const BOOL ok = ::ReadFile(shared->readEnd, buffer, kReadSize, &n, nullptr);
        std::string chunk;
        if (!ok) {
            // Any failing read ends the run, unreported: usually the broken
            // pipe after the last writer has gone.
            shared->decoder.finish(chunk);
            shared->push(std::move(chunk), true);
            return 0;
        }
        shared->decoder.decode(buffer, n, chunk);
        shared->push(std::move(chunk), false);
    }
}

} // namespace

struct DOSOutputs::Run {
    std::shared_ptr<Shared> shared;
};

DOSOutputs::DOSOutputs() = default;

DOSOutputs::~DOSOutputs()
{
    m_listener = nullptr;
    StopAndWait();
}

const std::string& DOSOutputs::CommandLine() const { return m_commandLine; }
void DOSOutputs::setCommandLine(const std::string& DOSCommand) { m_commandLine = DOSCommand; }
const std::string& DOSOutputs::Outputs() const { return m_outputs; }
const std::string& DOSOutputs::WorkingDirectory() const { return m_workingDirectory; }
void DOSOutputs::setWorkingDirectory(const std::string& folder) { m_workingDirectory = folder; }
void DOSOutputs::setListener(IReceiveOutputs* listener) { m_listener = listener; }
void DOSOutputs::setMessageSink(IRunnerMessages* sink) { m_sink = sink; }
void DOSOutputs::setChunkNotifier(std::function<void()> notifier) { m_notifier = std::move(notifier); }

void DOSOutputs::report(const std::string& message)
{
    if (m_sink)
        m_sink->ShowRunnerFailure(message);
    else
        std::cerr << message << std::endl;
}

void DOSOutputs::emitChunk(const std::string& chunk)
{
    m_outputs += chunk;
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

    SECURITY_ATTRIBUTES inherit { sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE };
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        report(kMsgPipe + std::to_string(static_cast<long>(::GetLastError())));
        return false;
    }
    // Only the child gets the write end; the read end stays ours.
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
        nullptr);
    if (nul == INVALID_HANDLE_VALUE)
        nul = nullptr;

    STARTUPINFOEXW info {};
    info.StartupInfo.cb = sizeof info;
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    info.StartupInfo.wShowWindow = SW_HIDE;
    info.StartupInfo.hStdInput = nul;
    info.StartupInfo.hStdOutput = writeEnd;
    info.StartupInfo.hStdError = writeEnd;

    // Only these two handles go to the child, not whatever else of ours is
    // inheritable: another inherited pipe would outlive the run.
    HANDLE handles[2] = { writeEnd, nul };
    const DWORD handleCount = nul ? 2 : 1;
    std::vector<char> attributeBytes;
    SIZE_T attributeSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    attributeBytes.resize(attributeSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBytes.data());
    bool haveList = attributeSize > 0 && ::InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)
        && ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
            handleCount * sizeof(HANDLE), nullptr, nullptr);
    if (haveList)
        info.lpAttributeList = attributes;

    std::wstring command = Widen(m_commandLine);
    const std::wstring interpreter = interpreterFor(command);
    const std::wstring folder = Widen(m_workingDirectory);
    PROCESS_INFORMATION process {};
    DWORD flags = NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT;
    if (haveList)
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    const BOOL started = ::CreateProcessW(interpreter.empty() ? nullptr : interpreter.c_str(), command.data(), nullptr, nullptr, TRUE, flags, nullptr,
        folder.empty() ? nullptr : folder.c_str(), &info.StartupInfo, &process);
    if (attributeSize > 0 && haveList)
        ::DeleteProcThreadAttributeList(attributes);
    closeHandle(nul);
    if (!started) {
        closeHandle(readEnd);
        closeHandle(writeEnd);
        report(kMsgNotFound);
        return false;
    }
    // From here only the child and what it starts hold a write end, so
    // the read sees the end of output once the last of them has gone.
    closeHandle(writeEnd);

    // The job holds the interpreter and everything it starts, so Stop()
    // reaches the whole tree. It is joined before the child runs a single
    // instruction; without it Stop() can only end the interpreter.
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job && !::AssignProcessToJobObject(job, process.hProcess))
        closeHandle(job);
    ::ResumeThread(process.hThread);
    closeHandle(process.hThread);

    m_outputs.clear();
    auto shared = std::make_shared<Shared>();
    shared->notifier = m_notifier;
    shared->readEnd = readEnd;
    shared->job = job;
    shared->process = process.hProcess;
    shared->thread = ::CreateThread(nullptr, 0, readPipe, shared.get(), 0, nullptr);
    if (!shared->thread) {
        // No thread to read with: the run cannot be watched, so it ends now.
        if (job)
            ::TerminateJobObject(job, 1);
        else
            ::TerminateProcess(process.hProcess, 1);
        closeHandle(shared->readEnd);
        closeHandle(shared->job);
        closeHandle(shared->process);
        report(kMsgPipe + std::to_string(static_cast<long>(::GetLastError())));
        return false;
    }
    std::lock_guard lock(m_runMutex);
    m_run = std::make_unique<Run>();
    m_run->shared = std::move(shared);
    return true;
}

bool DOSOutputs::PumpAvailable()
{
    if (!m_run)
        return false;
    Shared& shared = *m_run->shared;
    std::deque<std::string> chunks;
    bool ended = false;
    {
        std::lock_guard lock(shared.mutex);
        chunks.swap(shared.queue);
        ended = shared.ended;
    }
    try {
        for (const std::string& chunk : chunks)
            emitChunk(chunk);
        if (!ended)
            return true;
        emitChunk(std::string());
    } catch (...) {
        // A listener that throws ends the run, then its exception goes on.
        IReceiveOutputs* const listener = m_listener;
        m_listener = nullptr;
        StopAndWait();
        m_listener = listener;
        throw;
    }
    finishRun();
    return false;
}

std::string DOSOutputs::ExecuteCommand(const std::string& commandLine)
{
    if (m_run || !Start(commandLine))
        return {};
    for (;;) {
        {
            Shared& shared = *m_run->shared;
            std::unique_lock lock(shared.mutex);
            shared.changed.wait(lock, [&] { return !shared.queue.empty() || shared.ended; });
        }
        if (!PumpAvailable())
            return m_outputs;
    }
}

void DOSOutputs::finishRun()
{
    std::shared_ptr<Shared> shared = m_run->shared;
    ::WaitForSingleObject(shared->thread, INFINITE);
    closeHandle(shared->thread);
    closeHandle(shared->readEnd);
    closeHandle(shared->process);
    closeHandle(shared->job);
    std::lock_guard lock(m_runMutex);
    m_run.reset();
}

void DOSOutputs::Stop()
{
    std::shared_ptr<Shared> shared;
    {
        std::lock_guard lock(m_runMutex);
        if (!m_run)
            return;
        shared = m_run->shared;
    }
    {
        std::lock_guard lock(shared->mutex);
        if (shared->ended || shared->stopRequested)
            return;
        shared->stopRequested = true;
        if (shared->job)
            ::TerminateJobObject(shared->job, 1);
        else
            ::TerminateProcess(shared->process, 1);
    }
    // A writer that left the job (it may ask to) must not hold the run
    // open for good: after a while the pending read is cancelled.
    try {
        std::thread([shared] {
            std::unique_lock lock(shared->mutex);
            if (!shared->changed.wait_for(lock, kStopGiveUp, [&] { return shared->ended; }))
                ::CancelSynchronousIo(shared->thread);
        }).detach();
    } catch (const std::system_error&) {
    }
}

void DOSOutputs::StopAndWait()
{
    if (!m_run)
        return;
    Stop();
    if (m_delivering)
        return;
    Shared& shared = *m_run->shared;
    {
        std::unique_lock lock(shared.mutex);
        shared.changed.wait(lock, [&] { return shared.ended; });
        // The run was given up: its last words are kept in Outputs only.
        for (const std::string& chunk : shared.queue)
            m_outputs += chunk;
        shared.queue.clear();
    }
    finishRun();
}

bool DOSOutputs::IsRunning() const
{
    std::lock_guard lock(m_runMutex);
    return m_run != nullptr;
}

} // namespace gv
