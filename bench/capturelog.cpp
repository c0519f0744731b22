// Measures what a runaway scriptlet costs the program: a worker writes
// some 50 MB in 512,000 lines to standard output and standard error under
// the output capture, as rpm's scriptlets do, while the log window is shown;
// each run is a process of its own, which reports its peak resident size
// (VmHWM), the time until every line is drawn and the GUI thread's longest
// stall (a timer ticking every 10 ms, the longest time between two ticks).
//
// The yardstick is the same process with the same window and writer, the
// lines going to /dev/null instead of the capture: the program's own size
// without the lines. The two run in pairs, A B A B.
//
//   QT_QPA_PLATFORM=offscreen bench/capturelog [--lines N] [--pairs N]
//
// The goals: a peak under 500 MB and no stall over 200 ms.
//
// The interpreter header (through the engine's) comes before the C++
// library's.
#include "engine/yumio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMutexLocker>
#include <QProcess>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "app/logwindow.h"
#include "bench/benchsupport.h"
#include "engine/yumiocapturers.h"
#include "foundation/htextedit.h"

namespace
{

// A line of about 100 bytes, as a chatty scriptlet writes, with blanks in
// it as most output has.
QByteArray lineText(int i, bool error)
{
    QByteArray line = error ? "scriptlet error " : "scriptlet output ";
    line += QByteArray::number(i).rightJustified(7, '0');
    line += " : copying /usr/share/kuv-big/data/file-";
    line += QByteArray::number(i % 977);
    line += ".dat  done";
    line += QByteArray(100 - line.size() - 1, '.');
    line += '\n';
    return line;
}

void writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t count = ::write(fd, data, size_t(left));
        if (count < 0)
            return;
        data += count;
        left -= count;
    }
}

// One line in ten goes to standard error; the lines go out in writes of
// some kilobytes, as C stdio's buffers send them.
void writeLines(int out, int err, int lines)
{
    QByteArray outBuffer;
    QByteArray errBuffer;
    for (int i = 0; i < lines; ++i) {
        const bool error = i % 10 == 9;
        (error ? errBuffer : outBuffer) += lineText(i, error);
        if (outBuffer.size() >= 4096) {
            writeAll(out, outBuffer);
            outBuffer.clear();
        }
        if (errBuffer.size() >= 4096) {
            writeAll(err, errBuffer);
            errBuffer.clear();
        }
    }
    writeAll(out, outBuffer);
    writeAll(err, errBuffer);
}

// One run: prints "peak_kb drawn_ms stall_ms drawn_lines".
int child(bool capture, int lines)
{
    Bench::BoxCloser closer;
    YumIO io;
    Log::Window window(io.logList, nullptr);
    HTextEdit* text = window.findChild<HTextEdit*>();
    window.show();
    QElapsedTimer exposure;
    exposure.start();
    while (exposure.elapsed() < 5000 &&
           !(window.windowHandle() && window.windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    qint64 stall = 0;
    QElapsedTimer tick;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { stall = std::max(stall, tick.restart()); });

    QElapsedTimer clock;
    clock.start();
    QThread* writer = QThread::create([&io, capture, lines] {
        if (capture) {
            YumIOCapturers capturing(&io);
            writeLines(STDOUT_FILENO, STDERR_FILENO, lines);
        } else {
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            writeLines(null, null, lines);
            ::close(null);
        }
    });
    tick.start();
    ticker.start(10);
    writer->start();
    // Drawn when the last paragraph ends with the log's last line; counting
    // every drawn line each time round would stall the GUI thread itself.
    const auto allDrawn = [&] {
        if (!capture)
            return true;
        QString last;
        {
            QMutexLocker locker(&io.logList);
            if (io.logList.isEmpty())
                return false;
            last = io.logList.last().text;
        }
        return text->document()->lastBlock().text().endsWith(last);
    };
    while (!(writer->isFinished() && allDrawn()) && clock.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 drawn = clock.elapsed();
    ticker.stop();
    writer->wait();
    delete writer;
    std::printf("%lld %lld %lld %d\n", Bench::statusKb("VmHWM:"), drawn, stall, Bench::drawnLines(text->document()));
    std::fflush(stdout);
    io.clearEntriesBeforeQuit();
    return 0;
}

struct Run {
    double peakMb = 0;
    double drawnS = 0;
    double stallMs = 0;
    int drawn = 0;
    bool ok = false;
};

Run runChild(bool capture, int lines)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(),
                  {"--child", capture ? "capture" : "null", "--lines", QString::number(lines)});
    Run run;
    if (!process.waitForFinished(900000))
        return run;
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 4 || process.exitCode() != 0)
        return run;
    run.peakMb = fields[0].toDouble() / 1024.0;
    run.drawnS = fields[1].toDouble() / 1000.0;
    run.stallMs = fields[2].toDouble();
    run.drawn = fields[3].toInt();
    run.ok = true;
    return run;
}

}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    int lines = 512000;
    int pairs = 5;
    QString childMode;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == "--lines")
            lines = arguments[i + 1].toInt();
        else if (arguments[i] == "--pairs")
            pairs = arguments[i + 1].toInt();
        else if (arguments[i] == "--child")
            childMode = arguments[i + 1];
    }
    if (lines < 1 || pairs < 1) {
        std::fprintf(stderr, "usage: capturelog [--lines N] [--pairs N]\n");
        return 2;
    }
    if (!childMode.isEmpty())
        return child(childMode == "capture", lines);

    std::printf("capturelog: %d lines (%.1f MB) under the capture with the log window shown, "
                "beside the same lines into /dev/null; platform %s\n",
                lines, lines * 100 / 1e6, qPrintable(QGuiApplication::platformName()));
    Bench::Pairs peaks;
    std::vector<double> drawnTimes;
    std::vector<double> stalls;
    std::vector<double> yardstickStalls;
    bool complete = true;
    for (int pair = 0; pair < pairs; ++pair) {
        const double load = Bench::loadAverage();
        const Run a = runChild(true, lines);
        const Run b = runChild(false, lines);
        if (!a.ok || !b.ok || a.drawn != lines) {
            std::printf("pair %d: a run failed (drawn %d of %d lines)\n", pair, a.drawn, lines);
            complete = false;
            continue;
        }
        peaks.add(a.peakMb, b.peakMb, load);
        drawnTimes.push_back(a.drawnS);
        stalls.push_back(a.stallMs);
        yardstickStalls.push_back(b.stallMs);
    }
    std::printf("peak resident size (min / median / max):\n");
    Bench::printPairs("captured and drawn (A)", "into /dev/null (B)", peaks, 1.0, "MB");
    const Bench::Spread d = Bench::spread(drawnTimes);
    const Bench::Spread s = Bench::spread(stalls);
    const Bench::Spread y = Bench::spread(yardstickStalls);
    std::printf("every line drawn (A)        min %7.1f s,  median %7.1f s,  max %7.1f s\n", d.min,
                d.median, d.max);
    std::printf("longest GUI stall (A)       min %7.0f ms, median %7.0f ms, max %7.0f ms\n", s.min,
                s.median, s.max);
    std::printf("longest GUI stall (B)       min %7.0f ms, median %7.0f ms, max %7.0f ms\n", y.min,
                y.median, y.max);
    const bool met = complete && Bench::spread(peaks.a).max <= 500.0 && s.max <= 200.0;
    std::printf("%s\n", met ? "goals met" : "goals NOT met");
    return met ? 0 : 1;
}
