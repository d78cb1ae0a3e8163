// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace gv {

// Resource numbers and type of the files the program carries (a .rc file:
// 102 FILES "vonk.exe", 103 FILES "VonkDefs.vkd").
inline constexpr int kIdentifierResource = 102;
inline constexpr int kDatabaseResource = 103;
inline constexpr const wchar_t* kPayloadType = L"FILES";

// One file the program carries and writes out at start.
struct CarriedFile {
    std::string name; // file name inside the deployment folder
    int id;           // resource number, type kPayloadType
};

// The identifier (FILES 102) and its database (FILES 103), in the order
// they are written at start and removed at close.
const std::vector<CarriedFile>& IdentifierFiles();

// The bytes of a FILES resource of the running executable (FindResourceW,
// LoadResource, SizeofResource, LockResource); nothing when it has none.
std::optional<std::string_view> CarriedBytes(int id);

// %LOCALAPPDATA%\gui-vonk: where the files go when the program folder
// cannot take them; "" when that folder is unknown.
std::string PerUserDeploymentFolder();

// Whether a new file can be created in folder right now (tried, not
// guessed from attributes).
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
    // The program carries no such resources (a broken build).
    bool missingPayload = false;
    // Another running copy holds the folder the files would go to.
    bool otherCopyRunning = false;
};

class InstanceLock;

// Writes the carried files into the program folder at start and takes them
// away at close, by the same rules as the Linux edition's deployment:
// each folder is locked first (a lock file beside the files); a file
// already there under one of the names is replaced only when the record
// file names it with the identity it had when we wrote it (volume, file
// index, size, write time, a hash of its bytes) and the record's writer
// has ended; one that holds the carried bytes already is used where it is
// and never touched; anything else is never replaced or deleted, and all
// the files go to the user's folder instead, as when the program folder
// cannot be written. At close only files that still have the identity we
// recorded are deleted.
class IdentifierDeployment {
public:
    static constexpr const char* kRecordName = ".gui-vonk-deployed";
    static constexpr const char* kNoticeName = "told-about";
    static constexpr const char* kLockName = ".gui-vonk.lock";

    // bytes: where a carried file's bytes come from (CarriedBytes by
    // default; tests give their own).
    using PayloadSource = std::function<std::optional<std::string_view>(int id)>;

    IdentifierDeployment(std::string programFolder, std::string userFolder,
                         std::vector<CarriedFile> files = IdentifierFiles(), PayloadSource bytes = {});
    ~IdentifierDeployment();
    IdentifierDeployment(const IdentifierDeployment&) = delete;
    IdentifierDeployment& operator=(const IdentifierDeployment&) = delete;

    // Takes the program folder's lock, once; false when another running
    // copy holds it.
    bool LockProgramFolder();
    // Test seam: whether a folder takes new files.
    void setFolderCheck(std::function<bool(const std::string&)> check);

    // Runs once; later calls return the first result.
    DeploymentResult Deploy();
    // Deletes the deployed files in order (a missing one is skipped; one
    // that is no longer the file we wrote is left alone), then the record,
    // then lets the locks go. Returns one line per file that could not be
    // deleted ("path: reason"); the record then stays. Runs once.
    std::vector<std::string> Remove();

    const DeploymentResult& Result() const { return m_result; }
    const std::string& Folder() const { return m_result.folder; }
    bool Deployed() const { return m_result.place != DeploymentPlace::Nowhere; }

    struct FileIdentity {
        std::uint32_t volume = 0;
        std::uint64_t index = 0;
        std::uint64_t size = 0;
        std::uint64_t writeTime = 0;
        std::uint64_t hash = 0;
        bool operator==(const FileIdentity&) const = default;
    };

private:
    enum class Found { Absent, Ours, Carried, Foreign };
    struct Written {
        std::string name;
        FileIdentity identity;
    };

    bool assessProgramFolder(std::vector<Found>& found) const;
    bool writeInto(const std::string& folder, const std::vector<Found>* found);
    void removeQuietly(const std::string& folder);
    bool firstNoticeFor(const std::string& programFolder);
    bool lockFolder(const std::string& folder, std::unique_ptr<InstanceLock>& lock);

    std::string m_programFolder;
    std::string m_userFolder;
    std::vector<CarriedFile> m_files;
    PayloadSource m_bytes;
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
