// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace gv {

// Style word of a message box: buttons + icon + modality, added together
// (the MB_ values).
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbSystemModal = 4096,
};

// Number of the pressed button (the ID values).
enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
};

// The application title, shown by boxes that pass no title of their own.
inline constexpr const char* kApplicationTitle = "GUI-Vonk";

// A MessageBoxW moved once, when it is first activated, by a thread-local
// CBT hook: over its owner (the foreground window) when centreOnOwner,
// else centred on the work area. Keeps its size. An empty title gives the
// application title.
int PlacedMsgBox(const std::string& prompt, int style, const std::string& title = {}, bool centreOnOwner = false);

// The same box where the system puts it, for the program's plain boxes.
// owner may be null.
int SystemMsgBox(const std::string& prompt, int style, const std::string& title = {}, HWND owner = nullptr);

// Test seam: with an answerer set, every box is still created and shown
// (and placed), then handed to the answerer while it is on screen; the
// button the answerer returns (1..7) closes the box and is the result.
// Nothing waits for a person. An empty answerer restores the real boxes.
struct MsgBoxRequest {
    std::string prompt;
    int style = 0;
    std::string title; // as shown, after the default title is applied
    bool placed = false;
};
using MsgBoxAnswerer = std::function<int(const MsgBoxRequest& request, HWND box)>;
void SetMsgBoxAnswerer(MsgBoxAnswerer answerer);

} // namespace gv
