// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what start-up and matching cost inside the identifier:
//   vonk_bench DEFINITIONS_DIR LIST_FILE [SYNTHETIC_COUNT]
// LIST_FILE holds one file path per line. Prints the database's load time,
// the in-process time per file, and both again with the database grown by
// SYNTHETIC_COUNT made-up definitions (default: as many as the real ones).
// With VONK_BENCH_DB=PATH it first times loading that database file as
// vonk does (mapped, checked) and setting up a matcher over it.

#include "vonk/format/Database.h"
#include "vonk/build/DatabaseWriter.h"
#include "vonk/build/DefinitionParser.h"
#include "vonk/build/ThirdPartyImport.h"
#include "vonk/base/FileAccess.h"
#include "vonk/match/Matcher.h"
#include "vonk/match/Probe.h"

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace gv::vonk;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Made-up definitions shaped like real ones: magics at small offsets, strings
// in the head, a few text-only ones the index cannot help with.
std::string synthetic(std::size_t count)
{
    std::mt19937 rng(12345);
    auto hex = [&](int n) {
        std::string s;
        char buf[4];
        for (int i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, " %02X", static_cast<unsigned>(rng() & 0xFF));
            s += buf;
        }
        return s;
    };
    auto word = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>('a' + rng() % 26);
        return s;
    };
    std::string src;
    for (std::size_t i = 0; i < count; ++i) {
        src += "type synth-" + std::to_string(i) + "\n desc \"synthetic\"\n ext syn\n mime x-test/synthetic\n cat data\n";
        switch (rng() % 10) {
        case 0: case 1: case 2: case 3:
            src += " at 0 hex" + hex(4 + static_cast<int>(rng() % 5)) + "\n";
            break;
        case 4: case 5:
            src += " at " + std::to_string(rng() % 64) + " hex" + hex(4) + "\n at 0 hex" + hex(2) + "\n";
            break;
        case 6: case 7:
            src += " head 4096 str \"" + word(6) + "\"\n";
            break;
        case 8:
            src += " at -" + std::to_string(4 + rng() % 30) + " hex" + hex(4) + "\n";
            break;
        default:
            src += " text\n head 512 str \"" + word(5) + "\"\n";
            break;
        }
    }
    return src;
}

struct Figures {
    double loadMs;
    double perFileUs;
    std::size_t defs;
    double evaluated;
    double readUs;
};

Figures measure(const std::vector<std::uint8_t>& bytes, const std::vector<std::string>& files)
{
    Figures f{};
    const int loads = 20;
    std::unique_ptr<Database> db;
    auto t0 = Clock::now();
    for (int i = 0; i < loads; ++i) {
        std::string error;
        db = Database::fromBytes(bytes, error);
        if (!db) {
            std::fprintf(stderr, "vonk_bench: %s\n", error.c_str());
            std::exit(2);
        }
    }
    f.loadMs = ms(Clock::now() - t0) / loads;
    f.defs = db->defCount();
    Matcher matcher(*db);
    Probe probe;
    std::size_t evaluated = 0, done = 0;
    auto t1 = Clock::now();
    for (int round = 0; round < 3; ++round) {
        for (const auto& path : files) {
            auto r = FileAccess::open(path, false);
            if (r.status != FileAccess::Status::Ok)
                continue;
            FdGuard guard(r.fd);
            FdSource src(r.fd, r.size);
            auto r0 = Clock::now();
            probe.reset(src);
            auto r1 = Clock::now();
            f.readUs += ms(r1 - r0) * 1000.0;
            matcher.identify(probe);
            evaluated += matcher.evaluatedCount();
            ++done;
        }
    }
    f.perFileUs = done ? ms(Clock::now() - t1) * 1000.0 / static_cast<double>(done) : 0;
    f.evaluated = done ? static_cast<double>(evaluated) / static_cast<double>(done) : 0;
    f.readUs = done ? f.readUs / static_cast<double>(done) : 0;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: vonk_bench DEFINITIONS_DIR LIST_FILE [SYNTHETIC_COUNT]\n");
        return 2;
    }
    if (const char* shipped = std::getenv("VONK_BENCH_DB")) {
        // Best of a few rounds: what a start costs once the file is cached.
        double loadMs = 1e9, matcherMs = 1e9;
        std::size_t defs = 0;
        for (int i = 0; i < 15; ++i) {
            std::string error;
            auto t0 = Clock::now();
            auto db = Database::load(shipped, error);
            auto t1 = Clock::now();
            if (!db) {
                std::fprintf(stderr, "vonk_bench: %s\n", error.c_str());
                return 2;
            }
            Matcher matcher(*db);
            auto t2 = Clock::now();
            loadMs = std::min(loadMs, ms(t1 - t0));
            matcherMs = std::min(matcherMs, ms(t2 - t1));
            defs = db->defCount();
        }
        std::printf("shipped database %s: %zu definitions, load %.3f ms, matcher set-up %.3f ms\n", shipped, defs, loadMs, matcherMs);
    }
    DefinitionParser parser;
    std::vector<std::filesystem::path> sources;
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
        if (e.path().extension() == ".vdef")
            sources.push_back(e.path());
    }
    std::sort(sources.begin(), sources.end());
    for (const auto& s : sources)
        parser.parseFile(s.string());
    if (!parser.finish()) {
        for (const auto& e : parser.errors())
            std::fprintf(stderr, "%s\n", e.format().c_str());
        return 1;
    }
    std::vector<std::string> files;
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty())
            files.push_back(line);
    }
    std::size_t real = parser.definitions().size();
    std::size_t extra = argc > 3 ? std::stoul(argv[3]) : real;

    // The real database imports the other projects' lists committed beside
    // the definitions, as the build does.
    std::vector<SourceDefinition> withImports = parser.definitions();
    const auto vendored = std::filesystem::path(argv[1]) / ".." / "third_party";
    if (std::filesystem::is_directory(vendored)) {
        ThirdPartyImport imports;
        imports.readVendored(vendored.string());
        imports.mergeInto(withImports);
    }
    auto realBytes = DatabaseWriter::build(withImports);
    Figures a = measure(realBytes, files);
    parser.parse(synthetic(extra), "synthetic.vdef");
    if (!parser.finish()) {
        std::fprintf(stderr, "vonk_bench: synthetic definitions did not compile\n");
        return 1;
    }
    auto bigBytes = DatabaseWriter::build(parser.definitions());
    Figures b = measure(bigBytes, files);

    std::printf("database            definitions   bytes      load ms   per file us   definitions tried per file\n");
    std::printf("real                %11zu   %-9zu  %7.3f   %11.1f   %6.1f\n", a.defs, realBytes.size(), a.loadMs, a.perFileUs, a.evaluated);
    std::printf("with synthetic      %11zu   %-9zu  %7.3f   %11.1f   %6.1f\n", b.defs, bigBytes.size(), b.loadMs, b.perFileUs, b.evaluated);
    std::printf("of which reading head and tail: %.1f us per file\n", a.readUs);
    std::printf("per-file time with %.1fx the definitions: %.2fx\n", static_cast<double>(b.defs) / static_cast<double>(a.defs),
        a.perFileUs > 0 ? b.perFileUs / a.perFileUs : 0.0);
    return 0;
}
