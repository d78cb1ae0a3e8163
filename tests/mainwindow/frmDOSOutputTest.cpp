// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmDOSOutput.h"

#include "winhelpers/MsgBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <memory>

using gv::frmDOSOutput;

namespace {

// Twips to pixels, as the form was designed at 96 dots per inch.
QRect px(int left, int top, int width, int height)
{
    auto t = [](int v) { return qRound(v / 15.0); };
    return QRect(t(left), t(top), t(width), t(height));
}

const QString kIdle = QStringLiteral("-> output: idle\n");

} // namespace

class frmDOSOutputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void formProperties();
    void controlsPlaced_data();
    void controlsPlaced();
    void captionsAndTooltips_data();
    void captionsAndTooltips();
    void fontsAndColours();
    void artwork();
    void captionsFitBesideEachOther();
    void commandFieldDesign();
    void descriptionText();
    void tabOrder();
    void startSequence();
    void placementMode_data();
    void placementMode();

    void enterRunsTheCommandField_data();
    void enterRunsTheCommandField();
    void twoRunsAppendWithoutSeparator();
    void runnerFailuresThenReadComplete_data();
    void runnerFailuresThenReadComplete();
    void outputStreamsWhileTheWindowStaysResponsive();
    void noSecondRunWhileOneLasts();
    void stopEndsALongRun_data();
    void stopEndsALongRun();
    void lineEndsAndUtf8FromARealChild();
    void closingDuringARunEndsItQuietly();
    void errorHandlerBox();
    void missingRunnerIsReportedNotCrashed();
    void layoutFollowsTheSize_data();
    void layoutFollowsTheSize();
    void titleDragMovesTheWindow();
    void alwaysOnTopFollowsCheck2();

private:
    struct Box {
        QString prompt;
        int style;
        QString title;
    };
    void runAndWait(const QString& commandLine, int timeoutMs = 10000);
    QStringList prompts() const;

    std::unique_ptr<frmDOSOutput> m_w;
    QList<Box> m_boxes;
};

void frmDOSOutputTest::init()
{
    m_boxes.clear();
    gv::SetMsgBoxAnswerer([this](const gv::MsgBoxRequest& request, QMessageBox*) {
        m_boxes.append({ request.prompt, request.style, request.title });
        return int(gv::vbOK);
    });
    m_w = std::make_unique<frmDOSOutput>();
}

void frmDOSOutputTest::cleanup()
{
    m_w.reset();
    gv::SetMsgBoxAnswerer(nullptr);
}

QStringList frmDOSOutputTest::prompts() const
{
    QStringList list;
    for (const Box& box : m_boxes)
        list.append(box.prompt);
    return list;
}

void frmDOSOutputTest::runAndWait(const QString& commandLine, int timeoutMs)
{
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->txtCommand()->setEditText(commandLine);
    m_w->cmdExecute_Click();
    if (finished.isEmpty())
        QVERIFY(finished.wait(timeoutMs));
    QCOMPARE(finished.count(), 1);
}

