// Measures the whole program applying a transaction whose sh scriptlet runs
// away: kuv-chatty (bench/make-scriptout-sandbox) writes some 50 MB in
// 512,000 lines from its %post, or, as the sandbox was made, one line of
// many megabytes or millions of empty lines. rpm hands an sh scriptlet's output to the
// script's transaction display as one text after the scriptlet has ended,
// which the layer passes through the script's standard output into the
// engine's log, and the log window, shown as with -l, draws every line.
//
// Each run of the program is a process of its own, made as main makes it
// (main window, command line "-l", shown), which marks kuv-chatty for
// install in the table, applies with the confirmation answered OK, waits
// until the window has drawn the last line and reports its peak resident
// size (VmHWM), the seconds from the click to the last line drawn, the
// longest stall of the GUI thread meanwhile (the longest gap between the
// ticks of a 10 ms timer) and whether the scriptlet's output is in the log
// whole and in order. The yardstick is the dnf
// command line applying the same install on a fresh copy of the same
// installroot, its output into /dev/null, its peak read from wait4. The two
// run in pairs, A B A B; the installroot is made afresh before each run.
//
//   bench/make-scriptout-sandbox /tmp/chatty [--long-line BYTES | --empty-lines N]
//   QT_QPA_PLATFORM=offscreen build/bench/scriptout /tmp/chatty [--pairs N] [--cap SECONDS]
//
// A run of the program that has not drawn the output within the cap (600 s
// by default) is killed and counted as failed.
// The goals: no stall over 500 ms; the program's peak at most 500 MB for
// the numbered lines, at most 400 MB for a line of 10 MB.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMutexLocker>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include "app/commandline.h"
#include "app/logwindow.h"
#include "app/mainwindow.h"
#include "app/packagetable/model.h"
#include "app/packagetable/sortfilterproxymodel.h"
#include "app/packagetable/view.h"
#include "bench/benchsupport.h"
#include "engine/configroot.h"
#include "engine/yumio.h"
#include "foundation/htextedit.h"

// The log window's friend: whether it has drawn every entry of its list.
class LogWindowTestAccess
{
public:
    static bool caughtUp(Log::Window& w)
    {
        return !w.more->isActive() && w.shown == w.list->lockedCount();
    }
};

// The window's friend: the benchmark clicks as a user would.
class MainWindowTestAccess
{
public:
    static QComboBox* stateCombo(MainWindow& w) { return w.stateCombo; }
    static PackageTable::View* view(MainWindow& w) { return w.view; }
    static QPushButton* applyButton(MainWindow& w) { return w.applyButton; }
    static Log::Window* logWindow(MainWindow& w) { return w.logWindow; }
    static YumIO* yumIO(MainWindow& w) { return w.yumIO; }
    static void quit(MainWindow& w) { w.quit(); }
};

namespace
{

using A = MainWindowTestAccess;

const char* const linePrefix = "kuv-chatty: post-install line ";

bool waitFor(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// Answers the transaction's confirmation with OK; any other box is printed
// and closed, and the run then fails by its own count.
class Answerer : public QObject
{
public:
    Answerer()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || modal == answering)
                return;
            answering = modal;
            for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
                if (button->text().remove('&') == QLatin1String("OK")) {
                    button->click();
                    return;
                }
            }
            std::fprintf(stderr, "box: %s\n", modal->windowTitle().toUtf8().constData());
            modal->close();
        });
        timer.start(50);
    }

private:
    QTimer timer;
    QWidget* answering = nullptr;
};

// What the sandbox's scriptlet writes: "lines", "long-line" or
// "empty-lines", and how many.
struct Output {
    QString kind = QStringLiteral("lines");
    int count = 512000;
};

Output sandboxOutput(const QString& sandbox)
{
    Output output;
    QFile file(sandbox + "/output");
    if (file.open(QIODevice::ReadOnly)) {
        const QStringList fields = QString::fromLatin1(file.readAll()).trimmed().split(' ');
        if (fields.size() == 2) {
            output.kind = fields[0];
            output.count = fields[1].toInt();
        }
    }
    return output;
}

