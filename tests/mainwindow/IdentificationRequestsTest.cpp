// The identification requests of the main window: both buttons, drops on
// the window and on the pane. Every box and dialog is answered through the
// seams; the identifier is a stand-in script in the run's working folder
// that records the argument words it received, byte for byte.

#include "RequestTestSupport.h"

#include "CommandText.h"
#include "frmDOSOutput.h"
#include "winhelpers/FileHelpers.h"
#include "runner/CommandLineWords.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/stat.h>

using gv::frmDOSOutput;
using namespace reqtest;

namespace {

const QString kStart = QStringLiteral("cmd /c vonk ");
// A file request names its file literally, so wildcard characters in its
// name never make it a pattern.
const QString kLiteral = QStringLiteral(" --literal");
const QString kFileQuestion = QStringLiteral("eseguire il parsing del FILE selezionato ?");
const QString kFolderQuestion = QStringLiteral("eseguire il parsing della cartella selezionata ?");
const QString kFileNo = QStringLiteral("Parsing del file annullato dall'utente");
const QString kFolderNo = QStringLiteral("Parsing dei files annullato dall'utente");
const QString kGone = QStringLiteral("L'elemento scelto non esiste più: nessuna analisi eseguita.");
const QString kDone = QStringLiteral("Lettura completa");

// Records its argument words NUL-separated in args.bin; waits while a
// file named "slow" is in its folder, so a run can be caught in progress.
const char* kFakeVonk = "#!/bin/sh\n"
                        ": > args.bin\n"
                        "for a in \"$@\"; do printf '%s\\0' \"$a\" >> args.bin; done\n"
                        "echo \"stand-in identifier: $# words\"\n"
                        "if [ -e slow ]; then sleep 20; fi\n";

} // namespace

class IdentificationRequestsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void commandTextKeepsEveryByte_data();
    void commandTextKeepsEveryByte();
    void commandTextRandomBytesRoundTrip();

    void fileButton_data();
    void fileButton();
    void fileButtonCancelledFirst();
    void fileCancelAfterEarlierChoiceUsesRememberedName_data();
    void fileCancelAfterEarlierChoiceUsesRememberedName();
    void folderButton_data();
    void folderButton();
    void folderButtonCancelled();
    void folderDialogStartsAtLastFilesFolder();
    void dialogsFollowThePlacementChoice();

    void drops_data();
    void drops();
    void folderButtonAndFolderDropGiveTheSameTarget();
    void onlyTheFirstDroppedItemCounts();
    void refusedDrags_data();
    void refusedDrags();
    void dragAwayEmptiesBothFields_data();
    void dragAwayEmptiesBothFields();
    void folderRecognisedWhateverItsOtherBits_data();
    void folderRecognisedWhateverItsOtherBits();
    void dropsLeaveTheRememberedTextsAndDialogsAlone();
    void itemGoneBeforeTheAnswerRunsNothing();
    void awkwardNamesReachTheIdentifierAsThemselves();
    void noRequestWhileARunLasts();
    void buttonsAreConnected();

private:
    QString dataPath(const QString& name) const { return m_data.path() + QLatin1Char('/') + name; }
    QString makeFile(const QString& name, const QByteArray& content = "content\n");
    QString makeFolder(const QString& name);
    // The argument words the stand-in identifier received in the last run.
    QList<QByteArray> lastWords() const;
    QWidget* dropTarget(bool pane) const { return pane ? m_w->txtOutputs()->viewport() : m_w.get(); }
    void setUpBeforeAnswer();

    std::unique_ptr<Seams> m_seams;
    std::unique_ptr<frmDOSOutput> m_w;
    QTemporaryDir m_work;
    QTemporaryDir m_data;
};

void IdentificationRequestsTest::init()
{
    QVERIFY(m_work.isValid() && m_data.isValid());
    QFile fake(m_work.filePath(QStringLiteral("vonk")));
    QVERIFY(fake.open(QIODevice::WriteOnly));
    fake.write(kFakeVonk);
    fake.close();
    fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(m_work.filePath(QStringLiteral("args.bin")));
    QFile::remove(m_work.filePath(QStringLiteral("slow")));

    m_seams = std::make_unique<Seams>();
    m_w = std::make_unique<frmDOSOutput>();
    m_w->objDOS()->setWorkingDirectory(m_work.path().toStdString());
    m_w->Option1(4)->setChecked(true);
}

void IdentificationRequestsTest::cleanup()
{
    m_w.reset();
    m_seams.reset();
    emptyFolder(bytesOf(m_data.path()));
}

QString IdentificationRequestsTest::makeFile(const QString& name, const QByteArray& content)
{
    QFile file(dataPath(name));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(content);
    return file.fileName();
}

QString IdentificationRequestsTest::makeFolder(const QString& name)
{
    QDir().mkpath(dataPath(name));
    return dataPath(name);
}