void frmDOSOutputTest::formProperties()
{
    QCOMPARE(m_w->windowTitle(), QStringLiteral("VONK Gui"));
    QVERIFY(m_w->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!(m_w->windowFlags() & Qt::WindowMaximizeButtonHint));
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    QCOMPARE(m_w->size(), QSize(586, 401));
    const QRect screen = m_w->screen()->geometry();
    QVERIFY(qAbs(m_w->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(m_w->geometry().center().y() - screen.center().y()) <= 1);
}

void frmDOSOutputTest::controlsPlaced_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("autoSize");
    QTest::addColumn<QString>("parentName");

    const QString form = QStringLiteral("frmDOSOutput");
    const QString panel = QStringLiteral("Picture1");
    auto row = [&](const char* name, const char* cls, QRect r, bool autoSize = false, const QString& parent = {}) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls) << r << autoSize
                            << (parent.isEmpty() ? form : parent);
    };
    row("Picture1", "QFrame", px(120, 330, 8505, 795));
    row("Text1", "QPlainTextEdit", px(1065, 15, 7380, 705), false, panel);
    row("Label6", "QLabel", px(135, 240, 675, 435), true, panel);
    row("Image78", "QLabel", px(0, 0, 990, 780), false, panel);
    row("Check2", "QCheckBox", px(240, 1680, 2430, 315));
    row("Check1", "QCheckBox", px(240, 1470, 3615, 225));
    row("ckVerbose", "QCheckBox", px(255, 1200, 2550, 225));
    row("txtCartella", "QLineEdit", px(10710, 4770, 2910, 300));
    row("Option1_0", "QRadioButton", px(9795, 2475, 2000, 225));
    row("Option1_1", "QRadioButton", px(9795, 2820, 2000, 225));
    row("Option1_2", "QRadioButton", px(9795, 3150, 2000, 225));
    row("Option1_3", "QRadioButton", px(9795, 3495, 2000, 225));
    row("Option1_4", "QRadioButton", px(9795, 3840, 2000, 225));
    row("txtFile", "QLineEdit", px(10695, 4425, 2940, 300));
    row("cmdFile", "QPushButton", px(6585, 1215, 1875, 375));
    row("cmdCartella", "QPushButton", px(4635, 1215, 1875, 375));
    row("txtCommand", "QComboBox", px(105, 4920, 8520, 285));
    row("cmdExit", "QPushButton", px(7020, 5280, 1410, 450));
    row("txtOutputs", "QPlainTextEdit", px(90, 2055, 8520, 2835));
    row("cmdExecute", "QPushButton", px(10680, 5130, 1875, 375));
    row("Label7", "QLabel", px(8415, 60, 225, 180));
    row("Image10", "QLabel", px(60, 0, 180, 300));
    row("Image2", "QLabel", px(15, 285, 60, 645));
    row("Label9", "QLabel", px(5445, 45, 255, 255));
    row("Label8", "QLabel", px(5205, 30, 195, 255));
    row("Label2_4", "QLabel", px(4950, 45, 255, 255));
    row("Label5", "QLabel", px(5475, 1830, 840, 165), true);
    row("Label1", "QLabel", px(3165, 1830, 4635, 165), true);
    row("Label2_3", "QLabel", px(255, 5520, 2070, 195), true);
    row("Label2_2", "QLabel", px(2535, 5520, 2460, 195), true);
    row("Label2_1", "QLabel", px(7980, 1785, 420, 195), true);
    row("lblControl", "QLabel", px(10740, 5580, 630, 240));
    row("Label4", "QLabel", px(195, 5325, 5775, 165), true);
    row("Label3", "QLabel", px(9765, 4860, 1215, 165));
    row("Label2_0", "QLabel", px(9750, 4500, 1215, 165));
}

void frmDOSOutputTest::controlsPlaced()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(bool, autoSize);
    QFETCH(QString, parentName);
    // Before the first showing: the design values, untouched by layout.
    auto* control = m_w->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY(control->inherits(className.toLatin1().constData()));
    QCOMPARE(control->parentWidget()->objectName(), parentName);
    if (autoSize) {
        QCOMPARE(control->pos(), geometry.topLeft());
        QVERIFY(control->width() > 0 && control->height() > 0);
    } else {
        QCOMPARE(control->geometry(), geometry);
    }
    // Controls at Left >= 9750 twips lie beyond the client width.
    const bool outside = geometry.left() >= 650;
    QCOMPARE(control->x() >= frmDOSOutput::DesignWidth, outside);
}

void frmDOSOutputTest::captionsAndTooltips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    auto row = [](const char* name, const QString& text, const QString& tip = {}) {
        QTest::newRow(name) << QString::fromLatin1(name) << text << tip;
    };
    row("Label6", QStringLiteral("GUI"));
    row("Check2", QStringLiteral("Sempre in primo piano"));
    row("Check1", QStringLiteral("Attiva [max number of matches][-r:nn ]"));
    row("ckVerbose", QStringLiteral("Attiva : [verbose mode][-v]"), QStringLiteral("Abilita la visualizzazione dettagli"));
    row("txtCartella", QString());
    row("txtFile", QString());
    row("cmdFile", QStringLiteral("File"), QStringLiteral("Scelta del FILE da esaminare con Vonk"));
    row("cmdCartella", QStringLiteral("Cartella"), QStringLiteral("Scelta dela CARTELLA  da esaminare con Vonk"));
    row("cmdExit", QStringLiteral("Esci"), QStringLiteral("Chiude il programma"));
    row("cmdExecute", QStringLiteral("Execute"));
    row("Label7", QString(), QStringLiteral("Chiudi Programma"));
    row("LabelTOP", QStringLiteral("OEM"));
    row("Label9", QString(), QStringLiteral("Chiudi Quorvane"));
    row("Label8", QString(), QStringLiteral("Massimizza / Ripristina"));
    row("Label2_4", QString(), QStringLiteral("Minimizza nella traybar"));
    // Web address of the distribution and a credit line.
    row("Label5", QStringLiteral("Lumetra"), QStringLiteral("https://*.example.org/ - *"));
    row("Label1", QStringLiteral("Un grazie particolare allo staff di") + QString(22, QLatin1Char(' ')) + QStringLiteral("per la distribuzione "));
    row("Label2_3", QStringLiteral("vonk@example.org ->Vonk"), QStringLiteral("Scrivi all'autore di Vonk"));
    row("Label2_2", QStringLiteral("gui@example.net ->GUI-Vonk"), QStringLiteral("Scrivi all'autore di GUI-Vonk"));
    row("Label2_1", QStringLiteral("About"), QStringLiteral("info programma"));
    row("lblControl", QStringLiteral("-"));
    row("Label4", QStringLiteral("Puoi anche trascinare il FILE o la CARTELLA scelta sul FORM per eseguire il parsing"));
    row("Label3", QStringLiteral("Cartella"));
    row("Label2_0", QStringLiteral("file"));
    row("Option1_3", QStringLiteral("Option1"));
}

