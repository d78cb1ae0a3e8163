// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsolePane.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace gv {

ConsolePane::ConsolePane(QWidget* parent)
    : QPlainTextEdit(parent)
{
    // Read-only refuses every edit path at once (keys, paste, cut, input
    // methods, text drops); keyboard selection keeps a caret that the
    // arrow and page keys move, and Ctrl+A / Ctrl+C / the menu still work.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    // A report can be many megabytes: an undo history of it would only
    // double the memory.
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_flushTimer, &QTimer::timeout, this, &ConsolePane::flushPending);
    // Whoever changes the text, the caret follows the end.
    connect(this, &QPlainTextEdit::textChanged, this, &ConsolePane::keepEndInView);
}

QString ConsolePane::normaliseLineEnds(const QString& text)
{
    // CR LF is one line end, also when the pair is split between chunks; a
    // lone CR ends a line as well (the document would otherwise turn each
    // CR of a CR LF pair into a line of its own).
    if (!text.contains(QLatin1Char('\r')) && !(m_lastWasCR && text.startsWith(QLatin1Char('\n')))) {
        // The usual report: LF line ends only, nothing to rewrite.
        if (!text.isEmpty())
            m_lastWasCR = false;
        return text;
    }
    QString out;
    out.reserve(text.size());
    const QChar* c = text.constData();
    const QChar* const end = c + text.size();
    while (c != end) {
        // Copy the run up to the next line end in one go.
        const QChar* run = c;
        while (c != end && *c != QLatin1Char('\r') && *c != QLatin1Char('\n'))
            ++c;
        if (c != run) {
            out.append(run, c - run);
            m_lastWasCR = false;
        }
        if (c == end)
            break;
        if (*c == QLatin1Char('\n')) {
            if (!m_lastWasCR)
                out += QLatin1Char('\n');
            m_lastWasCR = false;
        } else {
            out += QLatin1Char('\n');
            m_lastWasCR = true;
        }
        ++c;
    }
    return out;
}

void ConsolePane::appendOutput(const QString& chunk)
{
    if (chunk.isEmpty())
        return;
    m_pending += chunk;
    if (m_flushTimer.isActive())
        return;
    // Output after a quiet spell shows on the next pass; during a flood
    // insertions keep FlushInterval apart.
    const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : FlushInterval;
    m_flushTimer.start(int(std::max<qint64>(0, FlushInterval - since)));
}

void ConsolePane::flushPending()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    QString text;
    std::swap(text, m_pending);
    text = normaliseLineEnds(text);
    m_sinceFlush.start();
    if (text.isEmpty())
        return;
    // Only `text` holds the frame's output now, so marking the line groups
    // writes into it rather than into a copy.
    insertAtEnd(text);
    // Its buffer takes the next frame's output: the same memory is filled
    // again rather than fresh pages, which cost more than the copying.
    if (m_pending.isEmpty() && text.capacity() <= MaxPendingRoom) {
        text.resize(0);
        std::swap(m_pending, text);
    }
}

void ConsolePane::insertAtEnd(QString& text)
{
    // Line ends inside a group of lines become line separators: the view
    // shows them as line breaks, and the document's plain text (what
    // toPlainText() and a copied selection give) turns them back into LF.
    // The last line end stays a block end, so the next insertion starts a
    // block of its own or continues an unfinished line, and never lays out
    // a grown block again.
    const qsizetype lastLineEnd = text.lastIndexOf(QLatin1Char('\n'));
    int inGroup = 0;
    QChar* c = text.data();
    for (qsizetype i = 0; i < lastLineEnd; ++i) {
        if (c[i] != QLatin1Char('\n'))
            continue;
        if (++inGroup == LinesPerBlock)
            inGroup = 0;
        else
            c[i] = QChar::LineSeparator;
    }
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    const int firstBlock = end.blockNumber();
    // The view counts a block that it has not laid out as one line. Each
    // new block is told its real line count before the edit ends, so the
    // scroll bar already spans every line when the view hears of the change.
    end.beginEditBlock();
    end.insertText(text);
    for (QTextBlock block = document()->findBlockByNumber(firstBlock); block.isValid(); block = block.next())
        block.setLineCount(int(block.text().count(QChar::LineSeparator)) + 1);
    end.endEditBlock();
}

