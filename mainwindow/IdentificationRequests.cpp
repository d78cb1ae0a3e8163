// SPDX-License-Identifier: GPL-3.0-or-later
// The four ways a user asks for an identification: the File button, the
// Cartella button, a drop on the window and a drop on the console pane.
// Each ends the same way: the item's command-line form goes into txtFile
// or txtCartella, the user confirms, the pane is emptied, the command line
// goes into txtCommand and the console runs it.

#include "frmDOSOutput.h"

#include "CommandText.h"
#include "winhelpers/CommonDialog.h"
#include "winhelpers/FileHelpers.h"
#include "winhelpers/MsgBox.h"
#include "winhelpers/core/CommandLinePath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <functional>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace gv {

namespace {

const QString kCommandStart = QStringLiteral("cmd /c vonk ");
const QString kVerbose = QStringLiteral(" -v");
// A file request names one file: without this, a name holding '*' or '?'
// would be taken as a pattern and identify its neighbours instead (or as
// well), and a chosen file removed meanwhile would not be reported gone.
const QString kLiteral = QStringLiteral(" --literal");

const QString kModeFile = QStringLiteral("file");
const QString kModeFolder = QStringLiteral("cartella");

const QString kFileQuestion = QStringLiteral("eseguire il parsing del FILE selezionato ?");
const QString kFileTitle = QStringLiteral("VONK File Parsing");
const QString kFileRefused = QStringLiteral("Parsing del file annullato dall'utente");
const QString kFileCancelled = QStringLiteral("Operazione annullata");

const QString kFolderQuestion = QStringLiteral("eseguire il parsing della cartella selezionata ?");
const QString kFolderTitle = QStringLiteral("VONK Folder Parsing");
const QString kFolderRefused = QStringLiteral("Parsing dei files annullato dall'utente");
const QString kFolderCancelled = QStringLiteral("Operazione annullata dall'utente");

// Said instead of running when the item has gone since it was chosen: the
// command line would otherwise name no target, and the identifier would
// scan its own folder (or the root) instead of what the user chose.
const QString kItemGone = QStringLiteral("L'elemento scelto non esiste più: nessuna analisi eseguita.");
// Said instead of running when the identifier could not be written out at
// start (the start-up box told why).
const QString kNoIdentifier = QStringLiteral("Vonk non è disponibile (non è stato possibile scriverlo all'avvio): "
                                             "nessuna analisi eseguita.");
// Said when a request comes while the console is still running a command:
// the pane and the command field belong to that run until it ends.
const QString kBusy = QStringLiteral("Un'analisi è ancora in corso: attendere che finisca prima di avviarne un'altra.");

constexpr int kConfirmStyle = vbSystemModal + vbInformation + vbYesNo; // 4164
constexpr int kNoticeStyle = vbSystemModal;                             // 4096
constexpr int kDialogShift = 30;
constexpr int kEffectNone = 0;
constexpr int kEffectCopy = 1;

void notice(const QString& text)
{
    PlacedMsgBox(text, kNoticeStyle, QString(), true);
}

bool confirmed(const QString& question, const QString& title)
{
    return SystemMsgBox(question, kConfirmStyle, title) == vbYes;
}

// The file-system bytes of the first dragged item, when the data carries a
// list of local files. The bytes come from the URL's percent-encoding, not
// from its decoded text, so names that are not UTF-8 keep their bytes.
// A first item that is not a local file (a web address, a file on another
// host) means the data is not a list of local files at all.
std::optional<std::string> firstLocalPath(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty())
        return std::nullopt;
    const QUrl& first = urls.front();
    if (!first.isLocalFile())
        return std::nullopt;
    const QString host = first.host();
    if (!host.isEmpty() && host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromPercentEncoding(first.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes.toStdString();
}

enum class ItemKind { Gone, File, Folder };

// A folder is whatever the system reports as one once links are followed,
// whatever other mode bits it carries.
ItemKind kindOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return ItemKind::Gone;
    return S_ISDIR(st.st_mode) ? ItemKind::Folder : ItemKind::File;
}

// Hands the drag events of a drop target (the form, or the console pane's
// viewport) to its drag-over and drop handlers, before the target's own
// handling sees them: a drop on the pane is a drop on the window, and the
// pane's text editing never takes a dropped name as text.
class DropFilter : public QObject {
public:
    DropFilter(QObject* parent, std::function<int(const QMimeData*, int)> over, std::function<void()> left,
               std::function<void(const QMimeData*)> drop)
        : QObject(parent)
        , m_over(std::move(over))
        , m_left(std::move(left))
        , m_drop(std::move(drop))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* move = static_cast<QDragMoveEvent*>(event);
            const int effect = m_over(move->mimeData(), int(move->possibleActions()));
            if (effect & kEffectCopy) {
                move->setDropAction(Qt::CopyAction);
                move->accept();
            } else {
                move->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            m_left();
            event->accept();
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!firstLocalPath(drop->mimeData())) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            m_drop(drop->mimeData());
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    std::function<int(const QMimeData*, int)> m_over;
    std::function<void()> m_left;
    std::function<void(const QMimeData*)> m_drop;
};

} // namespace