void frmDOSOutputTest::captionsAndTooltips()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    auto* control = m_w->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->property("text").toString(), text);
    if (toolTip.contains(QLatin1Char('*')))
        QVERIFY2(QRegularExpression(QRegularExpression::wildcardToRegularExpression(toolTip, QRegularExpression::UnanchoredWildcardConversion))
                     .match(control->toolTip()).hasMatch(),
            qPrintable(control->toolTip()));
    else
        QCOMPARE(control->toolTip(), toolTip);
}

void frmDOSOutputTest::fontsAndColours()
{
    // The console: black, light grey text, fixed pitch 8.25 pt regular.
    gv::ConsolePane* pane = m_w->txtOutputs();
    QCOMPARE(pane->palette().color(QPalette::Base), QColor(0, 0, 0));
    QCOMPARE(pane->palette().color(QPalette::Text), QColor(224, 224, 224));
    QVERIFY(QFontInfo(pane->font()).fixedPitch());
    QCOMPARE(pane->font().pointSizeF(), 8.25);
    QVERIFY(!pane->font().bold());
    QCOMPARE(pane->toolTip(), QStringLiteral("Drag&Drop del file o della cartella dentro questo box o direttamente sul Form"));

    QVERIFY(QFontInfo(m_w->txtCommand()->font()).fixedPitch());
    QVERIFY(m_w->txtCommand()->font().bold());

    struct Expect {
        QWidget* widget;
        qreal points;
        bool bold;
        bool underline;
        QColor colour;
    };
    const Expect table[] = {
        { m_w->Label6(), 18, true, false, Qt::white },
        { m_w->LabelTOP(), 8.25, true, false, QColor(255, 128, 0) },
        { m_w->Label5(), 6.75, true, true, QColor(255, 0, 0) },
        { m_w->Label1(), 6.75, true, false, QColor(255, 0, 0) },
        { m_w->Label4(), 6.75, true, false, QColor(255, 0, 0) },
        { m_w->Label2(3), 8.25, false, true, QColor(0, 0, 255) },
        { m_w->Label2(2), 8.25, false, true, QColor(0, 0, 255) },
        { m_w->Label2(1), 8.25, false, true, QColor(0, 0, 192) },
        { m_w->cmdExit(), 8.25, true, false, m_w->cmdExit()->palette().color(QPalette::ButtonText) },
        { m_w->Check2(), 8.25, false, false, QColor(128, 0, 0) },
    };
    for (const Expect& e : table) {
        const QString name = e.widget->objectName();
        QCOMPARE(e.widget->font().pointSizeF(), e.points);
        QVERIFY2(e.widget->font().bold() == e.bold, qPrintable(name));
        QVERIFY2(e.widget->font().underline() == e.underline, qPrintable(name));
        QVERIFY2(!QFontInfo(e.widget->font()).fixedPitch(), qPrintable(name));
        QVERIFY2(e.widget->palette().color(QPalette::Active, QPalette::WindowText) == e.colour
                || e.widget->palette().color(QPalette::Active, QPalette::ButtonText) == e.colour,
            qPrintable(name));
    }
    QCOMPARE(m_w->lblControl()->palette().color(QPalette::Window), QColor(255, 0, 0));
    QVERIFY(m_w->lblControl()->autoFillBackground());
    QCOMPARE(m_w->Label2(3)->cursor().shape(), Qt::UpArrowCursor);
}

