// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommonDialogWin32.h"

#include "PlaceWindow.h"
#include "WideText.h"
#include "winhelpers/core/PathFunctions.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

namespace gv {

namespace {

constexpr UINT_PTR kAnswerTimer = 0x6757;
constexpr std::size_t kPathBuffer = 32768;

int g_mode = 0;
int g_shift = 0;
HWND g_owner = nullptr;
DialogAnswerer g_answerer;

// The dialog on screen now (one at a time: they are modal), what the
// answerer decided for it and whether it has been placed.
struct Current {
    DialogKind kind = DialogKind::Open;
    bool placed = false;
    bool answered = false;
    DialogAnswer answer;
};
Current g_current;

void CALLBACK answerDialog(HWND dialog, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(dialog, id);
    if (!g_answerer)
        return;
    g_current.answer = g_answerer(g_current.kind, dialog);
    g_current.answered = true;
    // Closed as a cancel; the result is the answer's, not the dialog's.
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// The dialog has its size now: moved once, then handed to the answerer.
void dialogReady(HWND dialog)
{
    if (g_current.placed)
        return;
    g_current.placed = true;
    PlaceWindow(dialog, g_owner, g_mode, g_shift);
    if (g_answerer)
        ::SetTimer(dialog, kAnswerTimer, 0, answerDialog);
}

// An explorer-style hook runs for a child of the real dialog.
UINT_PTR CALLBACK fileDialogHook(HWND child, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE)
        dialogReady(::GetParent(child));
    return 0;
}

int CALLBACK folderDialogCallback(HWND dialog, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED) {
        if (data)
            ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
        dialogReady(dialog);
    }
    return 0;
}

std::string currentFolder()
{
    std::wstring buffer(kPathBuffer, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    buffer.resize(n < buffer.size() ? n : 0);
    return Narrow(buffer);
}

} // namespace

void SetDialogPlacement(int mode, int shift)
{
    g_mode = mode;
    g_shift = shift;
}

int DialogPlacementMode() { return g_mode; }
int DialogPlacementShift() { return g_shift; }

void SetDialogAnswerer(DialogAnswerer answerer)
{
    g_answerer = std::move(answerer);
}

std::string ShowFileDialog(HWND form, bool open, const std::string& title, const std::string& fileName,
                           const std::string& filter, int filterIndex, const std::string& defaultExt,
                           std::optional<int>* flags)
{
    if (flags && !flags->has_value())
        *flags = open ? kOpenDialogFlags : kSaveDialogFlags;
    const int flagWord = flags ? **flags : (open ? kOpenDialogFlags : kSaveDialogFlags);

    std::vector<wchar_t> file(kPathBuffer, L'\0');
    const std::wstring name = Widen(PathFileName(fileName));
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(std::min(name.size(), file.size() - 1)),
        file.begin());
    std::vector<wchar_t> fileTitle(kPathBuffer, L'\0');
    std::wstring folder = Widen(PathFolder(fileName));
    if (folder.empty())
        folder = Widen(currentFolder());
    // The filter text ends in NUL; the terminator makes the second one.
    const std::wstring filterText = Widen(filter);
    const std::wstring titleText = Widen(title);
    const std::wstring extension = Widen(defaultExt);

    OPENFILENAMEW ofn {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = form;
    ofn.hInstance = ::GetModuleHandleW(nullptr);
    ofn.lpstrFilter = filterText.empty() ? nullptr : filterText.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(filterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrFileTitle = fileTitle.data();
    ofn.nMaxFileTitle = static_cast<DWORD>(fileTitle.size());
    ofn.lpstrInitialDir = folder.c_str();
    ofn.lpstrTitle = titleText.empty() ? nullptr : titleText.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags = static_cast<DWORD>(flagWord);
    if (g_mode != 0 || g_answerer) {
        ofn.Flags |= OFN_ENABLEHOOK | OFN_EXPLORER;
        ofn.lpfnHook = fileDialogHook;
    }

    g_owner = form;
    g_current = Current {};
    g_current.kind = open ? DialogKind::Open : DialogKind::Save;
    const BOOL confirmed = open ? ::GetOpenFileNameW(&ofn) : ::GetSaveFileNameW(&ofn);
    if (g_current.answered)
        return g_current.answer.accepted ? g_current.answer.path : fileName;
    if (!confirmed)
        return fileName;
    return Narrow(std::wstring(file.data()));
}

std::string BrowseForFolder(HWND form, const std::string& prompt, const std::optional<std::string>& initialFolder,
                            std::optional<int>* flags)
{
    if (flags && !flags->has_value())
        *flags = kFolderDialogFlags;
    const int flagWord = flags ? **flags : kFolderDialogFlags;
    const std::string initial = initialFolder ? *initialFolder : currentFolder();

    const std::wstring promptText = Widen(prompt);
    const std::wstring start = Widen(initial);
    BROWSEINFOW bi {};
    bi.hwndOwner = form;
    bi.lpszTitle = promptText.empty() ? nullptr : promptText.c_str();
    bi.ulFlags = static_cast<UINT>(flagWord);
    bi.lpfn = folderDialogCallback;
    bi.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());

    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    g_owner = form;
    g_current = Current {};
    g_current.kind = DialogKind::Folder;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&bi);
    std::string result;
    bool picked = false;
    if (chosen) {
        std::wstring path(kPathBuffer, L'\0');
        if (::SHGetPathFromIDListW(chosen, path.data())) {
            path.resize(path.find(L'\0'));
            result = Narrow(path);
            picked = true;
        }
        ::CoTaskMemFree(chosen);
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    if (g_current.answered) {
        picked = g_current.answer.accepted;
        result = g_current.answer.path;
    }
    return AddTrailingBackslash(picked ? result : initial);
}

} // namespace gv
