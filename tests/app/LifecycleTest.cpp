// The program's life in-process: RunGuiVonk with the real payloads and
// temporary folders, every box answered through the seam.

#include "GuiVonkProgram.h"
#include "Payloads.h"
#include "TempFolder.h"
#include "TerminationSignals.h"
#include "frmDOSOutput.h"

#include "winhelpers/FileHelpers.h"
#include "winhelpers/MsgBox.h"
#include "IdentifierDeployment.h"
#include "InstanceLock.h"
#include "ProgramStart.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using gv::frmDOSOutput;
using gv::testing::exists;
using gv::testing::readFile;
using gv::testing::writeFile;

namespace {

// The start of a 16 x 16 PNG: signature and header chunk.
const char kPngBytes[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0";
const std::string kPngStart(kPngBytes, sizeof kPngBytes - 1);

const QString kThanks = QStringLiteral("Thanks for using.");

struct Box {
    QString prompt;
    int style;
    QString title;
    bool mainWindowVisible;
};

frmDOSOutput* shownMainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<frmDOSOutput*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

class LifecycleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startDeploysTheCarriedFiles();
    void closePaths_data();
    void closePaths();
    void signalsCloseWithoutThanks_data();
    void signalsCloseWithoutThanks();
    void signalEndsARunningIdentification();
    void secondCopyTouchesNothing_data();
    void secondCopyTouchesNothing();
    void readOnlyProgramFolderUsesTheUserFolder();
    void othersFilesInTheProgramFolderStay();
    void nothingWritableIsSaidAndNothingRuns();
    void missingFileAtCloseIsSkipped();
    void undeletableFileAtCloseIsReported();
    void windowDestroyedWithoutCloseStillRemovesTheFiles();
    void thanksBoxWaitsForItsAnswer();

private:
    gv::StartupSettings settings() const;
    // Runs the program; action gets the window once it is shown, and must
    // make it close somehow. A stuck program is ended after a while.
    int runProgram(const std::function<void(frmDOSOutput*)>& action);
    std::string program(const std::string& name) const { return m_program + "/" + name; }
    std::string user(const std::string& name) const { return m_user + "/" + name; }
    QStringList prompts() const;
    void expectCarriedBytesIn(const std::string& folder);

    std::unique_ptr<gv::testing::TempFolder> m_root;
    std::string m_program;
    std::string m_user;
    std::string m_lock;
    std::function<bool(const std::string&)> m_folderCheck;
    QList<Box> m_boxes;
    std::function<void(const gv::MsgBoxRequest&)> m_onBox;
    bool m_actionRan = false;
    int m_onBoxAnswer = int(gv::vbNo);
};

void LifecycleTest::initTestCase()
{
    gv::RegisterIdentifierPayloads();
    gv::TerminationSignals::install();
}

void LifecycleTest::init()
{
    m_root = std::make_unique<gv::testing::TempFolder>();
    m_program = *m_root / "program";
    m_user = *m_root / "user/gui-vonk";
    m_lock = *m_root / "gui-vonk.lock";
    QVERIFY(::mkdir(m_program.c_str(), 0755) == 0);
    m_folderCheck = nullptr;
    m_boxes.clear();
    m_onBox = nullptr;
    m_onBoxAnswer = int(gv::vbNo);
    m_actionRan = false;
    gv::SetMsgBoxAnswerer([this](const gv::MsgBoxRequest& request, QMessageBox*) {
        m_boxes.append({ request.prompt, request.style, request.title, shownMainWindow() != nullptr });
        if (m_onBox)
            m_onBox(request);
        return (request.style & 0x0F) == gv::vbYesNo ? m_onBoxAnswer : int(gv::vbOK);
    });
}

void LifecycleTest::cleanup()
{
    gv::SetMsgBoxAnswerer(nullptr);
    m_root.reset();
}

gv::StartupSettings LifecycleTest::settings() const
{
    gv::StartupSettings s;
    s.lockPath = m_lock;
    s.deploy = true;
    s.programFolder = m_program;
    s.userFolder = m_user;
    s.folderCheck = m_folderCheck;
    return s;
}

int LifecycleTest::runProgram(const std::function<void(frmDOSOutput*)>& action)
{
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (frmDOSOutput* window = shownMainWindow(); window && !m_actionRan) {
            m_actionRan = true;
            poll.stop();
            action(window);
        }
    });
    poll.start();
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] {
        if (frmDOSOutput* window = shownMainWindow())
            window->close();
        QCoreApplication::exit(99);
    });
    watchdog.start(30000);
    return gv::RunGuiVonk(settings());
}