void frmDOSOutputTest::artwork()
{
    // Frame pieces carry pictures of their designed pixel sizes; the four
    // that follow the window's size stretch theirs.
    const struct {
        int number;
        QSize picture;
        bool stretched;
    } pieces[] = {
        { 1, { 4, 20 }, true }, { 2, { 4, 43 }, false }, { 3, { 4, 7 }, true }, { 4, { 23, 8 }, false },
        { 5, { 22, 8 }, false }, { 6, { 4, 3 }, true }, { 7, { 7, 8 }, true }, { 8, { 12, 20 }, false },
        { 9, { 53, 20 }, false }, { 10, { 12, 20 }, false },
    };
    for (const auto& piece : pieces) {
        QLabel* image = m_w->Image(piece.number);
        QVERIFY(image);
        QCOMPARE(image->objectName(), QStringLiteral("Image%1").arg(piece.number));
        QCOMPARE(image->pixmap().size(), piece.picture);
        QCOMPARE(image->hasScaledContents(), piece.stretched);
    }
    QCOMPARE(m_w->Image78()->pixmap().size(), QSize(66, 52));
    QVERIFY(!m_w->windowIcon().isNull());
    QVERIFY(m_w->windowIcon().availableSizes().contains(QSize(32, 32)));
}

void frmDOSOutputTest::captionsFitBesideEachOther()
{
    // Auto-sized captions with the installed faces must not run into
    // their neighbours on the same line.
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    const QList<QPair<QWidget*, QWidget*>> neighbours = {
        { m_w->Label2(3), m_w->Label2(2) },
        { m_w->Label2(2), m_w->cmdStop() },
        { m_w->Label4(), m_w->cmdStop() },
        { m_w->cmdStop(), m_w->cmdExit() },
        { m_w->Label1(), m_w->Label2(1) },
        { m_w->cmdCartella(), m_w->cmdFile() },
    };
    for (const auto& [left, right] : neighbours)
        QVERIFY2(left->geometry().right() < right->x(),
            qPrintable(left->objectName() + QStringLiteral(" / ") + right->objectName()));
    // Everything visible at the designed size lies inside the window.
    for (QWidget* w : { static_cast<QWidget*>(m_w->Label2(1)), static_cast<QWidget*>(m_w->Label4()),
             static_cast<QWidget*>(m_w->cmdExit()), static_cast<QWidget*>(m_w->txtOutputs()) })
        QVERIFY2(m_w->rect().contains(w->geometry()), qPrintable(w->objectName()));
}

