// vonk: identifies files by their content against VonkDefs.vkd.
// Exit codes: 0 every file was read, 1 some could not be, 2 usage or
// database errors.

#include "Database.h"
#include "FileAccess.h"
#include "Matcher.h"
#include "Probe.h"
#include "ReportWriter.h"
#include "TargetExpander.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kDatabaseName = "VonkDefs.vkd";

// The database beside the executable, else in the current directory.
std::string findDatabase()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        std::string exe(buf, static_cast<std::size_t>(n));
        auto slash = exe.rfind('/');
        std::string beside = (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/" + kDatabaseName;
        struct stat st {};
        if (::stat(beside.c_str(), &st) == 0)
            return beside;
    }
    return kDatabaseName;
}

// The window program (and users of the original tool) write options in the
// "-r:5" and "-d:FILE" forms. CLI11 reads "-r 5" and "-r5" but would take the
// colon as part of the value, so those forms are split into two arguments
// before parsing; everything after "--" is left alone.
std::vector<std::string> splitColonOptions(int argc, char** argv)
{
    std::vector<std::string> args;
    bool rest = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (!rest && a == "--")
            rest = true;
        if (!rest && a.size() >= 3 && a[0] == '-' && (a[1] == 'r' || a[1] == 'd') && a[2] == ':') {
            args.push_back(a.substr(0, 2));
            args.push_back(a.substr(3));
            continue;
        }
        args.push_back(std::move(a));
    }
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace gv::vonk;

    CLI::App app{"vonk identifies files by their content, against the definitions database VonkDefs.vkd.\n"
                 "Targets: files, folders (every file in them) or patterns with * and ? in the last part (dir/*)."};
    app.set_version_flag("--version", std::string("vonk " GV_VONK_VERSION " (database format ") + std::to_string(db::kVersion) + ")");
    std::vector<std::string> targets;
    bool verbose = false, json = false, tsv = false, recursive = false;
    int maxCandidates = 5;
    std::string database;
    app.add_option("targets", targets, "files, folders or patterns to identify");
    app.add_flag("-v,--verbose", verbose, "also show MIME types, the rules that matched and where, and file sizes");
    app.add_option("-r,--results", maxCandidates, "show at most this many candidates per file (also -r:nn; default 5)")
        ->check(CLI::Range(1, 10000));
    app.add_option("-d,--database", database, "read this definitions database (also -d:FILE)");
    auto* jsonOpt = app.add_flag("--json", json, "one JSON object per line and file");
    app.add_flag("--tsv", tsv, "one line per file: path, MIME type, extension, id, description of the best candidate")
        ->excludes(jsonOpt);
    app.add_flag("-s,--subfolders", recursive, "descend into subfolders");

    auto args = splitColonOptions(argc, argv);
    // CLI11 takes the vector of arguments in reverse order.
    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vonk: %s\nUsage: vonk TARGET... [-v] [-r:nn] [-d:FILE] [--json|--tsv] [-s]   (vonk --help for more)\n", e.what());
        return 2;
    }
    if (targets.empty()) {
        std::fprintf(stderr, "vonk: no file, folder or pattern given\nUsage: vonk TARGET... [-v] [-r:nn] [-d:FILE] [--json|--tsv] [-s]   (vonk --help for more)\n");
        return 2;
    }

    std::string path = database.empty() ? findDatabase() : database;
    std::string error;
    auto dbase = Database::load(path, error);
    if (!dbase) {
        std::fprintf(stderr, "vonk: %s\n", error.c_str());
        return 2;
    }

    ReportWriter::Options opts;
    opts.format = json ? ReportWriter::Format::Json : tsv ? ReportWriter::Format::Tsv : ReportWriter::Format::Text;
    opts.verbose = verbose;
    opts.maxCandidates = static_cast<std::size_t>(maxCandidates);
    ReportWriter report(*dbase, stdout, opts);
    Matcher matcher(*dbase);
    Probe probe;
    TargetExpander expander(recursive);
    bool someFailed = false;
    std::vector<ReportWriter::Shown> shown;

    for (const auto& target : targets) {
        expander.expand(target, [&](const TargetItem& item) {
            if (!item.problem.empty()) {
                report.problem(item.shown, item.problem, true);
                someFailed = true;
                return;
            }
            FileAccess::Result r = FileAccess::open(item.path, item.listed);
            switch (r.status) {
            case FileAccess::Status::Failed:
                someFailed = true;
                report.problem(item.shown, r.reason, true);
                return;
            case FileAccess::Status::Skipped:
                report.problem(item.shown, r.reason, false);
                return;
            case FileAccess::Status::Empty:
                report.empty(item.shown);
                return;
            case FileAccess::Status::Ok:
                break;
            }
            FdGuard guard(r.fd);
            FdSource src(r.fd, r.size);
            probe.reset(src);
            const auto& cands = matcher.identify(probe);
            if (cands.empty()) {
                report.unmatched(item.shown, probe.size(), probe.text());
                return;
            }
            shown.clear();
            for (std::size_t i = 0; i < cands.size() && i < opts.maxCandidates; ++i) {
                ReportWriter::Shown s{&cands[i], {}};
                if (verbose)
                    s.hits = matcher.explain(probe, cands[i].def);
                shown.push_back(std::move(s));
            }
            report.matched(item.shown, probe.size(), shown, cands.size());
        });
    }
    return someFailed ? 1 : 0;
}
