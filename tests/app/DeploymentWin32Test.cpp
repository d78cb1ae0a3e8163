// SPDX-License-Identifier: GPL-3.0-or-later
// Deployment of the carried files and the instance lock on Windows, with
// this test program's own FILES resources.
#include "IdentifierDeploymentWin32.h"
#include "InstanceLockWin32.h"
#include "WideText.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace gv {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string carried(int id)
{
    const auto bytes = CarriedBytes(id);
    return bytes ? std::string(*bytes) : std::string();
}

class DeploymentWin32Test : public ::testing::Test {
protected:
    test::TempFolder root { "gv-deploy" };
    fs::path program = fs::path(Widen(root.path())) / L"program";
    fs::path user = fs::path(Widen(root.path())) / L"user" / L"gui-vonk";

    void SetUp() override { fs::create_directories(program); }
    std::unique_ptr<IdentifierDeployment> deployment()
    {
        return std::make_unique<IdentifierDeployment>(Narrow(program.wstring()), Narrow(user.wstring()));
    }
};

TEST_F(DeploymentWin32Test, ResourcesAreTheCarriedFiles)
{
    EXPECT_EQ(carried(102), "identifier payload 102\n");
    EXPECT_EQ(carried(103), "database payload 103\n");
    EXPECT_FALSE(CarriedBytes(104).has_value());
}

TEST_F(DeploymentWin32Test, WrittenAtStartAndRemovedAtClose)
{
    auto d = deployment();
    const DeploymentResult result = d->Deploy();
    EXPECT_EQ(result.place, DeploymentPlace::ProgramFolder);
    EXPECT_EQ(readFile(program / L"vonk.exe"), carried(102));
    EXPECT_EQ(readFile(program / L"VonkDefs.vkd"), carried(103));
    EXPECT_TRUE(d->Remove().empty());
    EXPECT_FALSE(fs::exists(program / L"vonk.exe"));
    EXPECT_FALSE(fs::exists(program / L"VonkDefs.vkd"));
    EXPECT_FALSE(fs::exists(program / IdentifierDeployment::kRecordName));
}

TEST_F(DeploymentWin32Test, OnlyFilesProvedOursAreReplacedOrDeleted)
{
    struct Case {
        const char* name;
        std::string before; // vonk.exe in the program folder; "" for none
        int writer;
        DeploymentPlace place;
        bool keptAfterClose; // the file there before is still there after
    };
    enum Writer { None, Ended, Running };
    // Another process that wrote the record: alive while suspended.
    STARTUPINFOW si {};
    si.cb = sizeof si;
    PROCESS_INFORMATION other {};
    std::wstring command = L"cmd.exe /c exit 0";
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
        nullptr, &si, &other));
    FILETIME created {}, unused {};
    ::GetProcessTimes(other.hProcess, &created, &unused, &unused, &unused);
    const std::string otherWriter = "writer " + std::to_string(other.dwProcessId) + " "
        + std::to_string((static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    const Case cases[] = {
        { "somebody else's file", "not ours", None, DeploymentPlace::UserFolder, true },
        { "the carried bytes already", "identifier payload 102\n", None, DeploymentPlace::ProgramFolder, true },
        { "left by this process, ended", "", Ended, DeploymentPlace::ProgramFolder, false },
        { "left by a copy that still runs", "", Running, DeploymentPlace::UserFolder, true },
        { "left by a copy that ended", "", Ended, DeploymentPlace::ProgramFolder, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(program);
        fs::remove_all(user);
        fs::create_directories(program);
        if (std::string(c.name) == "left by a copy that ended") {
            ::TerminateProcess(other.hProcess, 0);
            ::WaitForSingleObject(other.hProcess, 5000);
        }
        if (c.writer != None) {
            auto crashed = deployment();
            ASSERT_EQ(crashed->Deploy().place, DeploymentPlace::ProgramFolder);
            // Ends without Remove(): its files and record stay behind,
            // written by this process or, as told by the record, another.
            if (std::string(c.name).find("copy") != std::string::npos) {
                const fs::path record = program / IdentifierDeployment::kRecordName;
                std::string text = readFile(record);
                const std::size_t line = text.find("\nwriter ") + 1;
                text.replace(line, text.find('\n', line) - line, otherWriter);
                writeFile(record, text);
            }
        } else {
            writeFile(program / L"vonk.exe", c.before);
            if (c.before == carried(102))
                writeFile(program / L"VonkDefs.vkd", carried(103));
        }
        const std::string before = readFile(program / L"vonk.exe");
        auto d = deployment();
        EXPECT_EQ(d->Deploy().place, c.place);
        EXPECT_EQ(readFile(fs::path(Widen(d->Folder())) / L"vonk.exe"), carried(102));
        d->Remove();
        EXPECT_EQ(fs::exists(program / L"vonk.exe"), c.keptAfterClose);
        if (c.keptAfterClose) {
            EXPECT_EQ(readFile(program / L"vonk.exe"), before);
        }
        EXPECT_FALSE(fs::exists(user / L"vonk.exe"));
    }
    ::TerminateProcess(other.hProcess, 0);
    ::CloseHandle(other.hThread);
    ::CloseHandle(other.hProcess);
}

TEST_F(DeploymentWin32Test, UnwritableProgramFolderSendsTheFilesToTheUserOnce)
{
    for (bool first : { true, false }) {
        SCOPED_TRACE(first ? "first start" : "second start");
        auto d = deployment();
        const std::string programFolder = Narrow(program.wstring());
        d->setFolderCheck([&](const std::string& folder) { return folder != programFolder; });
        const DeploymentResult result = d->Deploy();
        EXPECT_EQ(result.place, DeploymentPlace::UserFolder);
        EXPECT_EQ(result.reason, FallbackReason::ProgramFolderUnwritable);
        EXPECT_EQ(result.tellUser, first);
        EXPECT_EQ(readFile(user / L"VonkDefs.vkd"), carried(103));
        EXPECT_FALSE(fs::exists(program / L"vonk.exe"));
        EXPECT_TRUE(d->Remove().empty());
        EXPECT_FALSE(fs::exists(user / L"vonk.exe"));
    }
}

TEST_F(DeploymentWin32Test, ReplacedAfterStartIsNotDeletedAtClose)
{
    auto d = deployment();
    ASSERT_EQ(d->Deploy().place, DeploymentPlace::ProgramFolder);
    fs::remove(program / L"VonkDefs.vkd");
    writeFile(program / L"VonkDefs.vkd", "the user's own database");
    EXPECT_TRUE(d->Remove().empty());
    EXPECT_FALSE(fs::exists(program / L"vonk.exe"));
    EXPECT_EQ(readFile(program / L"VonkDefs.vkd"), "the user's own database");
}

TEST_F(DeploymentWin32Test, OneCopyPerFolderAndPerUser)
{
    auto first = deployment();
    ASSERT_EQ(first->Deploy().place, DeploymentPlace::ProgramFolder);
    auto second = deployment();
    EXPECT_TRUE(second->Deploy().otherCopyRunning);
    EXPECT_FALSE(second->Deployed());
    first->Remove();

    const std::string path = root.path() + "/instance.lock";
    InstanceLock held(path);
    ASSERT_TRUE(held.TryAcquire());
    EXPECT_TRUE(held.IsHeld());
    InstanceLock other(path);
    EXPECT_FALSE(other.TryAcquire());
    held.Release();
    EXPECT_FALSE(fs::exists(fs::path(Widen(path))));
    EXPECT_TRUE(other.TryAcquire());
    EXPECT_TRUE(other.IsHeld());
}

} // namespace
} // namespace gv