QStringList LifecycleTest::prompts() const
{
    QStringList list;
    for (const Box& box : m_boxes)
        list.append(box.prompt);
    return list;
}

void LifecycleTest::expectCarriedBytesIn(const std::string& folder)
{
    // Byte for byte what the build prepared to carry, the identifier
    // runnable.
    QVERIFY(readFile(folder + "/vonk") == readFile(GV_CARRIED_VONK));
    QVERIFY(readFile(folder + "/VonkDefs.vkd") == readFile(GV_CARRIED_DATABASE));
    QVERIFY(!readFile(GV_CARRIED_VONK).empty());
    QCOMPARE(modeOf(folder + "/vonk"), mode_t(0755));
}

void LifecycleTest::startDeploysTheCarriedFiles()
{
    // Leftovers of an earlier run that ended abnormally are replaced.
    {
        gv::IdentifierDeployment crashed(m_program, m_user);
        QCOMPARE(crashed.Deploy().place, gv::DeploymentPlace::ProgramFolder);
    }
    struct stat stale {};
    QVERIFY(::stat(program("vonk").c_str(), &stale) == 0);

    const int status = runProgram([&](frmDOSOutput* w) {
        expectCarriedBytesIn(m_program);
        struct stat fresh {};
        QVERIFY(::stat(program("vonk").c_str(), &fresh) == 0);
        QVERIFY(fresh.st_ino != stale.st_ino || fresh.st_mtim.tv_sec != stale.st_mtim.tv_sec
            || fresh.st_mtim.tv_nsec != stale.st_mtim.tv_nsec);
        QCOMPARE(w->LabelTOP()->text(),
            QStringLiteral("Vonk-Gui : Gui 4 Vonk  - by Vessandro Version: 1.0.6 by Vessandro"));
        QVERIFY(w->objDOS());
        QCOMPARE(QString::fromStdString(w->objDOS()->WorkingDirectory()), QString::fromStdString(m_program));
        QVERIFY(w->Option1(4)->isChecked());
        QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(w->cmdExit()->isFlat());
        QVERIFY(w->programLife());
        QCOMPARE(w->programLife()->identifierFolder(), m_program);
        w->Label7_Click();
    });
    QCOMPARE(status, 0);
    QVERIFY(!exists(program("vonk")));
    QVERIFY(!exists(program("VonkDefs.vkd")));
    QVERIFY(!exists(program(gv::IdentifierDeployment::kRecordName)));
    QVERIFY(!exists(m_user));
    QCOMPARE(prompts(), QStringList { kThanks });
}

void LifecycleTest::closePaths_data()
{
    QTest::addColumn<QString>("path");
    for (const char* path : { "Label7 click", "Image10 double click", "cmdExit click", "window system close",
             "cmdExit during a run" })
        QTest::newRow(path) << QString::fromLatin1(path);
}

