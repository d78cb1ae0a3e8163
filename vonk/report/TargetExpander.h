#pragma once

#include <functional>
#include <string>

namespace gv::vonk {

// One file to identify, or a problem with a target that names none.
struct TargetItem {
    std::string shown;   // the path as the user named it
    std::string path;    // the path to open
    bool listed = false; // found by listing a folder or expanding a pattern
    std::string problem; // set when the target itself failed (no match, no folder)
};

// Turns command-line targets into files, in order: a file is itself (even
// when its name holds '*' or '?'); a folder is its files sorted by name; a
// pattern with '*' and '?' in its last component is expanded in its folder,
// hidden files included. Items are handed on one by one as found.
class TargetExpander {
public:
    using Sink = std::function<void(const TargetItem&)>;

    explicit TargetExpander(bool recursive) : m_recursive(recursive) {}
    void expand(const std::string& target, const Sink& sink) const;

    static bool hasWildcard(const std::string& s);

private:
    // Lists `dir`, shown to the user as `shownPrefix` + name; `pattern`
    // filters file names (empty: all).
    bool listFolder(const std::string& dir, const std::string& shownPrefix, const std::string& pattern, const Sink& sink) const;

    bool m_recursive;
};

} // namespace gv::vonk
