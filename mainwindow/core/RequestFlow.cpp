// SPDX-License-Identifier: GPL-3.0-or-later
#include "RequestFlow.h"

#include "winhelpers/core/PathFunctions.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace gv {

namespace {

const std::string kCommandStart = "cmd /c vonk ";
const std::string kVerbose = " -v";
// A file request names one file: without this, a name holding '*' or '?'
// would be taken as a pattern and identify its neighbours instead (or as
// well), and a chosen file removed meanwhile would not be reported gone.
const std::string kLiteral = " --literal";

const std::string kModeFile = "file";
const std::string kModeFolder = "cartella";

const std::string kFileQuestion = "eseguire il parsing del FILE selezionato ?";
const std::string kFileTitle = "VONK File Parsing";
const std::string kFileRefused = "Parsing del file annullato dall'utente";
const std::string kFileCancelled = "Operazione annullata";

const std::string kFolderQuestion = "eseguire il parsing della cartella selezionata ?";
const std::string kFolderTitle = "VONK Folder Parsing";
const std::string kFolderRefused = "Parsing dei files annullato dall'utente";
const std::string kFolderCancelled = "Operazione annullata dall'utente";

// Said instead of running when the item has gone since it was chosen: the
// command line would otherwise name no target, and the identifier would
// scan its own folder (or the root) instead of what the user chose.
const std::string kItemGone = "L'elemento scelto non esiste più: nessuna analisi eseguita.";
// Said instead of running when the identifier could not be written out at
// start (the start-up box told why).
const std::string kNoIdentifier = "Vonk non è disponibile (non è stato possibile scriverlo all'avvio): "
                                  "nessuna analisi eseguita.";
// Said when a request comes while the console is still running a command:
// the pane and the command field belong to that run until it ends.
const std::string kBusy = "Un'analisi è ancora in corso: attendere che finisca prima di avviarne un'altra.";

constexpr int kEffectNone = 0;
constexpr int kEffectCopy = 1;

} // namespace

#ifdef _WIN32
ItemKind itemKind(const std::string& path)
{
    // Paths are UTF-8 here; the system takes them as UTF-16.
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), nullptr, 0);
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), wide.data(), n);
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ItemKind::Gone;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ItemKind::Folder : ItemKind::File;
}
#else
ItemKind itemKind(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return ItemKind::Gone;
    return S_ISDIR(st.st_mode) ? ItemKind::Folder : ItemKind::File;
}
#endif

RequestFlow::RequestFlow(RequestWindow& window)
    : m_window(window)
{
}

bool RequestFlow::refuseWhileRunning()
{
    if (!m_window.isRunning())
        return false;
    m_window.notice(kBusy);
    return true;
}

bool RequestFlow::refuseWithoutIdentifier()
{
    if (!m_window.identifierMissing())
        return false;
    m_window.notice(kNoIdentifier);
    return true;
}

std::string RequestFlow::fileTail() const
{
    return kLiteral + (m_window.verbose() ? kVerbose : std::string());
}

void RequestFlow::runRequest(const std::string& target, const std::string& tail)
{
    if (refuseWithoutIdentifier())
        return;
    if (target.empty()) {
        m_window.notice(kItemGone);
        return;
    }
    // The boxes may have let a run start meanwhile.
    if (refuseWhileRunning())
        return;
    m_window.runCommand(kCommandStart + target + tail);
}

void RequestFlow::cmdFile_Click()
{
    if (refuseWhileRunning() || refuseWithoutIdentifier())
        return;
    const std::optional<std::string> chosen = m_window.chooseFile(m_lastFileName);
    if (!chosen || chosen->empty()) {
        m_window.notice(kFileCancelled);
        return;
    }
    m_lastFileName = PathFileName(*chosen);
    m_lastFolder = PathFolder(*chosen);
    const std::string target = m_window.commandForm(*chosen);
    m_window.showFile(target);
    if (!m_window.confirm(kFileQuestion, kFileTitle)) {
        m_window.notice(kFileRefused);
        return;
    }
    runRequest(target, fileTail());
}

void RequestFlow::cmdCartella_Click()
{
    if (refuseWhileRunning() || refuseWithoutIdentifier())
        return;
    const std::optional<std::string> chosen = m_window.chooseFolder(m_lastFolder);
    if (!chosen || chosen->empty()) {
        m_window.notice(kFolderCancelled);
        return;
    }
    m_lastFolder = *chosen;
    const std::string target = m_window.commandForm(*chosen);
    m_window.showFolder(target);
    if (!m_window.confirm(kFolderQuestion, kFolderTitle)) {
        m_window.notice(kFolderRefused);
        return;
    }
    // The chosen folder ends in the separator already.
    runRequest(target, "*");
}

int RequestFlow::dragOver(const std::optional<std::string>& firstItem, int effect)
{
    m_window.clearItems();
    if (!firstItem) {
        m_window.showDropMode(kModeFolder);
        return kEffectNone;
    }
    const ItemKind kind = itemKind(*firstItem);
    m_window.showDropMode(kind == ItemKind::Folder ? kModeFolder : kModeFile);
    // An item that has gone during the drag cannot be identified; while a
    // command runs, the console is not free for another.
    if (kind == ItemKind::Gone || m_window.isRunning())
        return kEffectNone;
    return effect & kEffectCopy;
}

void RequestFlow::dropRequest(const std::string& mode, const std::string& path)
{
    if ((mode == kModeFile || mode == kModeFolder) && refuseWhileRunning())
        return;
    const std::string target = m_window.commandForm(path);
    if (mode == kModeFile) {
        m_window.showFile(target);
        if (!m_window.confirm(kFileQuestion, kFileTitle)) {
            m_window.notice(kFileRefused);
            return;
        }
        runRequest(target, fileTail());
    } else if (mode == kModeFolder) {
        m_window.showFolder(target);
        if (!m_window.confirm(kFolderQuestion, kFolderTitle)) {
            m_window.notice(kFolderRefused);
            return;
        }
        // A dropped folder's path has no final separator.
        runRequest(target, "/*");
    }
}

} // namespace gv
