// SPDX-License-Identifier: GPL-3.0-or-later
#include "MsgBoxWin32.h"

#include "PlaceWindow.h"
#include "WideText.h"
#include "winhelpers/core/WindowPlacement.h"

namespace gv {

namespace {

constexpr UINT_PTR kAnswerTimer = 0x6756;

// One box at a time per program: boxes are modal on the one user-interface
// thread.
MsgBoxAnswerer g_answerer;
MsgBoxRequest g_request;
HHOOK g_hook = nullptr;
bool g_centreOnOwner = false;

void CALLBACK answerBox(HWND box, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(box, id);
    const int button = g_answerer ? g_answerer(g_request, box) : IDCANCEL;
    ::EndDialog(box, button);
}

void placeBox(HWND box)
{
    // Over its owner (a missing one reads as all zero, and the clamps pull
    // the box into the work area), or centred on the work area.
    if (g_centreOnOwner)
        PlaceWindow(box, ::GetParent(box), ParentFormCenter, 0);
    else
        PlaceWindow(box, nullptr, ScreenCenter, 0);
}

WNDPROC g_boxProc = nullptr;

// Some systems activate the box before it has its final size: it is then
// moved when it is about to be shown, once.
LRESULT CALLBACK placeWhenShown(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC original = g_boxProc;
    if (message == WM_SHOWWINDOW && wParam) {
        ::SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        g_boxProc = nullptr;
        placeBox(box);
    }
    return ::CallWindowProcW(original, box, message, wParam, lParam);
}

// Acts once, on the first activation in this thread: that is the box's
// own. Moves it when it is a placed one, then takes itself away.
LRESULT CALLBACK boxHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code != HCBT_ACTIVATE)
        return ::CallNextHookEx(g_hook, code, wParam, lParam);
    HWND box = reinterpret_cast<HWND>(wParam);
    ::UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    if (g_request.placed) {
        if (::IsWindowVisible(box))
            placeBox(box);
        else
            g_boxProc = reinterpret_cast<WNDPROC>(
                ::SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(placeWhenShown)));
    }
    if (g_answerer)
        ::SetTimer(box, kAnswerTimer, 0, answerBox);
    return 0;
}

int showBox(const std::string& prompt, int style, const std::string& title, HWND owner, bool placed)
{
    g_request = MsgBoxRequest { prompt, style, title.empty() ? kApplicationTitle : title, placed };
    if (placed || g_answerer)
        g_hook = ::SetWindowsHookExW(WH_CBT, boxHook, nullptr, ::GetCurrentThreadId());
    const int result = ::MessageBoxW(owner, Widen(prompt).c_str(), Widen(g_request.title).c_str(),
        static_cast<UINT>(style));
    // A box that could not be shown never activated: the hook must not
    // move the next window of this thread instead.
    if (g_hook) {
        ::UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
    return result;
}

} // namespace

int PlacedMsgBox(const std::string& prompt, int style, const std::string& title, bool centreOnOwner)
{
    // The owner is this thread's active window: the foreground window may
    // be another program's, which a box must neither disable nor follow.
    g_centreOnOwner = centreOnOwner;
    return showBox(prompt, style, title, ::GetActiveWindow(), true);
}

int SystemMsgBox(const std::string& prompt, int style, const std::string& title, HWND owner)
{
    return showBox(prompt, style, title, owner, false);
}

void SetMsgBoxAnswerer(MsgBoxAnswerer answerer)
{
    g_answerer = std::move(answerer);
}

} // namespace gv