QList<QByteArray> IdentificationRequestsTest::lastWords() const
{
    QFile file(m_work.filePath(QStringLiteral("args.bin")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> words = file.readAll().split('\0');
    if (!words.isEmpty() && words.back().isEmpty())
        words.removeLast();
    return words;
}

// Text a previous run left, so what a No or a cancel keeps can be seen.
void IdentificationRequestsTest::setUpBeforeAnswer()
{
    m_w->txtOutputs()->setConsoleText(QStringLiteral("previous report\n"));
    m_w->txtCommand()->setEditText(QStringLiteral("cmd /c vonk previous"));
}

void IdentificationRequestsTest::commandTextKeepsEveryByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("escaped"); // bytes that must travel escaped

    QTest::newRow("plain") << QByteArray("cmd /c vonk /tmp/a.txt -v") << 0;
    QTest::newRow("utf-8 accents") << QByteArray("/tmp/città più.txt") << 0;
    QTest::newRow("four-byte character") << QByteArray("/tmp/\xF0\x9F\x98\x80.png") << 0;
    QTest::newRow("latin-1 bytes") << QByteArray("/tmp/citt\xE0 \xFF") << 2;
    QTest::newRow("stray continuation") << QByteArray("a\x80" "b") << 1;
    QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF" "b") << 2;
    QTest::newRow("encoded surrogate") << QByteArray("a\xED\xB3\xBF" "b") << 3;
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 4;
    QTest::newRow("cut sequence at end") << QByteArray("abc\xE2\x82") << 2;
    QTest::newRow("lead byte F5") << QByteArray("\xF5z") << 1;
    QTest::newRow("escaped newline") << QByteArray("/tmp/new\\\nline") << 0;
}

void IdentificationRequestsTest::commandTextKeepsEveryByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, escaped);
    const QString text = gv::commandTextFromBytes(bytes.toStdString());
    int lone = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && (i == 0 || !text[i - 1].isHighSurrogate()))
            ++lone;
    }
    QCOMPARE(lone, escaped);
    if (escaped == 0)
        QCOMPARE(text, QString::fromUtf8(bytes));
    QCOMPARE(QByteArray::fromStdString(gv::commandBytesFromText(text)), bytes);
    // The command field keeps such text as it is.
    QComboBox field;
    field.setEditable(true);
    field.setEditText(text);
    QCOMPARE(QByteArray::fromStdString(gv::commandBytesFromText(field.currentText())), bytes);
}

void IdentificationRequestsTest::commandTextRandomBytesRoundTrip()
{
    QRandomGenerator random(20240611);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random.bounded(1, 40), '\0');
        for (char& c : bytes) {
            // Bias towards the bytes that start and continue sequences.
            const quint32 pick = random.bounded(4);
            c = char(pick == 0 ? random.bounded(1, 128) : random.bounded(0x80, 0x100));
        }
        const std::string back = gv::commandBytesFromText(gv::commandTextFromBytes(bytes));
        QVERIFY2(back == bytes, QByteArray::fromStdString(bytes).toHex().constData());
    }
}

void IdentificationRequestsTest::fileButton_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("verbose");
    QTest::newRow("yes") << int(gv::vbYes) << false;
    QTest::newRow("yes, verbose") << int(gv::vbYes) << true;
    QTest::newRow("no") << int(gv::vbNo) << false;
    QTest::newRow("no, verbose") << int(gv::vbNo) << true;
}

