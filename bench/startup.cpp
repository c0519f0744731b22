// Times the program from its start to a filled, ready main window, and its
// Search, on a large sandbox (bench/make-big-sandbox: 20,000 available
// packages, 2,000 installed older versions, either file layout) with a warm
// metadata cache, beside two yardsticks on the same sandbox:
//   - start: the dnf command line's "-q list --all" writing to /dev/null, a
//     whole process each, with the same yum.conf;
//   - first Search: dnf's API reading the same data (bench/search-floor.py:
//     loading the change logs, then every field a Search matches of every
//     package in the table, each matched by itself);
//   - later Searches: the aim is under 150 ms each.
// The runs go in pairs, program then yardstick, back to back; it prints the
// min / median / max of each side, the ratio pair by pair and the load
// average over the series.
//
//   bench/make-big-sandbox /tmp/big [--layout realistic]
//   QT_QPA_PLATFORM=offscreen build/bench/startup /tmp/big [--runs N]
//
// Each run of the program is a process of its own, made as main makes it
// (style, application, main window shown), that reports when the window is
// ready with the table filled, with its peak resident memory so far; the
// parent takes the time from starting the process to that report. The same
// process then shows every package and runs one Search that needs the extra
// data (timed as its loading and then the filter button's road, which
// matches every row) and four later ones, each timed around the filter
// button's road. One run of each process comes first and is not counted: it
// warms the caches (dnf's command line keeps its own, below the
// installroot). "dnf" must be installed for the start yardstick.
//
// bench/run-all drives the program's side by itself: "startup --program
// SANDBOX [--ready-only]" prints
//   ready SECONDS_SINCE_MAIN ROWS MAXRSS_KB
//   load SECONDS
//   first SECONDS ROWS ALL_ROWS
//   memory MAXRSS_KB                 (peak memory after the first Search)
//   later SECONDS ROWS ALL_ROWS      (four times)
// and with --ready-only stops after the first line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

#include "app/mainwindow.h"
#include "app/packagetable/sortfilterproxymodel.h"
#include "app/packagetable/view.h"
#include "bench/benchsupport.h"
#include "engine/configroot.h"
#include "engine/globals.h"
#include "foundation/defaultstyle.h"
#include "foundation/share.h"

// The window's friend: the benchmark drives the filter row as a user would.
class MainWindowTestAccess
{
public:
    static QComboBox* modeCombo(MainWindow& w) { return w.modeCombo; }
    static QComboBox* stateCombo(MainWindow& w) { return w.stateCombo; }
    static QLineEdit* regexpEdit(MainWindow& w) { return w.regexpEdit; }
    static PackageTable::View* view(MainWindow& w) { return w.view; }
    static void filtersearch(MainWindow& w) { w.filtersearch(); }
    static void prepareFilterSearch(MainWindow& w) { w.prepareFilterSearch(); }
    static void quit(MainWindow& w) { w.quit(); }
};

namespace
{

using A = MainWindowTestAccess;

// The first Search needs the file lists and the change logs; the later ones
// match what the first one read. Each matches one package or none, so every
// field of nearly every package is looked at.
const char* const firstPattern = "/big-12345/file[0-9]";
const char* const laterPatterns[] = {"Version 1\\.0 of big-01999\\.", "bench\\(big-04242\\)",
                                     "libbench17777\\.so", "no such text anywhere"};

long peakResidentKilobytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The program's side: one start and its Searches, reported on standard
// output a line each.
int runProgram(int argc, char** argv, const QString& sandbox, bool readyOnly)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    ConfigRoot::setRoot(sandbox);

    DefaultStyle defaultStyle(argc, argv);
    QApplication app(argc, argv);
    defaultStyle.set(app, "plastique");
    app.setWindowIcon(QIcon(Share::absolute("pixmaps/kuv.icon.png")));
    application = &app;
    program = "kuv";

