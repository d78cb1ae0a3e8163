// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommonDialog.h"

#include "QtPlacement.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>

#include <utility>

namespace gv {

namespace {

struct PlacementState {
    int mode = NoMove;
    int shift = 0;
    QPointer<QWidget> owner;
};

PlacementState& placementState()
{
    static PlacementState state;
    return state;
}

DialogAnswerer& currentAnswerer()
{
    static DialogAnswerer answerer;
    return answerer;
}

std::string utf8(const QString& s)
{
    return s.toStdString();
}

QString fromUtf8(const std::string& s)
{
    return QString::fromStdString(s);
}

// Moves a dialog once, as it is first shown: after Qt has sized it and made
// its own choice of place, before the window system maps it.
class PlaceOnFirstShow : public QObject {
public:
    explicit PlaceOnFirstShow(QWidget* dialog) : QObject(dialog), m_dialog(dialog) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_dialog && event->type() == QEvent::Show && !m_done) {
            m_done = true;
            const PlacementState& s = placementState();
            PlaceWindow(m_dialog, s.owner.data(), s.mode, s.shift);
        }
        return false;
    }

private:
    QWidget* m_dialog;
    bool m_done = false;
};

// A file dialog that adds its default suffix to a typed name only when no
// entry of the name as typed exists: "notes" opens the file "notes" where
// there is one, and "notes.txt" only where there is not. Qt's own default
// suffix would be added always, and would even select "notes.txt" in the
// list while "notes" is being typed.
class FileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void setSuffixForNewNames(const QString& suffix) { m_suffix = suffix; }

    void accept() override
    {
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit ? edit->text() : QString();
        if (!m_suffix.isEmpty() && !typed.isEmpty() && !typed.contains(QLatin1Char('"'))) {
            const QFileInfo asTyped(directory().filePath(typed));
            if (!asTyped.exists() && !asTyped.fileName().contains(QLatin1Char('.')))
                edit->setText(typed + QLatin1Char('.') + m_suffix);
        }
        QFileDialog::accept();
    }

private:
    QString m_suffix;
};

// Runs a prepared dialog: through the answerer when one is set, else
// modally. Returns the chosen path, or nothing when cancelled.
std::optional<QString> runDialog(QFileDialog& dialog)
{
    dialog.installEventFilter(new PlaceOnFirstShow(&dialog));
    std::optional<QString> chosen;
    if (const DialogAnswerer answerer = currentAnswerer()) {
        dialog.show();
        const DialogAnswer a = answerer(&dialog);
        dialog.hide();
        if (a.accepted)
            chosen = a.path;
    } else if (dialog.exec() == QDialog::Accepted) {
        const QStringList files = dialog.selectedFiles();
        if (!files.isEmpty())
            chosen = files.first();
    }
    if (chosen && TrimAtNull(*chosen).isEmpty())
        chosen.reset();
    if (chosen)
        *chosen = TrimAtNull(*chosen);
    return chosen;
}

} // namespace

void SetDialogPlacement(int mode, int shift)
{
    placementState().mode = mode;
    placementState().shift = shift;
}

int DialogPlacementMode()
{
    return placementState().mode;
}

int DialogPlacementShift()
{
    return placementState().shift;
}

void SetDialogAnswerer(DialogAnswerer answerer)
{
    currentAnswerer() = std::move(answerer);
}

QString ShowFileDialog(QWidget* form, bool open, const QString& title, const QString& fileName, const QString& filter,
                       int filterIndex, const QString& defaultExt, std::optional<int>* flags)
{
    placementState().owner = form;
    int flagWord = open ? kOpenDialogFlags : kSaveDialogFlags;
    if (flags) {
        if (flags->has_value())
            flagWord = **flags;
        else
            *flags = flagWord;
    }

    QString folder = PathFolder(fileName);
    if (folder.isEmpty())
        folder = QDir::currentPath();

    FileDialog dialog(form, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontResolveSymlinks, (flagWord & kOfnNoDereferenceLinks) != 0);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!open)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, (flagWord & kOfnOverwritePrompt) == 0);
    const QStringList nameFilters = NameFiltersFromDialogFilter(filter);
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        dialog.selectNameFilter(nameFilters.value(filterIndex - 1, nameFilters.first()));
    }
    QString suffix = defaultExt;
    while (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    if (!suffix.isEmpty())
        dialog.setSuffixForNewNames(suffix);
    dialog.setDirectory(folder);
    const QString name = PathFileName(fileName);
    if (!name.isEmpty())
        dialog.selectFile(name);

    const std::optional<QString> chosen = runDialog(dialog);
    return chosen ? *chosen : fileName;
}

QString BrowseForFolder(QWidget* form, const QString& prompt, const std::optional<QString>& initialFolder,
                        std::optional<int>* flags)
{
    placementState().owner = form;
    if (flags && !flags->has_value())
        *flags = kFolderDialogFlags;
    const QString initial = initialFolder ? *initialFolder : QDir::currentPath();

    QFileDialog dialog(form, prompt);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);

    // The initial folder is shown selected inside its parent, so a plain
    // confirm picks it.
    QString trimmed = initial;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const QFileInfo info(trimmed);
    if (!trimmed.isEmpty() && info.isDir() && !info.isRoot()) {
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    } else if (!trimmed.isEmpty() && info.isDir()) {
        dialog.setDirectory(trimmed);
    } else {
        dialog.setDirectory(QDir::currentPath());
    }

    const std::optional<QString> chosen = runDialog(dialog);
    return AddTrailingBackslash(chosen ? *chosen : initial);
}

QString TrimAtNull(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString AddTrailingBackslash(const QString& path)
{
    return fromUtf8(AddTrailingBackslash(std::string_view(utf8(path))));
}

QString PathFolder(const QString& path)
{
    return fromUtf8(PathFolder(std::string_view(utf8(path))));
}

QString PathFileName(const QString& path)
{
    return fromUtf8(PathFileName(std::string_view(utf8(path))));
}

QString MakeDialogFilter(const QString& filter, const QString& description, const QString& pattern)
{
    return filter + description + QChar(u'\0') + pattern + QChar(u'\0');
}

QStringList NameFiltersFromDialogFilter(const QString& filter)
{
    QStringList result;
    for (const std::string& f : NameFiltersFromDialogFilter(std::string_view(utf8(filter))))
        result << fromUtf8(f);
    return result;
}

} // namespace gv
