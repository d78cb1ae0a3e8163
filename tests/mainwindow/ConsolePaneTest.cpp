// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsolePane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

using gv::ConsolePane;

class ConsolePaneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lineEnds_data();
    void lineEnds();
    void chunksOfOnePassAreInsertedTogether();
    void aFloodIsInsertedAtMostOnceAFrame();
    void appendingNeverReplacesTheText();
    void endStaysInView();
    void aFloodReadsAsOneBlockPerLine();
    void clearingPutsCaretAtZero();
    void typingIsRefused_data();
    void typingIsRefused();
    void pasteCutAndTextDropAreRefused();
    void navigationKeysMoveTheCaret();
    void selectAllAndCopyWork();
};

void ConsolePaneTest::lineEnds_data()
{
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lf") << QStringList { QStringLiteral("a\nb\n") } << QStringLiteral("a\nb\n");
    QTest::newRow("crlf") << QStringList { QStringLiteral("a\r\nb\r\n") } << QStringLiteral("a\nb\n");
    QTest::newRow("crlf split") << QStringList { QStringLiteral("a\r"), QStringLiteral("\nb") } << QStringLiteral("a\nb");
    QTest::newRow("crlf split by empty") << QStringList { QStringLiteral("a\r"), QString(), QStringLiteral("\nb") }
                                         << QStringLiteral("a\nb");
    QTest::newRow("lone cr") << QStringList { QStringLiteral("a\rb") } << QStringLiteral("a\nb");
    QTest::newRow("cr at chunk end then text") << QStringList { QStringLiteral("a\r"), QStringLiteral("b") }
                                               << QStringLiteral("a\nb");
    QTest::newRow("blank line crlf") << QStringList { QStringLiteral("a\r\n\r\nb") } << QStringLiteral("a\n\nb");
    QTest::newRow("blank line split") << QStringList { QStringLiteral("a\r\n\r"), QStringLiteral("\nb") }
                                      << QStringLiteral("a\n\nb");
    QTest::newRow("cr cr lf") << QStringList { QStringLiteral("a\r\r\nb") } << QStringLiteral("a\n\nb");
    QTest::newRow("unicode kept") << QStringList { QStringLiteral("è"), QStringLiteral("ü\r\n") } << QStringLiteral("èü\n");
}

void ConsolePaneTest::lineEnds()
{
    QFETCH(QStringList, chunks);
    QFETCH(QString, expected);
    // Each chunk in its own event-loop pass, as when they trickle in.
    ConsolePane pane;
    pane.setConsoleText(QString());
    for (const QString& chunk : chunks) {
        pane.appendOutput(chunk);
        pane.flushPending();
    }
    QCOMPARE(pane.toPlainText(), expected);

    // The same chunks arriving together give the same text.
    ConsolePane together;
    together.setConsoleText(QString());
    for (const QString& chunk : chunks)
        together.appendOutput(chunk);
    QTRY_VERIFY(!together.hasPending());
    QCOMPARE(together.toPlainText(), expected);
}

void ConsolePaneTest::chunksOfOnePassAreInsertedTogether()
{
    ConsolePane pane;
    pane.setConsoleText(QStringLiteral("-> output: idle\n"));
    QSignalSpy changes(&pane, &QPlainTextEdit::textChanged);
    for (int i = 0; i < 50; ++i)
        pane.appendOutput(QStringLiteral("line %1\n").arg(i));
    // Nothing reaches the document inside the pass that produced it ...
    QCOMPARE(pane.toPlainText(), QStringLiteral("-> output: idle\n"));
    QCOMPARE(changes.count(), 0);
    // ... and everything arrives in one insertion on the next pass.
    QString expected = QStringLiteral("-> output: idle\n");
    for (int i = 0; i < 50; ++i)
        expected += QStringLiteral("line %1\n").arg(i);
    QTRY_VERIFY(!pane.hasPending());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(pane.toPlainText(), expected);
}

