// Times the engine's collection of the package model on a large sandbox
// (bench/make-big-sandbox: 20,000 available packages, 2,000 installed older
// versions) with a warm metadata cache, beside two yardsticks on the same
// sandbox: the floor, a plain Python script that does the same work through
// dnf's API (bench/collect-floor.py), and the dnf command line's
// "list --all" writing to /dev/null. The runs go in rounds, engine then
// yardsticks, back to back; it prints the min / median / max of each side, in
// wall-clock and in CPU time (user and system; it counts less of what other
// processes on a busy machine cost), the ratios pair by pair and the load
// average over the series, and the peak memory of the engine and the floor.
//
//   bench/make-big-sandbox /tmp/big
//   bench/collect /tmp/big [--runs N]
//
// Each engine run is a process of its own (the interpreter starts once per
// process) that times YumIO::initialize (interpreter, companion script, yum
// layer, dnf) and the first collect; a second process per run times clear
// and collect again, as a refresh does. The floor times itself from before
// it imports dnf. Process times are those of the whole child. One run of
// each comes first and is not counted: it warms the caches (dnf's command
// line keeps its own, below the installroot). "dnf" must be installed for
// the last yardstick; without it that line is left out.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QWidget>

#include "bench/benchsupport.h"
#include "engine/configroot.h"
#include "engine/globals.h"
#include "engine/yumio.h"

namespace {

double seconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e9;
}

// User and system time of the children waited for so far.
double childrenCpu()
{
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The engine in this process. Prints "engine WALL CPU INIT_WALL ENTRIES
// MAXRSS_MB" for initialize and collect, or with `refresh` "refresh WALL CPU"
// for clear and collect after them.
int engineRun(int argc, char** argv, const QString& sandbox, bool refresh)
{
    QApplication app(argc, argv);
    application = &app;
    program = "kuv";
    ConfigRoot::setRoot(sandbox);

    // A failure shows a box that nobody would answer: it is printed and
    // closed instead, and the run counts as failed.
    Bench::BoxCloser closer;

    QWidget window;
    bool ok = true;
    qint64 wall = 0;
    qint64 initWall = 0;
    double cpu = 0;
    int entries = 0;
    {
        YumIO io;
        io.setup(&window, nullptr, nullptr);
        QElapsedTimer timer;
        timer.start();
        double cpuStart = Bench::processCpu();
        ok = io.initialize();
        initWall = timer.nsecsElapsed();
        ok = ok && io.collect(QHash<QString, bool>());
        wall = timer.nsecsElapsed();
        cpu = Bench::processCpu() - cpuStart;
        entries = io.count();
        if (ok && refresh) {
            timer.restart();
            cpuStart = Bench::processCpu();
            io.clear();
            ok = io.collect(QHash<QString, bool>()) && io.count() == entries;
            wall = timer.nsecsElapsed();
            cpu = Bench::processCpu() - cpuStart;
        }
        io.clearEntriesBeforeQuit();
    }
    if (!ok) {
        std::printf("failed\n");
        return 1;
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    if (refresh)
        std::printf("refresh %.3f %.3f\n", seconds(wall), cpu);
    else
        std::printf("engine %.3f %.3f %.3f %d %ld\n", seconds(wall), cpu, seconds(initWall),
                    entries, usage.ru_maxrss / 1024);
    return 0;
}

struct Child {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    QStringList words;
};

// Runs a child to its end; its last output line split into words. A child
// whose output is only in the way writes it to /dev/null.
Child runChild(const QString& command, const QStringList& arguments,
               const QProcessEnvironment& environment, bool discardOutput = false)
{
    Child child;
    QProcess process;
    process.setProcessEnvironment(environment);
    if (discardOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    const double cpuBefore = childrenCpu();
    QElapsedTimer timer;
    timer.start();
    process.start(command, arguments);
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished();
        std::fprintf(stderr, "%s did not finish\n", command.toUtf8().constData());
        return child;
    }
    child.wall = seconds(timer.nsecsElapsed());
    child.cpu = childrenCpu() - cpuBefore;
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        child.words = lines.last().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    child.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!child.ok)
        std::fprintf(stderr, "%s failed:\n%s\n", command.toUtf8().constData(),
                     process.readAllStandardError().constData());
    return child;
}

// Wall-clock and CPU time of one comparison, pair by pair.
struct Compared {
    Bench::Pairs wall;
    Bench::Pairs cpu;
    void add(const Child& a, const Child& b, double load)
    {
        wall.add(a.wall, b.wall, load);
        cpu.add(a.cpu, b.cpu, load);
    }
    void add(double aWall, double aCpu, double bWall, double bCpu, double load)
    {
        wall.add(aWall, bWall, load);
        cpu.add(aCpu, bCpu, load);
    }
};

void printCompared(const char* aLabel, const char* bLabel, const Compared& compared)
{
    if (compared.wall.a.empty())
        return;
    std::printf("  wall-clock\n");
    Bench::printPairs(aLabel, bLabel, compared.wall, 1, "s");
    std::printf("  cpu\n");
    Bench::printPairs(aLabel, bLabel, compared.cpu, 1, "s");
}

int usage()
{
    std::fprintf(stderr, "usage: collect SANDBOX [--runs N]\n"
                         "SANDBOX is made by bench/make-big-sandbox.\n");
    return 2;
}

}

