// SPDX-License-Identifier: GPL-3.0-or-later
// The real gui-vonk, copied with the interpreter stand-in into a temporary
// program folder and run offscreen. Nobody answers its boxes: it is ended
// by signals, which close it the same way as the window's own paths
// (those, and the boxes, are covered in-process).

#include "TempFolder.h"
#include "support/RunProgram.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using gv::testing::exists;
using gv::testing::readFile;
using gv::testing::TempFolder;
using gv::testing::writeFile;
using namespace std::chrono_literals;

namespace {

// The start of a 16 x 16 PNG: signature and header chunk.
const char kPngBytes[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0";
const std::string kPngStart(kPngBytes, sizeof kPngBytes - 1);

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

struct FileId {
    ino_t inode = 0;
    timespec mtime {};
    bool operator==(const FileId& o) const
    {
        return inode == o.inode && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

FileId idOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return { st.st_ino, st.st_mtim };
}

std::set<std::string> entriesOf(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// One run of the program, ended at the latest when the object goes.
class Running {
public:
    Running(const std::vector<std::string>& argv, const std::string& runtimeFolder, const std::string& log)
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0
                && std::strncmp(*e, "XDG_CACHE_HOME=", 15) != 0)
                env.emplace_back(*e);
        }
        env.push_back("XDG_RUNTIME_DIR=" + runtimeFolder);
        env.push_back("XDG_CACHE_HOME=" + runtimeFolder + "/cache");
        env.push_back("QT_QPA_PLATFORM=offscreen");
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = argv;
        std::vector<char*> argp;
        for (std::string& a : args)
            argp.push_back(a.data());
        argp.push_back(nullptr);

        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            // Never outlive the test, even when it dies without cleaning up.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
                ::_exit(127);
            ::execve(argp[0], argp.data(), envp.data());
            ::_exit(127);
        }
    }
    ~Running()
    {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    pid_t pid() const { return m_pid; }
    bool alive()
    {
        if (m_reaped)
            return false;
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_reaped = true;
            m_status = status;
            return false;
        }
        return true;
    }
    // The exit status after the signal, or -1 when it did not end in time.
    int endWith(int signalNumber, std::chrono::milliseconds timeout = 10s)
    {
        if (signalNumber)
            ::kill(m_pid, signalNumber);
        if (!waitFor([this] { return !alive(); }, timeout))
            return -1;
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : 128 + WTERMSIG(m_status);
    }

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = 0;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_program = m_root / "program";
        m_runtime = m_root / "runtime";
        m_log = m_root / "log.txt";
        std::filesystem::create_directory(m_program);
        std::filesystem::create_directory(m_runtime);
        std::filesystem::permissions(m_runtime, std::filesystem::perms::owner_all);
        for (const char* built : { GV_BUILT_GUI, GV_BUILT_CMD })
            std::filesystem::copy_file(built, std::filesystem::path(m_program) / std::filesystem::path(built).filename());
        m_vonk = readFile(GV_CARRIED_VONK);
        m_database = readFile(GV_CARRIED_DATABASE);
        ASSERT_FALSE(m_vonk.empty());
        ASSERT_FALSE(m_database.empty());
    }
    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "program's output:\n" << readFile(m_log) << '\n';
    }

    std::unique_ptr<Running> start(const std::string& runtime = {})
    {
        return std::make_unique<Running>(std::vector<std::string> { m_program + "/gui-vonk" },
            runtime.empty() ? m_runtime : runtime, m_log);
    }
    std::unique_ptr<Running> startCommand(const std::vector<std::string>& argv)
    {
        return std::make_unique<Running>(argv, m_runtime, m_log);
    }
    // Both files written out completely, with the bytes the build prepared
    // to carry.
    bool deployedIn(const std::string& folder) const
    {
        return readFile(folder + "/vonk") == m_vonk && readFile(folder + "/VonkDefs.vkd") == m_database;
    }
    bool waitDeployed(const std::string& folder) const
    {
        return waitFor([&] { return deployedIn(folder); }, 15s);
    }
    std::set<std::string> pristine() const { return { "gui-vonk", "cmd" }; }

    TempFolder m_root;
    std::string m_program;
    std::string m_runtime;
    std::string m_log;
    std::string m_vonk;
    std::string m_database;
};

class EndToEndSignals : public EndToEnd, public ::testing::WithParamInterface<int> {};

