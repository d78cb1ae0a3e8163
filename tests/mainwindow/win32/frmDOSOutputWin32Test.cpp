// SPDX-License-Identifier: GPL-3.0-or-later
// The native window in-process under Wine: its start, its frame layout and
// a dropped file's request run through the real command interpreter, with
// every box answered by a recording stand-in.

#include "mainwindow/core/DesignTable.h"
#include "mainwindow/win32/frmDOSOutput.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace d = gv::design;

struct Life : gv::ProgramLife {
    bool another = false;
    std::string folder;
    bool claimInstance() override { return !another; }
    bool deploy() override { return true; }
    std::string identifierFolder() const override { return folder; }
    bool identifierMissing() const override { return false; }
    void removeDeployed(bool) override {}
};

class frmDOSOutputWin32Test : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("gv-win32-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override
    {
        m_window.reset();
        std::filesystem::remove_all(m_dir);
    }

    void open(std::unique_ptr<Life> life)
    {
        gv::win32::WindowServices services;
        services.box = [this](HWND, const std::string& text, unsigned, const std::string&) {
            m_said.push_back(text);
            return IDYES;
        };
        services.notice = [this](const std::string& text) { m_said.push_back(text); };
        services.openLink = [](const std::string&) {};
        m_window = std::make_unique<gv::win32::frmDOSOutput>(GetModuleHandleW(nullptr), std::move(services),
                                                             std::move(life));
        ASSERT_TRUE(m_window->hwnd());
    }

    // Runs the window's messages until what was said ends with text.
    bool pumpUntilSaid(const std::string& text)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            if (!m_said.empty() && m_said.back() == text)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Drops a file on the window as the shell does.
    void drop(const std::filesystem::path& item)
    {
        const std::wstring name = item.wstring();
        const size_t bytes = sizeof(DROPFILES) + (name.size() + 2) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GHND, bytes);
        auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        std::copy(name.begin(), name.end(), reinterpret_cast<wchar_t*>(files + 1));
        GlobalUnlock(memory);
        // The window lets the drop's memory go.
        SendMessageW(m_window->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }

    // A window whose identifier, in its own folder, is the given script.
    void openWithIdentifier(const std::string& script)
    {
        const std::filesystem::path deployed = m_dir / "deployed";
        std::filesystem::create_directories(deployed);
        std::ofstream(deployed / "vonk.cmd") << script;
        auto life = std::make_unique<Life>();
        life->folder = deployed.string();
        open(std::move(life));
        ASSERT_TRUE(m_window->Form_Load());
    }

    std::filesystem::path m_dir;
    std::vector<std::string> m_said;
    std::unique_ptr<gv::win32::frmDOSOutput> m_window;
};

