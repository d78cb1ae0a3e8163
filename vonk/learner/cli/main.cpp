// SPDX-License-Identifier: GPL-3.0-or-later
// vonk-scan: learns a definition source from a folder of sample files of one
// type, for the vonk identifier's compiler.
//   vonk-scan SAMPLES [--reference DIR] [-o FILE] [--id ID] [--desc TEXT] ...
// Exit codes: 0 written, 1 refused (the samples share too little) or output
// error, 2 usage errors.

#include "vonk/learner/DefinitionWriter.h"
#include "vonk/base/FileAccess.h"
#include "vonk/base/Platform.h"
#include "vonk/learner/Learner.h"
#include "vonk/learner/SampleReader.h"
#include "vonk/match/TextClassifier.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>

namespace fs = std::filesystem;
using namespace gv::learner;

namespace {

constexpr const char* kUsage = "Usage: vonk-scan SAMPLES [--reference DIR] [-o FILE] [--id ID] [--desc TEXT] "
                               "[--ext EXT...] [--mime TYPE...] [--cat CATEGORY]   (vonk-scan --help for more)";

int usageError(const std::string& message)
{
    std::cerr << "vonk-scan: " << message << '\n' << kUsage << '\n';
    return 2;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The extension every sample has, or "-" when they disagree or have none.
std::string commonExtension(const std::vector<Sample>& samples)
{
    std::string ext;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::string e = lower(fs::path(samples[i].path).extension().string());
        if (e.size() > 1)
            e.erase(0, 1);
        else
            return "-";
        if (i == 0)
            ext = e;
        else if (e != ext)
            return "-";
    }
    return (ext.empty() || !DefinitionWriter::checkExt(ext).empty()) ? "-" : ext;
}

bool looksLikeText(const Sample& s)
{
    return !s.head.empty() && gv::vonk::classifyText(s.head.data(), s.head.size(), s.size > s.head.size()).isText();
}

std::string folderName(const std::string& dir)
{
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(dir), ec);
    if (ec)
        p = fs::path(dir);
    if (!p.has_filename())
        p = p.parent_path();
    return p.filename().string();
}

