// SPDX-License-Identifier: GPL-3.0-or-later
// vonk: identifies files by their content against VonkDefs.vkd.
// Exit codes: 0 every file was read, 1 some could not be, 2 usage or
// database errors.

#include "vonk/format/Database.h"
#include "vonk/report/DatabaseListing.h"
#include "vonk/base/FileAccess.h"
#include "vonk/match/Matcher.h"
#include "vonk/base/OrderedPipeline.h"
#include "vonk/base/Platform.h"
#include "vonk/match/Probe.h"
#include "vonk/report/ReportWriter.h"
#include "vonk/report/TargetExpander.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr const char* kDatabaseName = "VonkDefs.vkd";

// The database beside the executable, else in the current directory.
std::string findDatabase()
{
    std::string folder = gv::vonk::platform::executableFolder();
    if (!folder.empty()) {
        std::string beside = folder + gv::vonk::platform::separator() + kDatabaseName;
        if (gv::vonk::platform::exists(beside))
            return beside;
    }
    return kDatabaseName;
}

// The window program (and users of the original tool) write options in the
// "-r:5" and "-d:FILE" forms. CLI11 reads "-r 5" and "-r5" but would take the
// colon as part of the value, so those forms are split into two arguments
// before parsing; everything after "--" is left alone.
std::vector<std::string> splitColonOptions(const std::vector<std::string>& argv)
{
    std::vector<std::string> args;
    bool rest = false;
    for (std::size_t i = 1; i < argv.size(); ++i) {
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

// Results waiting to be written in order, at most: bounds memory on huge
// folders while leaving the workers room when one file is slow.
constexpr std::size_t kReorderWindow = 256;

// Longest a report shown to a reader on a terminal or a pipe is held back
// while vonk keeps busy.
constexpr auto kShowEvery = std::chrono::milliseconds(20);

// About what a run over a few files allocates (see platform::prepareHeap).
constexpr std::size_t kStartHeap = std::size_t{3} << 19;

// Bytes of report written at a time, at most.
constexpr std::size_t kReportBuffer = std::size_t{1} << 16;

// Judged files a worker closes together (see ClosingBatch).
constexpr std::size_t kClosingBatch = 64;

// Workers when -j is not given: the processors this run may use, capped
// because the work is mostly reading small files.
unsigned defaultJobs()
{
    return std::min(gv::vonk::platform::usableProcessors(), 8u);
}

// Judges one listed item and writes its report; true when it could not be read.
bool judgeFile(const gv::vonk::TargetItem& item, gv::vonk::ReportWriter& report, gv::vonk::Matcher& matcher,
    gv::vonk::Probe& probe, std::vector<gv::vonk::ReportWriter::Shown>& shown, gv::vonk::ClosingBatch& closing,
    const gv::vonk::ReportWriter::Options& opts)
{
    using namespace gv::vonk;
    if (!item.problem.empty()) {
        report.problem(item.shown, item.problem, true);
        return true;
    }
    FileAccess::Result r = FileAccess::open(item.path, item.listed, item.regular, item.size);
    switch (r.status) {
    case FileAccess::Status::Failed:
        report.problem(item.shown, r.reason, true);
        return true;
    case FileAccess::Status::Skipped:
        report.problem(item.shown, r.reason, false);
        return false;
    case FileAccess::Status::Empty:
        report.empty(item.shown);
        return false;
    case FileAccess::Status::Ok:
        break;
    }
    struct CloseLater {
        ClosingBatch& batch;
        int fd;
        ~CloseLater() { batch.add(fd); }
    } closeLater{closing, r.fd};
    FdSource src(r.fd, r.size);
    probe.reset(src);
    // The name's extension only orders close answers and names what content
    // cannot tell from its carrier; --content-only leaves it out.
    const auto& cands = matcher.identify(probe, opts.contentOnly ? std::string_view() : std::string_view(item.path));
    if (cands.empty()) {
        report.unmatched(item.shown, probe.size(), probe.text());
        return false;
    }
    shown.clear();
    for (std::size_t i = 0; i < cands.size() && i < opts.maxCandidates; ++i) {
        ReportWriter::Shown s{&cands[i], {}};
        if (opts.verbose)
            s.hits = matcher.explain(probe, cands[i].def);
        shown.push_back(std::move(s));
    }
    report.matched(item.shown, probe.size(), probe.text(), shown, cands.size());
    return false;
}

// Whether the command only describes vonk or its database (help, version,
// --list, --info): such a run judges no file and need not prepare for it.
bool onlyDescribes(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--")
            break;
        if (a == "-h" || a == "--help" || a == "--version" || a == "--list" || a == "--info")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace gv::vonk;

    // A run that judges files prepares its heap before anything is
    // allocated: copying and parsing the arguments (hundreds of paths where
    // a shell expanded a pattern) would otherwise touch fresh pages one by
    // one, which costs more than the parsing itself.
    const bool heapReady = !onlyDescribes(argc, argv);
    if (heapReady)
        platform::prepareHeap(kStartHeap);

    CLI::App app{"vonk identifies files by their content, against the definitions database VonkDefs.vkd.\n"
                 "Targets: files, folders (every file in them) or patterns with * and ? in the last part (dir/*).",
        "vonk"};
    app.footer(
        "Targets: a target whose last part (after the last /) holds * or ? is always a pattern, even when\n"
        "a file of that very name exists: * matches any run of characters, ? one character, and a backslash\n"
        "makes the next character literal ('dir/a\\*' is only the file a*). Hidden files match too. The folder\n"
        "before the last / is always taken as it is written, never as a pattern ('w*d/*' lists the folder w*d).\n"
        "Any other target is a file or a folder (every file in it). With --literal no target is a pattern.\n"
        "\n"
        "Names in the text and TSV reports are escaped so that each stays on its line and reads back as\n"
        "exactly one name: a backslash is written \\\\, newline \\n, tab \\t, carriage return \\r, and other\n"
        "control characters \\xHH; the definitions' descriptions have their control characters escaped\n"
        "the same way. In TSV every field is escaped so. JSON names that are not valid UTF-8 also come\n"
        "as path_bytes (base64 of the name's bytes).");
    app.set_version_flag("--version", std::string("vonk " GV_VONK_VERSION " (database format ") + std::to_string(db::kVersion) + ")");
    std::vector<std::string> targets;
    bool verbose = false, json = false, tsv = false, recursive = false, literal = false;
    int maxCandidates = 5;
    std::string database;
    app.add_option("targets", targets, "files, folders or patterns to identify");
    app.add_flag("-v,--verbose", verbose, "also show MIME types, the rules that matched and where, and file sizes");
    app.add_option("-r,--results", maxCandidates, "show at most this many candidates per file (also -r:nn; default 5)")
        ->check(CLI::Range(1, 10000));
    auto* databaseOpt = app.add_option("-d,--database", database, "read this definitions database (also -d:FILE)");
    auto* jsonOpt = app.add_flag("--json", json, "one JSON object per line and file");
    app.add_flag("--tsv", tsv, "one line per file: path, MIME type, extension, id, description of the best candidate, "
        "and what the answer rests on (content or name)")
        ->excludes(jsonOpt);
    app.add_flag("-s,--subfolders", recursive, "descend into subfolders");
    bool contentOnly = false;
    app.add_flag("--content-only", contentOnly,
        "judge by content alone; by default the name's extension orders answers that content leaves close and "
        "names formats content cannot tell from their carrier (plain text, XML, ZIP, OLE2, TIFF), marked 'by name'");
    app.add_flag("--literal", literal, "take every target as the name of a file or folder, never as a pattern");
    int jobs = 0;
    app.add_option("-j,--jobs", jobs, "identify with this many workers (default: the number of processors); the report's order does not change")
        ->check(CLI::Range(1, 256));
    bool listDefs = false, showInfo = false;
    app.add_flag("--list", listDefs, "list the database's definitions (id, extensions, MIME types, description, source) and counts");
    app.add_flag("--info", showInfo, "show the database's version, build date, counts, size and checksum");

    platform::prepareConsole();
    // "/x" is a path here on every system, never an option.
    app.allow_windows_style_options(false);
    auto args = splitColonOptions(platform::arguments(argc, argv));
    // Everything after "--" is a target, which is all the parser would make
    // of it, one argument at a time (a shell's expansion can make
    // thousands): those are taken as they are.
    std::vector<std::string> afterDashes;
    if (auto dashes = std::find(args.begin(), args.end(), "--"); dashes != args.end()) {
        afterDashes.assign(std::make_move_iterator(dashes + 1), std::make_move_iterator(args.end()));
        args.erase(dashes + 1, args.end());
    }
    // CLI11 takes the vector of arguments in reverse order.
    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vonk: %s\nUsage: vonk TARGET... [-v] [-r:nn] [-d:FILE] [--json|--tsv] [-s] [--literal]   (vonk --help for more)\n", e.what());
        return 2;
    }
    targets.insert(targets.end(), std::make_move_iterator(afterDashes.begin()), std::make_move_iterator(afterDashes.end()));
    // An empty name would quietly fall back to the usual database: the user
    // asked for another one and must not get an answer from the wrong one.
    if (databaseOpt->count() > 0 && database.empty()) {
        std::fprintf(stderr, "vonk: -d needs the name of a database file (-d:FILE)\n");
        return 2;
    }
    if ((listDefs || showInfo) && !targets.empty()) {
        std::fprintf(stderr, "vonk: --list and --info describe the database and take no files\n");
        return 2;
    }
    if (targets.empty() && !listDefs && !showInfo) {
        std::fprintf(stderr, "vonk: no file, folder or pattern given\nUsage: vonk TARGET... [-v] [-r:nn] [-d:FILE] [--json|--tsv] [-s] [--literal]   (vonk --help for more)\n");
        return 2;
    }

    std::string path = database.empty() ? findDatabase() : database;
    std::string error;
    const bool describe = listDefs || showInfo;
    // Describing the database reads all of it anyway; judging files only
    // opens it here, and its records are checked while another thread
    // compares the checksum (below).
    auto dbase = describe ? Database::load(path, error) : Database::open(path, error);
    if (!dbase) {
        std::fprintf(stderr, "vonk: %s\n", error.c_str());
        return 2;
    }
    if (describe) {
        if (showInfo)
            DatabaseListing::info(*dbase, path, platform::fileSize(path), stdout);
        if (listDefs)
            DatabaseListing::list(*dbase, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
    }

    // Another thread compares the database's checksum while the records are
    // checked and the first files judged (nothing is written before it
    // agrees), and once the records hold builds the searches ahead of the
    // workers. Whichever thread first needs the checksum compares it, and
    // the other waits for its answer. Held to one processor, that thread
    // could only take turns with this one: starting it is left out, and
    // this thread does the work as it comes to need it.
    std::promise<bool> soundPromise;
    std::future<bool> sound = soundPromise.get_future();
    std::atomic_flag sumTaken = ATOMIC_FLAG_INIT;
    auto compareChecksum = [&] {
        if (!sumTaken.test_and_set())
            soundPromise.set_value(dbase->checksumMatches());
    };
    std::promise<bool> recordsPromise;
    std::future<bool> recordsChecked = recordsPromise.get_future();
    std::atomic<bool> stopPreparing{false};
    std::atomic<bool> backgroundDone{false};
    std::thread background;
    try {
        if (platform::usableProcessors() > 1) {
            background = std::thread([&] {
                compareChecksum();
                if (recordsChecked.get())
                    dbase->prepareSearches(stopPreparing);
                backgroundDone = true;
            });
        }
    } catch (const std::system_error&) {
    }
    // The heap, where the arguments did not already have it prepared: made
    // present in one call while the checksum is compared. (Left to the
    // other thread, its pages were mostly touched first by this one, a fault
    // each: on a busy machine a new thread may wait its turn for longer than
    // the records' checks last.) The other thread allocates only once the
    // records are checked.
    if (!heapReady)
        platform::prepareHeap(kStartHeap);
    const bool recordsHold = dbase->checkRecords(error);
    recordsPromise.set_value(recordsHold);
    if (!recordsHold) {
        if (background.joinable())
            background.join();
        std::fprintf(stderr, "vonk: %s\n", error.c_str());
        return 2;
    }

    ReportWriter::Options opts;
    opts.format = json ? ReportWriter::Format::Json : tsv ? ReportWriter::Format::Tsv : ReportWriter::Format::Text;
    opts.verbose = verbose;
    opts.contentOnly = contentOnly;
    opts.maxCandidates = static_cast<std::size_t>(maxCandidates);
    // Each worker judges whole files with its own matcher and buffers; the
    // reports are put back in the order the files were named.
    struct Worker {
        Worker(const Database& db, const ReportWriter::Options& o, std::size_t held)
            : report(db, &text, o), matcher(db), closing(held) {}
        std::string text;
        ReportWriter report;
        Matcher matcher;
        Probe probe;
        std::vector<ReportWriter::Shown> shown;
        ClosingBatch closing;
    };
    struct Judged {
        std::string text;
        bool failed = false;
    };
    unsigned threads = jobs > 0 ? static_cast<unsigned>(jobs) : defaultJobs();
    // Each worker's matcher is set up by its own thread when it first gets a
    // file: a run over one file pays for one, and the set-ups overlap.
    std::vector<std::unique_ptr<Worker>> workers(threads);
    // Judged files wait to be closed in batches, together a small share of
    // the descriptors this process may hold.
    const std::size_t held = std::min<std::size_t>(kClosingBatch, platform::descriptorLimit() / (4 * std::size_t{threads}));
    bool someFailed = false;
    bool writeFailed = false;

    auto judge = [&](unsigned index, TargetItem& item) {
        if (!workers[index])
            workers[index] = std::make_unique<Worker>(*dbase, opts, held);
        Worker& w = *workers[index];
        w.text.clear();
        Judged j;
        j.failed = judgeFile(item, w.report, w.matcher, w.probe, w.shown, w.closing, opts);
        j.text = std::move(w.text);
        return j;
    };
    bool damaged = false;
    auto checked = [&] {
        if (sound.valid()) {
            compareChecksum();
            damaged = !sound.get();
        }
        return !damaged;
    };
    // A reader waiting on a terminal or a pipe (the window) sees each file's
    // report before vonk waits on a file for long (OrderedPipeline's idle
    // hook), and a flood at least every kShowEvery; a write per file would
    // cost the reader a wake-up per file. A report stored in a file goes out
    // in large writes.
    // Either way the report is written a buffer at a time, and the usual
    // buffer (a page, or a line on a terminal) would make a write, and a
    // wake-up of the reader, every few dozen files: nothing has been
    // written to standard output yet, so it can still take a larger one.
    // (The C library sizes a buffer of its own by the device.) It comes
    // from the heap, whose pages were made present at the start: a static
    // one would be faulted in a page at a time as the report fills it. It
    // is never freed, so it outlives every write.
    static char* const reportBuffer = new (std::nothrow) char[kReportBuffer];
    static char fallbackBuffer[kReportBuffer];
    std::setvbuf(stdout, reportBuffer ? reportBuffer : fallbackBuffer, _IOFBF, kReportBuffer);
    const bool shown = !platform::outputIsStored();
    bool unshown = false;
    auto lastShown = std::chrono::steady_clock::now();
    auto show = [&] {
        if (!unshown)
            return;
        unshown = false;
        lastShown = std::chrono::steady_clock::now();
        if (std::fflush(stdout) != 0)
            writeFailed = true;
    };
    auto emit = [&](Judged& j) {
        if (!checked())
            return;
        someFailed = someFailed || j.failed;
        if (std::fwrite(j.text.data(), 1, j.text.size(), stdout) != j.text.size())
            writeFailed = true;
        if (shown) {
            unshown = true;
            if (std::chrono::steady_clock::now() - lastShown >= kShowEvery)
                show();
        }
    };
    OrderedPipeline<TargetItem, Judged> pipeline(threads, kReorderWindow, judge, emit);
    if (shown)
        pipeline.setIdle(show);
    TargetExpander expander(recursive, literal);
    for (auto& target : targets)
        expander.expand(std::move(target), [&](TargetItem&& item) {
            // Once the checksum has failed, the rest is not judged.
            if (!damaged)
                pipeline.submit(std::move(item));
        });
    pipeline.finish();
    stopPreparing = true;
    int code = someFailed ? 1 : 0;
    // The report so far goes out before any complaint on standard error.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        writeFailed = true;
    if (!checked()) {
        std::fprintf(stderr, "vonk: database '%s' is unusable: %s\n", path.c_str(), Database::kDamaged);
        code = 2;
    } else {
        if (writeFailed) {
            std::fprintf(stderr, "vonk: the report could not be written in full\n");
            code = 2;
        }
    }
    // The report is out. What the other thread may still be doing only
    // prepares for files that will not come, and on a busy machine it may
    // not get its turn for milliseconds: the run ends without waiting.
    // Nothing is left to write either, so the run ends without taking its
    // structures apart one by one (half a millisecond over a few hundred
    // files): the system takes back the whole at once. Sanitized builds end
    // the usual way, so that what a run leaks is still reported.
#if defined(__SANITIZE_ADDRESS__)
    if (background.joinable()) {
        if (!backgroundDone.load())
            std::_Exit(code);
        background.join();
    }
    return code;
#else
    std::_Exit(code);
#endif
}
