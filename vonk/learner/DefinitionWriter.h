// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes a learned definition as a .vdef source, and checks the text with
// the compiler's own parser so what we hand out always compiles.

#include "vonk/learner/Learner.h"

#include <string>
#include <vector>

namespace gv::learner {

struct DefinitionInfo {
    std::string id;
    std::string desc;
    std::vector<std::string> exts;  // "-" when none
    std::vector<std::string> mimes;
    std::string category;
    std::vector<std::string> notes; // comment lines written above the definition
};

class DefinitionWriter {
public:
    static std::string write(const DefinitionInfo& info, const LearnResult& result);

    // Errors the compiler would report for the text ("file:line: reason").
    static std::vector<std::string> check(const std::string& text, const std::string& name);

    // Field checks for values taken from the user; an empty string means fine.
    static std::string checkId(const std::string& id);
    static std::string checkExt(const std::string& ext);
    static std::string checkMime(const std::string& mime);
    static std::string checkCategory(const std::string& category);
    static const std::vector<std::string>& categories();

    // An id made from any name (a folder's): lower case, other characters
    // turned into '-'; "learned" when nothing usable is left.
    static std::string idFrom(const std::string& name);
    // A string literal as the source format writes it.
    static std::string quote(const std::string& text);
};

} // namespace gv::learner
