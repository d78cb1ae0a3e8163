// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace gv::vonk {

// One file to identify, or a problem with a target that names none.
struct TargetItem {
    std::string shown;   // the path as the user named it
    std::string path;    // the path to open
    bool listed = false; // found by listing a folder or expanding a pattern
    std::string problem; // set when the target itself failed (no match, no folder)
    bool regular = false; // the listing or a look at it said: a regular file
    std::optional<std::uint64_t> size = std::nullopt; // what that look said of its size
};

// Turns command-line targets into files, in order, by one rule:
// - a target whose last part (after the last '/', or '\' on Windows) holds
//   '*' or '?' is a pattern, even when a file of that very name exists: it
//   is matched against the names in its folder, hidden files included ('*'
//   any run of characters, '?' one character, '\' makes the next character
//   literal where it does not separate folders);
//   the folder before the last '/' is always a name, never a pattern;
// - any other target, and every target when `literal` is set, is a name:
//   a folder is its files sorted by name, anything else is itself.
// Items are handed on one by one as found.
class TargetExpander {
public:
    // Each item is the sink's to keep (move from).
    using Sink = std::function<void(TargetItem&&)>;

    explicit TargetExpander(bool recursive, bool literal = false) : m_recursive(recursive), m_literal(literal) {}
    void expand(std::string target, const Sink& sink) const;

    static bool hasWildcard(const std::string& s);
    // Whether `name` matches the last part of a pattern, by the rule above.
    static bool matches(std::string_view pattern, std::string_view name);

private:
    // Lists `dir`, shown to the user as `shownPrefix` + name; `pattern`
    // filters file names (empty: all). "" when listed, else why not.
    std::string listFolder(const std::string& dir, const std::string& shownPrefix, const std::string& pattern, const Sink& sink) const;

    bool m_recursive;
    bool m_literal;
};

} // namespace gv::vonk