void frmDOSOutput::connectRequests()
{
    connect(m_cmdFile, &QPushButton::clicked, this, &frmDOSOutput::cmdFile_Click);
    connect(m_cmdCartella, &QPushButton::clicked, this, &frmDOSOutput::cmdCartella_Click);

    // Drops anywhere on the window land on the form, except over the pane,
    // which has handlers of its own that do the same. The text fields must
    // not take a dropped file's name as typed text.
    setAcceptDrops(true);
    for (QWidget* child : findChildren<QWidget*>()) {
        if (child != m_txtOutputs && child != m_txtOutputs->viewport())
            child->setAcceptDrops(false);
    }
    // A drag that leaves without a drop leaves no item behind.
    const auto left = [this] {
        m_txtFile->clear();
        m_txtCartella->clear();
    };
    installEventFilter(new DropFilter(
        this, [this](const QMimeData* mime, int effect) { return Form_OLEDragOver(mime, effect); }, left,
        [this](const QMimeData* mime) { Form_OLEDragDrop(mime); }));
    auto* filter = new DropFilter(
        this, [this](const QMimeData* mime, int effect) { return txtOutputs_OLEDragOver(mime, effect); }, left,
        [this](const QMimeData* mime) { txtOutputs_OLEDragDrop(mime); });
    m_txtOutputs->setAcceptDrops(true);
    m_txtOutputs->viewport()->setAcceptDrops(true);
    m_txtOutputs->installEventFilter(filter);
    m_txtOutputs->viewport()->installEventFilter(filter);
}

bool frmDOSOutput::refuseWhileRunning()
{
    if (!isRunning())
        return false;
    notice(kBusy);
    return true;
}

bool frmDOSOutput::refuseWithoutIdentifier()
{
    if (!identifierMissing())
        return false;
    notice(kNoIdentifier);
    return true;
}

void frmDOSOutput::runRequest(const QString& target, const QString& tail)
{
    if (refuseWithoutIdentifier())
        return;
    if (target.isEmpty()) {
        notice(kItemGone);
        return;
    }
    if (refuseWhileRunning())
        return;
    m_txtOutputs->setConsoleText(QString());
    m_txtCommand->setEditText(kCommandStart + target + tail);
    cmdExecute_Click();
}

