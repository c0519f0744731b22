// Times the log window at a realistic scale:
//
// - show: showing the window over a log of 100,000 entries (the mix of a
//   long apply: ordinary lines at levels 0 to 4, output, warnings, errors,
//   headlines), until the first paint is done, under the default threshold
//   and under the highest one. The goal is under 0.5 s.
// - stream: a worker that logs 10,000 lines a second, paced each
//   millisecond, into a shown window for some seconds; the GUI thread runs
//   its event loop and notes every paint of the text. The figure is the
//   longest gap between two paints in each run. The goal is no gap over
//   100 ms.
// - burst: a worker that logs as many lines as the show's log holds, as fast
//   as it can, into a shown window; the time until all are drawn and the
//   longest gap between paints.
//
// - large: the output of a runaway scriptlet, as the output capture hands
//   it to the log: one line of 10 MB, one of 100 MB (each written without a
//   newline, then ended), and 2,000,000 empty lines in pieces of a
//   megabyte. Each is logged by a worker into a shown window, and each is
//   in the log before the window is opened; every run is a process of its
//   own, which reports the longest stall of the GUI thread (the longest gap
//   between the ticks of a 10 ms timer), the time until the last line is
//   drawn, and its peak resident size. The goal is no stall over 500 ms and
//   a peak of at most 400 MB for the 10 MB line.
//
//   QT_QPA_PLATFORM=offscreen bench/logwindow [--entries N] [--repeat N]
//       [--rate LINES_PER_SECOND] [--seconds S] [--only show|stream|burst|large]
//       [--cap SECONDS]
//
// Each figure is printed as min / median / max over the runs; a large run
// that does not end within the cap (default 120 s) is killed and counted as
// failed.
//
// The interpreter header (through the engine's) comes before the C++
// library's.
#include "engine/yumio.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMutexLocker>
#include <QProcess>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "app/logwindow.h"
#include "bench/benchsupport.h"
#include "engine/log.h"
#include "foundation/htextedit.h"

// The window's friend: whether it has drawn every entry of its list.
class LogWindowTestAccess
{
public:
    static bool caughtUp(Log::Window& w)
    {
        return !w.more->isActive() && w.shown == w.list->lockedCount();
    }
};

namespace
{

double milliseconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

using Bench::Spread;
using Bench::spread;

// One line of a long apply's log: mostly ordinary lines at yum's levels,
// with output, warnings, errors and a headline now and then.
Log::Entry sampleEntry(int i)
{
    static const char* const texts[] = {
        "---> Package kuv-lib.x86_64 0:1.1-1 set to be updated",
        "Updating   : kuv-lib-1.1-1.x86_64                                        12/340",
        "Installed: kuv-app.noarch 0:2.0-3",
        "  Verifying  : texlive-collection-fontsrecommended-9:svn54074-5.fc36.noarch",
        "warning: /etc/kuv.conf created as /etc/kuv.conf.rpmnew",
        "Error: Package tuple ('kuv-old', 'x86_64', '0', '1.0', '1') could not be found",
        "Dependencies resolved <kuv-app> & <kuv-lib>",
    };
    const int r = i % 100;
    if (r == 0)
        return Log::Entry(Log::Action, 0, QStringLiteral("Applying %1").arg(i));
    if (r < 10)
        return Log::Entry(Log::Output, 0, QString::fromLatin1(texts[3]));
    if (r == 10)
        return Log::Entry(Log::Warning, 0, QString::fromLatin1(texts[4]));
    if (r == 11)
        return Log::Entry(Log::Error, 0, QString::fromLatin1(texts[5]));
    return Log::Entry(Log::Info, unsigned(r % 5), QString::fromLatin1(texts[r % 3 == 0 ? 6 : r % 3]) +
                                                      QStringLiteral(" #%1").arg(i));
}

// Notes the time of every paint of a widget.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QElapsedTimer& clock) : clock(clock) {}

    std::vector<double> times;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            times.push_back(milliseconds(clock));
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer& clock;
};

// Logs a number of lines a second, one batch each millisecond, as a worker
// of the engine would.
class Writer : public QThread
{
public:
    Writer(YumIO& io, int rate, int seconds) : io(io), rate(rate), seconds(seconds) {}