    MainWindow* window = new MainWindow;
    window->show();
    while (!window->isReady()) {
        if (!window->isVisible()) {
            std::fprintf(stderr, "startup: the window closed during the start-up\n");
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    const QAbstractItemModel* proxy = A::view(*window)->sortFilterProxyModel();
    std::printf("ready %.3f %d %ld\n", sinceMain.nsecsElapsed() / 1e9, proxy->rowCount(),
                peakResidentKilobytes());
    std::fflush(stdout);
    if (readyOnly) {
        A::quit(*window);
        return 0;
    }

    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    A::modeCombo(*window)->setCurrentIndex(PackageTable::Search);
    const int all = proxy->rowCount();

    auto search = [&](const char* label, const char* pattern) {
        A::regexpEdit(*window)->setText(QString::fromUtf8(pattern));
        QElapsedTimer clock;
        clock.start();
        A::filtersearch(*window);
        const double seconds = clock.nsecsElapsed() / 1e9;
        std::printf("%s %.3f %d %d\n", label, seconds, proxy->rowCount(), all);
        std::fflush(stdout);
    };
    // The first Search in two parts: loading the extra data, then matching
    // every row (the filter button's road finds the data loaded).
    A::regexpEdit(*window)->setText(QString::fromUtf8(firstPattern));
    QElapsedTimer loadClock;
    loadClock.start();
    A::prepareFilterSearch(*window);
    std::printf("load %.3f\n", loadClock.nsecsElapsed() / 1e9);
    search("first", firstPattern);
    // Still the first Search: the later ones only add to what it keeps.
    std::printf("memory %ld\n", peakResidentKilobytes());
    std::fflush(stdout);
    for (const char* pattern : laterPatterns)
        search("later", pattern);

    A::quit(*window);
    return 0;
}

struct ProgramRun
{
    bool ok = false;
    double start = 0;
    int rows = 0;
    double load = 0;
    double first = 0;
    double match = 0;
    int firstRows = -1;
    double readyMegabytes = 0;
    double searchMegabytes = 0;
    std::vector<double> later;
};

// Starts the program's side and reads its lines; the start is the time from
// starting the process to its "ready" line.
ProgramRun runProgramProcess(const QString& self, const QString& sandbox,
                             const QProcessEnvironment& environment)
{
    ProgramRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(self, {"--program", sandbox});
    QByteArray pending;
    while (true) {
        const bool more = process.waitForReadyRead(600000);
        const double now = clock.nsecsElapsed() / 1e9;
        pending += process.readAllStandardOutput();
        int newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QList<QByteArray> words = pending.left(newline).split(' ');
            pending.remove(0, newline + 1);
            if (words[0] == "ready" && words.size() >= 4) {
                run.start = now;
                run.rows = words[2].toInt();
                run.readyMegabytes = words[3].toDouble() / 1024;
            } else if (words[0] == "load" && words.size() >= 2) {
                run.load = words[1].toDouble();
            } else if (words[0] == "first" && words.size() >= 3) {
                run.first = run.load + words[1].toDouble();
                run.match = words[1].toDouble();
                run.firstRows = words[2].toInt();
            } else if (words[0] == "memory" && words.size() >= 2) {
                run.searchMegabytes = words[1].toDouble() / 1024;
            } else if (words[0] == "later") {
                run.later.push_back(words[1].toDouble());
            }
        }
        if (!more)
            break;
    }
    process.waitForFinished(600000);
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
             && run.start > 0 && run.firstRows >= 0;
    if (!run.ok)
        std::fprintf(stderr, "startup: the program's run failed (exit %d)\n", process.exitCode());
    return run;
}

// A whole process; its wall time, or a negative value after a failure. Its
// standard output goes to output, or to /dev/null without one: a listing
// read through a pipe would cost the listing program more than a terminal
// or a file does.
double runTimed(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment, QByteArray* output = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!output)
        process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600000))
        return -1;
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "startup: %s failed:\n%s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

// The search floor's line: "floor SECONDS MATCHES PACKAGES TOTAL MAXRSS_KB".
struct FloorRun
{
    bool ok = false;
    double seconds = 0;
    double total = 0;
    double megabytes = 0;
};

FloorRun runFloor(const QStringList& arguments, const QProcessEnvironment& environment)
{
    FloorRun run;
    QByteArray output;
    if (runTimed("/usr/bin/python3", arguments, environment, &output) < 0)
        return run;
    const QList<QByteArray> words = output.trimmed().split(' ');
    if (words.size() < 6 || words[0] != "floor")
        return run;
    run.ok = true;
    run.seconds = words[1].toDouble();
    run.total = words[4].toDouble();
    run.megabytes = words[5].toDouble() / 1024;
    return run;
}

}

