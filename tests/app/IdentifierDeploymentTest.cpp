// SPDX-License-Identifier: GPL-3.0-or-later
#include "IdentifierDeployment.h"

#include "TempFolder.h"
#include "winhelpers/core/ResourceTable.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using gv::DeploymentPlace;
using gv::FallbackReason;
using gv::IdentifierDeployment;
using gv::testing::exists;
using gv::testing::readFile;
using gv::testing::TempFolder;
using gv::testing::writeFile;

namespace {

const unsigned char kIdentifier[] = { 0x7f, 'E', 'L', 'F', 0, 1, 2, 3, 0xff, '\n' };
const unsigned char kDatabase[] = { 'V', 'K', 'D', 0, 0, 0, 9, 'd', 'e', 'f', 's' };

std::string bytesOf(const unsigned char* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}
const std::string kIdentifierBytes = bytesOf(kIdentifier, sizeof kIdentifier);
const std::string kDatabaseBytes = bytesOf(kDatabase, sizeof kDatabase);

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class Deployment : public ::testing::Test {
protected:
    void SetUp() override
    {
        gv::RegisterEmbeddedResources(m_table);
        m_program = m_root / "program";
        m_user = m_root / "user/gui-vonk";
        ASSERT_EQ(::mkdir(m_program.c_str(), 0755), 0);
    }
    void TearDown() override { gv::UnregisterEmbeddedResources(m_table); }

    std::string inProgram(const std::string& name) const { return m_program + "/" + name; }
    std::string inUser(const std::string& name) const { return m_user + "/" + name; }

    void expectDeployedIn(const std::string& folder)
    {
        EXPECT_EQ(readFile(folder + "/vonk"), kIdentifierBytes);
        EXPECT_EQ(readFile(folder + "/VonkDefs.vkd"), kDatabaseBytes);
        EXPECT_EQ(modeOf(folder + "/vonk"), 0755u);
        EXPECT_EQ(modeOf(folder + "/VonkDefs.vkd"), 0644u);
    }

    const std::array<gv::EmbeddedResource, 2> m_table { {
        { "FILES", 102, kIdentifier, sizeof kIdentifier },
        { "FILES", 103, kDatabase, sizeof kDatabase },
    } };
    TempFolder m_root;
    std::string m_program;
    std::string m_user;
};

TEST_F(Deployment, WritableProgramFolderTakesBothFiles)
{
    IdentifierDeployment deployment(m_program, m_user);
    const gv::DeploymentResult result = deployment.Deploy();
    EXPECT_EQ(result.place, DeploymentPlace::ProgramFolder);
    EXPECT_EQ(result.folder, m_program);
    EXPECT_EQ(result.reason, FallbackReason::None);
    EXPECT_FALSE(result.tellUser);
    expectDeployedIn(m_program);
    EXPECT_TRUE(exists(inProgram(IdentifierDeployment::kRecordName)));
    EXPECT_FALSE(exists(m_user)) << "the user's folder is made only when needed";

    EXPECT_TRUE(deployment.Remove().empty());
    EXPECT_FALSE(exists(inProgram("vonk")));
    EXPECT_FALSE(exists(inProgram("VonkDefs.vkd")));
    EXPECT_FALSE(exists(inProgram(IdentifierDeployment::kRecordName)));
}

// A file already gone at close is skipped and the next one still goes.
class DeploymentRemoval : public Deployment, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(DeploymentRemoval, SkipsWhatIsMissingAndRemovesTheRest)
{
    IdentifierDeployment deployment(m_program, m_user);
    ASSERT_TRUE(deployment.Deploy().place == DeploymentPlace::ProgramFolder);
    for (const std::string& name : GetParam())
        ASSERT_EQ(::unlink(inProgram(name).c_str()), 0);
    EXPECT_TRUE(deployment.Remove().empty());
    EXPECT_FALSE(exists(inProgram("vonk")));
    EXPECT_FALSE(exists(inProgram("VonkDefs.vkd")));
    EXPECT_FALSE(exists(inProgram(IdentifierDeployment::kRecordName)));
    EXPECT_TRUE(exists(inProgram(".")));
}

INSTANTIATE_TEST_SUITE_P(Missing, DeploymentRemoval,
    ::testing::Values(std::vector<std::string> {}, std::vector<std::string> { "vonk" },
        std::vector<std::string> { "VonkDefs.vkd" }, std::vector<std::string> { "vonk", "VonkDefs.vkd" }));

TEST_F(Deployment, UndeletableFileIsReportedAndTheNextStillGoes)
{
    IdentifierDeployment deployment(m_program, m_user);
    ASSERT_TRUE(deployment.Deploy().place == DeploymentPlace::ProgramFolder);
    // Something put a folder where the identifier was: it cannot be
    // unlinked like a file.
    ASSERT_EQ(::unlink(inProgram("vonk").c_str()), 0);
    ASSERT_EQ(::mkdir(inProgram("vonk").c_str(), 0755), 0);
    writeFile(inProgram("vonk/keep"), "x");

    const std::vector<std::string> failures = deployment.Remove();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find(inProgram("vonk")), std::string::npos) << failures[0];
    EXPECT_FALSE(exists(inProgram("VonkDefs.vkd")));
    EXPECT_EQ(readFile(inProgram("vonk/keep")), "x");
    EXPECT_TRUE(exists(inProgram(IdentifierDeployment::kRecordName))) << "leftovers stay marked as ours";
    EXPECT_EQ(deployment.Remove(), failures) << "removal runs once";
}

