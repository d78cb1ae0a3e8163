// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ConsoleRun.h"
#include "MainWindowDesign.h"
#include "ProgramLife.h"
#include "core/RequestFlow.h"

#include <QString>
#include <QWidget>

#include <exception>
#include <memory>
#include <optional>
#include <string>

class QMimeData;

namespace gv {

class TitleDrag;

// The main window: a borderless form that draws its own frame, with the
// header panel, the choice buttons and options, the command field and the
// black console pane. A command line in txtCommand runs through objDOS
// while the window stays responsive; its output streams into txtOutputs.
class frmDOSOutput : public QWidget, public MainWindowDesign, private RequestWindow {
    Q_OBJECT
public:
    explicit frmDOSOutput(QWidget* parent = nullptr);
    ~frmDOSOutput() override;

    // Start sequence: flat buttons (which also shows cmdExecute), the
    // always-on-top state, the placement choices with "Mouse shift"
    // selected. Runs once, before the window is first shown.
    virtual void Form_Load();
    bool isLoaded() const { return m_loaded; }

    // Runs the text of txtCommand. Returns at once: the run goes on in
    // the event loop and runFinished() tells when it has ended and
    // "Lettura completa" has been answered. Ignored while a run lasts.
    void cmdExecute_Click();
    // Ends the running command's process group; the pane keeps what has
    // arrived, the run ends as usual, and a last line says that the user
    // stopped it.
    void cmdStop_Click();
    bool isRunning() const override;

    // Index (0..4) of the selected Option1 member: the placement mode for
    // dialogs and boxes.
    int GetPlacementMode() const;

    // Keeps the frame pieces on the window's edges for any size.
    void Form_Resize();
    // Applies Check2's value: ticked makes the window stay on top.
    void Check2_Click();

    DOSOutputs* objDOS() const;

    // Identification requests: a file or folder picked with a button or
    // dropped on the window or the pane, confirmed, then run through the
    // console. The drag-over handlers take the effects the source allows
    // (1 copy, 2 move, 4 link) and return the one accepted (1 or 0).
    void cmdFile_Click();
    void cmdCartella_Click();
    int Form_OLEDragOver(const QMimeData* Data, int Effect);
    void Form_OLEDragDrop(const QMimeData* Data);
    int txtOutputs_OLEDragOver(const QMimeData* Data, int Effect);
    void txtOutputs_OLEDragDrop(const QMimeData* Data);
    // Remembered by the buttons: the last file's name (no folder) and the
    // last folder; drops leave them alone.
    QString strLastFile() const;
    QString strLastFolder() const;

    // Start and close (StartAndClose.cpp). Without a program life
    // Form_Load neither looks for another running copy nor writes the
    // identifier anywhere; the program always gives one.
    void setProgramLife(std::unique_ptr<ProgramLife> life);
    ProgramLife* programLife() const { return m_life.get(); }
    // Form_Load found another copy running and said so: the program ends
    // at once, having written, removed and thanked for nothing.
    bool startRefused() const { return m_startRefused; }
    // The title label's text: description, version, author.
    static QString titleText();
    // First part of every close, whichever way it came: ends a running
    // identification and removes the deployed identifier and database
    // (a missing one is skipped). Runs once; emits formUnloaded.
    void Form_QueryUnload();
    bool isUnloaded() const { return m_unloaded; }
    // Last part, once the window has gone: the thanks box.
    static void Form_Terminate();
    // A termination signal: the same close, with nobody there to answer a
    // box.
    void closeFromSignal();

    // Frame: close paths, links, About, hot spots.
    void cmdExit_Click();
    void Label7_Click();
    void Image10_DblClick();
    void Label1_DblClick();
    void Label5_Click();
    void Label2_Click(int index);

Q_SIGNALS:
    // A run started by cmdExecute_Click has ended (its last box answered).
    void runFinished();
    // The close sequence's first part has run: the window is going.
    void formUnloaded();

protected:
    // One chunk of the running command's output, in reading order.
    virtual void objDOS_ReceiveOutputs(const QString& CommandOutputs);

    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void onEnterPressed();
    ConsoleRun::Hooks consoleHooks();
    // The one end of every run: the pane, the pointer, the closing boxes.
    void runEnded(ConsoleRun::Ending how, std::exception_ptr error);
    void LabelTOP_MouseMove(QMouseEvent* event);

    // Identification requests (IdentificationRequests.cpp): this window's
    // boxes, dialogs and fields for the rules of RequestFlow.
    void connectRequests();
    bool verbose() const override;
    void notice(const std::string& text) override;
    bool confirm(const std::string& question, const std::string& title) override;
    std::optional<std::string> chooseFile(const std::string& lastFileName) override;
    std::optional<std::string> chooseFolder(const std::string& lastFolder) override;
    void showFile(const std::string& commandForm) override;
    void showFolder(const std::string& commandForm) override;
    void clearItems() override;
    void showDropMode(const std::string& mode) override;
    void runCommand(const std::string& commandLine) override;
    std::string commandForm(const std::string& path) const override;
    RequestFlow m_requests{*this};

    ConsoleRun* m_console = nullptr; // owns objDOS
    bool m_loaded = false;
    TitleDrag* m_titleDrag = nullptr;

    // Start and close (StartAndClose.cpp). The refusals are true when
    // another running copy keeps this one from starting (it has said so).
    bool refuseSecondCopy();
    bool deployIdentifier();
    bool refuseStart();
    bool identifierMissing() const override;
    void connectFrame();
    std::unique_ptr<ProgramLife> m_life;
    bool m_startRefused = false;
    bool m_unloaded = false;
    bool m_quietClose = false;
};
} // namespace gv