void frmDOSOutputTest::commandFieldDesign()
{
    QComboBox* field = m_w->txtCommand();
    QVERIFY(field->isEditable());
    QVERIFY(!field->isEnabled());
    QCOMPARE(field->count(), 3);
    QCOMPARE(field->itemText(0), QStringLiteral("cmd /c vonk *"));
    QCOMPARE(field->itemText(1), QStringLiteral("cmd /c vonk *  -ae "));
    QCOMPARE(field->itemText(2), QStringLiteral("cmd /c vonk *  -v  -r:5"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(field->itemData(i).toInt(), 0);
    const QString initial = field->currentText();
    QVERIFY(initial.startsWith(QStringLiteral("Vonk - File Identifier - https://")));
    QVERIFY(initial.contains(QStringLiteral(".example.")));
    QVERIFY(!m_w->Check2()->isEnabled());
    QVERIFY(m_w->Check1()->isEnabled());
    QVERIFY(!m_w->ckVerbose()->isChecked());
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle);
}

void frmDOSOutputTest::descriptionText()
{
    const QString text = m_w->Text1()->toPlainText();
    QVERIFY(text.startsWith(QStringLiteral("Vonk è un utility per l'identificazione di binary files.")));
    QVERIFY2(text.size() > 1300 && text.size() < 1800, qPrintable(QString::number(text.size())));
    QVERIFY(text.count(QLatin1Char('\n')) >= 4);
    // The topics in their order.
    const QStringList order = { QStringLiteral("database"), QStringLiteral("download"), QStringLiteral("contributo"),
        QStringLiteral("\"VonkScan\""), QStringLiteral("invecchiamento"), QStringLiteral("2601") };
    qsizetype at = 0;
    for (const QString& word : order) {
        const qsizetype found = text.indexOf(word, at);
        QVERIFY2(found >= 0, qPrintable(word));
        at = found;
    }
    QVERIFY(m_w->Text1()->isReadOnly());
}

void frmDOSOutputTest::tabOrder()
{
    const QStringList expected = { QStringLiteral("cmdExecute"), QStringLiteral("txtOutputs"), QStringLiteral("cmdExit"),
        QStringLiteral("txtCommand"), QStringLiteral("cmdCartella"), QStringLiteral("cmdFile"), QStringLiteral("txtFile"),
        QStringLiteral("Option1_4"), QStringLiteral("Option1_3"), QStringLiteral("Option1_0"), QStringLiteral("Option1_1"),
        QStringLiteral("Option1_2"), QStringLiteral("txtCartella"), QStringLiteral("ckVerbose"), QStringLiteral("Check1"),
        QStringLiteral("Check2"), QStringLiteral("Text1") };
    QStringList seen;
    QWidget* w = m_w->cmdExecute();
    for (int guard = 0; guard < 200 && seen.size() < expected.size(); ++guard) {
        if (expected.contains(w->objectName()) && !seen.contains(w->objectName()))
            seen.append(w->objectName());
        w = w->nextInFocusChain();
    }
    QCOMPARE(seen, expected);
}

void frmDOSOutputTest::startSequence()
{
    // At design: Execute hidden, options unnamed.
    QVERIFY(!m_w->cmdExecute()->isVisibleTo(m_w.get()));
    QCOMPARE(m_w->Option1(4)->text(), QStringLiteral("Option1"));
    QVERIFY(!m_w->isLoaded());

    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    QVERIFY(m_w->isLoaded());
    const QStringList captions = { QStringLiteral("No move"), QStringLiteral("Screen center"),
        QStringLiteral("Parent form center"), QStringLiteral("Parent form shift"), QStringLiteral("Mouse shift") };
    for (int i = 0; i < 5; ++i)
        QCOMPARE(m_w->Option1(i)->text(), captions[i]);
    QVERIFY(m_w->Option1(4)->isChecked());
    for (QPushButton* button : { m_w->cmdExecute(), m_w->cmdFile(), m_w->cmdCartella(), m_w->cmdExit() })
        QVERIFY2(button->isFlat(), qPrintable(button->objectName()));
    // Shown, but beyond the right edge.
    QVERIFY(m_w->cmdExecute()->isVisible());
    QVERIFY(m_w->cmdExecute()->x() >= m_w->width());
    QVERIFY(!m_w->cmdStop()->isVisible());
    QVERIFY(!(m_w->windowFlags() & Qt::WindowStaysOnTopHint));
    // Nothing of the start sequence runs twice.
    m_w->Option1(1)->setChecked(true);
    m_w->hide();
    m_w->show();
    QVERIFY(m_w->Option1(1)->isChecked());
    QVERIFY(m_boxes.isEmpty());
}

void frmDOSOutputTest::placementMode_data()
{
    QTest::addColumn<int>("select");
    for (int i = 0; i < 5; ++i)
        QTest::newRow(qPrintable(QString::number(i))) << i;
}

void frmDOSOutputTest::placementMode()
{
    QFETCH(int, select);
    m_w->Form_Load();
    QCOMPARE(m_w->GetPlacementMode(), 4);
    m_w->Option1(select)->setChecked(true);
    QCOMPARE(m_w->GetPlacementMode(), select);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(m_w->Option1(i)->isChecked(), i == select);
}

void frmDOSOutputTest::enterRunsTheCommandField_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("pane") << QStringLiteral("txtOutputs");
    QTest::newRow("check box") << QStringLiteral("ckVerbose");
    QTest::newRow("hidden field") << QStringLiteral("txtFile");
}

void frmDOSOutputTest::enterRunsTheCommandField()
{
    QFETCH(QString, focus);
    m_w->show();
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
    m_w->txtCommand()->setEditText(QStringLiteral("/bin/printf 'ciao mondo'"));
    auto* target = m_w->findChild<QWidget*>(focus);
    target->setFocus();
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    QTest::keyClick(target, Qt::Key_Return);
    QVERIFY(finished.wait(10000));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle + QStringLiteral("ciao mondo"));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].prompt, QStringLiteral("Lettura completa"));
    QCOMPARE(m_boxes[0].style, int(gv::vbOKOnly));
    QCOMPARE(m_boxes[0].title, QStringLiteral("GUI-Vonk"));
    // The field keeps its text and gains no history.
    QCOMPARE(m_w->txtCommand()->currentText(), QStringLiteral("/bin/printf 'ciao mondo'"));
    QCOMPARE(m_w->txtCommand()->count(), 3);
    QVERIFY(m_w->cursor().shape() == Qt::ArrowCursor);

    // The keypad's Enter does the same. (Without a window manager nothing
    // hands the activation back to the window after the box.)
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
    QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(finished.wait(10000));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle + QStringLiteral("ciao mondociao mondo"));
}

