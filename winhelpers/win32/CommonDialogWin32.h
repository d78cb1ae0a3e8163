// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace gv {

// Where every file and folder dialog goes when it opens, for the rest of
// the process (mode 0, no move, until first set). Modes are those of
// PlacementMode; the shift is in pixels. The form passed to a dialog is
// its owner and its reference window.
void SetDialogPlacement(int mode, int shift);
int DialogPlacementMode();
int DialogPlacementShift();

inline constexpr int kOpenDialogFlags = 0x38200C;
inline constexpr int kSaveDialogFlags = 0x28000E;
inline constexpr int kFolderDialogFlags = 1;

// GetOpenFileNameW or GetSaveFileNameW, moved by its hook when the
// placement mode is not 0. On confirm: the chosen full path. On cancel or
// failure: fileName unchanged (so "" only when it was ""). The dialog
// opens in PathFolder(fileName) (the current folder when that is empty)
// with PathFileName(fileName) filled in. filter is a text of
// MakeDialogFilter (NUL-separated pairs) and filterIndex (from 1) picks its
// pair. When flags points to an empty optional, the default for the kind
// of dialog is written back into it.
std::string ShowFileDialog(HWND form, bool open = true, const std::string& title = {},
                           const std::string& fileName = {}, const std::string& filter = {}, int filterIndex = 1,
                           const std::string& defaultExt = {}, std::optional<int>* flags = nullptr);

// SHBrowseForFolderW, moved by its callback, opening with the initial
// folder selected (the current folder when omitted). Returns the chosen
// folder, or on cancel the initial folder, always ending in "\"; an empty
// initial folder cancelled gives "".
std::string BrowseForFolder(HWND form, const std::string& prompt = {},
                            const std::optional<std::string>& initialFolder = std::nullopt,
                            std::optional<int>* flags = nullptr);

// Test seam: with an answerer set, each dialog is still created, shown and
// placed, then handed to the answerer while it is on screen; the answer
// closes it and decides the result instead of a person. An empty answerer
// restores the real dialogs.
enum class DialogKind { Open, Save, Folder };
struct DialogAnswer {
    bool accepted = false;
    std::string path;
};
using DialogAnswerer = std::function<DialogAnswer(DialogKind kind, HWND dialog)>;
void SetDialogAnswerer(DialogAnswerer answerer);

} // namespace gv
