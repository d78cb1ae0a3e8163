// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PathFunctions.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

namespace gv {

// Where every file and folder dialog goes when it opens, for the rest of
// the process (mode 0, no move, until first set). Modes are those of
// PlacementMode; the shift is in pixels. The form passed to a dialog is
// its reference window.
void SetDialogPlacement(int mode, int shift);
int DialogPlacementMode();
int DialogPlacementShift();

// Default flag words, kept for callers that pass them around; only the
// bits with a meaning here are read (see ShowFileDialog).
inline constexpr int kOpenDialogFlags = 0x38200C;
inline constexpr int kSaveDialogFlags = 0x28000E;
inline constexpr int kFolderDialogFlags = 1;
inline constexpr int kOfnOverwritePrompt = 0x2;
inline constexpr int kOfnNoDereferenceLinks = 0x100000;

// Open or save dialog. On confirm: the chosen full path, whole. On cancel:
// fileName unchanged (so "" only when it was ""). The dialog opens in
// PathFolder(fileName) (the current folder when that is empty) with
// PathFileName(fileName) filled in. filter is a text of MakeDialogFilter
// and filterIndex (from 1) picks its pair; defaultExt is added to a typed
// name without one when nothing of the name as typed exists. When flags points to an empty optional, the default
// for the kind of dialog is written back into it.
QString ShowFileDialog(QWidget* form, bool open = true, const QString& title = {}, const QString& fileName = {},
                       const QString& filter = {}, int filterIndex = 1, const QString& defaultExt = {},
                       std::optional<int>* flags = nullptr);

// Folder dialog opening with the initial folder selected (the current
// folder when omitted). Returns the chosen folder, or on cancel the initial
// folder, always ending in "/"; an empty initial folder cancelled gives "".
// prompt is shown as the dialog's title.
QString BrowseForFolder(QWidget* form, const QString& prompt = {},
                        const std::optional<QString>& initialFolder = std::nullopt,
                        std::optional<int>* flags = nullptr);

// Test seam: with an answerer set, each dialog is built, shown (not
// modally) and placed as usual, then handed to the answerer, which decides
// instead of a person: accepted with the chosen path, or rejected. The
// dialog is still open and already in place when the answerer runs, so its
// geometry, folder, selection and filters can be checked. An empty answerer
// restores the modal dialogs.
struct DialogAnswer {
    bool accepted = false;
    QString path;
};
using DialogAnswerer = std::function<DialogAnswer(QFileDialog* dialog)>;
void SetDialogAnswerer(DialogAnswerer answerer);

// The path functions over Qt text (UTF-8 underneath).
QString TrimAtNull(const QString& text);
QString AddTrailingBackslash(const QString& path);
QString PathFolder(const QString& path);
QString PathFileName(const QString& path);
QString MakeDialogFilter(const QString& filter, const QString& description,
                         const QString& pattern = QStringLiteral("*.*"));
QStringList NameFiltersFromDialogFilter(const QString& filter);

} // namespace gv
