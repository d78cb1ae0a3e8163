// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace gv {

// What the identification requests need from a window, whatever draws it:
// its state, its boxes and dialogs, the two item fields and the console.
// Texts are UTF-8; paths and command lines are the file system's bytes.
class RequestWindow {
public:
    virtual ~RequestWindow() = default;

    virtual bool isRunning() const = 0;
    // The identifier could not be written out at start.
    virtual bool identifierMissing() const = 0;
    // The Verbose option is ticked.
    virtual bool verbose() const = 0;

    // The placed, system-modal notice box.
    virtual void notice(const std::string& text) = 0;
    // The placed Yes/No question; true for Yes.
    virtual bool confirm(const std::string& question, const std::string& title) = 0;
    // The file and folder dialogs, opened on the last choice; nothing when
    // the user cancelled.
    virtual std::optional<std::string> chooseFile(const std::string& lastFileName) = 0;
    virtual std::optional<std::string> chooseFolder(const std::string& lastFolder) = 0;

    // txtFile, txtCartella: the command-line form of the item.
    virtual void showFile(const std::string& commandForm) = 0;
    virtual void showFolder(const std::string& commandForm) = 0;
    virtual void clearItems() = 0;
    // lblControl: what a drop would be, "file" or "cartella".
    virtual void showDropMode(const std::string& mode) = 0;

    // Empties the pane, puts the command line into txtCommand and runs it.
    virtual void runCommand(const std::string& commandLine) = 0;

    // The form of an existing item's path that a command line names it by
    // (each platform's own); "" when nothing by that name exists.
    virtual std::string commandForm(const std::string& path) const = 0;
};

// The four ways a user asks for an identification: the File button, the
// Cartella button, a drop on the window and a drop on the console pane.
// Each ends the same way: the item's command-line form goes into txtFile or
// txtCartella, the user confirms, and the console runs the command line.
// Plain C++: every window edition drives the same rules.
class RequestFlow {
public:
    explicit RequestFlow(RequestWindow& window);

    void cmdFile_Click();
    void cmdCartella_Click();

    // A drag over the window carrying firstItem (the first local file, or
    // nothing when the data is not a list of local files) with the effects
    // the source allows (1 copy, 2 move, 4 link). Returns the accepted
    // effect: 1, or 0 when a drop would not be taken.
    int dragOver(const std::optional<std::string>& firstItem, int effect);
    // A drop, once the drag is over: mode is lblControl's text at the drop.
    void dropRequest(const std::string& mode, const std::string& path);

    // Remembered by the buttons: the last file's name (no folder) and the
    // last folder (with its final separator); drops leave them alone.
    const std::string& lastFileName() const { return m_lastFileName; }
    const std::string& lastFolder() const { return m_lastFolder; }

    // When the identifier could not be written out at start, says that no
    // identification can run and returns true.
    bool refuseWithoutIdentifier();

private:
    bool refuseWhileRunning();
    void runRequest(const std::string& target, const std::string& tail);
    std::string fileTail() const;

    RequestWindow& m_window;
    std::string m_lastFileName;
    std::string m_lastFolder;
};

enum class ItemKind { Gone, File, Folder };

// A folder is whatever the system reports as one once links are followed.
ItemKind itemKind(const std::string& path);

} // namespace gv
