// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace gv {

// The form of an existing path to put into an identifier command line:
// its short (8.3) form from GetShortPathNameW. Where the volume keeps no
// short name for it (or the short form is too long for the old buffer),
// the long path in double quotes, so that the command interpreter still
// takes it for one word. "" when nothing by that name exists.
std::string GetShortName(const std::string& path);

// Quotes a path for a "cmd /c" command line when it needs it: blanks or
// the interpreter's special characters put it between double quotes, with
// the backslashes that end it doubled so they do not escape the quote.
std::string QuotePathForCommand(const std::string& path);

// Opens a document, folder, web address or "mailto:" link through
// ShellExecuteW ("open", the program folder as working directory). An empty
// target does nothing. When the shell reports failure, a box says "Error
// jumping to:" followed by the target, titled "Warning".
void OpenWithShell(const std::string& target, const std::string& params = {});

// Test seam: replaces the ShellExecuteW hand-off; the opener returns
// whether the target was opened. An empty opener restores the shell's.
using ShellOpener = std::function<bool(const std::string& target, const std::string& params)>;
void SetShellOpener(ShellOpener opener);

// Gives a push button the flat look (BS_FLAT) and shows it.
void MakeControlFlat(HWND button);

// The folder of the running executable, without a trailing backslash.
std::string ProgramFolder();

} // namespace gv
