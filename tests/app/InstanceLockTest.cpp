// SPDX-License-Identifier: GPL-3.0-or-later
#include "InstanceLock.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using gv::InstanceLock;
using gv::testing::TempFolder;

namespace {

// A child process that takes the lock, says so through a pipe and then
// waits to be killed.
pid_t holdInChild(const std::string& path)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        InstanceLock lock(path);
        const char answer = lock.TryAcquire() && lock.IsHeld() ? 'y' : 'n';
        [[maybe_unused]] auto n = ::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    const bool ok = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
    if (!ok && pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

void killAndReap(pid_t pid, int signalNumber)
{
    ::kill(pid, signalNumber);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

TEST(InstanceLock, OnlyOneHolderAtATime)
{
    TempFolder dir;
    InstanceLock first(dir / "lock");
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_TRUE(first.IsHeld());
    EXPECT_TRUE(first.TryAcquire()) << "asking again keeps the lock";

    // A second holder, even in the same process, is refused while the
    // first lives, and gets the lock once it has gone.
    {
        InstanceLock second(dir / "lock");
        EXPECT_FALSE(second.TryAcquire());
        EXPECT_FALSE(second.IsHeld());
    }
}

TEST(InstanceLock, ReleasedWhenTheHolderGoes)
{
    TempFolder dir;
    {
        InstanceLock first(dir / "lock");
        ASSERT_TRUE(first.TryAcquire());
    }
    InstanceLock next(dir / "lock");
    EXPECT_TRUE(next.TryAcquire());
    EXPECT_TRUE(next.IsHeld());
}

// However the holding process ends, its lock does not outlive it; the lock
// file left behind stops nobody.
class InstanceLockKilled : public ::testing::TestWithParam<int> {};

TEST_P(InstanceLockKilled, DoesNotLockOutTheNextStart)
{
    TempFolder dir;
    const pid_t holder = holdInChild(dir / "lock");
    ASSERT_GT(holder, 0);
    InstanceLock meanwhile(dir / "lock");
    EXPECT_FALSE(meanwhile.TryAcquire()) << "a live holder in another process keeps the lock";

    killAndReap(holder, GetParam());
    EXPECT_TRUE(gv::testing::exists(dir / "lock"));
    InstanceLock next(dir / "lock");
    EXPECT_TRUE(next.TryAcquire());
    EXPECT_TRUE(next.IsHeld());
}

INSTANTIATE_TEST_SUITE_P(Signals, InstanceLockKilled, ::testing::Values(SIGKILL, SIGTERM, SIGSEGV));

TEST(InstanceLock, UnusableLockFileDoesNotStopTheProgram)
{
    TempFolder dir;
    struct Case {
        const char* what;
        std::string path;
    };
    ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0700), 0);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / "link").c_str()), 0);
    const Case cases[] = {
        { "missing folder", dir / "no/such/folder/lock" },
        { "a folder", dir / "folder" },
        { "a symbolic link", dir / "link" },
    };
    for (const Case& c : cases) {
        InstanceLock lock(c.path);
        EXPECT_TRUE(lock.TryAcquire()) << c.what;
        EXPECT_FALSE(lock.IsHeld()) << c.what;
    }
    EXPECT_FALSE(gv::testing::exists(dir / "elsewhere")) << "the link was not followed";
}

// In a shared temporary folder another account could make the lock file
// first and hold it, keeping us from ever starting: its lock is ignored.
TEST(InstanceLock, LockHeldByAnotherUserIsIgnored)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs to act as another user";
    TempFolder dir;
    ASSERT_EQ(::chmod(dir.str().c_str(), 0777), 0);
    const std::string path = dir / "lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        ::close(ready[0]);
        char answer = 'n';
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
            if (fd >= 0 && ::fchmod(fd, 0666) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
                answer = 'y';
        }
        [[maybe_unused]] auto n = ::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    if (answer != 'y') {
        killAndReap(other, SIGKILL);
        GTEST_SKIP() << "could not lock as another user here";
    }
    InstanceLock ours(path);
    EXPECT_TRUE(ours.TryAcquire());
    EXPECT_FALSE(ours.IsHeld());
    killAndReap(other, SIGKILL);
}

TEST(InstanceLock, DefaultPathFollowsTheRuntimeFolder)
{
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(InstanceLock::DefaultPath(), "/run/user/4242/gui-vonk.lock");
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string fallback = InstanceLock::DefaultPath();
    EXPECT_NE(fallback.find("gui-vonk-" + std::to_string(::getuid()) + ".lock"), std::string::npos) << fallback;
    if (old)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}