TEST_P(EndToEndSignals, FilesAppearAtStartAndGoAtTheEnd)
{
    auto program = start();
    ASSERT_GT(program->pid(), 0);
    ASSERT_TRUE(waitDeployed(m_program));
    struct stat st {};
    ASSERT_EQ(::stat((m_program + "/vonk").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_TRUE(program->alive());

    EXPECT_EQ(program->endWith(GetParam()), 0);
    EXPECT_EQ(entriesOf(m_program), pristine());
}

INSTANTIATE_TEST_SUITE_P(Signals, EndToEndSignals, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
    [](const auto& test) { return std::string(sigabbrev_np(test.param)); });

// The second copy is refused whatever its environment: with the same
// runtime folder (the same per-user lock) or another one.
class EndToEndSecondCopy : public EndToEnd, public ::testing::WithParamInterface<bool> {};

TEST_P(EndToEndSecondCopy, LeavesTheFirstsFilesAlone)
{
    auto first = start();
    ASSERT_TRUE(waitDeployed(m_program));
    const FileId vonk = idOf(m_program + "/vonk");
    const FileId database = idOf(m_program + "/VonkDefs.vkd");

    const std::string otherRuntime = m_root / "other runtime";
    std::filesystem::create_directory(otherRuntime);
    std::filesystem::permissions(otherRuntime, std::filesystem::perms::owner_all);
    auto second = start(GetParam() ? otherRuntime : m_runtime);
    // It says so in a box nobody answers here, and waits.
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(second->alive());
    EXPECT_TRUE(idOf(m_program + "/vonk") == vonk);
    EXPECT_TRUE(idOf(m_program + "/VonkDefs.vkd") == database);
    EXPECT_EQ(second->endWith(SIGTERM), 0);
    EXPECT_TRUE(idOf(m_program + "/vonk") == vonk) << "the second copy removed nothing";
    EXPECT_TRUE(deployedIn(m_program));

    EXPECT_TRUE(first->alive());
    EXPECT_FALSE(exists(otherRuntime + "/gui-vonk/vonk"));
    EXPECT_EQ(first->endWith(SIGTERM), 0);
    EXPECT_EQ(entriesOf(m_program), pristine());
}

INSTANTIATE_TEST_SUITE_P(Runtime, EndToEndSecondCopy, ::testing::Values(false, true),
    [](const auto& test) { return std::string(test.param ? "other_runtime_folder" : "same_runtime_folder"); });

TEST_F(EndToEnd, KilledCopyBlocksNoNextStart)
{
    auto killed = start();
    ASSERT_TRUE(waitDeployed(m_program));
    const FileId stale = idOf(m_program + "/vonk");
    EXPECT_EQ(killed->endWith(SIGKILL), 128 + SIGKILL);
    EXPECT_TRUE(exists(m_program + "/vonk")) << "a killed copy cleans nothing";

    auto next = start();
    // The leftovers are replaced by fresh copies.
    ASSERT_TRUE(waitFor([&] { return !(idOf(m_program + "/vonk") == stale) && deployedIn(m_program); }, 15s));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(next->alive());
    EXPECT_EQ(next->endWith(SIGTERM), 0);
    EXPECT_EQ(entriesOf(m_program), pristine());
}

// After a crash the user puts a file of their own where the identifier
// was: it is neither replaced nor deleted, and the identifier goes to the
// user's folder.
TEST_F(EndToEnd, UsersFileAfterACrashIsKept)
{
    auto killed = start();
    ASSERT_TRUE(waitDeployed(m_program));
    EXPECT_EQ(killed->endWith(SIGKILL), 128 + SIGKILL);
    ASSERT_EQ(::unlink((m_program + "/vonk").c_str()), 0);
    writeFile(m_program + "/vonk", "the user's own file");

    auto next = start();
    ASSERT_TRUE(waitDeployed(m_runtime + "/gui-vonk"));
    EXPECT_EQ(readFile(m_program + "/vonk"), "the user's own file");
    EXPECT_EQ(next->endWith(SIGTERM), 0);
    EXPECT_EQ(readFile(m_program + "/vonk"), "the user's own file");
    EXPECT_FALSE(exists(m_runtime + "/gui-vonk/vonk"));
}

// A program folder nobody can write, not even the superuser: a read-only
// bind mount of it in a mount namespace of the program's own.
TEST_F(EndToEnd, ReadOnlyProgramFolderDeploysToTheUserFolder)
{
    const std::vector<std::string> probe { "-m", "/bin/sh", "-c",
        "mount --bind /tmp /tmp && mount -o remount,ro,bind /tmp /tmp" };
    if (gv::test::RunProgram("/usr/bin/unshare", probe, {}, 10000).exit != 0)
        GTEST_SKIP() << "no private read-only mounts here";
    const std::string user = m_runtime + "/gui-vonk";
    auto program = startCommand({ "/usr/bin/unshare", "-m", "/bin/sh", "-c",
        "mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\" \"$0\" && exec \"$0/gui-vonk\"", m_program });
    ASSERT_TRUE(waitDeployed(user));
    EXPECT_EQ(entriesOf(m_program), pristine());
    // Remembered outside the runtime folder, which logout empties.
    EXPECT_TRUE(exists(m_runtime + "/cache/gui-vonk/told-about"));
    EXPECT_FALSE(exists(user + "/told-about"));

    // What the window runs for an identification, from the folder its
    // commands start in.
    const std::string sample = m_root / "sample file.png";
    writeFile(sample, kPngStart);
    const gv::test::RunResult identified = gv::test::RunProgram(m_program + "/cmd", { "/c", "vonk", sample }, user, 30000);
    const std::string& output = identified.out;
    EXPECT_NE(output.find("PNG image"), std::string::npos) << output << identified.err;

    EXPECT_EQ(program->endWith(SIGTERM), 0);
    EXPECT_FALSE(exists(user + "/vonk"));
    EXPECT_FALSE(exists(user + "/VonkDefs.vkd"));
    EXPECT_EQ(entriesOf(m_program), pristine());
}

} // namespace
