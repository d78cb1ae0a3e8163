#pragma once

#include <QString>
#include <functional>

class QAbstractButton;

namespace gv {

// The form of an existing path to put into an identifier command line:
// absolute, with every character that the runner's word splitting treats
// specially escaped by a backslash, so the name stays one word and names
// exactly that file (EscapedAbsolutePath, in Qt text). "" when nothing by
// that name exists (a dangling link exists). Names that are not valid UTF-8
// cannot travel in Qt text: use EscapedAbsolutePath() on the raw bytes.
QString GetShortName(const QString& path);

// Opens a document, folder, web address or "mailto:" link with the
// desktop's default handler. An empty target does nothing. When the desktop
// cannot open it, a box says "Error jumping to:" followed by the target,
// titled "Warning". With params, an executable target is started with them
// as its arguments.
void OpenWithShell(const QString& target, const QString& params = {});

// Test seam: replaces the desktop hand-off of OpenWithShell. The opener
// returns whether the target was opened. An empty opener restores the
// desktop's.
using ShellOpener = std::function<bool(const QString& target, const QString& params)>;
void SetShellOpener(ShellOpener opener);

// Draws the button flat, as a thin frame that lights up under the pointer
// and carries a focus mark, and shows it (also when it was hidden before).
void MakeControlFlat(QAbstractButton* button);

} // namespace gv