void frmDOSOutput::cmdFile_Click()
{
    if (refuseWhileRunning() || refuseWithoutIdentifier())
        return;
    const QString filter = MakeDialogFilter(QString(), QStringLiteral("All files (*.*)"), QStringLiteral("*.*"));
    SetDialogPlacement(GetPlacementMode(), kDialogShift);
    const QString chosen = ShowFileDialog(this, true, QStringLiteral("Open a VB file"), m_strLastFile, filter, 1,
                                          QStringLiteral(".txt"));
    if (chosen.isEmpty()) {
        notice(kFileCancelled);
        return;
    }
    m_strLastFile = PathFileName(chosen);
    m_strLastFolder = PathFolder(chosen);
    m_txtFile->setText(GetShortName(chosen));

    if (!confirmed(kFileQuestion, kFileTitle)) {
        notice(kFileRefused);
        return;
    }
    runRequest(m_txtFile->text(), kLiteral + (m_ckVerbose->isChecked() ? kVerbose : QString()));
}

void frmDOSOutput::cmdCartella_Click()
{
    if (refuseWhileRunning() || refuseWithoutIdentifier())
        return;
    SetDialogPlacement(GetPlacementMode(), kDialogShift);
    const QString chosen = BrowseForFolder(this, QStringLiteral("Directories"), m_strLastFolder);
    if (chosen.isEmpty()) {
        notice(kFolderCancelled);
        return;
    }
    m_strLastFolder = chosen;
    m_txtCartella->setText(GetShortName(chosen));

    if (!confirmed(kFolderQuestion, kFolderTitle)) {
        notice(kFolderRefused);
        return;
    }
    // The chosen folder ends in the separator already.
    runRequest(m_txtCartella->text(), QStringLiteral("*"));
}

int frmDOSOutput::Form_OLEDragOver(const QMimeData* Data, int Effect)
{
    return dragOver(Data, Effect);
}

int frmDOSOutput::txtOutputs_OLEDragOver(const QMimeData* Data, int Effect)
{
    return dragOver(Data, Effect);
}

void frmDOSOutput::Form_OLEDragDrop(const QMimeData* Data)
{
    const std::optional<std::string> path = firstLocalPath(Data);
    if (!path)
        return;
    // The request asks a question; it runs once the drop is over, so the
    // program the item was dragged from is not held waiting for the answer.
    QMetaObject::invokeMethod(this, [this, mode = m_lblControl->text(), bytes = *path] { dropRequest(mode, bytes); },
        Qt::QueuedConnection);
}

void frmDOSOutput::txtOutputs_OLEDragDrop(const QMimeData* Data)
{
    Form_OLEDragDrop(Data);
}

int frmDOSOutput::dragOver(const QMimeData* mime, int effect)
{
    m_txtFile->clear();
    m_txtCartella->clear();
    const std::optional<std::string> path = firstLocalPath(mime);
    if (!path) {
        m_lblControl->setText(kModeFolder);
        return kEffectNone;
    }
    m_lblControl->setText(kModeFile);
    const ItemKind kind = kindOf(*path);
    if (kind == ItemKind::Folder)
        m_lblControl->setText(kModeFolder);
    // An item that has gone during the drag cannot be identified; while a
    // command runs, the console is not free for another.
    if (kind == ItemKind::Gone || isRunning())
        return kEffectNone;
    return effect & kEffectCopy;
}

void frmDOSOutput::dropRequest(const QString& mode, const std::string& path)
{
    if ((mode == kModeFile || mode == kModeFolder) && refuseWhileRunning())
        return;
    if (mode == kModeFile) {
        m_txtFile->setText(commandTextFromBytes(EscapedAbsolutePath(path)));
        if (!confirmed(kFileQuestion, kFileTitle)) {
            notice(kFileRefused);
            return;
        }
        runRequest(m_txtFile->text(), kLiteral + (m_ckVerbose->isChecked() ? kVerbose : QString()));
    } else if (mode == kModeFolder) {
        m_txtCartella->setText(commandTextFromBytes(EscapedAbsolutePath(path)));
        if (!confirmed(kFolderQuestion, kFolderTitle)) {
            notice(kFolderRefused);
            return;
        }
        // A dropped folder's path has no final separator.
        runRequest(m_txtCartella->text(), QStringLiteral("/*"));
    }
}

} // namespace gv
