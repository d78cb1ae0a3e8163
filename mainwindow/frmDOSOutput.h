#pragma once

#include "ConsolePane.h"
#include "ProgramLife.h"
#include "ConsoleRun.h"

#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QShortcut;

namespace gv {

// Text of the Execute handler's error box: description, " - ", source,
// " - ", number. A std::exception maps to its what() text, the window as
// source and the number of the nearest run-time error (7 for an
// allocation failure, 91 for a missing runner, 5 otherwise).
QString runErrorText(const std::exception& error);

// Command-line text and the bytes the runner gets. File names are bytes,
// not always UTF-8: a byte that is not part of valid UTF-8 travels through
// the text as the lone surrogate U+DC00 + byte, so any name round-trips
// exactly through txtCommand.
QString commandTextFromBytes(std::string_view bytes);
std::string commandBytesFromText(const QString& text);

// The main window: a borderless form that draws its own frame, with the
// header panel, the choice buttons and options, the command field and the
// black console pane. A command line in txtCommand runs through objDOS
// while the window stays responsive; its output streams into txtOutputs.
class frmDOSOutput : public QWidget {
    Q_OBJECT
public:
    explicit frmDOSOutput(QWidget* parent = nullptr);
    ~frmDOSOutput() override;

    // Designed client size in pixels (8790 x 6015 twips).
    static constexpr int DesignWidth = 586;
    static constexpr int DesignHeight = 401;

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
    bool isRunning() const;

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
    const QString& strLastFile() const { return m_strLastFile; }
    const QString& strLastFolder() const { return m_strLastFolder; }

    // Controls, named as designed.
    QFrame* Picture1() const { return m_Picture1; }
    QPlainTextEdit* Text1() const { return m_Text1; }
    QLabel* Label6() const { return m_Label6; }
    QLabel* Image78() const { return m_Image78; }
    QCheckBox* Check2() const { return m_Check2; }
    QCheckBox* Check1() const { return m_Check1; }
    QCheckBox* ckVerbose() const { return m_ckVerbose; }
    QLineEdit* txtCartella() const { return m_txtCartella; }
    QRadioButton* Option1(int index) const;
    QLineEdit* txtFile() const { return m_txtFile; }
    QPushButton* cmdFile() const { return m_cmdFile; }
    QPushButton* cmdCartella() const { return m_cmdCartella; }
    QComboBox* txtCommand() const { return m_txtCommand; }
    QPushButton* cmdExit() const { return m_cmdExit; }
    ConsolePane* txtOutputs() const { return m_txtOutputs; }
    QPushButton* cmdExecute() const { return m_cmdExecute; }
    QPushButton* cmdStop() const { return m_cmdStop; }
    QLabel* Label7() const { return m_Label7; }
    QLabel* LabelTOP() const { return m_LabelTOP; }
    QLabel* Label9() const { return m_Label9; }
    QLabel* Label8() const { return m_Label8; }
    QLabel* Label2(int index) const;
    QLabel* Label5() const { return m_Label5; }
    QLabel* Label1() const { return m_Label1; }
    QLabel* lblControl() const { return m_lblControl; }
    QLabel* Label4() const { return m_Label4; }
    QLabel* Label3() const { return m_Label3; }
    // Frame pieces Image1 .. Image10.
    QLabel* Image(int number) const;

    // Addresses shown by the link labels.
    static QString identifierAuthorMail();
    static QString programAuthorMail();
    static QString distributionHomePage();
    static QString contactPage();

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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildFrame();
    void applyTabOrder();
    void onEnterPressed();
    ConsoleRun::Hooks consoleHooks();
    // The one end of every run: the pane, the pointer, the closing boxes.
    void runEnded(ConsoleRun::Ending how, std::exception_ptr error);
    void LabelTOP_MouseMove(QMouseEvent* event);

    // Identification requests (IdentificationRequests.cpp).
    void connectRequests();
    int dragOver(const QMimeData* data, int effect);
    void dragLeft();
    void dropRequest(const QString& mode, const std::string& path);
    bool refuseWhileRunning();
    bool refuseWithoutIdentifier();
    void runRequest(const QString& target, const QString& tail);
    // Accepts a drop that carries a local file; the drop handlers take it.
    bool acceptDrop(QDropEvent* event);
    QString m_strLastFile;
    QString m_strLastFolder;

    // Owns objDOS.
    ConsoleRun* m_console = nullptr;
    bool m_loaded = false;

    QFrame* m_Picture1 = nullptr;
    QPlainTextEdit* m_Text1 = nullptr;
    QLabel* m_Label6 = nullptr;
    QLabel* m_Image78 = nullptr;
    QCheckBox* m_Check2 = nullptr;
    QCheckBox* m_Check1 = nullptr;
    QCheckBox* m_ckVerbose = nullptr;
    QLineEdit* m_txtCartella = nullptr;
    std::array<QRadioButton*, 5> m_Option1 {};
    QLineEdit* m_txtFile = nullptr;
    QPushButton* m_cmdFile = nullptr;
    QPushButton* m_cmdCartella = nullptr;
    QComboBox* m_txtCommand = nullptr;
    QPushButton* m_cmdExit = nullptr;
    ConsolePane* m_txtOutputs = nullptr;
    QPushButton* m_cmdExecute = nullptr;
    QPushButton* m_cmdStop = nullptr;
    QLabel* m_Label7 = nullptr;
    QLabel* m_LabelTOP = nullptr;
    QLabel* m_Label9 = nullptr;
    QLabel* m_Label8 = nullptr;
    std::array<QLabel*, 5> m_Label2 {};
    QLabel* m_Label5 = nullptr;
    QLabel* m_Label1 = nullptr;
    QLabel* m_lblControl = nullptr;
    QLabel* m_Label4 = nullptr;
    QLabel* m_Label3 = nullptr;
    std::array<QLabel*, 10> m_Image {};

    // A left press on the title that has not started a move yet.
    bool m_movePending = false;
    // Manual move of the window when the system cannot move it itself.
    bool m_dragging = false;
    QPoint m_dragOffset;

    // Start and close (StartAndClose.cpp).
    // Both true when another running copy keeps this one from starting
    // (it has said so).
    bool refuseSecondCopy();
    bool deployIdentifier();
    bool refuseStart();
    bool identifierMissing() const;
    void connectFrame();
    std::unique_ptr<ProgramLife> m_life;
    bool m_startRefused = false;
    bool m_unloaded = false;
    bool m_quietClose = false;
};

} // namespace gv