void IdentificationRequestsTest::fileButton()
{
    QFETCH(int, answer);
    QFETCH(bool, verbose);
    const QString file = makeFile(QStringLiteral("lettera finale.doc"));
    const QString shortForm = gv::GetShortName(file);
    QVERIFY(!shortForm.isEmpty());
    setUpBeforeAnswer();
    m_w->txtCartella()->setText(QStringLiteral("untouched"));
    m_w->ckVerbose()->setChecked(verbose);
    m_seams->confirm = answer;
    m_seams->choose(file);

    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->cmdFile_Click();

    QCOMPARE(m_seams->dialogs.size(), 1);
    QCOMPARE(m_seams->dialogs[0].title, QStringLiteral("Open a VB file"));
    QVERIFY(!m_seams->dialogs[0].folders);
    QCOMPARE(m_w->strLastFile(), QStringLiteral("lettera finale.doc"));
    QCOMPARE(m_w->strLastFolder(), m_data.path() + QLatin1Char('/'));
    QCOMPARE(m_w->txtFile()->text(), shortForm);
    QCOMPARE(m_w->txtCartella()->text(), QStringLiteral("untouched"));

    QVERIFY(!m_seams->boxes.isEmpty());
    const Box question = m_seams->boxes[0];
    QCOMPARE(question.prompt, kFileQuestion);
    QCOMPARE(question.title, QStringLiteral("VONK File Parsing"));
    QCOMPARE(question.style, 4164);
    QVERIFY(!question.placed);

    if (answer == gv::vbNo) {
        QCOMPARE(m_seams->prompts(), QStringList({ kFileQuestion, kFileNo }));
        const Box notice = m_seams->boxes[1];
        QCOMPARE(notice.style, 4096);
        QVERIFY(notice.placed);
        QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
        QCOMPARE(m_w->txtOutputs()->toPlainText(), QStringLiteral("previous report\n"));
        QVERIFY(finished.isEmpty());
        QVERIFY(lastWords().isEmpty());
        return;
    }
    const QString expected = kStart + shortForm + kLiteral + (verbose ? QStringLiteral(" -v") : QString());
    QCOMPARE(m_w->txtCommand()->currentText(), expected);
    QVERIFY(!m_w->txtOutputs()->toPlainText().contains(QStringLiteral("previous")));
    QVERIFY(waitForRun(finished));
    QCOMPARE(m_seams->prompts(), QStringList({ kFileQuestion, kDone }));
    QList<QByteArray> words { file.toUtf8(), "--literal" };
    if (verbose)
        words.append("-v");
    QCOMPARE(lastWords(), words);
    QVERIFY(m_w->txtOutputs()->toPlainText().startsWith(QStringLiteral("stand-in identifier")));
}

void IdentificationRequestsTest::fileButtonCancelledFirst()
{
    setUpBeforeAnswer();
    m_w->txtFile()->setText(QStringLiteral("kept"));
    m_seams->cancel();
    m_w->cmdFile_Click();
    QCOMPARE(m_seams->prompts(), QStringList({ QStringLiteral("Operazione annullata") }));
    QCOMPARE(m_seams->boxes[0].style, 4096);
    QVERIFY(m_seams->boxes[0].placed);
    QCOMPARE(m_w->txtFile()->text(), QStringLiteral("kept"));
    QVERIFY(m_w->strLastFile().isEmpty());
    QVERIFY(m_w->strLastFolder().isEmpty());
    QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), QStringLiteral("previous report\n"));
}

void IdentificationRequestsTest::fileCancelAfterEarlierChoiceUsesRememberedName_data()
{
    QTest::addColumn<bool>("presentInCurrentFolder");
    QTest::newRow("same name in the current folder") << true;
    QTest::newRow("no such name in the current folder") << false;
}

void IdentificationRequestsTest::fileCancelAfterEarlierChoiceUsesRememberedName()
{
    QFETCH(bool, presentInCurrentFolder);
    const QString file = makeFile(QStringLiteral("scelto.bin"));
    m_seams->confirm = gv::vbNo;
    m_seams->choose(file);
    m_w->cmdFile_Click();
    QCOMPARE(m_w->strLastFile(), QStringLiteral("scelto.bin"));

    // Cancel gives back the remembered name alone, looked up in the
    // current folder of the program.
    QTemporaryDir current;
    if (presentInCurrentFolder) {
        QFile there(current.filePath(QStringLiteral("scelto.bin")));
        QVERIFY(there.open(QIODevice::WriteOnly));
    }
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(current.path()));
    m_seams->boxes.clear();
    m_seams->confirm = gv::vbYes;
    m_seams->cancel();
    setUpBeforeAnswer();
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->cmdFile_Click();
    QDir::setCurrent(before);

    QCOMPARE(m_seams->dialogs.size(), 2);
    QCOMPARE(m_seams->dialogs[1].selected.value(0).section(QLatin1Char('/'), -1), QStringLiteral("scelto.bin"));
    QCOMPARE(m_w->strLastFile(), QStringLiteral("scelto.bin"));
    QVERIFY(m_w->strLastFolder().isEmpty());
    QCOMPARE(m_seams->prompts().value(0), kFileQuestion);
    if (presentInCurrentFolder) {
        const QString shortForm = QString::fromStdString(gv::quoteCommandWord(current.filePath(QStringLiteral("scelto.bin")).toStdString()));
        QCOMPARE(m_w->txtFile()->text(), shortForm);
        QCOMPARE(m_w->txtCommand()->currentText(), kStart + shortForm + kLiteral);
        QVERIFY(waitForRun(finished));
        QCOMPARE(lastWords(), QList<QByteArray>({ current.filePath(QStringLiteral("scelto.bin")).toUtf8(), "--literal" }));
    } else {
        // No such file: the identifier is not let loose on its own folder.
        QVERIFY(m_w->txtFile()->text().isEmpty());
        QCOMPARE(m_seams->prompts(), QStringList({ kFileQuestion, kGone }));
        QVERIFY(m_seams->boxes[1].placed);
        QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
        QCOMPARE(m_w->txtOutputs()->toPlainText(), QStringLiteral("previous report\n"));
        QVERIFY(!finished.wait(300));
        QVERIFY(lastWords().isEmpty());
    }
}

