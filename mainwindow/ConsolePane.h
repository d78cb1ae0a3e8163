// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
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
// otherwise be paid for each read of the pipe.
class ConsolePane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ConsolePane(QWidget* parent = nullptr);

    static constexpr int FlushInterval = 25; // milliseconds

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

private:
    void keepEndInView();
    QString normaliseLineEnds(const QString& text);

    QString m_pending;
    bool m_lastWasCR = false;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
};

} // namespace gv