void frmDOSOutputTest::twoRunsAppendWithoutSeparator()
{
    runAndWait(QStringLiteral("/bin/printf A"));
    runAndWait(QStringLiteral("/bin/printf B"));
    // A command that prints nothing leaves the pane as it is.
    runAndWait(QStringLiteral("/bin/true"));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle + QStringLiteral("AB"));
    QCOMPARE(prompts(), QStringList(3, QStringLiteral("Lettura completa")));
    QVERIFY(m_w->txtOutputs()->textCursor().atEnd());
}

void frmDOSOutputTest::runnerFailuresThenReadComplete_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("failure");
    QTest::newRow("empty") << QString() << QStringLiteral("Command Line empty");
    QTest::newRow("missing program") << QStringLiteral("/nonexistent/vonk-missing -v") << QStringLiteral("File or command not found");
    QTest::newRow("not executable") << QStringLiteral("/etc/hostname") << QStringLiteral("File or command not found");
}

void frmDOSOutputTest::runnerFailuresThenReadComplete()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, failure);
    runAndWait(commandLine);
    QCOMPARE(prompts(), (QStringList { failure, QStringLiteral("Lettura completa") }));
    QVERIFY(m_boxes[0].style & gv::vbCritical);
    QCOMPARE(m_boxes[0].title, QStringLiteral("GUI-Vonk"));
    QCOMPARE(m_boxes[1].style, int(gv::vbOKOnly));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle);
    QVERIFY(!m_w->isRunning());
    QVERIFY(m_w->cmdExecute()->isEnabled());
    QVERIFY(m_w->cursor().shape() == Qt::ArrowCursor);
}

void frmDOSOutputTest::outputStreamsWhileTheWindowStaysResponsive()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);

    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->txtCommand()->setEditText(QStringLiteral("/bin/sh -c 'printf primo; sleep 0.6; printf secondo'"));
    m_w->cmdExecute_Click();
    // The handler returned at once, the pointer shows the run.
    QVERIFY(m_w->isRunning());
    QCOMPARE(m_w->cursor().shape(), Qt::WaitCursor);
    QVERIFY(!m_w->cmdExecute()->isEnabled());
    QVERIFY(m_w->cmdStop()->isVisible());
    // The first part shows while the child still sleeps.
    QTRY_VERIFY_WITH_TIMEOUT(m_w->txtOutputs()->toPlainText().endsWith(QStringLiteral("primo")), 5000);
    QVERIFY(m_w->isRunning());
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(finished.wait(10000));
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle + QStringLiteral("primosecondo"));
    QCOMPARE(prompts(), QStringList { QStringLiteral("Lettura completa") });
    QVERIFY(m_w->cursor().shape() == Qt::ArrowCursor);
    QVERIFY(!m_w->cmdStop()->isVisible());
    QVERIFY(m_w->cmdExecute()->isEnabled());
}

void frmDOSOutputTest::noSecondRunWhileOneLasts()
{
    m_w->Form_Load();
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->txtCommand()->setEditText(QStringLiteral("/bin/sh -c 'sleep 0.4; printf uno'"));
    m_w->cmdExecute_Click();
    QVERIFY(m_w->isRunning());
    m_w->txtCommand()->setEditText(QStringLiteral("/bin/printf due"));
    m_w->cmdExecute_Click();
    m_w->cmdExecute()->click();
    QVERIFY(finished.wait(10000));
    QTest::qWait(200);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle + QStringLiteral("uno"));
    QCOMPARE(prompts(), QStringList { QStringLiteral("Lettura completa") });
}

void frmDOSOutputTest::stopEndsALongRun_data()
{
    QTest::addColumn<bool>("useEscape");
    QTest::addColumn<QString>("command");
    const QString quiet = QStringLiteral("/bin/sh -c 'printf avviato; sleep 30 & sleep 30'");
    // A child that never stops printing: the window must still hear Esc.
    const QString flood = QStringLiteral("/bin/sh -c 'printf avviato; exec yes'");
    QTest::newRow("Esc") << true << quiet;
    QTest::newRow("Stop control") << false << quiet;
    QTest::newRow("Esc during a flood") << true << flood;
}