void IdentificationRequestsTest::folderButton_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("verbose");
    QTest::newRow("yes") << int(gv::vbYes) << false;
    QTest::newRow("yes, verbose is not read") << int(gv::vbYes) << true;
    QTest::newRow("no") << int(gv::vbNo) << false;
}

void IdentificationRequestsTest::folderButton()
{
    QFETCH(int, answer);
    QFETCH(bool, verbose);
    const QString folder = makeFolder(QStringLiteral("Program Files"));
    setUpBeforeAnswer();
    m_w->txtFile()->setText(QStringLiteral("untouched"));
    m_w->ckVerbose()->setChecked(verbose);
    m_seams->confirm = answer;
    m_seams->choose(folder);

    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->cmdCartella_Click();

    QCOMPARE(m_seams->dialogs.size(), 1);
    QVERIFY(m_seams->dialogs[0].folders);
    QCOMPARE(m_seams->dialogs[0].title, QStringLiteral("Directories"));
    QCOMPARE(m_w->strLastFolder(), folder + QLatin1Char('/'));
    QVERIFY(m_w->strLastFile().isEmpty());
    const QString shortForm = gv::GetShortName(folder + QLatin1Char('/'));
    QVERIFY(shortForm.endsWith(QLatin1Char('/')));
    QCOMPARE(m_w->txtCartella()->text(), shortForm);
    QCOMPARE(m_w->txtFile()->text(), QStringLiteral("untouched"));
    QCOMPARE(m_seams->boxes.value(0).prompt, kFolderQuestion);
    QCOMPARE(m_seams->boxes.value(0).title, QStringLiteral("VONK Folder Parsing"));
    QCOMPARE(m_seams->boxes.value(0).style, 4164);

    if (answer == gv::vbNo) {
        QCOMPARE(m_seams->prompts(), QStringList({ kFolderQuestion, kFolderNo }));
        QVERIFY(m_seams->boxes[1].placed);
        QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
        QCOMPARE(m_w->txtOutputs()->toPlainText(), QStringLiteral("previous report\n"));
        QVERIFY(finished.isEmpty());
        return;
    }
    QCOMPARE(m_w->txtCommand()->currentText(), kStart + shortForm + QLatin1Char('*'));
    QVERIFY(waitForRun(finished));
    QCOMPARE(lastWords(), QList<QByteArray>({ (folder + QStringLiteral("/*")).toUtf8() }));
}

void IdentificationRequestsTest::folderButtonCancelled()
{
    // First use: nothing to fall back on.
    setUpBeforeAnswer();
    m_seams->cancel();
    m_w->cmdCartella_Click();
    QCOMPARE(m_seams->prompts(), QStringList({ QStringLiteral("Operazione annullata dall'utente") }));
    QVERIFY(m_seams->boxes[0].placed);
    QVERIFY(m_w->strLastFolder().isEmpty());
    QVERIFY(m_w->txtCartella()->text().isEmpty());

    // After a choice, cancel goes on with the remembered folder.
    const QString folder = makeFolder(QStringLiteral("dati"));
    m_seams->confirm = gv::vbNo;
    m_seams->choose(folder);
    m_w->cmdCartella_Click();
    m_w->txtCartella()->clear();
    m_seams->boxes.clear();
    m_seams->cancel();
    m_w->cmdCartella_Click();
    QCOMPARE(m_seams->prompts(), QStringList({ kFolderQuestion, kFolderNo }));
    QCOMPARE(m_w->strLastFolder(), folder + QLatin1Char('/'));
    QCOMPARE(m_w->txtCartella()->text(), gv::GetShortName(folder + QLatin1Char('/')));
}

void IdentificationRequestsTest::folderDialogStartsAtLastFilesFolder()
{
    const QString folder = makeFolder(QStringLiteral("archivio"));
    const QString file = makeFile(QStringLiteral("archivio/foto.png"));
    m_seams->confirm = gv::vbNo;
    m_seams->choose(file);
    m_w->cmdFile_Click();
    QCOMPARE(m_w->strLastFolder(), folder + QLatin1Char('/'));

    m_seams->cancel();
    m_w->cmdCartella_Click();
    QCOMPARE(m_seams->dialogs.size(), 2);
    const SeenDialog& dialog = m_seams->dialogs[1];
    QCOMPARE(dialog.directory, m_data.path());
    QCOMPARE(dialog.selected.value(0), folder);
    // The file dialog gets the remembered name alone, so it opens on that
    // name in the current folder.
    m_seams->cancel();
    m_w->cmdFile_Click();
    QCOMPARE(m_seams->dialogs[2].directory, QDir::currentPath());
    QCOMPARE(m_seams->dialogs[2].selected.value(0).section(QLatin1Char('/'), -1), QStringLiteral("foto.png"));
}