    std::atomic<int> written{0};

protected:
    void run() override
    {
        QElapsedTimer clock;
        clock.start();
        const qint64 total = qint64(rate) * seconds;
        while (written < total) {
            // Where the count should be by now.
            const qint64 due = std::min(total, clock.nsecsElapsed() * rate / 1000000000);
            while (written < due) {
                io.log(Log::Info, unsigned(written % 3), QStringLiteral("Downloading kuv-part-%1.rpm "
                                                                        "  1.2 MB/s |  40 kB  00:00")
                                                             .arg(int(written)));
                ++written;
            }
            QThread::usleep(1000);
        }
    }

private:
    YumIO& io;
    int rate;
    int seconds;
};

// The longest time between two paints, or before the first.
double longestGap(const std::vector<double>& times)
{
    double gap = 0;
    double last = 0;
    for (double time : times) {
        gap = std::max(gap, time - last);
        last = time;
    }
    return gap;
}

void waitForExposure(QWidget& window)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (window.windowHandle() && window.windowHandle()->isExposed())
            return;
    }
}

// One large case: what a runaway scriptlet writes, as the capture hands it
// to the log.
struct LargeCase {
    const char* name;
    // One line of this many characters, or this many empty lines.
    qint64 size;
    bool emptyLines;
};

const LargeCase largeCases[] = {
    {"line-10MB", 10 * 1000 * 1000, false},
    {"line-100MB", 100 * 1000 * 1000, false},
    {"empty-2000000", 2000000, true},
};

// Logs the case's output through the engine's standard output, in the
// pieces the capture's reader passes on: a long line whole once its
// newline came, empty lines a megabyte at a time.
void logLargeCase(YumIO& io, const LargeCase& large)
{
    if (!large.emptyLines) {
        QString line(int(large.size), QLatin1Char('x'));
        line += QLatin1Char('\n');
        io.writeStdout(std::move(line));
        return;
    }
    const int piece = 1 << 20;
    for (qint64 done = 0; done < large.size; done += piece)
        io.writeStdout(QString(int(std::min<qint64>(piece, large.size - done)), QLatin1Char('\n')));
}

// In a process of its own: logs the case into a shown window (shown true)
// or shows the window over a log that holds it already, until the window
// has drawn the last line. Prints "ms stall peak-MB drawn-lines".
int largeChild(const LargeCase& large, bool shown)
{
    YumIO io;
    Log::Window window(io.logList, nullptr);
    const int lines = large.emptyLines ? int(large.size) : 1;
    QElapsedTimer clock;
    Bench::StallWatch* stalls = nullptr;
    QThread* writer = nullptr;
    if (shown) {
        window.show();
        waitForExposure(window);
        stalls = new Bench::StallWatch;
        clock.start();
        writer = QThread::create([&io, &large] { logLargeCase(io, large); });
        writer->start();
    } else {
        logLargeCase(io, large);
        stalls = new Bench::StallWatch;
        clock.start();
        window.show();
    }
    while ((writer && !writer->isFinished()) || io.logList.lockedCount() < lines ||
           !LogWindowTestAccess::caughtUp(window))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double whole = milliseconds(clock);
    // A last tick, so that a stall at the very end is counted.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 50)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (writer) {
        writer->wait();
        delete writer;
    }
    std::printf("%.0f %.0f %.1f %d\n", whole, stalls->longest, Bench::statusKb("VmHWM:") / 1024.0,
                io.logList.lockedCount());
    delete stalls;
    io.clearEntriesBeforeQuit();
    return 0;
}

// Runs every large case, shown and opened afterwards, each in a child
// process; false when one failed or broke a goal.
bool runLargeCases(int repeat, int cap)
{
    bool met = true;
    for (const LargeCase& large : largeCases) {
        for (bool shown : {true, false}) {
            std::vector<double> wholes;
            std::vector<double> stalls;
            std::vector<double> peaks;
            int failed = 0;
            for (int run = 0; run < repeat; ++run) {
                QProcess child;
                child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                child.start(QCoreApplication::applicationFilePath(),
                            {"--large-child", QString::fromLatin1(large.name),
                             shown ? QStringLiteral("shown") : QStringLiteral("opened")});
                if (!child.waitForFinished(cap * 1000)) {
                    child.kill();
                    child.waitForFinished();
                    ++failed;
                    continue;
                }
                const QStringList figures =
                    QString::fromLatin1(child.readAllStandardOutput()).trimmed().split(' ');
                if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 ||
                    figures.size() != 4) {
                    ++failed;
                    continue;
                }
                wholes.push_back(figures[0].toDouble());
                stalls.push_back(figures[1].toDouble());
                peaks.push_back(figures[2].toDouble());
                if (figures[3].toInt() != (large.emptyLines ? int(large.size) : 1))
                    ++failed;
            }
            const Spread w = spread(wholes);
            const Spread s = spread(stalls);
            const Spread p = spread(peaks);
            std::printf("%s, %s (load %.2f):%s\n"
                        "  all drawn            min %6.0f ms, median %6.0f ms, max %6.0f ms\n"
                        "  longest stall        min %6.0f ms, median %6.0f ms, max %6.0f ms\n"
                        "  peak resident size   min %6.1f MB, median %6.1f MB, max %6.1f MB\n",
                        large.name, shown ? "logged into the shown window" : "window opened afterwards",
                        Bench::loadAverage(),
                        failed ? qPrintable(QStringLiteral(" %1 of %2 runs failed or passed the cap of %3 s")
                                                .arg(failed)
                                                .arg(repeat)
                                                .arg(cap))
                               : "",
                        w.min, w.median, w.max, s.min, s.median, s.max, p.min, p.median, p.max);
            std::fflush(stdout);
            met = met && failed == 0 && s.max <= 500.0 &&
                  (std::strcmp(large.name, "line-10MB") != 0 || p.max <= 400.0);
        }
    }
    return met;
}

