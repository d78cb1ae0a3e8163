#include "FileHelpers.h"

#include "MsgBox.h"
#include "core/ShortName.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include <utility>

namespace gv {

namespace {

ShellOpener& currentOpener()
{
    static ShellOpener opener;
    return opener;
}

// A "scheme:" prefix of two or more letters makes a link; anything else is
// a file or folder.
bool looksLikeLink(const QString& target)
{
    const QUrl url(target);
    return url.isValid() && url.scheme().size() > 1 && !url.isLocalFile();
}

bool openWithDesktop(const QString& target, const QString& params)
{
    if (looksLikeLink(target))
        return QDesktopServices::openUrl(QUrl(target));
    const QFileInfo info(target);
    if (!info.exists())
        return false;
    if (!params.isEmpty() && info.isFile() && info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(params),
                                       QCoreApplication::applicationDirPath());
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

} // namespace

QString GetShortName(const QString& path)
{
    return QFile::decodeName(QByteArray::fromStdString(ShortPathOf(QFile::encodeName(path).toStdString())));
}

ExtractOutcome ExtractResourceFile(const QString& target, int id, const QString& type, bool overwrite)
{
    return ExtractResourceToFile(QFile::encodeName(target).toStdString(), id, type.toStdString(), overwrite);
}

void OpenWithShell(const QString& target, const QString& params)
{
    if (target.isEmpty())
        return;
    const ShellOpener opener = currentOpener();
    const bool opened = opener ? opener(target, params) : openWithDesktop(target, params);
    if (!opened)
        SystemMsgBox(QStringLiteral("Error jumping to:") + target, vbExclamation, QStringLiteral("Warning"));
}

void SetShellOpener(ShellOpener opener)
{
    currentOpener() = std::move(opener);
}

void MakeControlFlat(QAbstractButton* button)
{
    if (!button)
        return;
    if (auto* push = qobject_cast<QPushButton*>(button))
        push->setFlat(true);
    else if (auto* tool = qobject_cast<QToolButton*>(button))
        tool->setAutoRaise(true);
    button->setVisible(true);
}

} // namespace gv