void IdentificationRequestsTest::dialogsFollowThePlacementChoice()
{
    for (const int mode : { 4, 2, 0 }) {
        m_w->Option1(mode)->setChecked(true);
        gv::SetDialogPlacement(-1, -1);
        m_seams->cancel();
        m_w->cmdFile_Click();
        QCOMPARE(gv::DialogPlacementMode(), mode);
        QCOMPARE(gv::DialogPlacementShift(), 30);
        gv::SetDialogPlacement(-1, -1);
        m_seams->cancel();
        m_w->cmdCartella_Click();
        QCOMPARE(gv::DialogPlacementMode(), mode);
        QCOMPARE(gv::DialogPlacementShift(), 30);
    }
    // The notices are centred on the window whatever the choice.
    for (const Box& box : m_seams->boxes)
        QVERIFY(box.placed);
}

void IdentificationRequestsTest::drops_data()
{
    QTest::addColumn<bool>("pane");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("verbose");
    for (const bool pane : { false, true }) {
        const char* where = pane ? "pane" : "window";
        QTest::addRow("%s: file, yes", where) << pane << false << int(gv::vbYes) << false;
        QTest::addRow("%s: file, yes, verbose", where) << pane << false << int(gv::vbYes) << true;
        QTest::addRow("%s: file, no", where) << pane << false << int(gv::vbNo) << false;
        QTest::addRow("%s: folder, yes, verbose not read", where) << pane << true << int(gv::vbYes) << true;
        QTest::addRow("%s: folder, no", where) << pane << true << int(gv::vbNo) << false;
    }
}

void IdentificationRequestsTest::drops()
{
    QFETCH(bool, pane);
    QFETCH(bool, folder);
    QFETCH(int, answer);
    QFETCH(bool, verbose);
    const QString item = folder ? makeFolder(QStringLiteral("cartella trascinata")) : makeFile(QStringLiteral("file trascinato.txt"));
    setUpBeforeAnswer();
    m_w->ckVerbose()->setChecked(verbose);
    m_seams->confirm = answer;
    const auto data = fileList({ bytesOf(item) });

    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    QVERIFY(dragAndDrop(dropTarget(pane), data.get()));
    QCOMPARE(m_w->lblControl()->text(), folder ? QStringLiteral("cartella") : QStringLiteral("file"));
    QVERIFY(m_seams->dialogs.isEmpty());

    const QString shortForm = gv::GetShortName(item);
    QLineEdit* field = folder ? m_w->txtCartella() : m_w->txtFile();
    QLineEdit* other = folder ? m_w->txtFile() : m_w->txtCartella();
    QCOMPARE(field->text(), shortForm);
    QVERIFY(other->text().isEmpty());
    const Box question = m_seams->boxes.value(0);
    QCOMPARE(question.prompt, folder ? kFolderQuestion : kFileQuestion);
    QCOMPARE(question.title, folder ? QStringLiteral("VONK Folder Parsing") : QStringLiteral("VONK File Parsing"));
    QCOMPARE(question.style, 4164);

    if (answer == gv::vbNo) {
        QCOMPARE(m_seams->prompts(), QStringList({ question.prompt, folder ? kFolderNo : kFileNo }));
        QVERIFY(m_seams->boxes[1].placed);
        QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
        QCOMPARE(m_w->txtOutputs()->toPlainText(), QStringLiteral("previous report\n"));
        QVERIFY(!finished.wait(200));
        return;
    }
    const QString tail = folder ? QStringLiteral("/*") : kLiteral + (verbose ? QStringLiteral(" -v") : QString());
    QCOMPARE(m_w->txtCommand()->currentText(), kStart + shortForm + tail);
    QVERIFY(waitForRun(finished));
    QList<QByteArray> words { (folder ? item + QStringLiteral("/*") : item).toUtf8() };
    if (!folder)
        words.append("--literal");
    if (!folder && verbose)
        words.append("-v");
    QCOMPARE(lastWords(), words);
}

void IdentificationRequestsTest::folderButtonAndFolderDropGiveTheSameTarget()
{
    const QString folder = makeFolder(QStringLiteral("stessa"));
    m_seams->choose(folder);
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->cmdCartella_Click();
    QVERIFY(waitForRun(finished));
    const QString byButton = m_w->txtCommand()->currentText();
    const QList<QByteArray> wordsByButton = lastWords();

    const auto data = fileList({ bytesOf(folder) });
    QVERIFY(dragAndDrop(m_w.get(), data.get()));
    QVERIFY(finished.wait(20000));
    QCOMPARE(m_w->txtCommand()->currentText(), byButton);
    QCOMPARE(lastWords(), wordsByButton);
    QCOMPARE(wordsByButton, QList<QByteArray>({ (folder + QStringLiteral("/*")).toUtf8() }));

    // The root keeps its own separator when dropped.
    const auto root = fileList({ "/" });
    m_seams->confirm = gv::vbNo;
    QVERIFY(dragAndDrop(m_w.get(), root.get()));
    QCOMPARE(m_w->txtCartella()->text(), QStringLiteral("/"));
}

