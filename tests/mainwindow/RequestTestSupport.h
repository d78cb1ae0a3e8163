// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the identification-request tests share: the seams that answer every
// box and dialog, synthesised drags of file lists, and files with raw byte
// names.

#include "frmDOSOutput.h"

#include "winhelpers/CommonDialog.h"
#include "winhelpers/MsgBox.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <ftw.h>
#include <cstdio>
#include <sys/stat.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace reqtest {

struct Box {
    QString prompt;
    int style = 0;
    QString title;
    bool placed = false;
};

struct SeenDialog {
    QString title;
    bool folders = false;
    QString directory;
    QStringList selected;
};

// Answers every box and dialog instead of a person and records them.
// Yes/No questions get `confirm`; dialogs take their answers in order and
// are cancelled once the list is used up.
class Seams {
public:
    Seams()
    {
        gv::SetMsgBoxAnswerer([this](const gv::MsgBoxRequest& request, QMessageBox*) {
            boxes.append({ request.prompt, request.style, request.title, request.placed });
            return (request.style & 0x0F) == gv::vbYesNo ? confirm : int(gv::vbOK);
        });
        gv::SetDialogAnswerer([this](QFileDialog* dialog) {
            dialogs.append({ dialog->windowTitle(), dialog->fileMode() == QFileDialog::Directory,
                             dialog->directory().absolutePath(), dialog->selectedFiles() });
            if (answers.isEmpty())
                return gv::DialogAnswer { false, {} };
            return answers.takeFirst();
        });
    }
    ~Seams()
    {
        gv::SetMsgBoxAnswerer(nullptr);
        gv::SetDialogAnswerer(nullptr);
    }
    Seams(const Seams&) = delete;
    Seams& operator=(const Seams&) = delete;

    void choose(const QString& path) { answers.append(gv::DialogAnswer { true, path }); }
    void cancel() { answers.append(gv::DialogAnswer { false, {} }); }
    QStringList prompts() const
    {
        QStringList list;
        for (const Box& box : boxes)
            list.append(box.prompt);
        return list;
    }

    int confirm = gv::vbYes;
    QList<Box> boxes;
    QList<SeenDialog> dialogs;
    QList<gv::DialogAnswer> answers;
};

// A file list as a file manager puts it on the drag: percent-encoded file
// URLs, so any byte of a name survives.
inline std::unique_ptr<QMimeData> fileList(const std::vector<std::string>& paths)
{
    QByteArray list;
    for (const std::string& path : paths)
        list += "file://" + QByteArray::fromStdString(path).toPercentEncoding("/") + "\r\n";
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/uri-list"), list);
    return data;
}

// Sends a drag entering (then moving over) the target; returns the effect
// accepted: 1 copy, 0 none.
inline int dragOver(QWidget* target, const QMimeData* data,
                    Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    const QPoint at(4, 4);
    QDragEnterEvent enter(at, allowed, data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return 0;
    QDragMoveEvent move(at + QPoint(1, 1), allowed, data, Qt::LeftButton, Qt::NoModifier);
    move.ignore();
    QApplication::sendEvent(target, &move);
    return move.isAccepted() ? int(move.dropAction()) : 0;
}

inline void dragAway(QWidget* target)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
}

// Drags the data over the target and drops it there, as the platform does
// (no drop after a refused drag-over); the request that the drop starts
// runs once the drop event is over.
inline bool dragAndDrop(QWidget* target, const QMimeData* data,
                        Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    if (!dragOver(target, data, allowed))
        return false;
    QDropEvent drop(QPointF(5, 5), allowed, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();
    return true;
}

// Waits for the run that a request has started.
inline bool waitForRun(QSignalSpy& finished, int timeoutMs = 20000)
{
    return !finished.isEmpty() || finished.wait(timeoutMs);
}

inline bool writeBytes(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ::close(fd);
    return ok;
}

// Empties a folder whatever bytes its names hold (Qt's own removal cannot
// name files that are not UTF-8).
inline void emptyFolder(const std::string& folder)
{
    ::nftw(
        folder.c_str(),
        [](const char* path, const struct stat*, int, FTW* at) {
            if (at->level > 0)
                std::remove(path);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

inline std::string bytesOf(const QString& path)
{
    return path.toUtf8().toStdString();
}

// The names that must reach the identifier as themselves: blanks, quotes,
// shell syntax, a newline, bytes that are not UTF-8.
inline std::vector<std::string> awkwardNames()
{
    return {
        "two  blanks and\ttab.txt",
        "quote's \"double\".txt",
        "semi;colon; ls.txt",
        "$(touch x)",
        "back`touch x`tick & pipe | amp.txt",
        "new\nline.txt",
        std::string("latin1 \xe8\xff name.txt"),
        "back\\slash*?.txt",
    };
}

} // namespace reqtest