// Whether the scriptlet's output is in the log whole, in order and with the
// output's kind: every numbered line, the long line at its full length, or
// a run of as many empty lines.
bool loggedWhole(YumIO& io, const Output& output)
{
    QMutexLocker locker(&io.logList);
    int seen = 0;
    int run = 0;
    for (int i = 0; i < io.logList.count(); ++i) {
        if (output.kind == "long-line") {
            int length = 0;
            const Log::Entry entry = io.logList.at(i, 1, length);
            if (entry.kind == Log::Output && entry.text == "x") {
                if (length != output.count || io.logList.at(i).text.count('x') != output.count)
                    return false;
                ++seen;
            }
            continue;
        }
        const Log::Entry entry = io.logList.at(i);
        if (output.kind == "empty-lines") {
            run = entry.kind == Log::Output && entry.text.isEmpty() ? run + 1 : 0;
            seen = std::max(seen, run);
            continue;
        }
        if (!entry.text.startsWith(QLatin1String(linePrefix)))
            continue;
        const int number = entry.text.midRef(int(std::strlen(linePrefix)), 7).toInt();
        if (entry.kind != Log::Output || number != seen + 1 || entry.text.size() != 99)
            return false;
        seen = number;
    }
    return seen == (output.kind == "long-line" ? 1 : output.count);
}


// One run of the program: prints "peak_kb seconds logged stall_ms", logged
// being 1 when the output is in the log whole.
int child(const QString& sandbox, int cap)
{
    const Output output = sandboxOutput(sandbox);
    ConfigRoot::setRoot(sandbox);
    Answerer answerer;
    auto* window = new MainWindow;
    char name[] = "kuv";
    char option[] = "-l";
    char* argv[] = {name, option, nullptr};
    CommandLine::parse(2, argv, window);
    window->show();
    if (!waitFor([&] { return window->isReady() || !window->isVisible(); }, 120000) ||
        !window->isReady()) {
        std::fprintf(stderr, "the window did not get ready\n");
        return 1;
    }
    Log::Window* logWindow = A::logWindow(*window);
    if (!logWindow || !logWindow->isVisible()) {
        std::fprintf(stderr, "the log window is not shown\n");
        return 1;
    }
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    PackageTable::View* view = A::view(*window);
    QAbstractItemModel* proxy = view->sortFilterProxyModel();
    QModelIndex cell;
    for (int row = 0; row < proxy->rowCount(); ++row) {
        if (proxy->index(row, PackageTable::Model::NameColumn).data().toString() == "kuv-chatty")
            cell = proxy->index(row, PackageTable::Model::ActionColumn);
    }
    if (!cell.isValid()) {
        std::fprintf(stderr, "kuv-chatty is not in the table\n");
        return 1;
    }
    view->scrollTo(cell);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(cell).center());

    QElapsedTimer clock;
    clock.start();
    Bench::StallWatch stalls;
    // Returns once the apply and its re-collection are over.
    A::applyButton(*window)->click();
    YumIO* io = A::yumIO(*window);
    const bool drawn = waitFor([&] { return LogWindowTestAccess::caughtUp(*logWindow); }, cap * 1000);
    if (!drawn) {
        std::fprintf(stderr, "the log window did not draw the output within %d s\n", cap);
        std::fflush(stderr);
        _exit(1);
    }
    const double seconds = clock.elapsed() / 1000.0;
    // A last tick, so that a stall at the very end is counted.
    QTest::qWait(50);
    const double stall = stalls.longest;
    const qint64 peak = Bench::statusKb("VmHWM:");
    const bool logged = drawn && io && loggedWhole(*io, output);
    std::printf("%lld %.3f %d %.0f\n", peak, seconds, logged ? 1 : 0, stall);
    std::fflush(stdout);
    A::quit(*window);
    return 0;
}

struct Run {
    double peakMb = 0;
    double seconds = 0;
    bool logged = false;
    double stallMs = 0;
    bool ok = false;
};

bool freshRoot(const QString& sandbox)
{
    QDir(sandbox + "/root").removeRecursively();
    return QProcess::execute("cp", {"-a", sandbox + "/root.clean", sandbox + "/root"}) == 0;
}

Run runProgram(const QString& sandbox, int cap)
{
    Run run;
    if (!freshRoot(sandbox))
        return run;
    QProcess process;
    process.setProcessEnvironment(Bench::sandboxEnvironment(sandbox, KUV_SOURCE_SHARE));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(),
                  {"--child", sandbox, "--cap", QString::number(cap)});
    // The cap counts from the click; the start and the apply come first.
    if (!process.waitForFinished((cap + 300) * 1000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 4 || process.exitCode() != 0)
        return run;
    run.peakMb = fields[0].toDouble() / 1024.0;
    run.seconds = fields[1].toDouble();
    run.logged = fields[2].toInt() == 1;
    run.stallMs = fields[3].toDouble();
    run.ok = true;
    return run;
}

