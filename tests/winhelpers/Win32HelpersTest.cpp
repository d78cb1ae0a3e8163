// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows helpers with real windows, under Wine in the test stage:
// every box and dialog is answered through its seam while on screen.
#include "CommonDialogWin32.h"
#include "FileHelpersWin32.h"
#include "MsgBoxWin32.h"
#include "WideText.h"
#include "support/TempFolder.h"
#include "winhelpers/core/PathFunctions.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace gv {
namespace {

RECT rectOf(HWND window)
{
    RECT r {};
    ::GetWindowRect(window, &r);
    return r;
}

// A plain top-level window at a known place, to own boxes and dialogs.
struct Form {
    HWND hwnd = nullptr;
    Form(int left, int top, int width, int height)
    {
        hwnd = ::CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPED | WS_VISIBLE, left, top, width, height,
            nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::SetForegroundWindow(hwnd);
        ::SetActiveWindow(hwnd);
    }
    ~Form() { ::DestroyWindow(hwnd); }
};

class Win32HelpersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Wine draws windows only on a display (the build gives its own
        // virtual one when Xvfb is installed).
        HWND probe = ::CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
            ::GetModuleHandleW(nullptr), nullptr);
        if (!probe)
            GTEST_SKIP() << "no display for windows here: install xvfb";
        ::DestroyWindow(probe);
    }
    void TearDown() override
    {
        SetMsgBoxAnswerer({});
        SetDialogAnswerer({});
        SetShellOpener({});
        SetDialogPlacement(0, 0);
    }
};

TEST_F(Win32HelpersTest, MessageBoxesAreAnsweredOnScreenAndPlacedOverTheirOwner)
{
    Form owner(420, 300, 360, 240);
    ASSERT_TRUE(owner.hwnd);
    struct Case {
        bool placed;
        std::string title;
        std::string shownTitle;
        int answer;
    };
    const Case cases[] = {
        { true, "", "GUI-Vonk", vbYes },
        { false, "Thanks", "Thanks", vbOK },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shownTitle);
        MsgBoxRequest seen;
        RECT box {};
        SetMsgBoxAnswerer([&](const MsgBoxRequest& request, HWND hwnd) {
            seen = request;
            box = rectOf(hwnd);
            return c.answer;
        });
        const int result = c.placed ? PlacedMsgBox("eseguire ?", vbYesNo + vbSystemModal, c.title, true)
                                    : SystemMsgBox("Thanks for using.", vbOKOnly, c.title);
        EXPECT_EQ(result, c.answer);
        EXPECT_EQ(seen.title, c.shownTitle);
        EXPECT_EQ(seen.placed, c.placed);
        if (c.placed) {
            // Centred over the owner, each half truncated on its own.
            const RECT o = rectOf(owner.hwnd);
            EXPECT_EQ(box.left, o.left + (o.right - o.left) / 2 - (box.right - box.left) / 2);
            EXPECT_EQ(box.top, o.top + (o.bottom - o.top) / 2 - (box.bottom - box.top) / 2);
        }
    }
}