void frmDOSOutputTest::stopEndsALongRun()
{
    QFETCH(bool, useEscape);
    QFETCH(QString, command);
    const bool flood = command.endsWith(QStringLiteral("yes'"));
    m_w->show();
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->txtCommand()->setEditText(command);
    m_w->cmdExecute_Click();
    QTRY_VERIFY_WITH_TIMEOUT(m_w->txtOutputs()->toPlainText().size() > kIdle.size() + (flood ? 100000 : 6), 5000);
    QVERIFY(m_w->cmdStop()->isVisible());
    QElapsedTimer clock;
    clock.start();
    if (useEscape)
        QTest::keyClick(m_w->txtOutputs(), Qt::Key_Escape);
    else
        QTest::mouseClick(m_w->cmdStop(), Qt::LeftButton);
    QVERIFY(finished.wait(5000));
    QVERIFY(clock.elapsed() < 5000);
    // The report says it was cut short, on a line of its own, before the
    // usual end.
    const QString stopped = QStringLiteral("\n-> interrotto dall'utente\n");
    if (flood) {
        const QString text = m_w->txtOutputs()->toPlainText();
        QVERIFY(text.startsWith(kIdle + QStringLiteral("avviato")));
        QVERIFY(text.endsWith(stopped));
    } else {
        QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle + QStringLiteral("avviato") + stopped);
    }
    QCOMPARE(prompts(), QStringList { QStringLiteral("Lettura completa") });
    QVERIFY(!m_w->cmdStop()->isVisible());
    QVERIFY(!m_w->isRunning());
    // Esc with nothing running does nothing.
    QTest::keyClick(m_w->txtOutputs(), Qt::Key_Escape);
    QCOMPARE(m_boxes.size(), 1);
}

void frmDOSOutputTest::lineEndsAndUtf8FromARealChild()
{
    runAndWait(QStringLiteral("/bin/printf 'a\\r\\nb\\r\\nè già\\n'"));
    QCOMPARE(m_w->txtOutputs()->toPlainText(), kIdle + QStringLiteral("a\nb\nè già\n"));
}

void frmDOSOutputTest::closingDuringARunEndsItQuietly()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    QSignalSpy finished(m_w.get(), &frmDOSOutput::runFinished);
    m_w->txtCommand()->setEditText(QStringLiteral("/bin/sh -c 'printf via; sleep 30'"));
    m_w->cmdExecute_Click();
    QTRY_VERIFY_WITH_TIMEOUT(m_w->txtOutputs()->toPlainText().endsWith(QStringLiteral("via")), 5000);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_w->close());
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!m_w->isRunning());
    QVERIFY(m_boxes.isEmpty());
    // Destroying the window while a run lasts does not wait for the child.
    m_w = std::make_unique<frmDOSOutput>();
    m_w->txtCommand()->setEditText(QStringLiteral("/bin/sleep 30"));
    m_w->cmdExecute_Click();
    QVERIFY(m_w->isRunning());
    clock.restart();
    m_w.reset();
    QVERIFY(clock.elapsed() < 4000);
}

namespace {

// Fails on the n-th chunk of output, as a handler that runs out of memory.
class FailingWindow : public frmDOSOutput {
public:
    int failAt = 1;
    int seen = 0;

protected:
    void objDOS_ReceiveOutputs(const QString& CommandOutputs) override
    {
        if (!CommandOutputs.isEmpty() && ++seen == failAt)
            throw std::bad_alloc();
        frmDOSOutput::objDOS_ReceiveOutputs(CommandOutputs);
    }
};

} // namespace

void frmDOSOutputTest::errorHandlerBox()
{
    QCOMPARE(gv::runErrorText(std::runtime_error("Disco pieno")), QStringLiteral("Disco pieno - frmDOSOutput - 5"));
    QCOMPARE(gv::runErrorText(std::bad_alloc()), QString::fromUtf8(std::bad_alloc().what()) + QStringLiteral(" - frmDOSOutput - 7"));

    m_w.reset();
    FailingWindow window;
    window.failAt = 2;
    QSignalSpy finished(&window, &frmDOSOutput::runFinished);
    window.txtCommand()->setEditText(QStringLiteral("/bin/sh -c 'printf uno; sleep 0.2; printf due; sleep 0.2; printf tre; sleep 20'"));
    window.cmdExecute_Click();
    QVERIFY(finished.wait(8000));
    // The error ends the run: the pane keeps what came before it, the box
    // names the error, and no "Lettura completa" follows.
    QCOMPARE(window.txtOutputs()->toPlainText(), kIdle + QStringLiteral("uno"));
    QCOMPARE(prompts(), QStringList { QString::fromUtf8(std::bad_alloc().what()) + QStringLiteral(" - frmDOSOutput - 7") });
    QCOMPARE(m_boxes[0].style, int(gv::vbOKOnly));
    QVERIFY(!window.isRunning());
    QVERIFY(window.cursor().shape() == Qt::ArrowCursor);

    // The window runs again afterwards.
    m_boxes.clear();
    window.failAt = -1;
    window.txtCommand()->setEditText(QStringLiteral("/bin/printf ok"));
    window.cmdExecute_Click();
    QVERIFY(finished.wait(8000));
    QCOMPARE(window.txtOutputs()->toPlainText(), kIdle + QStringLiteral("unook"));
    QCOMPARE(prompts(), QStringList { QStringLiteral("Lettura completa") });
}