TEST_F(frmDOSOutputWin32Test, StartsAtItsDesignOrRefusesASecondCopy)
{
    auto second = std::make_unique<Life>();
    second->another = true;
    open(std::move(second));
    EXPECT_FALSE(m_window->Form_Load());
    EXPECT_EQ(m_said, std::vector<std::string>{"VonkGUI risulta avviato"});

    m_said.clear();
    open(std::make_unique<Life>());
    ASSERT_TRUE(m_window->Form_Load());
    EXPECT_TRUE(m_said.empty());
    RECT frame{};
    GetWindowRect(m_window->hwnd(), &frame);
    EXPECT_EQ(frame.right - frame.left, 586);
    EXPECT_EQ(frame.bottom - frame.top, 401);
    EXPECT_EQ(m_window->GetPlacementMode(), 4);
    EXPECT_EQ(m_window->titleText(), "Vonk-Gui : Gui 4 Vonk  - by Vessandro Version: 1.0.6 by Vessandro");
    EXPECT_FALSE(GetWindowLongPtrW(m_window->hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(frmDOSOutputWin32Test, FramePiecesFollowTheEdgesAtAnySize)
{
    open(std::make_unique<Life>());
    ASSERT_TRUE(m_window->Form_Load());
    const int W = 700, H = 300;
    SetWindowPos(m_window->hwnd(), nullptr, 0, 0, W, H, SWP_NOMOVE | SWP_NOZORDER);
    auto rect = [this](const char* name) { return m_window->pieceRect(name); };
    const int image4Height = rect("Image4").bottom - rect("Image4").top;
    struct Case {
        const char* name;
        LONG value, expected;
    } cases[] = {
        {"Image9 ends at the right edge", rect("Image9").right, W},
        {"Image6 ends at the right edge", rect("Image6").right, W},
        {"Image6 is as tall as the window", rect("Image6").bottom - rect("Image6").top, H},
        {"Image3 is as tall as the window", rect("Image3").bottom - rect("Image3").top, H},
        {"Image8 ends 800 twips short of the edge", rect("Image8").right, W - d::pixels(800)},
        {"Image4 sits on the bottom", rect("Image4").bottom, H},
        {"Image7 takes Image4's top", rect("Image7").top, H - image4Height},
        {"Image5 takes Image4's top", rect("Image5").top, H - image4Height},
        {"Image5 ends at the right edge", rect("Image5").right, W},
        {"Image7 is as wide as the window", rect("Image7").right - rect("Image7").left, W},
        {"Image1 is as wide as the window", rect("Image1").right - rect("Image1").left, W},
        {"LabelTOP is as wide as the window", rect("LabelTOP").right - rect("LabelTOP").left, W},
        {"Image10 stays", rect("Image10").left, d::pixels(60)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, c.expected) << c.name;
}

TEST_F(frmDOSOutputWin32Test, ADroppedFileRunsTheIdentifierInItsFolderAndTheReportFillsThePane)
{
    // A stand-in identifier that says what it got.
    openWithIdentifier("@echo got %*\r\n@echo second line\r\n");
    const std::filesystem::path item = m_dir / "a long name.png";
    std::ofstream(item) << "x";
    drop(item);
    ASSERT_TRUE(pumpUntilSaid("Lettura completa"));

    ASSERT_EQ(m_said.front(), "eseguire il parsing del FILE selezionato ?");
    const std::string command = m_window->commandText();
    EXPECT_EQ(command.rfind("cmd /c vonk ", 0), 0u) << command;
    EXPECT_NE(command.find(" --literal"), std::string::npos) << command;
    // The report replaces the idle line, one line per line, CR LF each.
    const std::string pane = m_window->consoleText();
    EXPECT_EQ(pane.rfind("got ", 0), 0u) << pane;
    EXPECT_NE(pane.find("--literal\r\nsecond line\r\n"), std::string::npos) << pane;
    EXPECT_EQ(pane.find("idle"), std::string::npos) << pane;
    EXPECT_FALSE(m_window->isRunning());
}

TEST_F(frmDOSOutputWin32Test, EscStopsARunAndThePaneSaysSo)
{
    // An identifier that never ends by itself.
    openWithIdentifier("@echo off\r\necho started\r\n:again\r\ngoto again\r\n");
    const std::filesystem::path item = m_dir / "item.bin";
    std::ofstream(item) << "x";
    drop(item);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (m_window->consoleText().find("started") == std::string::npos && std::chrono::steady_clock::now() < until) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(m_window->isRunning());
    MSG escape{};
    escape.hwnd = m_window->hwnd();
    escape.message = WM_KEYDOWN;
    escape.wParam = VK_ESCAPE;
    EXPECT_TRUE(m_window->preTranslate(escape));
    ASSERT_TRUE(pumpUntilSaid("Lettura completa"));
    const std::string pane = m_window->consoleText();
    // On a line of its own after what the command printed.
    EXPECT_TRUE(pane.ends_with("\r\n-> interrotto dall'utente\r\n")) << pane;
    EXPECT_FALSE(m_window->isRunning());
}

} // namespace
