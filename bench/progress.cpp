// Times what the progress relay adds to a collection: the engine's collect
// on a large sandbox (bench/make-big-sandbox) with the relay on (two
// progress bars in a shown window) and off (an engine given no bars, which
// installs no relay), in pairs run one after the other, A B A B, so that a
// change in the machine's load meets both sides of a pair alike; every
// second pair runs its two sides the other way round, since the second run
// of a pair proved slower, whichever it was. It prints
// the minimum, median and maximum of each side and of the ratio on / off
// taken pair by pair.
//
//   bench/make-big-sandbox /tmp/big
//   bench/progress /tmp/big [--pairs N] [--cold]
//
// Each run is a process of its own (the interpreter starts once per
// process) that times YumIO::collect alone, after YumIO::initialize (the
// relay exists only during the collection), in wall-clock time and in the
// process's CPU time, which counts the GUI thread's work on the bars and
// less of what other processes on a busy machine cost. With a warm cache (the default;
// one run warms it first and is not counted) the repository phase is short
// and the relay mostly carries the phases; --cold empties the sandbox's
// metadata cache before every run, so each run also shows the metadata
// download of 20,000 packages on the bars.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QVBoxLayout>
#include <QWidget>

#include "bench/benchsupport.h"
#include "engine/configroot.h"
#include "engine/globals.h"
#include "engine/yumio.h"
#include "foundation/hprogressbar.h"

namespace {

// The engine in this process: prints "collect WALL CPU ENTRIES".
int engineRun(int argc, char** argv, const QString& sandbox, bool relay)
{
    QApplication app(argc, argv);
    application = &app;
    program = "kuv";
    ConfigRoot::setRoot(sandbox);

    // A failure shows a box that nobody would answer: it is printed and
    // closed instead, and the run counts as failed.
    Bench::BoxCloser closer;

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* item = new HProgressBar(&window);
    auto* total = new HProgressBar(&window);
    layout->addWidget(item);
    layout->addWidget(total);
    window.resize(768, 100);
    window.show();

    bool ok = true;
    qint64 wall = 0;
    double cpu = 0;
    int entries = 0;
    {
        YumIO io;
        if (relay)
            io.setup(&window, total, item);
        else
            io.setup(&window, nullptr, nullptr);
        ok = io.initialize();
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = Bench::processCpu();
        ok = ok && io.collect(QHash<QString, bool>());
        wall = timer.nsecsElapsed();
        cpu = Bench::processCpu() - cpuStart;
        entries = io.count();
        io.clearEntriesBeforeQuit();
    }
    if (!ok) {
        std::printf("failed\n");
        return 1;
    }
    std::printf("collect %.4f %.4f %d\n", double(wall) / 1e9, cpu, entries);
    return 0;
}

struct Times {
    double wall = -1;
    double cpu = -1;
};

// One side's collect times; negative when the run failed.
Times runSide(const QString& self, const QString& sandbox, bool relay, bool cold,
               const QProcessEnvironment& environment)
{
    if (cold && !QDir(sandbox + "/cache").removeRecursively()) {
        std::fprintf(stderr, "cannot empty %s/cache\n", sandbox.toUtf8().constData());
        return Times();
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(self, {sandbox, relay ? "--relay-on" : "--relay-off"});
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished();
        return Times();
    }
    const QStringList words =
        QString::fromUtf8(process.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
        || words.size() < 4 || words.first() != "collect") {
        std::fprintf(stderr, "a run failed:\n%s\n", process.readAllStandardError().constData());
        return Times();
    }
    Times times;
    times.wall = words.at(1).toDouble();
    times.cpu = words.at(2).toDouble();
    return times;
}

struct Series {
    std::vector<double> values;
};

void printSeries(const char* label, const Series& series, const char* format)
{
    const Bench::Spread s = Bench::spread(series.values);
    std::printf("  %-26s", label);
    for (double value : {s.min, s.median, s.max})
        std::printf(format, value);
    std::printf("\n");
}

int usage()
{
    std::fprintf(stderr, "usage: progress SANDBOX [--pairs N] [--cold]\n"
                         "SANDBOX is made by bench/make-big-sandbox.\n");
    return 2;
}

}

int main(int argc, char** argv)
{
    QString sandbox;
    int pairs = 7;
    bool cold = false;
    QString childMode;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pairs") == 0 && i + 1 < argc)
            pairs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--cold") == 0)
            cold = true;
        else if (std::strcmp(argv[i], "--relay-on") == 0 || std::strcmp(argv[i], "--relay-off") == 0)
            childMode = QString::fromLatin1(argv[i]);
        else if (argv[i][0] != '-' && sandbox.isEmpty())
            sandbox = QDir(QString::fromLocal8Bit(argv[i])).absolutePath();
        else
            return usage();
    }
    if (sandbox.isEmpty() || !QFileInfo::exists(sandbox + "/etc/yum.conf"))
        return usage();
    if (!childMode.isEmpty())
        return engineRun(argc, argv, sandbox, childMode == "--relay-on");

    QProcessEnvironment environment =
        Bench::sandboxEnvironment(sandbox, QStringLiteral(KUV_SOURCE_SHARE));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LC_ALL", "C.UTF-8");
    const QString self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();

    if (!cold && runSide(self, sandbox, true, false, environment).wall < 0)
        return 1;
    Series on, off, ratio, onCpu, offCpu, ratioCpu;
    for (int pair = 0; pair < pairs; ++pair) {
        const bool onFirst = pair % 2 == 0;
        const Times first = runSide(self, sandbox, onFirst, cold, environment);
        const Times second = runSide(self, sandbox, !onFirst, cold, environment);
        const Times& a = onFirst ? first : second;
        const Times& b = onFirst ? second : first;
        if (a.wall <= 0 || b.wall <= 0 || a.cpu <= 0 || b.cpu <= 0)
            return 1;
        on.values.push_back(a.wall);
        off.values.push_back(b.wall);
        ratio.values.push_back(a.wall / b.wall);
        onCpu.values.push_back(a.cpu);
        offCpu.values.push_back(b.cpu);
        ratioCpu.values.push_back(a.cpu / b.cpu);
        std::printf("  pair %d: wall on %.3f off %.3f ratio %.4f; cpu on %.3f off %.3f ratio %.4f\n",
                    pair + 1, a.wall, b.wall, a.wall / b.wall, a.cpu, b.cpu, a.cpu / b.cpu);
    }
    std::printf("Collection of %s, %s cache, %d pairs (on then off, off then on, ...)\n",
                sandbox.toUtf8().constData(), cold ? "cold" : "warm", pairs);
    std::printf("  %-26s%10s%10s%10s\n", "", "min", "median", "max");
    printSeries("wall, relay on, s", on, "%10.3f");
    printSeries("wall, relay off, s", off, "%10.3f");
    printSeries("wall, on / off by pair", ratio, "%10.4f");
    printSeries("cpu, relay on, s", onCpu, "%10.3f");
    printSeries("cpu, relay off, s", offCpu, "%10.3f");
    printSeries("cpu, on / off by pair", ratioCpu, "%10.4f");
    return 0;
}