// dnf's command line, its output into /dev/null; its peak from wait4.
Run runDnf(const QString& sandbox)
{
    Run run;
    if (!freshRoot(sandbox))
        return run;
    const QByteArray home = (sandbox + "/home").toUtf8();
    const QByteArray conf = (sandbox + "/etc/yum.conf").toUtf8();
    const QByteArray root = (sandbox + "/root").toUtf8();
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid < 0)
        return run;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        setenv("HOME", home.constData(), 1);
        execl("/usr/bin/dnf", "dnf", "-q", "-y", "-c", conf.constData(), "--installroot",
              root.constData(), "--releasever", "12", "install", "kuv-chatty", nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return run;
    run.seconds = clock.elapsed() / 1000.0;
    run.peakMb = usage.ru_maxrss / 1024.0;
    run.ok = QFile::exists(sandbox + "/root/bin/sh");
    return run;
}

}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    int pairs = 5;
    int cap = 600;
    QString sandbox;
    QString childSandbox;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--pairs" && i + 1 < arguments.size())
            pairs = arguments[++i].toInt();
        else if (arguments[i] == "--cap" && i + 1 < arguments.size())
            cap = arguments[++i].toInt();
        else if (arguments[i] == "--child" && i + 1 < arguments.size())
            childSandbox = arguments[++i];
        else
            sandbox = QDir(arguments[i]).absolutePath();
    }
    if (!childSandbox.isEmpty())
        return child(childSandbox, cap);
    if (sandbox.isEmpty() || pairs < 1 || cap < 1 || !QFile::exists(sandbox + "/root.clean")) {
        std::fprintf(stderr, "usage: scriptout SANDBOX [--pairs N] [--cap SECONDS] "
                             "(bench/make-scriptout-sandbox)\n");
        return 2;
    }

    const Output output = sandboxOutput(sandbox);
    std::printf("scriptout: the program installing kuv-chatty (its %%post writing %s %d) "
                "with the log window shown, beside dnf's command line into /dev/null; platform %s\n",
                qPrintable(output.kind), output.count, qPrintable(QGuiApplication::platformName()));
    Bench::Pairs peaks;
    Bench::Pairs times;
    std::vector<double> stalls;
    bool complete = true;
    for (int pair = 0; pair < pairs; ++pair) {
        const double load = Bench::loadAverage();
        const Run a = runProgram(sandbox, cap);
        const Run b = runDnf(sandbox);
        std::printf("pair %d: program %.1f MB %.1f s, longest stall %.0f ms, output %s; "
                    "dnf %.1f MB %.1f s\n",
                    pair, a.peakMb, a.seconds, a.stallMs,
                    a.logged ? "logged whole and drawn" : "NOT logged whole or not drawn", b.peakMb,
                    b.seconds);
        std::fflush(stdout);
        if (!a.ok || !b.ok || !a.logged) {
            complete = false;
            continue;
        }
        peaks.add(a.peakMb, b.peakMb, load);
        times.add(a.seconds, b.seconds, load);
        stalls.push_back(a.stallMs);
    }
    std::printf("peak resident size (min / median / max):\n");
    Bench::printPairs("program, log window shown (A)", "dnf, output into /dev/null (B)", peaks, 1.0,
                      "MB");
    std::printf("seconds (program: click to last line drawn; dnf: whole run):\n");
    Bench::printPairs("program (A)", "dnf (B)", times, 1.0, "s");
    const Bench::Spread stall = Bench::spread(stalls);
    std::printf("longest stall of the GUI thread (program): min %.0f ms, median %.0f ms, max %.0f ms\n",
                stall.min, stall.median, stall.max);
    const double peakGoal = output.kind == "lines" ? 500.0
                            : output.kind == "long-line" && output.count <= 10000000 ? 400.0
                                                                                    : 1e9;
    const bool met = complete && !peaks.a.empty() && Bench::spread(peaks.a).max <= peakGoal &&
                     stall.max <= 500.0;
    std::printf("%s\n", met ? "goals met" : "goals NOT met");
    return met ? 0 : 1;
}