void IdentificationRequestsTest::onlyTheFirstDroppedItemCounts()
{
    const QString file = makeFile(QStringLiteral("primo.txt"));
    const QString folder = makeFolder(QStringLiteral("seconda"));
    m_seams->confirm = gv::vbNo;

    const auto fileFirst = fileList({ bytesOf(file), bytesOf(folder), "/nonexistent/x" });
    QVERIFY(dragAndDrop(m_w->txtOutputs()->viewport(), fileFirst.get()));
    QCOMPARE(m_w->lblControl()->text(), QStringLiteral("file"));
    QCOMPARE(m_w->txtFile()->text(), gv::GetShortName(file));
    QCOMPARE(m_seams->prompts(), QStringList({ kFileQuestion, kFileNo }));

    m_seams->boxes.clear();
    const auto folderFirst = fileList({ bytesOf(folder), bytesOf(file) });
    QVERIFY(dragAndDrop(m_w.get(), folderFirst.get()));
    QCOMPARE(m_w->lblControl()->text(), QStringLiteral("cartella"));
    QCOMPARE(m_w->txtCartella()->text(), gv::GetShortName(folder));
    QVERIFY(m_w->txtFile()->text().isEmpty());
    QCOMPARE(m_seams->prompts(), QStringList({ kFolderQuestion, kFolderNo }));
}

void IdentificationRequestsTest::refusedDrags_data()
{
    QTest::addColumn<bool>("pane");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expectedMode");
    for (const bool pane : { false, true }) {
        const char* where = pane ? "pane" : "window";
        QTest::addRow("%s: text", where) << pane << QStringLiteral("text") << QStringLiteral("cartella");
        QTest::addRow("%s: web address", where) << pane << QStringLiteral("web") << QStringLiteral("cartella");
        QTest::addRow("%s: file on another host", where) << pane << QStringLiteral("host") << QStringLiteral("cartella");
        QTest::addRow("%s: web address before a file", where) << pane << QStringLiteral("web-first") << QStringLiteral("cartella");
        QTest::addRow("%s: item gone", where) << pane << QStringLiteral("gone") << QStringLiteral("file");
        QTest::addRow("%s: move only", where) << pane << QStringLiteral("move-only") << QStringLiteral("file");
    }
}

void IdentificationRequestsTest::refusedDrags()
{
    QFETCH(bool, pane);
    QFETCH(QString, kind);
    QFETCH(QString, expectedMode);
    const QString file = makeFile(QStringLiteral("presente.txt"));
    QMimeData data;
    Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction;
    if (kind == QLatin1String("text"))
        data.setText(file);
    else if (kind == QLatin1String("web"))
        data.setUrls({ QUrl(QStringLiteral("https://example.org/a.png")) });
    else if (kind == QLatin1String("host"))
        data.setData(QStringLiteral("text/uri-list"), "file://altrove.example/" + file.toUtf8() + "\r\n");
    else if (kind == QLatin1String("web-first"))
        data.setUrls({ QUrl(QStringLiteral("https://example.org/a.png")), QUrl::fromLocalFile(file) });
    else if (kind == QLatin1String("gone"))
        data.setUrls({ QUrl::fromLocalFile(dataPath(QStringLiteral("sparito.txt"))) });
    else if (kind == QLatin1String("move-only")) {
        data.setUrls({ QUrl::fromLocalFile(file) });
        allowed = Qt::MoveAction;
    }
    m_w->txtFile()->setText(QStringLiteral("old file"));
    m_w->txtCartella()->setText(QStringLiteral("old folder"));
    setUpBeforeAnswer();

    QCOMPARE(dragOver(dropTarget(pane), &data, allowed), 0);
    QCOMPARE(m_w->lblControl()->text(), expectedMode);
    QVERIFY(m_w->txtFile()->text().isEmpty());
    QVERIFY(m_w->txtCartella()->text().isEmpty());
    // A refused drag is never dropped; releasing the mouse starts nothing.
    QVERIFY(!dragAndDrop(dropTarget(pane), &data, allowed));
    QVERIFY(m_seams->boxes.isEmpty());
    QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), QStringLiteral("previous report\n"));
    // Text dragged onto the pane never becomes part of the report.
    QVERIFY(!m_w->txtOutputs()->toPlainText().contains(file));
}