int main(int argc, char** argv)
{
    QString sandbox;
    int runs = 5;
    QString childMode;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--engine-run") == 0 || std::strcmp(argv[i], "--refresh-run") == 0)
            childMode = QString::fromLatin1(argv[i]);
        else if (argv[i][0] != '-' && sandbox.isEmpty())
            sandbox = QDir(QString::fromLocal8Bit(argv[i])).absolutePath();
        else
            return usage();
    }
    if (sandbox.isEmpty() || !QFileInfo::exists(sandbox + "/etc/yum.conf"))
        return usage();
    if (!childMode.isEmpty())
        return engineRun(argc, argv, sandbox, childMode == "--refresh-run");

    QProcessEnvironment environment =
        Bench::sandboxEnvironment(sandbox, QStringLiteral(KUV_SOURCE_SHARE));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LC_ALL", "C.UTF-8");
    const QString self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    const QString floorScript = QStringLiteral(KUV_BENCH_DIR "/collect-floor.py");
    const QString dnf = QStandardPaths::findExecutable("dnf");
    const QStringList dnfArguments{"-q", "-c", sandbox + "/etc/yum.conf", "--installroot",
                                   sandbox + "/root", "list", "--all"};

    Compared engineFloor, refreshFloor, processes, engineDnf;
    Bench::Pairs memory;
    std::vector<double> initWall;
    QString counts;
    for (int run = 0; run <= runs; ++run) {
        const double load = Bench::loadAverage();
        Child engineRunChild = runChild(self, {sandbox, "--engine-run"}, environment);
        const QStringList& e = engineRunChild.words;
        if (!engineRunChild.ok || e.size() < 6 || e.first() != "engine") {
            std::fprintf(stderr, "the engine's collection failed\n");
            return 1;
        }
        Child refreshChild = runChild(self, {sandbox, "--refresh-run"}, environment);
        const QStringList& r = refreshChild.words;
        if (!refreshChild.ok || r.size() < 3 || r.first() != "refresh") {
            std::fprintf(stderr, "the engine's second collection failed\n");
            return 1;
        }
        Child floorChild = runChild("/usr/bin/python3", {floorScript, sandbox}, environment);
        const QStringList& f = floorChild.words;
        if (!floorChild.ok || f.size() < 9) {
            std::fprintf(stderr, "the floor script failed\n");
            return 1;
        }
        Child dnfChild;
        if (!dnf.isEmpty())
            dnfChild = runChild(dnf, dnfArguments, environment, true);
        if (run == 0)
            continue;
        engineFloor.add(e.at(1).toDouble(), e.at(2).toDouble(), f.at(1).toDouble(),
                        f.at(2).toDouble(), load);
        initWall.push_back(e.at(3).toDouble());
        refreshFloor.add(r.at(1).toDouble(), r.at(2).toDouble(), f.at(3).toDouble(),
                         f.at(4).toDouble(), load);
        processes.add(engineRunChild, floorChild, load);
        memory.add(e.at(5).toDouble(), f.at(8).toDouble() / 1024, load);
        if (dnfChild.ok)
            engineDnf.add(engineRunChild, dnfChild, load);
        counts = QString("%1 entries; floor: %2 upgrades, %3 installed, %4 available")
                     .arg(e.at(4), f.at(5), f.at(6), f.at(7));
    }

    std::printf("Collection of %s, warm cache, %d pairs\n", sandbox.toUtf8().constData(), runs);
    std::printf("  %s\n", counts.toUtf8().constData());
    std::printf("  %-44s %9s %9s %9s\n", "", "min", "median", "max");
    printCompared("engine: initialize + collect", "floor: dnf API, import to last field",
                  engineFloor);
    const Bench::Spread init = Bench::spread(initWall);
    std::printf("  %-44s %9.3f %9.3f %9.3f s\n", "  engine's initialize, wall-clock", init.min,
                init.median, init.max);
    printCompared("engine: clear + collect again", "floor after the import of dnf", refreshFloor);
    printCompared("engine process", "floor process", processes);
    if (!engineDnf.wall.a.empty())
        printCompared("engine process", "dnf -q list --all >/dev/null", engineDnf);
    else
        std::printf("  (dnf is not installed: apt-get install dnf)\n");
    std::printf("  peak memory\n");
    Bench::printPairs("engine process", "floor process", memory, 1, "MB");
    return 0;
}