// What a run of an older build that never reached its close leaves
// behind, made by a child process: the child ends at once, or stays
// running (then it stands for a copy whose lock file was removed under it).
pid_t leaveLeftovers(const std::string& program, const std::string& user, bool stayRunning)
{
    static const unsigned char olderIdentifier[] = { 0x7f, 'E', 'L', 'F', 'o', 'l', 'd' };
    static const std::array<gv::EmbeddedResource, 2> olderBuild { {
        { "FILES", 102, olderIdentifier, sizeof olderIdentifier },
        { "FILES", 103, olderIdentifier, sizeof olderIdentifier },
    } };
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        char answer = 'n';
        gv::RegisterEmbeddedResources(olderBuild);
        {
            IdentifierDeployment crashed(program, user);
            if (crashed.Deploy().place == DeploymentPlace::ProgramFolder)
                answer = 'y';
        }
        [[maybe_unused]] auto n = ::write(ready[1], &answer, 1);
        while (stayRunning)
            ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    const bool ok = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
    if (!stayRunning || !ok) {
        if (stayRunning)
            ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return ok ? pid : -1;
}

struct LeftoverCase {
    const char* name;
    bool writerRuns;
    std::function<void(const std::string& program)> change; // after the crash
    bool ours;
};

class DeploymentLeftovers : public Deployment, public ::testing::WithParamInterface<LeftoverCase> {};

// Leftovers are replaced only when the record proves them ours: the very
// file we wrote (identity and bytes) and a writer that has ended. Anything
// else is somebody's: kept, and the files go to the user's folder.
TEST_P(DeploymentLeftovers, AreReplacedOnlyWhenProvablyOurs)
{
    const LeftoverCase c = GetParam();
    const pid_t writer = leaveLeftovers(m_program, m_user, c.writerRuns);
    ASSERT_GT(writer, 0);
    if (c.change)
        c.change(m_program);
    const std::string before = readFile(inProgram("vonk"));

    IdentifierDeployment deployment(m_program, m_user);
    const gv::DeploymentResult result = deployment.Deploy();
    EXPECT_EQ(result.place, c.ours ? DeploymentPlace::ProgramFolder : DeploymentPlace::UserFolder);
    if (!c.ours) {
        EXPECT_EQ(result.reason, FallbackReason::ProgramFolderHoldsOthers);
    }
    expectDeployedIn(c.ours ? m_program : m_user);
    EXPECT_TRUE(deployment.Remove().empty());
    if (c.ours) {
        EXPECT_FALSE(exists(inProgram("vonk")));
    } else {
        EXPECT_EQ(readFile(inProgram("vonk")), before) << "neither replaced nor deleted";
    }
    if (c.writerRuns) {
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
    }
}

void sameSizeOtherBytes(const std::string& program)
{
    // Rewritten in place, length and modification time kept.
    const std::string path = program + "/vonk";
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    std::string bytes = readFile(path);
    bytes[0] ^= 1;
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    const timespec times[2] = { st.st_atim, st.st_mtim };
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeploymentLeftovers,
    ::testing::Values(LeftoverCase { "untouched", false, nullptr, true },
        LeftoverCase { "own_file_put_in_its_place", false,
            [](const std::string& program) {
                ::unlink((program + "/vonk").c_str());
                writeFile(program + "/vonk", "the user's own file");
            },
            false },
        LeftoverCase { "same_size_and_time_other_bytes", false, sameSizeOtherBytes, false },
        LeftoverCase { "record_of_an_older_kind", false,
            [](const std::string& program) {
                writeFile(program + "/" + IdentifierDeployment::kRecordName, "written by GUI-Vonk (process 1)\n");
            },
            false },
        LeftoverCase { "writer_still_running", true, nullptr, false }),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Deployment, FileReplacedDuringTheRunStaysAtClose)
{
    IdentifierDeployment deployment(m_program, m_user);
    ASSERT_EQ(deployment.Deploy().place, DeploymentPlace::ProgramFolder);
    ASSERT_EQ(::unlink(inProgram("vonk").c_str()), 0);
    writeFile(inProgram("vonk"), "the user's own file");
    EXPECT_TRUE(deployment.Remove().empty());
    EXPECT_EQ(readFile(inProgram("vonk")), "the user's own file");
    EXPECT_FALSE(exists(inProgram("VonkDefs.vkd")));
}

struct CarriedCase {
    const char* name;
    bool vonkThere;
    mode_t vonkMode;
    bool databaseThere;
    DeploymentPlace place;
};

class DeploymentCarriedAlready : public Deployment, public ::testing::WithParamInterface<CarriedCase> {};

// Files that already hold the carried bytes (the build's own output) are
// used where they are, without a word, and left alone at close.
TEST_P(DeploymentCarriedAlready, AreUsedInPlaceAndKept)
{
    const CarriedCase c = GetParam();
    if (c.vonkThere) {
        writeFile(inProgram("vonk"), kIdentifierBytes);
        ASSERT_EQ(::chmod(inProgram("vonk").c_str(), c.vonkMode), 0);
    }
    if (c.databaseThere)
        writeFile(inProgram("VonkDefs.vkd"), kDatabaseBytes);
    struct stat before {};
    ::stat(inProgram(c.vonkThere ? "vonk" : "VonkDefs.vkd").c_str(), &before);

    IdentifierDeployment deployment(m_program, m_user);
    const gv::DeploymentResult result = deployment.Deploy();
    EXPECT_EQ(result.place, c.place);
    EXPECT_EQ(result.tellUser, c.place == DeploymentPlace::UserFolder);
    EXPECT_TRUE(deployment.Remove().empty());
    struct stat after {};
    ASSERT_EQ(::stat(inProgram(c.vonkThere ? "vonk" : "VonkDefs.vkd").c_str(), &after), 0) << "kept at close";
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(exists(inProgram("vonk")), c.vonkThere);
    EXPECT_EQ(exists(inProgram("VonkDefs.vkd")), c.databaseThere);
    EXPECT_FALSE(exists(inProgram(IdentifierDeployment::kRecordName)));
}

INSTANTIATE_TEST_SUITE_P(Cases, DeploymentCarriedAlready,
    ::testing::Values(CarriedCase { "both", true, 0755, true, DeploymentPlace::ProgramFolder },
        CarriedCase { "database_only_the_identifier_is_written", false, 0, true, DeploymentPlace::ProgramFolder },
        CarriedCase { "identifier_that_cannot_run", true, 0644, true, DeploymentPlace::UserFolder }),
    [](const auto& test) { return std::string(test.param.name); });

// Two copies never share a deployment folder, whatever their environment
// makes of the user's folder; the first keeps its files.
TEST_F(Deployment, SecondCopyIsKeptOutOfAFolderInUse)
{
    const std::string otherUser = m_root / "other user/gui-vonk";
    const std::string otherProgram = m_root / "other program";
    ASSERT_EQ(::mkdir(otherProgram.c_str(), 0755), 0);
    struct Case {
        const char* what;
        bool programWritable;
        std::string secondProgram;
        std::string secondUser;
    };
    const Case cases[] = {
        { "same program folder", true, m_program, otherUser },
        { "same user folder", false, otherProgram, m_user },
    };
    for (const Case& c : cases) {
        IdentifierDeployment first(m_program, m_user);
        first.setFolderCheck([&](const std::string& folder) { return c.programWritable || folder == m_user; });
        ASSERT_TRUE(first.Deploy().place != DeploymentPlace::Nowhere) << c.what;
        const std::string folder = first.Folder();

        IdentifierDeployment second(c.secondProgram, c.secondUser);
        second.setFolderCheck([&](const std::string& f) { return c.programWritable || f == c.secondUser; });
        const gv::DeploymentResult result = second.Deploy();
        EXPECT_TRUE(result.otherCopyRunning) << c.what;
        EXPECT_FALSE(second.Deployed()) << c.what;
        second.Remove();
        expectDeployedIn(folder);
        EXPECT_FALSE(exists(otherUser + "/vonk")) << c.what;

        EXPECT_TRUE(first.Remove().empty());
        EXPECT_FALSE(exists(folder + "/" + IdentifierDeployment::kLockName)) << "the lock file goes at close";
        IdentifierDeployment next(c.secondProgram, c.secondUser);
        EXPECT_TRUE(next.LockProgramFolder()) << c.what;
    }
}

struct OthersCase {
    const char* name;
    bool vonk;
    bool database;
    bool vonkIsFolder;
    bool record;
};

class DeploymentOthers : public Deployment, public ::testing::WithParamInterface<OthersCase> {};

// Files of those names that we did not write (an installed identifier, the
// build's own output) are never replaced nor deleted: the files go to the
// user's folder instead, and the user hears about it once.
TEST_P(DeploymentOthers, AreLeftAloneAndTheUserFolderIsUsed)
{
    const OthersCase c = GetParam();
    if (c.record)
        writeFile(inProgram(IdentifierDeployment::kRecordName), "ours\n");
    if (c.vonkIsFolder)
        ASSERT_EQ(::mkdir(inProgram("vonk").c_str(), 0755), 0);
    else if (c.vonk)
        writeFile(inProgram("vonk"), "installed identifier");
    if (c.database)
        writeFile(inProgram("VonkDefs.vkd"), "installed database");

    for (int run = 0; run < 2; ++run) {
        IdentifierDeployment deployment(m_program, m_user);
        const gv::DeploymentResult result = deployment.Deploy();
        EXPECT_EQ(result.place, DeploymentPlace::UserFolder);
        EXPECT_EQ(result.folder, m_user);
        EXPECT_EQ(result.reason, FallbackReason::ProgramFolderHoldsOthers);
        EXPECT_EQ(result.tellUser, run == 0) << "told once per program folder";
        expectDeployedIn(m_user);
        EXPECT_EQ(modeOf(m_user), 0700u);
        EXPECT_TRUE(deployment.Remove().empty());
        EXPECT_FALSE(exists(inUser("vonk")));
        EXPECT_FALSE(exists(inUser("VonkDefs.vkd")));
    }
    if (c.vonk && !c.vonkIsFolder) {
        EXPECT_EQ(readFile(inProgram("vonk")), "installed identifier");
    }
    if (c.vonkIsFolder) {
        EXPECT_TRUE(std::filesystem::is_directory(inProgram("vonk")));
    }
    if (c.database) {
        EXPECT_EQ(readFile(inProgram("VonkDefs.vkd")), "installed database");
    }
    EXPECT_EQ(exists(inProgram(IdentifierDeployment::kRecordName)), c.record);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeploymentOthers,
    ::testing::Values(OthersCase { "identifier", true, false, false, false },
        OthersCase { "database", false, true, false, false }, OthersCase { "both", true, true, false, false },
        OthersCase { "folder_named_vonk_even_with_record", false, false, true, true }),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Deployment, UnwritableProgramFolderSendsThemToTheUserFolder)
{
    // Told unwritable through the seam (the superuser writes anywhere), and
    // for real: a "folder" below a plain file takes nothing from anyone.
    writeFile(m_root / "plain", "");
    struct Case {
        const char* what;
        std::string program;
        bool useSeam;
    };
    const Case cases[] = {
        { "seam", m_program, true },
        { "below a file", m_root / "plain/sub", false },
        { "unknown program folder", "", false },
    };
    for (const Case& c : cases) {
        IdentifierDeployment deployment(c.program, m_user);
        if (c.useSeam)
            deployment.setFolderCheck([&](const std::string& folder) { return folder != c.program; });
        const gv::DeploymentResult result = deployment.Deploy();
        EXPECT_EQ(result.place, DeploymentPlace::UserFolder) << c.what;
        EXPECT_EQ(result.reason, FallbackReason::ProgramFolderUnwritable) << c.what;
        expectDeployedIn(m_user);
        EXPECT_FALSE(exists(inProgram("vonk"))) << c.what;
        EXPECT_FALSE(exists(inProgram(IdentifierDeployment::kRecordName))) << c.what;
        EXPECT_TRUE(deployment.Remove().empty());
    }
}

TEST_F(Deployment, NoticeIsRememberedPerProgramFolder)
{
    auto deployFrom = [&](const std::string& program) {
        IdentifierDeployment deployment(program, m_user);
        deployment.setFolderCheck([&](const std::string& folder) { return folder == m_user; });
        const bool told = deployment.Deploy().tellUser;
        deployment.Remove();
        return told;
    };
    const std::string odd = m_root / std::string("other\nfolder");
    EXPECT_TRUE(deployFrom(m_program));
    EXPECT_TRUE(deployFrom(odd));
    EXPECT_TRUE(deployFrom(m_root / "other"));
    EXPECT_FALSE(deployFrom(m_program));
    EXPECT_FALSE(deployFrom(odd));
    EXPECT_FALSE(deployFrom(m_root / "other"));
    EXPECT_TRUE(exists(inUser(IdentifierDeployment::kNoticeName))) << "the notice stays after close";
}

TEST_F(Deployment, UserFolderMustBeThisUsersOwn)
{
    ASSERT_EQ(std::filesystem::create_directories(m_user), true);
    ASSERT_EQ(::chmod(m_user.c_str(), 0777), 0);
    {
        IdentifierDeployment deployment(m_program, m_user);
        deployment.setFolderCheck([&](const std::string& folder) { return folder == m_user; });
        EXPECT_EQ(deployment.Deploy().place, DeploymentPlace::UserFolder);
        EXPECT_EQ(modeOf(m_user), 0700u) << "others lose write access";
        deployment.Remove();
    }
    if (::geteuid() != 0)
        return;
    ASSERT_EQ(::chown(m_user.c_str(), 65534, 65534), 0);
    IdentifierDeployment deployment(m_program, m_user);
    deployment.setFolderCheck([&](const std::string& folder) { return folder == m_user; });
    EXPECT_EQ(deployment.Deploy().place, DeploymentPlace::Nowhere) << "another account's folder is not used";
    EXPECT_FALSE(exists(inUser("vonk")));
}

TEST_F(Deployment, NothingWritableLeavesNothingBehind)
{
    IdentifierDeployment deployment(m_program, m_user);
    deployment.setFolderCheck([](const std::string&) { return false; });
    const gv::DeploymentResult result = deployment.Deploy();
    EXPECT_EQ(result.place, DeploymentPlace::Nowhere);
    EXPECT_TRUE(result.folder.empty());
    EXPECT_FALSE(deployment.Deployed());
    EXPECT_FALSE(exists(inProgram("vonk")));
    EXPECT_FALSE(exists(inUser("vonk")));
    EXPECT_FALSE(exists(inUser(IdentifierDeployment::kNoticeName)));
    EXPECT_TRUE(deployment.Remove().empty());
}

TEST_F(Deployment, MissingPayloadWritesAndRemovesNothing)
{
    writeFile(inProgram(IdentifierDeployment::kRecordName), "ours\n");
    writeFile(inProgram("vonk"), "stale");
    IdentifierDeployment deployment(m_program, m_user, { { "vonk", 102, true }, { "VonkDefs.vkd", 999, false } });
    const gv::DeploymentResult result = deployment.Deploy();
    EXPECT_TRUE(result.missingPayload);
    EXPECT_EQ(result.place, DeploymentPlace::Nowhere);
    EXPECT_EQ(readFile(inProgram("vonk")), "stale");
    deployment.Remove();
    EXPECT_EQ(readFile(inProgram("vonk")), "stale");
}

TEST_F(Deployment, DeployRunsOnce)
{
    IdentifierDeployment deployment(m_program, m_user);
    ASSERT_EQ(deployment.Deploy().place, DeploymentPlace::ProgramFolder);
    writeFile(inProgram("vonk"), "changed meanwhile");
    EXPECT_EQ(deployment.Deploy().place, DeploymentPlace::ProgramFolder);
    EXPECT_EQ(readFile(inProgram("vonk")), "changed meanwhile");
    deployment.Remove();
}

TEST(DeploymentFolders, UserFolderFollowsTheEnvironment)
{
    struct Case {
        const char* runtime;
        const char* cache;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        { "/run/user/7", "/c", "/h", "/run/user/7/gui-vonk" },
        { "/run/user/7/", nullptr, "/h", "/run/user/7/gui-vonk" },
        { nullptr, "/c", "/h", "/c/gui-vonk" },
        { "relative", "also-relative", "/h", "/h/.cache/gui-vonk" },
        { nullptr, nullptr, "/h", "/h/.cache/gui-vonk" },
        { nullptr, nullptr, nullptr, "" },
    };
    const char* names[] = { "XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME" };
    std::array<std::string, 3> saved;
    std::array<bool, 3> had {};
    for (int i = 0; i < 3; ++i) {
        if (const char* v = std::getenv(names[i])) {
            saved[size_t(i)] = v;
            had[size_t(i)] = true;
        }
    }
    for (const Case& c : cases) {
        const char* values[] = { c.runtime, c.cache, c.home };
        for (int i = 0; i < 3; ++i) {
            if (values[i])
                ::setenv(names[i], values[i], 1);
            else
                ::unsetenv(names[i]);
        }
        EXPECT_EQ(gv::PerUserDeploymentFolder(), c.expected);
    }
    for (int i = 0; i < 3; ++i) {
        if (had[size_t(i)])
            ::setenv(names[i], saved[size_t(i)].c_str(), 1);
        else
            ::unsetenv(names[i]);
    }
}

TEST(DeploymentFolders, WritabilityIsTriedNotGuessed)
{
    TempFolder dir;
    writeFile(dir / "plain", "");
    EXPECT_TRUE(gv::FolderAcceptsFiles(dir.str()));
    EXPECT_FALSE(gv::FolderAcceptsFiles(dir / "plain"));
    EXPECT_FALSE(gv::FolderAcceptsFiles(dir / "missing"));
    EXPECT_FALSE(gv::FolderAcceptsFiles(""));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u) << "the probe leaves nothing behind";
}

} // namespace
