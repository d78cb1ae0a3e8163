#pragma once

#include <functional>
#include <string>

namespace gv {

// What the program's start and close (ProgramStart) work with. The program takes
// ForThisProgram(); tests give their own folders and lock.
struct StartupSettings {
    // Per-user lock file that keeps a second copy from starting; "" checks
    // none. With deploy set, the program folder's own lock is taken too.
    std::string lockPath;
    // Whether the identifier and its database are written out at start and
    // removed at close.
    bool deploy = false;
    // First choice for them: the folder of the running executable.
    std::string programFolder;
    // The user's private folder, used when the program folder cannot take
    // them.
    std::string userFolder;
    // Where the once-only notice about the user's folder is remembered;
    // empty: the user's folder itself.
    std::string noticeFolder;
    // Test seam: whether a folder takes new files (tried for real when
    // empty). The superuser writes into folders whatever their mode bits.
    std::function<bool(const std::string&)> folderCheck;

    static StartupSettings ForThisProgram();
};

} // namespace gv