void frmDOSOutputTest::missingRunnerIsReportedNotCrashed()
{
    QCOMPARE(gv::runErrorText(gv::MissingRunnerError()),
        QStringLiteral("Object variable or With block variable not set - frmDOSOutput - 91"));
}

void frmDOSOutputTest::layoutFollowsTheSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design") << QSize(586, 401);
    QTest::newRow("larger") << QSize(800, 600);
    QTest::newRow("tiny") << QSize(30, 20);
}

void frmDOSOutputTest::layoutFollowsTheSize()
{
    QFETCH(QSize, size);
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    m_w->resize(size);
    QTRY_COMPARE(m_w->size(), size);
    const int W = size.width();
    const int H = size.height();
    QCOMPARE(m_w->Image(9)->geometry().right() + 1, W);
    QCOMPARE(m_w->Image(6)->geometry().right() + 1, W);
    QCOMPARE(m_w->Image(6)->height(), H);
    QCOMPARE(m_w->Image(3)->height(), H);
    QCOMPARE(m_w->Image(8)->geometry().right() + 1, W - qRound(800 / 15.0));
    const int bottomTop = H - m_w->Image(4)->height();
    for (int n : { 4, 5, 7 })
        QCOMPARE(m_w->Image(n)->y(), bottomTop);
    QCOMPARE(m_w->Image(5)->geometry().right() + 1, W);
    for (QWidget* wide : { static_cast<QWidget*>(m_w->Image(1)), static_cast<QWidget*>(m_w->LabelTOP()),
             static_cast<QWidget*>(m_w->Image(7)) })
        QCOMPARE(wide->width(), W);
    // Nothing else moves.
    QCOMPARE(m_w->txtOutputs()->geometry(), px(90, 2055, 8520, 2835));
    QCOMPARE(m_w->Image(10)->geometry(), px(60, 0, 180, 300));
    QCOMPARE(m_w->Image(2)->geometry(), px(15, 285, 60, 645));
}

void frmDOSOutputTest::titleDragMovesTheWindow()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    QLabel* title = m_w->LabelTOP();
    const QPoint start = m_w->pos();
    auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(local), QPointF(title->mapToGlobal(local)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(title, &event);
    };
    // Moving over the title with no button held moves nothing.
    send(QEvent::MouseMove, { 30, 5 }, Qt::NoButton, Qt::NoButton);
    QCOMPARE(m_w->pos(), start);
    // With the left button held the window follows the pointer (the
    // system's move where the platform has one, else by hand).
    send(QEvent::MouseButtonPress, { 10, 5 }, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, { 40, 25 }, Qt::NoButton, Qt::LeftButton);
    QTRY_COMPARE(m_w->pos(), start + QPoint(30, 20));
    send(QEvent::MouseButtonRelease, { 40, 25 }, Qt::LeftButton, Qt::NoButton);
    const QPoint after = m_w->pos();
    send(QEvent::MouseMove, { 5, 5 }, Qt::NoButton, Qt::NoButton);
    QCOMPARE(m_w->pos(), after);
    // Qt may go on reporting the button held when a window manager's move
    // kept the release: without a new press on the title nothing moves.
    send(QEvent::MouseMove, { 60, 30 }, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, { 90, 40 }, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(m_w->pos(), after);
}

void frmDOSOutputTest::alwaysOnTopFollowsCheck2()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    const QRect before = m_w->geometry();
    QVERIFY(!(m_w->windowFlags() & Qt::WindowStaysOnTopHint));
    m_w->Check2()->setChecked(true);
    m_w->Check2_Click();
    QVERIFY(m_w->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(m_w->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    QVERIFY(m_w->isVisible());
    m_w->Check2()->setChecked(false);
    m_w->Check2_Click();
    QVERIFY(!(m_w->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(!(m_w->windowHandle()->flags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(m_w->geometry(), before);
    QVERIFY(m_w->windowFlags() & Qt::FramelessWindowHint);
}

QTEST_MAIN(frmDOSOutputTest)
#include "frmDOSOutputTest.moc"