TEST_F(Win32HelpersTest, FileDialogIsPlacedAndItsAnswerDecides)
{
    Form form(300, 400, 400, 300);
    SetDialogPlacement(3, 30); // parent form shift: right of and above the form's corner
    struct Case {
        bool accepted;
        const char* path;
        const char* fileName;
        const char* expected;
    };
    const Case cases[] = {
        { true, "C:\\chosen.png", "", "C:\\chosen.png" },
        { false, "", "C:\\dir\\kept.txt", "C:\\dir\\kept.txt" },
        { false, "", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        RECT dialog {};
        DialogKind kind = DialogKind::Folder;
        SetDialogAnswerer([&](DialogKind k, HWND hwnd) {
            kind = k;
            dialog = rectOf(hwnd);
            return DialogAnswer { c.accepted, c.path };
        });
        std::optional<int> flags;
        EXPECT_EQ(ShowFileDialog(form.hwnd, true, "Scegli", c.fileName, "All files (*.*)\0*.*\0", 1, {}, &flags),
            c.expected);
        EXPECT_EQ(flags, kOpenDialogFlags);
        EXPECT_EQ(kind, DialogKind::Open);
        const RECT f = rectOf(form.hwnd);
        EXPECT_EQ(dialog.left, f.left + 30);
        EXPECT_EQ(dialog.top, f.top - 30);
    }
}

TEST_F(Win32HelpersTest, FolderDialogAnswersEndInABackslash)
{
    Form form(100, 100, 300, 200);
    SetDialogPlacement(3, 20);
    struct Case {
        bool accepted;
        const char* path;
        std::optional<std::string> initial;
        const char* expected;
    };
    const Case cases[] = {
        { true, "C:\\windows", std::string("C:\\"), "C:\\windows\\" },
        { false, "", std::string("C:\\windows"), "C:\\windows\\" },
        { false, "", std::string(""), "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        bool asked = false;
        RECT dialog {};
        SetDialogAnswerer([&](DialogKind kind, HWND hwnd) {
            asked = kind == DialogKind::Folder;
            dialog = rectOf(hwnd);
            return DialogAnswer { c.accepted, c.path };
        });
        std::optional<int> flags;
        EXPECT_EQ(BrowseForFolder(form.hwnd, "Seleziona la cartella", c.initial, &flags), c.expected);
        EXPECT_TRUE(asked);
        EXPECT_EQ(flags, kFolderDialogFlags);
        const RECT f = rectOf(form.hwnd);
        EXPECT_EQ(dialog.left, f.left + 20);
        EXPECT_EQ(dialog.top, f.top - 20);
    }
}

TEST_F(Win32HelpersTest, ShortNamesNameTheFileInOneCommandWord)
{
    test::TempFolder folder("gv-short");
    const std::string names[] = { "long name with blanks.txt", "a&b(c).txt", "\xC3\x9F\xE2\x82\xAC.txt" };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::filesystem::path file = std::filesystem::path(Widen(folder.path())) / Widen(name);
        std::ofstream(file) << "x";
        std::string shortName = GetShortName(Narrow(file.wstring()));
        ASSERT_FALSE(shortName.empty());
        if (shortName.front() == '"') {
            ASSERT_EQ(shortName.back(), '"');
            shortName = shortName.substr(1, shortName.size() - 2);
        } else {
            EXPECT_EQ(shortName.find_first_of(" &()"), std::string::npos);
        }
        EXPECT_NE(::GetFileAttributesW(Widen(shortName).c_str()), INVALID_FILE_ATTRIBUTES) << shortName;
    }
    EXPECT_EQ(GetShortName(folder.path() + "/missing.txt"), "");
    EXPECT_EQ(GetShortName(""), "");
}

TEST_F(Win32HelpersTest, CommandPathsAreQuotedOnlyWhenTheyNeedIt)
{
    const std::pair<std::string, std::string> cases[] = {
        { "C:\\PROGRA~1\\X.TXT", "C:\\PROGRA~1\\X.TXT" },
        { "C:\\a b\\x.txt", "\"C:\\a b\\x.txt\"" },
        { "C:\\a&b.txt", "\"C:\\a&b.txt\"" },
        { "C:\\x^y.txt", "\"C:\\x^y.txt\"" },
        // A folder: "C:\My Dir\"* would read as one word with a quote in it.
        { "C:\\My Dir\\", "\"C:\\My Dir\\\\\"" },
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(QuotePathForCommand(path), expected);
}

TEST(Win32PathTextTest, DrivesAndBackslashesSplit)
{
    EXPECT_EQ(SplitPath("C:\\dir\\file.txt"), (PathParts { "C:", "\\dir\\", "file", ".txt" }));
    EXPECT_EQ(PathFolder("C:\\dir\\file.txt"), "C:\\dir\\");
    EXPECT_EQ(PathFileName("C:\\dir\\file.txt"), "file.txt");
    EXPECT_EQ(AddTrailingBackslash("C:\\dir"), "C:\\dir\\");
}

TEST_F(Win32HelpersTest, ShellFailureIsToldWithTheTarget)
{
    std::vector<std::string> opened;
    bool result = false;
    SetShellOpener([&](const std::string& target, const std::string&) {
        opened.push_back(target);
        return result;
    });
    std::vector<MsgBoxRequest> boxes;
    SetMsgBoxAnswerer([&](const MsgBoxRequest& request, HWND) {
        boxes.push_back(request);
        return vbOK;
    });
    OpenWithShell("");
    EXPECT_TRUE(opened.empty());
    OpenWithShell("mailto:someone@example.org");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, "Error jumping to:mailto:someone@example.org");
    EXPECT_EQ(boxes[0].title, "Warning");
    EXPECT_EQ(boxes[0].style, vbExclamation);
    result = true;
    OpenWithShell("https://example.org/");
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Win32HelpersTest, FlatButtonKeepsItsKindAndShows)
{
    Form form(10, 10, 200, 100);
    HWND button = ::CreateWindowExW(0, L"BUTTON", L"File", WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON, 5, 5, 60,
        20, form.hwnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(button);
    MakeControlFlat(button);
    const LONG_PTR style = ::GetWindowLongPtrW(button, GWL_STYLE);
    EXPECT_TRUE(style & BS_FLAT);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_EQ(style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

} // namespace
} // namespace gv
