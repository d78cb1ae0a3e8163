// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh folder under the temporary folder for one test, removed with
// everything in it afterwards, even where the test took write access away.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace gv::test {

class TempFolder {
public:
    // Throws when no folder can be made: a test must not go on writing
    // next to an empty path (that is the root folder).
    explicit TempFolder(const std::string& prefix = "gv-test")
    {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec)
            base = "/tmp";
#ifdef _WIN32
        // No mkdtemp: a new name is tried until one is made by us. The
        // path is written with '/', as the tests join names with '/'.
        std::string pattern;
        for (unsigned attempt = 0;; ++attempt) {
            pattern = (base / (prefix + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt))).string();
            if (std::filesystem::create_directory(pattern, ec))
                break;
            if (attempt > 1000)
                throw std::runtime_error("cannot make a temporary folder " + pattern + ": " + ec.message());
        }
        const std::filesystem::path real = std::filesystem::canonical(pattern, ec);
        m_path = ec ? std::filesystem::path(pattern).generic_string() : real.generic_string();
#else
        std::string pattern = (base / (prefix + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder " + pattern + ": " + std::strerror(errno));
        // The real path, so it compares equal to what a child's getcwd says.
        const std::filesystem::path real = std::filesystem::canonical(pattern, ec);
        m_path = ec ? pattern : real.string();
#endif
    }
    ~TempFolder()
    {
        giveBackWriteAccess(m_path);
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string str() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    std::string operator/(const std::string& name) const { return file(name); }

private:
    // Tests make unreadable and unwritable folders on purpose; the owner
    // needs them back, or removal stops halfway. Links are not followed.
    static void giveBackWriteAccess(const std::filesystem::path& folder)
    {
        std::error_code ec;
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_directory(typeError) && !it->is_symlink(typeError))
                giveBackWriteAccess(it->path());
        }
    }

    std::string m_path;
};

} // namespace gv::test
