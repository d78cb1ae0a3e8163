// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointF>
#include <QString>
#include <QTextCursor>
#include <QTimer>

namespace gv {

// The black console pane of the main window. It shows a command's report
// as it arrives: chunks are appended at the end (never by re-setting the
// whole text, so appending costs do not grow with what the pane holds),
// chunks that arrive in one event-loop pass are inserted together, and the
// end stays in view. The user can move the caret, select and copy, but
// cannot change the text: typing, Backspace, Delete, paste, cut and text
// drops are refused. Dropped files are the window's business: it takes the
// pane's drag events before the pane sees them.
//
// A flood of output reaches the document at most once a frame: every
// insertion costs a relayout of the view's end and a repaint, which would
// otherwise be paid for each read of the pipe. Within an insertion, lines
// share document blocks a few dozen at a time: a block of its own for
// every line cost more than everything else the window does for a large
// report, and a block is laid out only while it is in view.
class ConsolePane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ConsolePane(QWidget* parent = nullptr);

    // Twenty frames a second: each frame lays out and paints the pane
    // (its scroll bar too), which during a flood cost as much again as
    // inserting the text at forty.
    static constexpr int FlushInterval = 50; // milliseconds
    // Lines of a flood that share one document block (see insertAtEnd()).
    static constexpr int LinesPerBlock = 64;
    // Largest buffer of queued output kept for the next frame (characters).
    static constexpr qsizetype MaxPendingRoom = qsizetype(1) << 20;

    // Queues a chunk of output; it reaches the document at the next
    // flushPending(), which runs by itself on the next event-loop pass
    // once FlushInterval has passed since the last insertion.
    void appendOutput(const QString& chunk);
    // Inserts everything queued now.
    void flushPending();
    // The end of a stream: a held-back CR counts as a line end.
    void endOfStream();
    // Writes a line of the window's own after everything queued, on a line
    // of its own whatever the last output ended with.
    void appendLine(const QString& line);
    bool hasPending() const { return !m_pending.isEmpty(); }

    // Replaces the whole content (used when a new request clears the
    // pane); the caret then stands at the end, i.e. at 0 when empty.
    void setConsoleText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    // A triple click selects the line under the pointer, and dragging on
    // extends the selection by whole lines, as when every line was a
    // block of its own.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void keepEndInView();
    void insertAtEnd(QString& text);
    QString normaliseLineEnds(const QString& text);

    QString m_pending;
    bool m_lastWasCR = false;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
    QElapsedTimer m_sinceDoubleClick;
    QPointF m_doubleClickAt;
    QTextCursor m_tripleClickLine; // the line a triple click selected, while the button is down
};

} // namespace gv