int main(int argc, char** argv)
{
    if (argc >= 3 && QByteArray(argv[1]) == "--program")
        return runProgram(argc, argv, QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath(),
                          argc >= 4 && QByteArray(argv[3]) == "--ready-only");

    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SANDBOX [--runs N]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const QString sandbox = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    int runs = 5;
    for (int i = 2; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (!QFileInfo::exists(sandbox + "/etc/yum.conf")) {
        std::fprintf(stderr, "startup: %s is no sandbox (bench/make-big-sandbox)\n", argv[1]);
        return 2;
    }

    QProcessEnvironment environment =
        Bench::sandboxEnvironment(sandbox, QStringLiteral(KUV_SOURCE_SHARE));
    if (environment.value("QT_QPA_PLATFORM").isEmpty())
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    const QString self = QCoreApplication::applicationFilePath();
    const QString dnf = QStandardPaths::findExecutable("dnf");
    const QStringList dnfArguments{"-q", "-c", sandbox + "/etc/yum.conf", "--installroot",
                                   sandbox + "/root", "list", "--all"};
    const QString floorScript = QStringLiteral(KUV_BENCH_DIR "/search-floor.py");
    const QStringList floorArguments{floorScript, sandbox, firstPattern};

    // Warm-up, not counted.
    runProgramProcess(self, sandbox, environment);
    if (!dnf.isEmpty())
        runTimed(dnf, dnfArguments, environment);
    runFloor(floorArguments, environment);

    Bench::Pairs starts, firsts, memoryAtReady, memoryAfterSearch;
    std::vector<double> loads, matches, laters, laterLoads;
    int rows = 0;
    int firstRows = 0;
    for (int run = 0; run < runs; ++run) {
        const double load = Bench::loadAverage();
        ProgramRun program = runProgramProcess(self, sandbox, environment);
        if (!program.ok)
            return 1;
        loads.push_back(program.load);
        matches.push_back(program.match);
        laters.insert(laters.end(), program.later.begin(), program.later.end());
        laterLoads.push_back(load);
        rows = program.rows;
        firstRows = program.firstRows;
        if (!dnf.isEmpty()) {
            const double seconds = runTimed(dnf, dnfArguments, environment);
            if (seconds >= 0)
                starts.add(program.start, seconds, load);
        }
        const FloorRun floor = runFloor(floorArguments, environment);
        if (floor.ok) {
            firsts.add(program.first, floor.seconds, load);
            memoryAfterSearch.add(program.searchMegabytes, floor.megabytes, load);
        }
    }

    std::printf("KUV start and Search on %s, %d pairs (warm cache)\n", qPrintable(sandbox), runs);
    std::printf("  rows shown when ready (View Updatable): %d; first Search matched %d row(s)\n",
                rows, firstRows);
    std::printf("  %-44s %9s %9s %9s\n", "", "min", "median", "max");
    Bench::printPairs("start to a filled, ready window (process)", "dnf -q list --all >/dev/null",
                      starts, 1, "s");
    Bench::printPairs("first Search (loads the extra data)",
                      "dnf API: change logs, then every field read", firsts, 1, "s");
    const Bench::Spread load = Bench::spread(loads);
    const Bench::Spread match = Bench::spread(matches);
    std::printf("  %-44s %9.3f %9.3f %9.3f s\n", "  of which loading the extra data", load.min,
                load.median, load.max);
    std::printf("  %-44s %9.3f %9.3f %9.3f s\n", "  of which matching every row", match.min,
                match.median, match.max);
    Bench::printPairs("peak memory after the first Search",
                      "dnf API's peak memory, every field read", memoryAfterSearch, 1, "MB");
    const Bench::Spread later = Bench::spread(laters);
    const Bench::Spread laterLoad = Bench::spread(laterLoads);
    std::printf("  %-44s %9.3f %9.3f %9.3f s   (%zu, load %.2f-%.2f; aim: under 0.150 s)\n",
                "later Searches", later.min, later.median, later.max, laters.size(),
                laterLoad.min, laterLoad.max);
    if (dnf.isEmpty())
        std::printf("  (dnf is not installed: apt-get install dnf)\n");
    return 0;
}
