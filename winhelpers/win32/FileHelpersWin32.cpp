// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileHelpersWin32.h"

#include "MsgBoxWin32.h"
#include "WideText.h"

#include <shellapi.h>

namespace gv {

namespace {

ShellOpener g_opener;

// What the command interpreter reads as a separator or an operator
// outside quotes. Windows names cannot hold a double quote.
constexpr std::string_view kNeedsQuotes = " \t&()[]{}^=;!'+,`";

std::wstring fullPath(const std::wstring& path)
{
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return {};
    std::wstring full(size, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(n < size ? n : 0);
    return full;
}

} // namespace

std::string QuotePathForCommand(const std::string& path)
{
    if (path.find_first_of(kNeedsQuotes) == std::string::npos)
        return path;
    // Backslashes right before a closing quote escape it when a program
    // splits its command line: a folder's "C:\My Dir\" would swallow the
    // quote and run into what follows ("*"). Doubled, they stay backslashes.
    std::size_t trailing = 0;
    while (trailing < path.size() && path[path.size() - 1 - trailing] == '\\')
        ++trailing;
    return '"' + path + std::string(trailing, '\\') + '"';
}

std::string GetShortName(const std::string& path)
{
    // A NUL would cut the name the system sees: that names another file.
    if (path.empty() || path.find('\0') != std::string::npos)
        return {};
    const std::wstring full = fullPath(Widen(path));
    if (full.empty() || ::GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES)
        return {};
    // Asked for the size first: a short form of any length comes back whole.
    const DWORD size = ::GetShortPathNameW(full.c_str(), nullptr, 0);
    std::wstring shortForm;
    if (size > 0) {
        shortForm.assign(size, L'\0');
        const DWORD n = ::GetShortPathNameW(full.c_str(), shortForm.data(), size);
        shortForm.resize(n < size ? n : 0);
    }
    // A volume that keeps no short names gives the long path back (or
    // nothing): it goes into the command line quoted instead.
    return QuotePathForCommand(Narrow(shortForm.empty() ? full : shortForm));
}

void OpenWithShell(const std::string& target, const std::string& params)
{
    if (target.empty())
        return;
    bool opened = false;
    if (g_opener) {
        opened = g_opener(target, params);
    } else {
        const std::wstring wideTarget = Widen(target);
        const std::wstring wideParams = Widen(params);
        const std::wstring folder = Widen(ProgramFolder());
        const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", wideTarget.c_str(),
            wideParams.empty() ? nullptr : wideParams.c_str(), folder.empty() ? nullptr : folder.c_str(),
            SW_SHOWNORMAL));
        opened = result > 32 || result < 0;
    }
    if (!opened)
        SystemMsgBox("Error jumping to:" + target, vbExclamation, "Warning");
}

void SetShellOpener(ShellOpener opener)
{
    g_opener = std::move(opener);
}

void MakeControlFlat(HWND button)
{
    if (!button)
        return;
    // Only the look changes: the button keeps its kind, its tab stop and
    // its place in the dialog order.
    const LONG_PTR style = ::GetWindowLongPtrW(button, GWL_STYLE);
    ::SetWindowLongPtrW(button, GWL_STYLE, style | BS_FLAT | WS_VISIBLE);
    ::SetWindowPos(button, nullptr, 0, 0, 0, 0,
        SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    ::InvalidateRect(button, nullptr, TRUE);
}

std::string ProgramFolder()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const std::size_t slash = buffer.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? std::wstring() : buffer.substr(0, slash));
}

} // namespace gv