void usage()
{
    std::fprintf(stderr, "usage: logwindow [--entries N] [--repeat N] [--rate N] [--seconds N] "
                         "[--only show|stream|burst|large] [--cap SECONDS]\n");
}

}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);

    int entries = 100000;
    int repeat = 5;
    int rate = 10000;
    int seconds = 3;
    int cap = 120;
    QString only;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() == 3 && arguments[0] == "--large-child") {
        for (const LargeCase& large : largeCases) {
            if (arguments[1] == QLatin1String(large.name))
                return largeChild(large, arguments[2] == "shown");
        }
        return 2;
    }
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--only" && i + 1 < arguments.size()) {
            only = arguments[++i];
            continue;
        }
        bool ok = i + 1 < arguments.size();
        const int value = ok ? arguments[i + 1].toInt(&ok) : 0;
        if (ok && arguments[i] == "--cap")
            cap = value;
        else if (ok && arguments[i] == "--entries")
            entries = value;
        else if (ok && arguments[i] == "--repeat")
            repeat = value;
        else if (ok && arguments[i] == "--rate")
            rate = value;
        else if (ok && arguments[i] == "--seconds")
            seconds = value;
        else
            ok = false;
        if (!ok || value < 1) {
            usage();
            return 2;
        }
        ++i;
    }
    std::printf("logwindow: platform %s; %d runs of each\n",
                qPrintable(QGuiApplication::platformName()), repeat);

    bool met = true;
    if (only.isEmpty() || only == "show") {
        YumIO io;
        {
            QMutexLocker locker(&io.logList);
            for (int i = 0; i < entries; ++i)
                io.logList.append(sampleEntry(i));
        }
        Log::Window window(io.logList, nullptr);
        HTextEdit* text = window.findChild<HTextEdit*>();
        QSpinBox* level = window.findChild<QSpinBox*>();
        // The window's first show places it on the screen; the runs time
        // the shows after it.
        window.show();
        waitForExposure(window);
        window.hide();
        QCoreApplication::processEvents();

        for (int threshold : {2, 10}) {
            level->setValue(threshold);
            int drawable = 0;
            for (int i = 0; i < entries; ++i)
                drawable += io.logList.at(i).level <= unsigned(threshold) ? 1 : 0;
            std::vector<double> shows;
            std::vector<double> wholes;
            std::vector<double> gaps;
            int lines = 0;
            for (int run = 0; run < repeat; ++run) {
                QElapsedTimer clock;
                clock.start();
                PaintWatch watch(clock);
                text->viewport()->installEventFilter(&watch);
                window.show();
                // Until the show's paint.
                while (watch.times.empty() && clock.elapsed() < 60000)
                    QCoreApplication::processEvents();
                shows.push_back(watch.times.empty() ? 60000.0 : watch.times.front());
                lines = Bench::drawnLines(text->document());
                // The older lines, drawn above in steps from the event loop.
                while (Bench::drawnLines(text->document()) < drawable && clock.elapsed() < 60000)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                wholes.push_back(milliseconds(clock));
                text->viewport()->removeEventFilter(&watch);
                gaps.push_back(longestGap(watch.times));
                if (Bench::drawnLines(text->document()) != drawable) {
                    std::printf("show run %d: %d lines drawn of %d\n", run, Bench::drawnLines(text->document()), drawable);
                    met = false;
                }
                window.hide();
                QCoreApplication::processEvents();
            }
            const Spread s = spread(shows);
            const Spread w = spread(wholes);
            const Spread g = spread(gaps);
            std::printf("show over %d entries, threshold %d (%d lines at the first paint, %d in all):\n"
                        "  shown and painted    min %5.0f ms, median %5.0f ms, max %5.0f ms\n"
                        "  all lines drawn      min %5.0f ms, median %5.0f ms, max %5.0f ms\n"
                        "  longest paint gap    min %5.0f ms, median %5.0f ms, max %5.0f ms\n",
                        entries, threshold, lines, drawable, s.min, s.median, s.max, w.min,
                        w.median, w.max, g.min, g.median, g.max);
            met = met && s.max < 500.0 && g.max <= 100.0;
        }
        io.clearEntriesBeforeQuit();
    }

    if (only.isEmpty() || only == "stream") {
        std::vector<double> gaps;
        std::vector<double> paintCounts;
        for (int run = 0; run < repeat; ++run) {
            YumIO io;
            Log::Window window(io.logList, nullptr);
            HTextEdit* text = window.findChild<HTextEdit*>();
            window.show();
            waitForExposure(window);

            QElapsedTimer clock;
            clock.start();
            PaintWatch watch(clock);
            text->viewport()->installEventFilter(&watch);
            Writer writer(io, rate, seconds);
            QEventLoop loop;
            QObject::connect(&writer, &QThread::finished, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            writer.start();
            if (!writer.isFinished())
                loop.exec();
            writer.wait();
            // The last lines.
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            text->viewport()->removeEventFilter(&watch);

            gaps.push_back(longestGap(watch.times));
            paintCounts.push_back(double(watch.times.size()));
            if (Bench::drawnLines(text->document()) != int(writer.written)) {
                std::printf("stream run %d: %d lines written, %d drawn\n", run, int(writer.written),
                            Bench::drawnLines(text->document()));
                met = false;
            }
            io.clearEntriesBeforeQuit();
        }
        const Spread g = spread(gaps);
        const Spread p = spread(paintCounts);
        std::printf("stream of %d lines a second for %d s: longest gap between paints "
                    "min %.0f ms, median %.0f ms, max %.0f ms; paints min %.0f, median %.0f, max %.0f\n",
                    rate, seconds, g.min, g.median, g.max, p.min, p.median, p.max);
        met = met && g.max <= 100.0;
    }

    if (only.isEmpty() || only == "burst") {
        // A burst: as many lines as the log holds, logged by a worker as
        // fast as it can, into a shown window.
        std::vector<double> gaps;
        std::vector<double> wholes;
        for (int run = 0; run < repeat; ++run) {
            YumIO io;
            Log::Window window(io.logList, nullptr);
            HTextEdit* text = window.findChild<HTextEdit*>();
            window.show();
            waitForExposure(window);

            QElapsedTimer clock;
            clock.start();
            PaintWatch watch(clock);
            text->viewport()->installEventFilter(&watch);
            QThread* writer = QThread::create([&io, entries] {
                for (int i = 0; i < entries; ++i)
                    io.log(Log::Info, 0, QStringLiteral("Burst line %1 of the log").arg(i));
            });
            writer->start();
            while ((!writer->isFinished() || Bench::drawnLines(text->document()) < entries) && clock.elapsed() < 120000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            wholes.push_back(milliseconds(clock));
            writer->wait();
            delete writer;
            text->viewport()->removeEventFilter(&watch);
            gaps.push_back(longestGap(watch.times));
            if (Bench::drawnLines(text->document()) != entries) {
                std::printf("burst run %d: %d lines drawn of %d\n", run, Bench::drawnLines(text->document()), entries);
                met = false;
            }
            io.clearEntriesBeforeQuit();
        }
        const Spread g = spread(gaps);
        const Spread w = spread(wholes);
        std::printf("burst of %d lines from a worker:\n"
                    "  all lines drawn      min %5.0f ms, median %5.0f ms, max %5.0f ms\n"
                    "  longest paint gap    min %5.0f ms, median %5.0f ms, max %5.0f ms\n",
                    entries, w.min, w.median, w.max, g.min, g.median, g.max);
        met = met && g.max <= 100.0;
    }

    if (only.isEmpty() || only == "large")
        met = runLargeCases(repeat, cap) && met;

    std::printf("%s\n", met ? "goals met" : "goals NOT met");
    return met ? 0 : 1;
}
