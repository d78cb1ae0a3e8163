// SPDX-License-Identifier: GPL-3.0-or-later
// Streams 1, 5 and 20 MB of output through the command runner into the
// console pane of the main window (offscreen) and prints throughput, memory
// and growth, beside the runner alone and the naive pane that sets its
// whole text anew for every chunk. Each case runs in a fresh process of
// this program so that peak-memory figures do not mix. `--case command
// CMDLINE` times the window on any command line (bench/console/window.sh).
#include "ReportMemory.h"
#include "frmDOSOutput.h"
#include "runner/DOSOutputs.h"
#include "winhelpers/MsgBox.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTextCursor>

#include <cstdio>
#include <sys/resource.h>
#include <cstdlib>
#include <map>
#include <string>

namespace {

constexpr long long MB = 1024 * 1024;

long long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString emitterCommand(long long bytes)
{
    const QString emitter = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-console-emit");
    return QStringLiteral("'%1' %2").arg(emitter).arg(bytes);
}

long long contextSwitches()
{
    rusage self {};
    ::getrusage(RUSAGE_SELF, &self);
    return self.ru_nvcsw + self.ru_nivcsw;
}

double cpuSeconds()
{
    rusage self {};
    ::getrusage(RUSAGE_SELF, &self);
    return double(self.ru_utime.tv_sec + self.ru_stime.tv_sec) + double(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double seconds = 0;
    double cpu = 0;
    long long rssBeforeKb = 0;
    long long rssAfterKb = 0;
    long long hwmKb = 0;
    long long received = 0;
    long long switches = 0;
};

void printResult(const Result& r)
{
    std::printf("seconds=%.6f cpu=%.6f rss_before_kb=%lld rss_after_kb=%lld hwm_kb=%lld received=%lld switches=%lld\n",
        r.seconds, r.cpu, r.rssBeforeKb, r.rssAfterKb, r.hwmKb, r.received, r.switches);
}

// The window as the user has it: event-loop run, pane appends.
int runWindow(const QString& commandLine)
{
    gv::SetMsgBoxAnswerer([](const gv::MsgBoxRequest&, QMessageBox*) { return int(gv::vbOK); });
    gv::frmDOSOutput window;
    window.show();
    window.txtOutputs()->setConsoleText(QString());
    QCoreApplication::processEvents();
    Result r;
    r.rssBeforeKb = statusKb("VmRSS");
    window.txtCommand()->setEditText(commandLine);
    QEventLoop loop;
    QObject::connect(&window, &gv::frmDOSOutput::runFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    const long long switchesBefore = contextSwitches();
    clock.start();
    window.cmdExecute_Click();
    if (window.isRunning())
        loop.exec();
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds() - cpuBefore;
    r.switches = contextSwitches() - switchesBefore;
    QCoreApplication::processEvents();
    r.rssAfterKb = statusKb("VmRSS");
    r.hwmKb = statusKb("VmHWM");
    r.received = window.txtOutputs()->document()->characterCount() - 1;
    printResult(r);
    return 0;
}

class CountingListener : public gv::IReceiveOutputs {
public:
    long long bytes = 0;
    void ReceiveOutputs(const std::string& chunk) override { bytes += static_cast<long long>(chunk.size()); }
};

// The runner alone, no pane.
int runRunner(long long bytes)
{
    gv::DOSOutputs runner;
    CountingListener counter;
    runner.setListener(&counter);
    Result r;
    r.rssBeforeKb = statusKb("VmRSS");
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    runner.ExecuteCommand(emitterCommand(bytes).toStdString());
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds() - cpuBefore;
    r.rssAfterKb = statusKb("VmRSS");
    r.hwmKb = statusKb("VmHWM");
    r.received = counter.bytes;
    printResult(r);
    return 0;
}

// Every chunk sets the whole text anew and then puts the caret at the end.
class NaivePane : public gv::IReceiveOutputs {
public:
    QPlainTextEdit edit;
    void ReceiveOutputs(const std::string& chunk) override
    {
        edit.setPlainText(edit.toPlainText() + QString::fromStdString(chunk));
        QTextCursor cursor = edit.textCursor();
        cursor.movePosition(QTextCursor::End);
        edit.setTextCursor(cursor);
    }
};

int runNaive(long long bytes)
{
    NaivePane pane;
    pane.edit.resize(568, 189);
    pane.edit.show();
    QCoreApplication::processEvents();
    gv::DOSOutputs runner;
    runner.setListener(&pane);
    Result r;
    r.rssBeforeKb = statusKb("VmRSS");
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    runner.ExecuteCommand(emitterCommand(bytes).toStdString());
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds() - cpuBefore;
    r.rssAfterKb = statusKb("VmRSS");
    r.hwmKb = statusKb("VmHWM");
    r.received = pane.edit.document()->characterCount() - 1;
    printResult(r);
    return 0;
}

std::map<std::string, double> runCase(const QString& kind, long long bytes)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--case"), kind, QString::number(bytes) });
    std::map<std::string, double> values;
    if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        std::fprintf(stderr, "case %s %lld failed\n", qPrintable(kind), bytes);
        return values;
    }
    const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
    for (const QByteArray& pair : lines.value(lines.size() - 1).split(' ')) {
        const QList<QByteArray> kv = pair.split('=');
        if (kv.size() == 2)
            values[kv[0].toStdString()] = kv[1].toDouble();
    }
    return values;
}

double mbPerSecond(long long bytes, double seconds)
{
    return seconds > 0 ? double(bytes) / double(MB) / seconds : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Started as the window program starts, so that its memory behaves alike.
    gv::StartWithReportMemory(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 4 && args[1] == QStringLiteral("--case")) {
        const long long bytes = args[3].toLongLong();
        if (args[2] == QStringLiteral("pane"))
            return runWindow(emitterCommand(bytes));
        if (args[2] == QStringLiteral("command"))
            return runWindow(args[3]);
        if (args[2] == QStringLiteral("runner"))
            return runRunner(bytes);
        if (args[2] == QStringLiteral("naive"))
            return runNaive(bytes);
        return 2;
    }

    std::printf("Console pane benchmark (offscreen, one process per case)\n\n");
    std::printf("%-22s %10s %10s %12s %14s %12s\n", "case", "seconds", "MB/s", "peak MB", "retained MB", "x text");
    auto report = [](const char* label, long long bytes, const std::map<std::string, double>& v) {
        if (v.empty())
            return;
        const double seconds = v.at("seconds");
        const double peakMb = (v.at("hwm_kb") - v.at("rss_before_kb")) / 1024.0;
        const double retainedMb = (v.at("rss_after_kb") - v.at("rss_before_kb")) / 1024.0;
        std::printf("%-22s %10.3f %10.2f %12.1f %14.1f %12.2f\n", label, seconds, mbPerSecond(bytes, seconds), peakMb,
            retainedMb, retainedMb * MB / double(bytes));
        if (static_cast<long long>(v.at("received")) <= 0)
            std::printf("  (nothing received!)\n");
    };

    std::map<long long, double> paneSeconds;
    for (const long long size : { 1 * MB, 5 * MB, 20 * MB }) {
        const auto v = runCase(QStringLiteral("pane"), size);
        const std::string label = "pane " + std::to_string(size / MB) + " MB";
        report(label.c_str(), size, v);
        if (!v.empty())
            paneSeconds[size] = v.at("seconds");
    }
    const auto runner = runCase(QStringLiteral("runner"), 20 * MB);
    report("runner alone 20 MB", 20 * MB, runner);
    const auto naiveSmall = runCase(QStringLiteral("naive"), 256 * 1024);
    report("naive pane 256 KB", 256 * 1024, naiveSmall);
    const auto naiveLarge = runCase(QStringLiteral("naive"), 1 * MB);
    report("naive pane 1 MB", 1 * MB, naiveLarge);

    std::printf("\n");
    if (paneSeconds.count(MB) && paneSeconds.count(20 * MB)) {
        const double ratio = paneSeconds[20 * MB] / paneSeconds[MB];
        const double rate = mbPerSecond(20 * MB, paneSeconds[20 * MB]);
        std::printf("pane growth: 20 MB time / 1 MB time = %.2f (target < 25: %s)\n", ratio, ratio < 25 ? "met" : "MISSED");
        std::printf("pane rate at 20 MB: %.2f MB/s (target >= 5: %s)\n", rate, rate >= 5 ? "met" : "MISSED");
    }
    if (!naiveSmall.empty() && !naiveLarge.empty()) {
        std::printf("naive growth: 1 MB time / 256 KB time = %.2f (linear would be 4)\n",
            naiveLarge.at("seconds") / naiveSmall.at("seconds"));
        if (paneSeconds.count(MB))
            std::printf("pane vs naive at 1 MB: %.1fx faster\n", naiveLarge.at("seconds") / paneSeconds[MB]);
    }
    return 0;
}