void ConsolePaneTest::aFloodIsInsertedAtMostOnceAFrame()
{
    // A fast command has a chunk ready at every event-loop pass; inserting
    // each pass's chunks at once would relayout and repaint the view at
    // the rate of the reads.
    ConsolePane pane;
    pane.setConsoleText(QString());
    QSignalSpy changes(&pane, &QPlainTextEdit::textChanged);
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    while (clock.elapsed() < 300) {
        pane.appendOutput(QStringLiteral("riga %1\n").arg(sent++));
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    const qsizetype duringFlood = changes.count();
    pane.flushPending();
    QCOMPARE(pane.toPlainText().count(QLatin1Char('\n')), sent);
    QVERIFY2(duringFlood <= elapsed / ConsolePane::FlushInterval + 2,
        qPrintable(QStringLiteral("%1 insertions in %2 ms").arg(duringFlood).arg(elapsed)));
    // ... yet the output kept showing while it poured in.
    QVERIFY(duringFlood >= 2);
}

void ConsolePaneTest::appendingNeverReplacesTheText()
{
    ConsolePane pane;
    pane.setConsoleText(QStringLiteral("-> output: idle\n"));
    int removedTotal = 0;
    QList<int> positions;
    connect(pane.document(), &QTextDocument::contentsChange, &pane, [&](int position, int removed, int) {
        removedTotal += removed;
        positions.append(position);
    });
    int expectedPosition = pane.document()->characterCount() - 1;
    for (int i = 0; i < 20; ++i) {
        const QString chunk = QStringLiteral("chunk %1\n").arg(i);
        pane.appendOutput(chunk);
        pane.flushPending();
        QCOMPARE(positions.last(), expectedPosition);
        expectedPosition += int(chunk.size());
    }
    QCOMPARE(removedTotal, 0);
}

void ConsolePaneTest::endStaysInView()
{
    ConsolePane pane;
    pane.resize(400, 150);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    for (int i = 0; i < 300; ++i)
        pane.appendOutput(QStringLiteral("riga %1\n").arg(i));
    QTRY_VERIFY(!pane.hasPending());
    QCoreApplication::processEvents();
    QVERIFY(pane.verticalScrollBar()->maximum() > 0);
    QCOMPARE(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
    QVERIFY(pane.textCursor().atEnd());

    // The user scrolls up; the next chunk brings the end back.
    pane.verticalScrollBar()->setValue(0);
    pane.appendOutput(QStringLiteral("ultima\n"));
    pane.flushPending();
    QCoreApplication::processEvents();
    QCOMPARE(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
}

void ConsolePaneTest::aFloodReadsAsOneBlockPerLine()
{
    // However a flood is stored, the user sees, scrolls, selects and copies
    // it as a pane that holds one block per line.
    QString text;
    for (int i = 0; i < 1000; ++i)
        text += QStringLiteral("riga %1%2\n").arg(i).arg(QString(i % 7, QLatin1Char('x')));
    ConsolePane flooded;
    flooded.setConsoleText(QString());
    ConsolePane reference;
    reference.setConsoleText(text);
    for (ConsolePane* pane : { &flooded, &reference }) {
        pane->resize(400, 150);
        pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(pane));
    }
    for (qsizetype at = 0; at < text.size(); at += 4000)
        flooded.appendOutput(text.mid(at, 4000));
    QTRY_VERIFY(!flooded.hasPending());
    QCoreApplication::processEvents();
    QCOMPARE(flooded.toPlainText(), text);

    QScrollBar* bar = flooded.verticalScrollBar();
    QCOMPARE(bar->maximum(), reference.verticalScrollBar()->maximum());
    const QPoint inFirstLine(5, 5);
    for (const int value : { 0, 333, 334, 900, bar->maximum() }) {
        bar->setValue(value);
        reference.verticalScrollBar()->setValue(value);
        QCoreApplication::processEvents();
        QCOMPARE(flooded.cursorForPosition(inFirstLine).position(), reference.cursorForPosition(inFirstLine).position());
    }

    // A triple click selects one line, a drag on whole lines, and a copy
    // gives them with LF line ends.
    const int lineHeight = flooded.fontMetrics().lineSpacing();
    for (ConsolePane* pane : { &flooded, &reference }) {
        pane->verticalScrollBar()->setValue(120);
        const QPoint third(20, 2 * lineHeight + lineHeight / 2);
        QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, third);
        QTest::mouseDClick(pane->viewport(), Qt::LeftButton, {}, third);
        QTest::mousePress(pane->viewport(), Qt::LeftButton, {}, third);
        QCOMPARE(pane->textCursor().selectedText().chopped(1), QStringLiteral("riga 122xxx"));
        // Dragging on selects whole lines.
        const QPoint fifth(60, 4 * lineHeight + lineHeight / 2);
        QTest::mouseMove(pane->viewport(), fifth);
        QTest::mouseRelease(pane->viewport(), Qt::LeftButton, {}, fifth);
        pane->copy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("riga 122xxx\nriga 123xxxx\nriga 124xxxxx\n"));
    }
}

void ConsolePaneTest::clearingPutsCaretAtZero()
{
    ConsolePane pane;
    pane.setConsoleText(QStringLiteral("abc\ndef\n"));
    QCOMPARE(pane.textCursor().position(), 8);
    pane.setConsoleText(QString());
    QCOMPARE(pane.textCursor().position(), 0);
    QCOMPARE(pane.toPlainText(), QString());
}