void ConsolePane::endOfStream()
{
    flushPending();
    // The room kept for the next frame's output goes with the stream.
    m_pending = QString();
    // The next stream starts afresh: its first LF is a line of its own.
    m_lastWasCR = false;
}

void ConsolePane::appendLine(const QString& line)
{
    flushPending();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    // An empty last block means the text ends with a line end, or is empty.
    const bool atLineStart = document()->lastBlock().text().isEmpty();
    end.insertText((atLineStart ? QString() : QStringLiteral("\n")) + line + QLatin1Char('\n'));
}

void ConsolePane::setConsoleText(const QString& text)
{
    m_flushTimer.stop();
    m_pending.clear();
    m_lastWasCR = false;
    setPlainText(normaliseLineEnds(text));
    m_lastWasCR = false;
}

void ConsolePane::keepEndInView()
{
    QTextCursor cursor = textCursor();
    if (!cursor.atEnd() || cursor.hasSelection()) {
        cursor.movePosition(QTextCursor::End);
        setTextCursor(cursor);
    }
    if (QScrollBar* bar = verticalScrollBar())
        bar->setValue(bar->maximum());
    ensureCursorVisible();
}

void ConsolePane::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    // Enter and Escape belong to the window (run, stop).
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    // A read-only text view pages with Space and Backspace; here they are
    // typed characters like any other and are simply thrown away.
    if ((key == Qt::Key_Space || key == Qt::Key_Backspace) && !(event->modifiers() & ~Qt::ShiftModifier)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    // Typed characters stop here rather than travel on to the window.
    if (!event->text().isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        event->accept();
}

void ConsolePane::inputMethodEvent(QInputMethodEvent* event)
{
    event->accept();
}

namespace {

// The visual line at a cursor's position, with its line end.
std::pair<int, int> lineAround(QTextCursor cursor)
{
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::StartOfLine);
    const int start = cursor.position();
    cursor.movePosition(QTextCursor::EndOfLine);
    cursor.movePosition(QTextCursor::NextCharacter);
    return { start, cursor.position() };
}

} // namespace

void ConsolePane::mouseDoubleClickEvent(QMouseEvent* event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    m_sinceDoubleClick.start();
    m_doubleClickAt = event->position();
}

void ConsolePane::mousePressEvent(QMouseEvent* event)
{
    const bool tripleClick = event->button() == Qt::LeftButton && m_sinceDoubleClick.isValid()
        && m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval()
        && (event->position() - m_doubleClickAt).manhattanLength() < QApplication::startDragDistance();
    m_sinceDoubleClick.invalidate();
    m_tripleClickLine = QTextCursor();
    QPlainTextEdit::mousePressEvent(event);
    // The text view selects the whole block, which holds a group of lines.
    if (!tripleClick || !textCursor().hasSelection())
        return;
    const auto [start, end] = lineAround(cursorForPosition(event->position().toPoint()));
    QTextCursor line(document());
    line.setPosition(start);
    line.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(line);
    m_tripleClickLine = line;
}

void ConsolePane::mouseMoveEvent(QMouseEvent* event)
{
    if (m_tripleClickLine.isNull() || !(event->buttons() & Qt::LeftButton)) {
        QPlainTextEdit::mouseMoveEvent(event);
        return;
    }
    const int lineStart = m_tripleClickLine.selectionStart();
    const int lineEnd = m_tripleClickLine.selectionEnd();
    const auto [start, end] = lineAround(cursorForPosition(event->position().toPoint()));
    QTextCursor selection(document());
    if (start < lineStart) {
        selection.setPosition(lineEnd);
        selection.setPosition(start, QTextCursor::KeepAnchor);
    } else {
        selection.setPosition(lineStart);
        selection.setPosition(std::max(end, lineEnd), QTextCursor::KeepAnchor);
    }
    setTextCursor(selection);
}

void ConsolePane::mouseReleaseEvent(QMouseEvent* event)
{
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        m_tripleClickLine = QTextCursor();
}

} // namespace gv
