// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace gv {

// Style word of a message box: buttons + icon + modality, added together.
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

// Number of the pressed button.
enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
};

// A box moved once when first shown: over its owner (the active window)
// when centreOnOwner, else centred on the work area. Keeps its size. An
// empty title gives "GUI-Vonk".
int PlacedMsgBox(const QString& prompt, int style, const QString& title = {}, bool centreOnOwner = false);

// The same box without the move, for the program's plain system boxes.
int SystemMsgBox(const QString& prompt, int style, const QString& title = {});

// Test seam: every box of the program is built in one place. When an
// answerer is set, each box is built and shown as usual, then handed to the
// answerer, whose return value (1..7) is the pressed button; nothing waits
// for a person. The box is still on screen (and already moved) when the
// answerer runs, so its geometry can be checked.
struct MsgBoxRequest {
    QString prompt;
    int style = 0;
    QString title; // as shown, after the default title is applied
    bool placed = false;
};
using MsgBoxAnswerer = std::function<int(const MsgBoxRequest&, QMessageBox* box)>;
void SetMsgBoxAnswerer(MsgBoxAnswerer answerer);

} // namespace gv