void LifecycleTest::closePaths()
{
    QFETCH(QString, path);
    int unloads = 0;
    bool runnerReleasedFirst = false;
    bool filesThereWhileShown = false;
    const int status = runProgram([&](frmDOSOutput* w) {
        filesThereWhileShown = exists(program("vonk")) && exists(program("VonkDefs.vkd"));
        connect(w, &frmDOSOutput::formUnloaded, w, [&, w] {
            ++unloads;
            runnerReleasedFirst = w->objDOS() == nullptr;
        });
        if (path == QLatin1String("Label7 click")) {
            QTest::mouseClick(w->Label7(), Qt::LeftButton);
        } else if (path == QLatin1String("Image10 double click")) {
            // A single click on the left end does nothing.
            QTest::mouseClick(w->Image(10), Qt::LeftButton);
            QVERIFY(w->isVisible());
            QTest::mouseDClick(w->Image(10), Qt::LeftButton);
        } else if (path == QLatin1String("cmdExit click")) {
            QTest::mouseClick(w->cmdExit(), Qt::LeftButton);
        } else if (path == QLatin1String("window system close")) {
            w->windowHandle()->close();
        } else {
            QSignalSpy finished(w, &frmDOSOutput::runFinished);
            w->txtCommand()->setEditText(QStringLiteral("/bin/sleep 30"));
            w->cmdExecute_Click();
            QVERIFY(w->isRunning());
            QTest::mouseClick(w->cmdExit(), Qt::LeftButton);
            QCOMPARE(finished.count(), 1);
        }
        // A second close request changes nothing.
        w->close();
    });
    QCOMPARE(status, 0);
    QVERIFY(m_actionRan);
    QVERIFY(filesThereWhileShown);
    QCOMPARE(unloads, 1);
    if (path.startsWith(QLatin1String("cmdExit")))
        QVERIFY(runnerReleasedFirst);
    QVERIFY(!exists(program("vonk")));
    QVERIFY(!exists(program("VonkDefs.vkd")));
    // The thanks come once, last, with the window already gone.
    QCOMPARE(prompts(), QStringList { kThanks });
    QCOMPARE(m_boxes.last().title, QStringLiteral("Thanks"));
    QCOMPARE(m_boxes.last().style, 0);
    QVERIFY(!m_boxes.last().mainWindowVisible);
}

void LifecycleTest::signalsCloseWithoutThanks_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void LifecycleTest::signalsCloseWithoutThanks()
{
    QFETCH(int, signalNumber);
    bool wasDeployed = false;
    const int status = runProgram([&](frmDOSOutput*) {
        wasDeployed = exists(program("vonk"));
        ::raise(signalNumber);
    });
    QCOMPARE(status, 0);
    QVERIFY(wasDeployed);
    QVERIFY(!exists(program("vonk")));
    QVERIFY(!exists(program("VonkDefs.vkd")));
    QVERIFY(!shownMainWindow());
    QVERIFY2(m_boxes.isEmpty(), qPrintable(prompts().join(QLatin1Char('|'))));
}

void LifecycleTest::signalEndsARunningIdentification()
{
    QElapsedTimer clock;
    const int status = runProgram([&](frmDOSOutput* w) {
        w->txtCommand()->setEditText(QStringLiteral("/bin/sleep 30"));
        w->cmdExecute_Click();
        QVERIFY(w->isRunning());
        clock.start();
        ::raise(SIGTERM);
    });
    QCOMPARE(status, 0);
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!exists(program("vonk")));
    QVERIFY(m_boxes.isEmpty());
}

void LifecycleTest::secondCopyTouchesNothing_data()
{
    // The first copy's per-user lock, or only its program folder's lock:
    // a copy started with another runtime folder holds a per-user lock
    // elsewhere.
    QTest::addColumn<bool>("folderLock");
    QTest::newRow("same user lock") << false;
    QTest::newRow("same program folder") << true;
}