// Reads every file found; unreadable and empty ones are reported and left out.
std::vector<Sample> readAll(const SampleReader& reader, const std::vector<fs::path>& paths, const char* what,
    bool quiet, std::size_t& skipped)
{
    std::vector<Sample> out;
    skipped = 0;
    for (const auto& p : paths) {
        Sample s;
        std::string err;
        if (!reader.read(p, s, err)) {
            ++skipped;
            if (!quiet)
                std::cerr << "vonk-scan: skipping " << what << " " << p.string() << ": " << err << '\n';
            continue;
        }
        if (s.size == 0) {
            ++skipped;
            if (!quiet && std::string(what) == "sample")
                std::cerr << "vonk-scan: skipping sample " << p.string() << ": empty file\n";
            continue;
        }
        out.push_back(std::move(s));
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"vonk-scan learns a definition source (.vdef) for the vonk identifier from a folder of sample "
                 "files of one type: bytes every sample holds at the same place near its start or end, and strings "
                 "every sample holds near its start or end, chosen by how rarely the files of a reference folder "
                 "(other types) hold them. Compile the result with vonk-defs together with the other sources."};
    app.set_version_flag("--version", std::string("vonk-scan ") + GV_VONK_VERSION);
    std::string samplesDir, output, referenceDir, id, desc, cat;
    std::vector<std::string> exts, mimes;
    Window window;
    std::size_t maxReference = 2000;
    int minBits = LearnOptions{}.minBits;
    bool recursive = false, quiet = false;
    app.add_option("samples", samplesDir, "folder of sample files, all of the one type to learn")
        ->required()
        ->check(CLI::ExistingDirectory);
    app.add_option("-o,--output", output, "write the definition here (default: standard output)");
    app.add_option("--reference", referenceDir,
           "folder of files of other types (searched with its subfolders) to measure how rare a pattern is")
        ->check(CLI::ExistingDirectory);
    app.add_option("--id", id, "the definition's id (default: from the samples' folder name)");
    app.add_option("--desc", desc, "the description in English (default: from the extension or id)");
    app.add_option("--ext", exts, "usual extension first, then others; - for none (default: the samples' common one)");
    app.add_option("--mime", mimes, "canonical MIME type first, then aliases (default: application/x-ID)");
    app.add_option("--cat", cat, "category (default: text for text samples, else data)");
    app.add_option("--head", window.head, "bytes read from the start of every file")
        ->check(CLI::Range(std::size_t{64}, std::size_t{65536}))
        ->capture_default_str();
    app.add_option("--tail", window.tail, "bytes read from the end of every file")
        ->check(CLI::Range(std::size_t{64}, std::size_t{65536}))
        ->capture_default_str();
    app.add_option("--max-reference", maxReference, "reference files read at most, spread over the folder")
        ->check(CLI::Range(std::size_t{1}, std::size_t{100000}))
        ->capture_default_str();
    app.add_option("--min-bits", minBits, "evidence the definition must carry (8 bits per fixed byte)")
        ->check(CLI::Range(8, 1024))
        ->capture_default_str();
    app.add_flag("-s,--subfolders", recursive, "take samples from subfolders too");
    app.add_flag("-q,--quiet", quiet, "print nothing but errors");
    // Arguments as UTF-8 whatever the system, after the program's name, in
    // the reverse order CLI11 takes a vector in.
    auto args = gv::vonk::platform::arguments(argc, argv);
    app.name(args.front());
    args.erase(args.begin());
    std::reverse(args.begin(), args.end());
    gv::vonk::platform::prepareConsole();
    // "/x" is a path here on every system, never an option.
    app.allow_windows_style_options(false);
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }

    if (!id.empty()) {
        if (auto err = DefinitionWriter::checkId(id); !err.empty())
            return usageError(err);
    }
    for (const auto& e : exts) {
        if (auto err = DefinitionWriter::checkExt(e); !err.empty())
            return usageError(err);
    }
    for (const auto& m : mimes) {
        if (auto err = DefinitionWriter::checkMime(m); !err.empty())
            return usageError(err);
    }
    if (!cat.empty()) {
        if (auto err = DefinitionWriter::checkCategory(cat); !err.empty())
            return usageError(err);
    }

    SampleReader reader(window);
    std::vector<std::string> problems;
    constexpr std::size_t kMaxSamples = 10000;
    auto samplePaths = SampleReader::listFiles(samplesDir, recursive, {}, kMaxSamples, problems);
    std::size_t skipped = 0;
    auto samples = readAll(reader, samplePaths, "sample", quiet, skipped);

    std::vector<Sample> reference;
    if (!referenceDir.empty()) {
        // A listing cap far above the reading cap keeps a huge tree from
        // taking forever while still spreading the reading over it.
        auto refPaths = SampleReader::listFiles(referenceDir, true, samplesDir, maxReference * 50, problems);
        std::size_t refSkipped = 0;
        reference = readAll(reader, SampleReader::spread(refPaths, maxReference), "reference file", true, refSkipped);
        if (reference.empty() && !quiet)
            std::cerr << "vonk-scan: warning: no readable file in the reference folder " << referenceDir
                      << "; rarity is not measured\n";
    } else if (!quiet) {
        std::cerr << "vonk-scan: warning: no --reference folder given; how rare a pattern is cannot be measured\n";
    }
    if (!quiet) {
        for (const auto& p : problems)
            std::cerr << "vonk-scan: warning: " << p << '\n';
    }

    LearnOptions options;
    options.minBits = minBits;
    options.window = window;
    Learner learner(options);
    LearnResult result = learner.learn(samples, reference);
    if (!result.ok) {
        std::cerr << "vonk-scan: cannot learn a definition from " << samplesDir << ": " << result.reason << '\n';
        if (!result.stillMatchingExamples.empty()) {
            std::cerr << "vonk-scan: reference files that match every shared pattern, for example:\n";
            for (const auto& p : result.stillMatchingExamples)
                std::cerr << "  " << p << '\n';
        }
        return 1;
    }

    DefinitionInfo info;
    info.id = id.empty() ? DefinitionWriter::idFrom(folderName(samplesDir)) : id;
    info.exts = exts.empty() ? std::vector<std::string>{commonExtension(samples)} : exts;
    info.mimes = mimes.empty() ? std::vector<std::string>{"application/x-" + info.id} : mimes;
    bool text = std::all_of(samples.begin(), samples.end(), looksLikeText);
    info.category = cat.empty() ? (text ? "text" : "data") : cat;
    info.desc = !desc.empty() ? desc : (info.exts.front() != "-" ? upper(info.exts.front()) : info.id) + " file";
    info.notes.push_back("Learned by vonk-scan " + std::string(GV_VONK_VERSION) + " from " + std::to_string(samples.size())
        + " samples in " + folderName(samplesDir) + "/");
    if (reference.empty())
        info.notes.push_back("No reference files: how rare each pattern is was not measured.");
    else
        info.notes.push_back("Measured against " + std::to_string(reference.size()) + " reference files in "
            + folderName(referenceDir) + "/; none of them matches every rule.");
    info.notes.push_back("Check each rule against the format's documentation before adding this to definitions/.");

    std::string text_ = DefinitionWriter::write(info, result);
    std::string sourceName = output.empty() ? info.id + ".vdef" : output;
    if (auto errors = DefinitionWriter::check(text_, sourceName); !errors.empty()) {
        // Cannot happen with checked fields; refuse rather than hand out a
        // source the compiler would reject.
        for (const auto& e : errors)
            std::cerr << e << '\n';
        std::cerr << "vonk-scan: the written definition does not compile; nothing written\n";
        return 1;
    }
    if (output.empty()) {
        std::cout << text_ << std::flush;
        if (!std::cout) {
            std::cerr << "vonk-scan: cannot write to standard output\n";
            return 1;
        }
    } else {
        std::string err;
        if (!gv::vonk::replaceFile(output, text_, err)) {
            std::cerr << "vonk-scan: " << err << '\n';
            return 1;
        }
    }
    if (!quiet) {
        std::cerr << "vonk-scan: learned \"" << info.id << "\" from " << samples.size() << " samples";
        if (skipped)
            std::cerr << " (" << skipped << " skipped)";
        std::cerr << ": " << result.rules.size() << " rule(s), " << result.bits << " bits";
        if (!reference.empty())
            std::cerr << "; none of the " << reference.size() << " reference files matches";
        if (!output.empty())
            std::cerr << " -> " << output;
        std::cerr << '\n';
    }
    return 0;
}