void IdentificationRequestsTest::dragAwayEmptiesBothFields_data()
{
    QTest::addColumn<bool>("pane");
    QTest::newRow("window") << false;
    QTest::newRow("pane") << true;
}

void IdentificationRequestsTest::dragAwayEmptiesBothFields()
{
    QFETCH(bool, pane);
    const QString file = makeFile(QStringLiteral("di passaggio.txt"));
    m_w->txtFile()->setText(QStringLiteral("old file"));
    m_w->txtCartella()->setText(QStringLiteral("old folder"));
    const auto data = fileList({ bytesOf(file) });
    QCOMPARE(dragOver(dropTarget(pane), data.get()), 1);
    m_w->txtFile()->setText(QStringLiteral("set meanwhile"));
    m_w->txtCartella()->setText(QStringLiteral("set meanwhile"));
    dragAway(dropTarget(pane));
    QVERIFY(m_w->txtFile()->text().isEmpty());
    QVERIFY(m_w->txtCartella()->text().isEmpty());
    QCOMPARE(m_w->lblControl()->text(), QStringLiteral("file"));
    QCoreApplication::processEvents();
    QVERIFY(m_seams->boxes.isEmpty());
}

void IdentificationRequestsTest::folderRecognisedWhateverItsOtherBits_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("viaLink");
    QTest::newRow("plain") << 0755 << false;
    QTest::newRow("read-only") << 0555 << false;
    QTest::newRow("sticky, world-writable") << 01777 << false;
    QTest::newRow("set-group-id") << 02750 << false;
    QTest::newRow("reached through a link") << 0755 << true;
}

void IdentificationRequestsTest::folderRecognisedWhateverItsOtherBits()
{
    QFETCH(int, mode);
    QFETCH(bool, viaLink);
    const QString folder = makeFolder(QStringLiteral("bits"));
    QCOMPARE(::chmod(folder.toUtf8().constData(), mode_t(mode)), 0);
    QString dragged = folder;
    if (viaLink) {
        dragged = dataPath(QStringLiteral("link to bits"));
        QVERIFY(QFile::link(folder, dragged));
    }
    m_seams->confirm = gv::vbNo;
    const auto data = fileList({ bytesOf(dragged) });
    QVERIFY(dragAndDrop(m_w.get(), data.get()));
    ::chmod(folder.toUtf8().constData(), 0755);
    QCOMPARE(m_w->lblControl()->text(), QStringLiteral("cartella"));
    QCOMPARE(m_seams->prompts().value(0), kFolderQuestion);
    QCOMPARE(m_w->txtCartella()->text(), gv::GetShortName(dragged));
}

void IdentificationRequestsTest::dropsLeaveTheRememberedTextsAndDialogsAlone()
{
    const QString first = makeFile(QStringLiteral("ricordato.txt"));
    m_seams->confirm = gv::vbNo;
    m_seams->choose(first);
    m_w->cmdFile_Click();
    const QString lastFile = m_w->strLastFile();
    const QString lastFolder = m_w->strLastFolder();
    gv::SetDialogPlacement(1, 7);

    const QString folder = makeFolder(QStringLiteral("altrove"));
    const QString other = makeFile(QStringLiteral("altrove/altro.txt"));
    for (const QString& item : { other, folder }) {
        const auto data = fileList({ bytesOf(item) });
        QVERIFY(dragAndDrop(m_w.get(), data.get()));
        QVERIFY(dragAndDrop(m_w->txtOutputs()->viewport(), data.get()));
    }
    QCOMPARE(m_seams->dialogs.size(), 1);
    QCOMPARE(m_w->strLastFile(), lastFile);
    QCOMPARE(m_w->strLastFolder(), lastFolder);
    QCOMPARE(gv::DialogPlacementMode(), 1);
    QCOMPARE(gv::DialogPlacementShift(), 7);

    // The folder dialog still starts where the File button left it.
    m_seams->cancel();
    m_w->cmdCartella_Click();
    QCOMPARE(m_seams->dialogs.back().selected.value(0), m_data.path());
}

void IdentificationRequestsTest::itemGoneBeforeTheAnswerRunsNothing()
{
    for (const bool folder : { false, true }) {
        const QString item = folder ? makeFolder(QStringLiteral("fugace")) : makeFile(QStringLiteral("fugace.txt"));
        const auto data = fileList({ bytesOf(item) });
        QCOMPARE(dragOver(m_w.get(), data.get()), 1);
        // Gone between the drag-over and the drop.
        QVERIFY(folder ? QDir(item).removeRecursively() : QFile::remove(item));
        setUpBeforeAnswer();
        m_seams->boxes.clear();
        QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_w.get(), &drop);
        QCoreApplication::processEvents();
        QCOMPARE(m_seams->prompts(), QStringList({ folder ? kFolderQuestion : kFileQuestion, kGone }));
        QCOMPARE(m_seams->boxes[1].style, 4096);
        QVERIFY(m_seams->boxes[1].placed);
        QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
        QCOMPARE(m_w->txtOutputs()->toPlainText(), QStringLiteral("previous report\n"));
        QVERIFY(!finished.wait(300));
        QVERIFY(lastWords().isEmpty());
    }

    // A folder chosen with the button and gone before the answer.
    const QString folder = makeFolder(QStringLiteral("svanita"));
    m_seams->choose(folder + QLatin1Char('/'));
    QDir(folder).removeRecursively();
    m_seams->boxes.clear();
    m_w->cmdCartella_Click();
    QCOMPARE(m_seams->prompts(), QStringList({ kFolderQuestion, kGone }));
    QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("cmd /c vonk previous"));
}