void LifecycleTest::secondCopyTouchesNothing()
{
    QFETCH(bool, folderLock);
    // The first copy's files, as it left them.
    writeFile(program(gv::IdentifierDeployment::kRecordName), "first copy\n");
    writeFile(program("vonk"), "first copy's identifier");
    writeFile(program("VonkDefs.vkd"), "first copy's database");
    struct stat before {};
    QVERIFY(::stat(program("vonk").c_str(), &before) == 0);

    gv::InstanceLock first(folderLock ? program(gv::IdentifierDeployment::kLockName) : m_lock);
    QVERIFY(first.TryAcquire());
    QVERIFY(first.IsHeld());
    const int status = runProgram([](frmDOSOutput* w) { w->close(); });
    QCOMPARE(status, 0);
    QVERIFY2(!m_actionRan, "the second copy never shows its window");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].prompt, QStringLiteral("VonkGUI risulta avviato"));
    QCOMPARE(m_boxes[0].style, 48);
    QCOMPARE(m_boxes[0].title, QStringLiteral("GUI-Vonk"));

    struct stat after {};
    QVERIFY(::stat(program("vonk").c_str(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(readFile(program("vonk")), std::string("first copy's identifier"));
    QCOMPARE(readFile(program("VonkDefs.vkd")), std::string("first copy's database"));
    QVERIFY(exists(program(gv::IdentifierDeployment::kRecordName)));
    QVERIFY(!exists(m_user));
}

void LifecycleTest::readOnlyProgramFolderUsesTheUserFolder()
{
    // The superuser writes anywhere: the program folder is declared
    // unwritable through the seam.
    m_folderCheck = [this](const std::string& folder) { return folder != m_program; };
    const std::string sample = *m_root / "a sample; $(touch pwned).png";
    writeFile(sample, kPngStart);

    QString output;
    for (int run = 0; run < 2; ++run) {
        m_actionRan = false;
        m_boxes.clear();
        const int status = runProgram([&](frmDOSOutput* w) {
            expectCarriedBytesIn(m_user);
            QVERIFY(!exists(program("vonk")));
            QCOMPARE(QString::fromStdString(w->objDOS()->WorkingDirectory()), QString::fromStdString(m_user));
            QSignalSpy finished(w, &frmDOSOutput::runFinished);
            w->txtCommand()->setEditText(QStringLiteral("cmd /c vonk ") + gv::GetShortName(QString::fromStdString(sample)));
            w->cmdExecute_Click();
            QVERIFY(finished.wait(20000));
            output = w->txtOutputs()->toPlainText();
            w->close();
        });
        QCOMPARE(status, 0);
        QVERIFY2(output.contains(QStringLiteral("PNG image")), qPrintable(output));
        QVERIFY(!exists(*m_root / "pwned"));
        QVERIFY(!exists(user("vonk")));
        QVERIFY(!exists(user("VonkDefs.vkd")));
        if (run == 0) {
            // Told once, plainly, where the identifier went.
            QCOMPARE(m_boxes.size(), 3);
            QVERIFY(m_boxes[0].prompt.contains(QString::fromStdString(m_user)));
            QVERIFY(m_boxes[0].prompt.contains(QString::fromStdString(m_program)));
            QCOMPARE(m_boxes[0].style, int(gv::vbInformation));
        } else {
            QCOMPARE(m_boxes.size(), 2);
        }
        QCOMPARE(m_boxes[m_boxes.size() - 2].prompt, QStringLiteral("Lettura completa"));
        QCOMPARE(m_boxes.last().prompt, kThanks);
    }
}

void LifecycleTest::othersFilesInTheProgramFolderStay()
{
    writeFile(program("vonk"), "an identifier installed with the program");
    const int status = runProgram([&](frmDOSOutput* w) {
        expectCarriedBytesIn(m_user);
        QCOMPARE(w->programLife()->identifierFolder(), m_user);
        w->close();
    });
    QCOMPARE(status, 0);
    QCOMPARE(readFile(program("vonk")), std::string("an identifier installed with the program"));
    QVERIFY(!exists(program("VonkDefs.vkd")));
    QVERIFY(!exists(user("vonk")));
    QCOMPARE(m_boxes.size(), 2);
    QVERIFY(m_boxes[0].prompt.contains(QStringLiteral("restano come sono")));
    QVERIFY(m_boxes[0].prompt.contains(QString::fromStdString(m_user)));
    QCOMPARE(m_boxes[1].prompt, kThanks);
}

void LifecycleTest::nothingWritableIsSaidAndNothingRuns()
{
    // An identifier nobody chose waits in the current folder and on PATH.
    m_folderCheck = [](const std::string&) { return false; };
    const std::string planted = *m_root / "planted";
    const std::string marker = *m_root / "planted ran";
    QVERIFY(::mkdir(planted.c_str(), 0755) == 0);
    writeFile(planted + "/vonk", "#!/bin/sh\ntouch '" + marker + "'\n");
    QVERIFY(::chmod((planted + "/vonk").c_str(), 0755) == 0);
    const std::string sample = *m_root / "sample.png";
    writeFile(sample, kPngStart);
    const QString oldFolder = QDir::currentPath();
    const QByteArray oldPath = qgetenv("PATH");
    QVERIFY(QDir::setCurrent(QString::fromStdString(planted)));
    qputenv("PATH", QByteArray::fromStdString(planted) + ':' + oldPath);
    m_onBoxAnswer = int(gv::vbYes);

    const int status = runProgram([&](frmDOSOutput* w) {
        QVERIFY(w->isEnabled());
        w->txtOutputs()->setPlainText(QStringLiteral("earlier report"));
        // The Enter key, and a drop that is confirmed.
        w->txtCommand()->setEditText(QStringLiteral("cmd /c vonk ") + QString::fromStdString(sample));
        w->cmdExecute_Click();
        QVERIFY(!w->isRunning());
        auto data = std::make_unique<QMimeData>();
        data->setUrls({ QUrl::fromLocalFile(QString::fromStdString(sample)) });
        QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &drop);
        QCoreApplication::processEvents();
        QTest::qWait(300);
        QVERIFY(!w->isRunning());
        QCOMPARE(w->txtOutputs()->toPlainText(), QStringLiteral("earlier report"));
        QTest::mouseClick(w->Label7(), Qt::LeftButton);
    });
    QDir::setCurrent(oldFolder);
    qputenv("PATH", oldPath);
    QCOMPARE(status, 0);
    QVERIFY(!exists(marker));
    const QString notice = QStringLiteral("Vonk non è disponibile (non è stato possibile scriverlo all'avvio): "
                                          "nessuna analisi eseguita.");
    const QStringList seen = prompts();
    QVERIFY2(seen.size() >= 3, qPrintable(seen.join(QLatin1Char('|'))));
    QVERIFY(seen[0].startsWith(QStringLiteral("Impossibile scrivere Vonk")));
    QCOMPARE(m_boxes[0].style, int(gv::vbExclamation));
    QVERIFY(!m_boxes[0].mainWindowVisible);
    QCOMPARE(seen.count(notice), 2);
    QVERIFY(!seen.contains(QStringLiteral("Lettura completa")));
    QCOMPARE(seen.last(), kThanks);
    QVERIFY(!exists(program("vonk")));
    QVERIFY(!exists(user("vonk")));
}

void LifecycleTest::missingFileAtCloseIsSkipped()
{
    const int status = runProgram([&](frmDOSOutput* w) {
        QVERIFY(::unlink(program("vonk").c_str()) == 0);
        w->close();
    });
    QCOMPARE(status, 0);
    QVERIFY(!exists(program("VonkDefs.vkd")));
    QCOMPARE(prompts(), QStringList { kThanks });
}

void LifecycleTest::undeletableFileAtCloseIsReported()
{
    const int status = runProgram([&](frmDOSOutput* w) {
        QVERIFY(::unlink(program("vonk").c_str()) == 0);
        QVERIFY(::mkdir(program("vonk").c_str(), 0755) == 0);
        writeFile(program("vonk/inside"), "x");
        w->close();
    });
    QCOMPARE(status, 0);
    QVERIFY(!exists(program("VonkDefs.vkd")));
    QCOMPARE(m_boxes.size(), 2);
    QVERIFY(m_boxes[0].prompt.startsWith(QStringLiteral("Impossibile eliminare alla chiusura:")));
    QVERIFY(m_boxes[0].prompt.contains(QString::fromStdString(program("vonk"))));
    QCOMPARE(m_boxes[1].prompt, kThanks);
}

void LifecycleTest::windowDestroyedWithoutCloseStillRemovesTheFiles()
{
    {
        frmDOSOutput window;
        window.setProgramLife(std::make_unique<gv::ProgramStart>(settings()));
        window.Form_Load();
        QVERIFY(exists(program("vonk")));
    }
    QVERIFY(!exists(program("vonk")));
    QVERIFY(!exists(program("VonkDefs.vkd")));
    QVERIFY(m_boxes.isEmpty());
    // The lock went with the window.
    gv::InstanceLock next(m_lock);
    QVERIFY(next.TryAcquire());
    QVERIFY(next.IsHeld());
}

void LifecycleTest::thanksBoxWaitsForItsAnswer()
{
    // Without the answerer: the real box, after the event loop has ended,
    // must still wait for its answer (here a click from a timer).
    gv::SetMsgBoxAnswerer(nullptr);
    QString seen;
    bool windowGone = false;
    QTimer answer;
    answer.setInterval(20);
    connect(&answer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        seen = box->windowTitle() + QLatin1Char('|') + box->text();
        windowGone = !shownMainWindow();
        box->button(QMessageBox::Ok)->click();
    });
    answer.start();
    const int status = runProgram([](frmDOSOutput* w) { w->Label7_Click(); });
    QCOMPARE(status, 0);
    QCOMPARE(seen, QStringLiteral("Thanks|Thanks for using."));
    QVERIFY(windowGone);
}

QTEST_MAIN(LifecycleTest)
#include "LifecycleTest.moc"