void ConsolePaneTest::typingIsRefused_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << QStringLiteral("a");
    QTest::newRow("capital") << int(Qt::Key_B) << int(Qt::ShiftModifier) << QStringLiteral("B");
    QTest::newRow("digit") << int(Qt::Key_7) << 0 << QStringLiteral("7");
    QTest::newRow("space") << int(Qt::Key_Space) << 0 << QStringLiteral(" ");
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << 0 << QStringLiteral("\b");
    QTest::newRow("delete") << int(Qt::Key_Delete) << 0 << QString();
    QTest::newRow("tab char") << int(Qt::Key_Tab) << 0 << QStringLiteral("\t");
    QTest::newRow("return") << int(Qt::Key_Return) << 0 << QStringLiteral("\r");
    QTest::newRow("accented") << int(Qt::Key_Egrave) << 0 << QStringLiteral("è");
    QTest::newRow("ctrl+backspace") << int(Qt::Key_Backspace) << int(Qt::ControlModifier) << QString();
    QTest::newRow("ctrl+delete") << int(Qt::Key_Delete) << int(Qt::ControlModifier) << QString();
}

void ConsolePaneTest::typingIsRefused()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    ConsolePane pane;
    const QString content = QStringLiteral("-> output: idle\nabc def\n");
    pane.setConsoleText(content);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.setFocus();
    // In the middle of the text and at its end.
    for (const bool atEnd : { false, true }) {
        QTextCursor cursor = pane.textCursor();
        cursor.setPosition(atEnd ? int(content.size()) : 20);
        pane.setTextCursor(cursor);
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
        QApplication::sendEvent(&pane, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::KeyboardModifiers(modifiers), text);
        QApplication::sendEvent(&pane, &release);
        QCOMPARE(pane.toPlainText(), content);
    }
}

void ConsolePaneTest::pasteCutAndTextDropAreRefused()
{
    ConsolePane pane;
    const QString content = QStringLiteral("report line\n");
    pane.setConsoleText(content);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.setFocus();

    QApplication::clipboard()->setText(QStringLiteral("intruso"));
    QTest::keyClick(&pane, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&pane, Qt::Key_Insert, Qt::ShiftModifier);
    pane.paste();
    QCOMPARE(pane.toPlainText(), content);

    pane.selectAll();
    QTest::keyClick(&pane, Qt::Key_X, Qt::ControlModifier);
    pane.cut();
    QCOMPARE(pane.toPlainText(), content);

    auto* mime = new QMimeData;
    mime->setText(QStringLiteral("dropped text"));
    const QPoint at = pane.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &enter);
    QVERIFY(!enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &drop);
    QCOMPARE(pane.toPlainText(), content);
    delete mime;
}

void ConsolePaneTest::navigationKeysMoveTheCaret()
{
    ConsolePane pane;
    QString content;
    for (int i = 0; i < 100; ++i)
        content += QStringLiteral("riga numero %1\n").arg(i);
    pane.setConsoleText(content);
    pane.resize(300, 120);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.setFocus();

    QTest::keyClick(&pane, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(pane.textCursor().position(), 0);
    QTest::keyClick(&pane, Qt::Key_Right);
    QCOMPARE(pane.textCursor().position(), 1);
    QTest::keyClick(&pane, Qt::Key_Down);
    QCOMPARE(pane.textCursor().blockNumber(), 1);
    QTest::keyClick(&pane, Qt::Key_Left);
    QCOMPARE(pane.textCursor().positionInBlock(), 0);
    QTest::keyClick(&pane, Qt::Key_PageDown);
    QVERIFY(pane.textCursor().blockNumber() > 2);
    const int afterPageDown = pane.textCursor().blockNumber();
    QTest::keyClick(&pane, Qt::Key_PageUp);
    QVERIFY(pane.textCursor().blockNumber() < afterPageDown);
    QTest::keyClick(&pane, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(pane.textCursor().atEnd());
    QCOMPARE(pane.toPlainText(), content);
}

void ConsolePaneTest::selectAllAndCopyWork()
{
    ConsolePane pane;
    const QString content = QStringLiteral("tipo: PNG image\ntipo: ZIP archive\n");
    pane.setConsoleText(content);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(&pane, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(pane.textCursor().hasSelection());
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), content);

    // The context menu offers copying, not editing.
    std::unique_ptr<QMenu> menu(pane.createStandardContextMenu());
    QStringList enabled;
    for (QAction* action : menu->actions()) {
        if (action->isEnabled() && !action->isSeparator())
            enabled.append(action->text().remove(QLatin1Char('&')));
    }
    QVERIFY(enabled.join(QLatin1Char('|')).contains(QStringLiteral("Copy")));
    for (const QString& editing : { QStringLiteral("Paste"), QStringLiteral("Cut"), QStringLiteral("Delete") }) {
        for (const QString& item : enabled)
            QVERIFY2(!item.startsWith(editing), qPrintable(item));
    }
}

QTEST_MAIN(ConsolePaneTest)
#include "ConsolePaneTest.moc"
