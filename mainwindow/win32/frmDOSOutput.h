// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mainwindow/ProgramLife.h"
#include "mainwindow/core/ConsoleLineEnds.h"
#include "mainwindow/core/RequestFlow.h"
#include "runner/win32/DOSOutputsWin32.h"

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace gv::win32 {

// The boxes, dialogs and shell the window asks for: the program gives the
// placed ones, tests give answerers. Texts are UTF-8.
struct WindowServices {
    // A plain system box (MessageBoxW styles); returns the pressed button.
    // An empty title gives the application's.
    std::function<int(HWND owner, const std::string& text, unsigned style, const std::string& title)> box;
    // A system-modal notice placed over the active window.
    std::function<void(const std::string& text)> notice;
    // The file and folder dialogs, placed by mode and shift; nothing when
    // the user cancelled.
    std::function<std::optional<std::string>(HWND owner, int mode, int shift, const std::string& last)> chooseFile;
    std::function<std::optional<std::string>(HWND owner, int mode, int shift, const std::string& last)> chooseFolder;
    // Opens a link through the shell (and says so when it cannot).
    std::function<void(const std::string& target)> openLink;
    // The About window, modal.
    std::function<void(HWND owner)> showAbout;
};

// The main window, native: a borderless form that draws its own frame and
// title bar, with the header panel, the choice buttons and options, the
// command field and the black console pane. Its requests follow the rules
// of RequestFlow exactly as every window edition does.
class frmDOSOutput : private RequestWindow, private IReceiveOutputs, private IRunnerMessages {
public:
    frmDOSOutput(HINSTANCE instance, WindowServices services, std::unique_ptr<ProgramLife> life);
    ~frmDOSOutput() override;
    frmDOSOutput(const frmDOSOutput&) = delete;
    frmDOSOutput& operator=(const frmDOSOutput&) = delete;

    HWND hwnd() const { return m_hwnd; }

    // The start sequence; false when the program must end at once (another
    // copy runs, or its folder is held): the window has said so.
    bool Form_Load();
    // Keys the window takes before any control: Enter presses the default
    // button (or the focused one), Esc stops a run. True when taken.
    bool preTranslate(MSG& message);
    // The close has run (files removed): the program thanks and ends.
    bool isUnloaded() const { return m_unloaded; }

    bool isRunning() const override { return m_running; }
    DOSOutputs* objDOS() const { return m_objDOS.get(); }
    int GetPlacementMode() const;
    void cmdExecute_Click();
    void cmdStop_Click();
    void cmdFile_Click() { m_requests.cmdFile_Click(); }
    void cmdCartella_Click() { m_requests.cmdCartella_Click(); }
    // A file or folder dropped on the window or its pane.
    void dropItem(const std::string& path);
    // The pane's whole text, UTF-8 with CR LF line ends.
    std::string consoleText() const;
    // The command field's text, UTF-8.
    std::string commandText() const;
    // Where a piece the form draws itself lies now, in client pixels (an
    // empty rectangle for a name it does not draw).
    RECT pieceRect(const char* name) const;
    // The title label's text: description, version, author.
    static std::string titleText();

    static constexpr const wchar_t* kClassName = L"GuiVonkMain";

private:
    // A piece drawn by the form itself: frame pictures, transparent labels
    // and the title-bar hot spots.
    struct Piece {
        const char* name;
        RECT rect;
        HBITMAP picture = nullptr;
        bool stretch = false;
        std::wstring text{};
        HFONT font = nullptr;
        COLORREF colour = 0;
        LPCWSTR cursor = nullptr;
        std::wstring tip{};
    };

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void buildDesign();
    void buildPieces();
    void buildControls();
    void buildTips();
    HWND makeControl(const wchar_t* type, const std::string& text, DWORD style, const RECT& rect, int id,
                     HFONT font = nullptr, DWORD exStyle = 0);
    // fixed: a face of fixed pitch, the nearest one where the face is missing.
    HFONT font(const char* face, double points, bool bold, bool underline, bool fixed = false);
    Piece& piece(const char* name);
    Piece* pieceAt(POINT point);
    void paint(HDC dc);
    void Form_Resize();
    void Check2_Click();
    void Form_QueryUnload();
    void onCommand(int id, int code);
    void onClick(const Piece& piece);
    void onDoubleClick(const Piece& piece);
    void ReceiveOutputs(const std::string& CommandOutputs) override;
    void ShowRunnerFailure(const std::string& message) override;
    void pumpOutput();
    void appendOutput(const std::string& utf8);
    void setConsoleText(const std::string& utf8);
    void runEnded();

    // RequestWindow: this window's boxes, dialogs and fields.
    bool identifierMissing() const override;
    bool verbose() const override;
    void notice(const std::string& text) override;
    bool confirm(const std::string& question, const std::string& title) override;
    std::optional<std::string> chooseFile(const std::string& lastFileName) override;
    std::optional<std::string> chooseFolder(const std::string& lastFolder) override;
    void showFile(const std::string& commandForm) override;
    void showFolder(const std::string& commandForm) override;
    void clearItems() override;
    void showDropMode(const std::string& mode) override;
    void runCommand(const std::string& commandLine) override;
    std::string commandForm(const std::string& path) const override;

    HINSTANCE m_instance;
    WindowServices m_services;
    std::unique_ptr<ProgramLife> m_life;
    RequestFlow m_requests{*this};
    HWND m_hwnd = nullptr;
    HWND m_tips = nullptr;
    std::vector<Piece> m_pieces;
    std::vector<HFONT> m_fonts;
    HFONT m_formFont = nullptr;
    std::vector<HBITMAP> m_pictures;
    HBRUSH m_consoleBrush = nullptr;
    HBRUSH m_redBrush = nullptr;
    Piece* m_pressed = nullptr;

    HWND m_Text1 = nullptr, m_Check2 = nullptr, m_Check1 = nullptr, m_ckVerbose = nullptr;
    HWND m_txtCartella = nullptr, m_txtFile = nullptr;
    std::array<HWND, 5> m_Option1{};
    HWND m_cmdFile = nullptr, m_cmdCartella = nullptr, m_txtCommand = nullptr, m_cmdExit = nullptr;
    HWND m_txtOutputs = nullptr, m_cmdExecute = nullptr, m_cmdStop = nullptr;
    HWND m_Label3 = nullptr, m_Label2_0 = nullptr, m_lblControl = nullptr;

    ConsoleLineEnds m_lineEnds;
    std::unique_ptr<DOSOutputs> m_objDOS;
    // Chunks of one pass over the runner's queue, appended together.
    std::string m_pending;
    // A drop waiting for its request: the drop mode and the item.
    std::optional<std::pair<std::string, std::string>> m_pendingDrop;
    bool m_running = false;
    bool m_ending = false;
    bool m_stoppedByUser = false;
    bool m_unloaded = false;
    bool m_loaded = false;
};

} // namespace gv::win32
