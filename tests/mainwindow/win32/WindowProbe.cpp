// SPDX-License-Identifier: GPL-3.0-or-later
// Drives a running gui-vonk.exe from outside, as a user would, for the end
// to end test (run under the same Wine prefix):
//   probe size                 waits for the main window; prints its size
//   probe identify FILE        File button, FILE typed into the dialog,
//                              Yes to the question; prints the pane's text
//                              once "Lettura completa" shows, and answers it
//   probe close                closes the window and answers the thanks box
// Exits 1 when something does not show up in time.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

std::string narrow(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring textOf(HWND window)
{
    // Sent, not read from memory: the control lives in another process.
    const auto n = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(size_t(n) + 1, L'\0');
    text.resize(size_t(SendMessageW(window, WM_GETTEXT, WPARAM(n + 1), LPARAM(text.data()))));
    return text;
}

template <typename Find>
HWND waitFor(Find find)
{
    const auto until = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < until) {
        if (HWND found = find())
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

HWND mainWindow()
{
    return waitFor([] { return FindWindowW(L"GuiVonkMain", L"VONK Gui"); });
}

// A message box or dialog (#32770) with this title.
HWND box(const wchar_t* title)
{
    return waitFor([title] { return FindWindowW(L"#32770", title); });
}

// A child of the main window by its caption (buttons) or class.
HWND child(HWND parent, const wchar_t* type, const wchar_t* caption)
{
    return FindWindowExW(parent, nullptr, type, caption);
}

int fail(const char* what)
{
    std::fprintf(stderr, "probe: %s\n", what);
    return 1;
}

int size()
{
    HWND form = mainWindow();
    if (!form)
        return fail("no window \"VONK Gui\"");
    // Shown once the start has run.
    if (!waitFor([form] { return IsWindowVisible(form) ? form : nullptr; }))
        return fail("the window never showed");
    RECT r{};
    GetWindowRect(form, &r);
    std::printf("%ld %ld\n", r.right - r.left, r.bottom - r.top);
    return 0;
}

int identify(const std::wstring& file)
{
    HWND form = mainWindow();
    if (!form)
        return fail("no window \"VONK Gui\"");
    HWND button = child(form, L"Button", L"File");
    if (!button)
        return fail("no File button");
    PostMessageW(button, BM_CLICK, 0, 0);
    HWND dialog = box(L"Open a VB file");
    if (!dialog)
        return fail("no file dialog");
    // The name field: the combo box of the explorer dialog, or the plain
    // edit of the older one.
    HWND name = GetDlgItem(dialog, 0x47C);
    if (!name)
        name = GetDlgItem(dialog, 0x480);
    if (!name)
        return fail("no name field in the file dialog");
    SendMessageW(name, WM_SETTEXT, 0, LPARAM(file.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    HWND question = box(L"VONK File Parsing");
    if (!question)
        return fail("no question");
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    HWND done = waitFor([] {
        HWND b = FindWindowW(L"#32770", L"GUI-Vonk");
        return b && FindWindowExW(b, nullptr, L"Static", L"Lettura completa") ? b : nullptr;
    });
    if (!done)
        return fail("no \"Lettura completa\"");
    // The console pane: the one multi-line edit with a horizontal scroll
    // bar (the header's description has none).
    HWND pane = nullptr;
    for (HWND e = child(form, L"Edit", nullptr); e && !pane; e = FindWindowExW(form, e, L"Edit", nullptr)) {
        const LONG_PTR style = GetWindowLongPtrW(e, GWL_STYLE);
        if ((style & ES_MULTILINE) && (style & WS_HSCROLL))
            pane = e;
    }
    if (!pane)
        return fail("no console pane");
    std::printf("command: %s\n%s", narrow(textOf(child(form, L"ComboBox", nullptr))).c_str(),
                narrow(textOf(pane)).c_str());
    PostMessageW(done, WM_COMMAND, IDOK, 0);
    return 0;
}

int close()
{
    HWND form = mainWindow();
    if (!form)
        return fail("no window \"VONK Gui\"");
    PostMessageW(form, WM_CLOSE, 0, 0);
    HWND thanks = box(L"Thanks");
    if (!thanks)
        return fail("no thanks box");
    PostMessageW(thanks, WM_COMMAND, IDOK, 0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"size")
        return size();
    if (command == L"identify" && argc > 2)
        return identify(argv[2]);
    if (command == L"close")
        return close();
    return fail("usage: probe size | identify FILE | close");
}
