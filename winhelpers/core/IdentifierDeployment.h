#pragma once

#include <functional>
#include <string>
#include <vector>

namespace gv {

// Resource numbers and type of the files the window program carries: the
// embedded table registers them under these, deployment looks them up.
inline constexpr int kIdentifierResource = 102;
inline constexpr int kDatabaseResource = 103;
inline constexpr const char* kPayloadType = "FILES";

// One file the program carries and writes out at start.
struct CarriedFile {
    std::string name; // file name inside the deployment folder
    int id;           // resource number, type kPayloadType
    bool executable;
};

// The identifier (FILES 102) and its database (FILES 103), in the order
// they are written at start and removed at close.
const std::vector<CarriedFile>& IdentifierFiles();

// Folder of the running executable, symbolic links resolved; "" when the
// system does not tell.
std::string RunningProgramFolder();

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
};

// Writes the carried files into the program folder at start and takes them
// away at close.
//
// The program folder is used when it takes new files and holds no files of
// those names except ones an earlier run of ours left behind (an abnormal
// end): those are replaced. Files of those names that we did not write (an
// installed identifier, the build's own output) are never replaced or
// deleted; the files then go to the user's private folder instead, as when
// the program folder cannot be written. Ours are told apart by a record
// file written into the program folder before the files and removed after
// them.
class IdentifierDeployment {
public:
    static constexpr const char* kRecordName = ".gui-vonk-deployed";
    static constexpr const char* kNoticeName = "told-about";

    IdentifierDeployment(std::string programFolder, std::string userFolder,
                         std::vector<CarriedFile> files = IdentifierFiles());

    // Test seam: whether a folder takes new files (FolderAcceptsFiles by
    // default).
    void setFolderCheck(std::function<bool(const std::string&)> check);

    // Where the notice record is kept; the user's folder when not set.
    void setNoticeFolder(std::string folder) { m_noticeFolder = std::move(folder); }

    // Runs once; later calls return the first result.
    DeploymentResult Deploy();

    // Deletes the deployed files in order (a missing one is skipped and the
    // next is still tried), then the record. Returns one line per file that
    // could not be deleted ("name: reason"); the record then stays, so the
    // next start knows the leftovers are ours. Runs its deletions once.
    std::vector<std::string> Remove();

    const DeploymentResult& Result() const { return m_result; }
    const std::string& Folder() const { return m_result.folder; }
    const std::string& ProgramFolder() const { return m_programFolder; }
    const std::string& UserFolder() const { return m_userFolder; }
    bool Deployed() const { return m_result.place != DeploymentPlace::Nowhere; }

private:
    bool holdsOthers() const;
    bool writeAll(const std::string& folder);
    void removeQuietly(const std::string& folder);
    bool firstNoticeFor(const std::string& programFolder);

    std::string m_programFolder;
    std::string m_userFolder;
    std::string m_noticeFolder;
    std::vector<CarriedFile> m_files;
    std::function<bool(const std::string&)> m_check;
    DeploymentResult m_result;
    bool m_deployRan = false;
    bool m_removeRan = false;
    std::vector<std::string> m_removeFailures;
};

} // namespace gv
