// SPDX-License-Identifier: GPL-3.0-or-later
// The identification requests as this window draws them: its boxes,
// dialogs and fields behind the rules of RequestFlow, and the drag events
// that carry dropped files to them.

#include "frmDOSOutput.h"

#include "CommandText.h"
#include "winhelpers/CommonDialog.h"
#include "winhelpers/FileHelpers.h"
#include "winhelpers/MsgBox.h"
#include "winhelpers/core/CommandLinePath.h"

#include <QCheckBox>
#include <QFile>
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
#include <utility>

namespace gv {

namespace {

constexpr int kConfirmStyle = vbSystemModal + vbInformation + vbYesNo; // 4164
constexpr int kNoticeStyle = vbSystemModal;                             // 4096
constexpr int kDialogShift = 30;
constexpr int kEffectCopy = 1;

QString fromBytes(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
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

bool frmDOSOutput::verbose() const
{
    return m_ckVerbose->isChecked();
}

void frmDOSOutput::notice(const std::string& text)
{
    PlacedMsgBox(QString::fromStdString(text), kNoticeStyle, QString(), true);
}

bool frmDOSOutput::confirm(const std::string& question, const std::string& title)
{
    return SystemMsgBox(QString::fromStdString(question), kConfirmStyle, QString::fromStdString(title)) == vbYes;
}

std::optional<std::string> frmDOSOutput::chooseFile(const std::string& lastFileName)
{
    const QString filter = MakeDialogFilter(QString(), QStringLiteral("All files (*.*)"), QStringLiteral("*.*"));
    SetDialogPlacement(GetPlacementMode(), kDialogShift);
    const QString chosen = ShowFileDialog(this, true, QStringLiteral("Open a VB file"), fromBytes(lastFileName),
                                          filter, 1, QStringLiteral(".txt"));
    if (chosen.isEmpty())
        return std::nullopt;
    return QFile::encodeName(chosen).toStdString();
}

std::optional<std::string> frmDOSOutput::chooseFolder(const std::string& lastFolder)
{
    SetDialogPlacement(GetPlacementMode(), kDialogShift);
    const QString chosen = BrowseForFolder(this, QStringLiteral("Directories"), fromBytes(lastFolder));
    if (chosen.isEmpty())
        return std::nullopt;
    return QFile::encodeName(chosen).toStdString();
}

void frmDOSOutput::showFile(const std::string& commandForm)
{
    m_txtFile->setText(commandTextFromBytes(commandForm));
}

void frmDOSOutput::showFolder(const std::string& commandForm)
{
    m_txtCartella->setText(commandTextFromBytes(commandForm));
}

void frmDOSOutput::clearItems()
{
    m_txtFile->clear();
    m_txtCartella->clear();
}

void frmDOSOutput::showDropMode(const std::string& mode)
{
    m_lblControl->setText(QString::fromStdString(mode));
}

void frmDOSOutput::runCommand(const std::string& commandLine)
{
    m_txtOutputs->setConsoleText(QString());
    m_txtCommand->setEditText(commandTextFromBytes(commandLine));
    cmdExecute_Click();
}

std::string frmDOSOutput::commandForm(const std::string& path) const
{
    return EscapedAbsolutePath(path);
}

void frmDOSOutput::cmdFile_Click()
{
    m_requests.cmdFile_Click();
}

void frmDOSOutput::cmdCartella_Click()
{
    m_requests.cmdCartella_Click();
}

QString frmDOSOutput::strLastFile() const
{
    return fromBytes(m_requests.lastFileName());
}

QString frmDOSOutput::strLastFolder() const
{
    return fromBytes(m_requests.lastFolder());
}

int frmDOSOutput::Form_OLEDragOver(const QMimeData* Data, int Effect)
{
    return m_requests.dragOver(firstLocalPath(Data), Effect);
}

int frmDOSOutput::txtOutputs_OLEDragOver(const QMimeData* Data, int Effect)
{
    return Form_OLEDragOver(Data, Effect);
}

void frmDOSOutput::Form_OLEDragDrop(const QMimeData* Data)
{
    const std::optional<std::string> path = firstLocalPath(Data);
    if (!path)
        return;
    // The request asks a question; it runs once the drop is over, so the
    // program the item was dragged from is not held waiting for the answer.
    QMetaObject::invokeMethod(
        this, [this, mode = m_lblControl->text().toStdString(), bytes = *path] { m_requests.dropRequest(mode, bytes); },
        Qt::QueuedConnection);
}

void frmDOSOutput::txtOutputs_OLEDragDrop(const QMimeData* Data)
{
    Form_OLEDragDrop(Data);
}

} // namespace gv
