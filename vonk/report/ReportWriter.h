// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/format/Database.h"
#include "vonk/match/Matcher.h"
#include "vonk/match/TextClassifier.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace gv::vonk {

// Writes the identification report: plain text for people (and the window
// program's console pane), JSON lines or TSV for programs. Each file's lines
// are written and flushed as soon as the file is judged.
class ReportWriter {
public:
    enum class Format { Text, Json, Tsv };

    struct Options {
        Format format = Format::Text;
        bool verbose = false;
        std::size_t maxCandidates = 5;
        // Judge by content alone: the file's name is not looked at.
        bool contentOnly = false;
    };

    ReportWriter(const Database& db, std::FILE* out, Options options);
    // Collects each file's lines in `sink` instead of writing them, for
    // workers whose reports are put back in order before they are written.
    ReportWriter(const Database& db, std::string* sink, Options options);

    struct Shown {
        const Candidate* candidate;
        std::vector<RuleHit> hits; // filled in verbose mode
    };

    // `text` is the file's text judgement: the plain text answer shows its
    // encoding, and JSON records carry it.
    void matched(const std::string& path, std::uint64_t size, const TextInfo& text, const std::vector<Shown>& shown, std::size_t totalMatches);
    void unmatched(const std::string& path, std::uint64_t size, const TextInfo& text);
    void empty(const std::string& path);
    // `failure` distinguishes files that could not be read from items that
    // were deliberately skipped.
    void problem(const std::string& path, const std::string& reason, bool failure);

    const Options& options() const { return m_options; }

    // Control characters (newlines, tabs, ESC) would break the line
    // structure of the report or drive the terminal: they are shown as C
    // escapes (\n, \t, \r, \xHH). In a name the backslash is doubled as
    // well, so every name reads back as exactly one name (not on Windows,
    // where it only separates folders); the definitions' own texts keep
    // their backslashes, which their rules use for escapes.
    enum class Escape { Name, Text };
    static std::string printable(const std::string& s, Escape escape = Escape::Name);
    // The same, added to the end of `out`.
    static void appendPrintable(std::string& out, std::string_view s, Escape escape = Escape::Name);

private:
    void flush();
    std::string description(const Candidate& c, const TextInfo& text) const;

    const Database& m_db;
    std::FILE* m_out = nullptr;
    std::string* m_sink = nullptr;
    Options m_options;
    std::string m_buf;
};

} // namespace gv::vonk
