// SPDX-License-Identifier: GPL-3.0-or-later
// gui-vonk.exe: the native window with the placed boxes and dialogs, the
// shell's links and the carried identifier written out around it.

#include "ProgramStartWin32.h"

#include "about/win32/frmAbout.h"
#include "app/win32/IdentifierDeploymentWin32.h"
#include "app/win32/InstanceLockWin32.h"
#include "mainwindow/win32/frmDOSOutput.h"
#include "winhelpers/core/PathFunctions.h"
#include "winhelpers/win32/CommonDialogWin32.h"
#include "winhelpers/win32/FileHelpersWin32.h"
#include "winhelpers/win32/MsgBoxWin32.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace {

gv::win32::WindowServices programServices(HINSTANCE instance)
{
    gv::win32::WindowServices services;
    services.box = [](HWND owner, const std::string& text, unsigned style, const std::string& title) {
        return gv::SystemMsgBox(text, int(style), title, owner);
    };
    services.notice = [](const std::string& text) { gv::PlacedMsgBox(text, gv::vbSystemModal, {}, true); };
    services.chooseFile = [](HWND owner, int mode, int shift,
                             const std::string& last) -> std::optional<std::string> {
        gv::SetDialogPlacement(mode, shift);
        const std::string filter = gv::MakeDialogFilter({}, "All files (*.*)", "*.*");
        std::string chosen = gv::ShowFileDialog(owner, true, "Open a VB file", last, filter, 1, ".txt");
        if (chosen.empty())
            return std::nullopt;
        return chosen;
    };
    services.chooseFolder = [](HWND owner, int mode, int shift,
                               const std::string& last) -> std::optional<std::string> {
        gv::SetDialogPlacement(mode, shift);
        // Always with the last folder, empty at first: a cancelled first
        // choice then gives nothing rather than the current folder.
        std::string chosen = gv::BrowseForFolder(owner, "Directories", std::optional<std::string>(last));
        if (chosen.empty())
            return std::nullopt;
        return chosen;
    };
    services.openLink = [](const std::string& target) { gv::OpenWithShell(target); };
    services.showAbout = [instance](HWND owner) {
        gv::win32::frmAbout::showModalAbout(instance, owner,
                                            [](const std::string& target) { gv::OpenWithShell(target); });
    };
    return services;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    bool thank = false;
    {
        auto life = std::make_unique<gv::ProgramStartWin32>(gv::InstanceLock::DefaultPath(), gv::ProgramFolder(),
                                                            gv::PerUserDeploymentFolder());
        gv::win32::frmDOSOutput window(instance, programServices(instance), std::move(life));
        if (!window.hwnd() || !window.Form_Load())
            return 0;
        ShowWindow(window.hwnd(), show);
        UpdateWindow(window.hwnd());

        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (HWND form = window.hwnd();
                form && (window.preTranslate(message) || IsDialogMessageW(form, &message)))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        thank = window.isUnloaded();
    }
    // After the window has gone.
    if (thank)
        gv::SystemMsgBox("Thanks for using.", gv::vbOKOnly, "Thanks");
    return 0;
}