void IdentificationRequestsTest::awkwardNamesReachTheIdentifierAsThemselves()
{
    const std::string dir = bytesOf(m_data.path());
    int index = 0;
    for (const std::string& name : awkwardNames()) {
        const bool pane = index++ % 2 == 1;
        const std::string path = dir + "/" + name;
        QVERIFY(writeBytes(path, "data\n"));
        QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
        const QString text = QString::fromUtf8(name);
        const bool utf8 = text.toUtf8().toStdString() == name;
        if (utf8 && !pane) {
            // Chosen with the button.
            m_seams->choose(QString::fromUtf8(path));
            m_w->cmdFile_Click();
        } else {
            const auto data = fileList({ path });
            QVERIFY(dragAndDrop(dropTarget(pane), data.get()));
        }
        QVERIFY2(waitForRun(finished), name.c_str());
        QCOMPARE(lastWords(), QList<QByteArray>({ QByteArray::fromStdString(path), "--literal" }));
        QVERIFY(!QFile::exists(m_work.filePath(QStringLiteral("x"))));
        QVERIFY(!QFile::exists(dataPath(QStringLiteral("x"))));
        QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("x"))));
    }

    // The same names as folders, dropped.
    for (const std::string& name : awkwardNames()) {
        const std::string path = dir + "/dir " + name;
        QVERIFY(::mkdir(path.c_str(), 0755) == 0);
        QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
        const auto data = fileList({ path });
        QVERIFY(dragAndDrop(m_w.get(), data.get()));
        QVERIFY2(waitForRun(finished), name.c_str());
        QCOMPARE(lastWords(), QList<QByteArray>({ QByteArray::fromStdString(path + "/*") }));
    }
    QVERIFY(!QFile::exists(m_work.filePath(QStringLiteral("x"))));
}

void IdentificationRequestsTest::noRequestWhileARunLasts()
{
    const QString file = makeFile(QStringLiteral("lento.txt"));
    QFile slow(m_work.filePath(QStringLiteral("slow")));
    QVERIFY(slow.open(QIODevice::WriteOnly));
    slow.close();
    m_seams->choose(file);
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->cmdFile_Click();
    QVERIFY(m_w->isRunning());
    const QString command = m_w->txtCommand()->currentText();

    m_seams->boxes.clear();
    m_seams->choose(file);
    m_w->cmdFile_Click();
    m_w->cmdCartella_Click();
    QCOMPARE(m_seams->dialogs.size(), 1);
    QCOMPARE(m_seams->boxes.size(), 2);
    for (const Box& box : m_seams->boxes) {
        QVERIFY(box.prompt.contains(QStringLiteral("in corso")));
        QVERIFY(box.placed);
    }
    const auto data = fileList({ bytesOf(file) });
    QCOMPARE(dragOver(m_w.get(), data.get()), 0);
    QCOMPARE(dragOver(m_w->txtOutputs()->viewport(), data.get()), 0);
    QCOMPARE(m_w->txtCommand()->currentText(), command);

    m_w->cmdStop_Click();
    QVERIFY(waitForRun(finished));
    QCOMPARE(dragOver(m_w.get(), data.get()), 1);
}

void IdentificationRequestsTest::buttonsAreConnected()
{
    m_seams->cancel();
    m_w->cmdFile()->click();
    m_seams->cancel();
    m_w->cmdCartella()->click();
    QCOMPARE(m_seams->dialogs.size(), 2);
    QVERIFY(!m_seams->dialogs[0].folders);
    QVERIFY(m_seams->dialogs[1].folders);
    QVERIFY(m_w->acceptDrops());
    // No other control takes a dropped name as typed text.
    for (QWidget* child : m_w->findChildren<QWidget*>()) {
        if (child != m_w->txtOutputs() && child != m_w->txtOutputs()->viewport())
            QVERIFY2(!child->acceptDrops(), qPrintable(child->objectName()));
    }
}

QTEST_MAIN(IdentificationRequestsTest)
#include "IdentificationRequestsTest.moc"
