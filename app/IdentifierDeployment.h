#pragma once

#include "winhelpers/core/ResourceTable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace gv {

// One file the program carries and writes out at start.
struct CarriedFile {
    std::string name; // file name inside the deployment folder
    int id;           // resource number, type kPayloadType
    bool executable;
};

// The identifier (FILES 102) and its database (FILES 103), in the order
// they are written at start and removed at close.
const std::vector<CarriedFile>& IdentifierFiles();

// The user's private folder for the identifier when the program folder
// cannot take it: $XDG_RUNTIME_DIR/gui-vonk, else $XDG_CACHE_HOME/gui-vonk,
// else ~/.cache/gui-vonk; "" when none of them is known.
std::string PerUserDeploymentFolder();

// A folder that outlives the login session ($XDG_CACHE_HOME/gui-vonk, else
// ~/.cache/gui-vonk), where the once-only notice is remembered: the runtime
// folder is emptied at every logout, and the user is told once per
// installation, not once per session. "" when there is no home.
std::string PersistentNoticeFolder();

// Whether a new file can be created in folder right now (tried, not
// guessed from mode bits, which the superuser ignores and which say
// nothing about a read-only mount).
bool FolderAcceptsFiles(const std::string& folder);

enum class DeploymentPlace { Nowhere, ProgramFolder, UserFolder };

enum class FallbackReason {
    None,
    ProgramFolderUnwritable,  // the program folder takes no new files
    ProgramFolderHoldsOthers, // files of those names there are not ours
};

struct DeploymentResult {
    DeploymentPlace place = DeploymentPlace::Nowhere;
    std::string folder; // where the files went; "" when nowhere
    FallbackReason reason = FallbackReason::None;
    // True the first time this program folder sends the files to the
    // user's folder: the user is to be told where they went, once.
    bool tellUser = false;
    // The program carries no such files (a broken build): nothing written.
    bool missingPayload = false;
    // Another running copy holds the folder the files would go to: nothing
    // written, and this copy is not to go on.
    bool otherCopyRunning = false;
};

class InstanceLock;

// Writes the carried files into the program folder at start and takes them
// away at close.
//
// Each folder the files go to is locked first (a lock file beside them), so
// two running copies never share one, whatever their environment says.
//
// A file already in the program folder under one of those names is, one by
// one:
// - ours: the record file names it with the identity it had when we wrote
//   it (device, inode, size, modification time, a hash of its bytes), and
//   the record's writer has ended (a crash left it): it is replaced;
// - the carried bytes already (the build folder's own output): it is used
//   where it is and never touched;
// - anything else is not ours: it is never replaced or deleted, and all the
//   files go to the user's private folder instead, as when the program
//   folder cannot be written.
// At close only files that still have the identity we recorded are deleted.
class IdentifierDeployment {
public:
    static constexpr const char* kRecordName = ".gui-vonk-deployed";
    static constexpr const char* kNoticeName = "told-about";
    static constexpr const char* kLockName = ".gui-vonk.lock";

    IdentifierDeployment(std::string programFolder, std::string userFolder,
                         std::vector<CarriedFile> files = IdentifierFiles());
    ~IdentifierDeployment();
    IdentifierDeployment(const IdentifierDeployment&) = delete;
    IdentifierDeployment& operator=(const IdentifierDeployment&) = delete;

    // Takes the program folder's lock, once; false when another running
    // copy holds it. A folder where no lock file can be made (read-only)
    // stops nobody, but is then never written. Deploy() calls it too.
    bool LockProgramFolder();

    // Test seam: whether a folder takes new files (FolderAcceptsFiles by
    // default).
    void setFolderCheck(std::function<bool(const std::string&)> check);

    // Where the notice record is kept; the user's folder when not set.
    void setNoticeFolder(std::string folder) { m_noticeFolder = std::move(folder); }

    // Runs once; later calls return the first result.
    DeploymentResult Deploy();

    // Deletes the deployed files in order (a missing one is skipped and the
    // next is still tried; one that is no longer the file we wrote is left
    // alone), then the record, then lets the folders' locks go. Returns one
    // line per file that could not be deleted ("name: reason"); the record
    // then stays, so the next start knows the leftovers are ours. Runs its
    // deletions once.
    std::vector<std::string> Remove();

    const DeploymentResult& Result() const { return m_result; }
    const std::string& Folder() const { return m_result.folder; }
    const std::string& ProgramFolder() const { return m_programFolder; }
    const std::string& UserFolder() const { return m_userFolder; }
    bool Deployed() const { return m_result.place != DeploymentPlace::Nowhere; }

    // Identity of a file as the record keeps it.
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::int64_t mtimeSec = 0;
        long mtimeNsec = 0;
        std::uint64_t hash = 0;
        bool operator==(const FileIdentity&) const = default;
    };

private:
    enum class Found { Absent, Ours, Carried, Foreign };
    struct Written {
        std::string name;
        FileIdentity identity;
    };

    // Sorts the files found in the program folder; false when the record's
    // writer still runs.
    bool assessProgramFolder(std::vector<Found>& found) const;
    bool writeInto(const std::string& folder, const std::vector<Found>* found);
    void removeQuietly(const std::string& folder);
    bool firstNoticeFor(const std::string& programFolder);
    bool lockFolder(const std::string& folder, std::unique_ptr<InstanceLock>& lock);

    std::string m_programFolder;
    std::string m_userFolder;
    std::string m_noticeFolder;
    std::vector<CarriedFile> m_files;
    std::function<bool(const std::string&)> m_check;
    DeploymentResult m_result;
    std::unique_ptr<InstanceLock> m_programLock;
    std::unique_ptr<InstanceLock> m_userLock;
    bool m_programLockTried = false;
    bool m_programLockRefused = false;
    std::vector<Written> m_written;
    bool m_deployRan = false;
    bool m_removeRan = false;
    std::vector<std::string> m_removeFailures;
};

} // namespace gv
