// Measures the whole program applying a transaction whose sh scriptlet runs
// away: kuv-chatty (bench/make-scriptout-sandbox) writes some 50 MB in
// 512,000 lines from its %post. rpm hands an sh scriptlet's output to the
// script's transaction display as one text after the scriptlet has ended,
// which the layer passes through the script's standard output into the
// engine's log, and the log window, shown as with -l, draws every line.
//
// Each run of the program is a process of its own, made as main makes it
// (main window, command line "-l", shown), which marks kuv-chatty for
// install in the table, applies with the confirmation answered OK, waits
// until the window has drawn the last line and reports its peak resident
// size (VmHWM), the seconds from the click to the last line drawn and the
// scriptlet's lines found in the log in order. The yardstick is the dnf
// command line applying the same install on a fresh copy of the same
// installroot, its output into /dev/null, its peak read from wait4. The two
// run in pairs, A B A B; the installroot is made afresh before each run.
//
//   bench/make-scriptout-sandbox /tmp/chatty
//   QT_QPA_PLATFORM=offscreen build/bench/scriptout /tmp/chatty [--pairs N]
//
// The goal: the program's peak at most 500 MB.
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

// The scriptlet's lines in the log, if they are all there and in order
// with the output's kind; otherwise -1.
int loggedInOrder(YumIO& io)
{
    QMutexLocker locker(&io.logList);
    int seen = 0;
    for (int i = 0; i < io.logList.count(); ++i) {
        const Log::Entry entry = io.logList.at(i);
        if (!entry.text.startsWith(QLatin1String(linePrefix)))
            continue;
        const int number = entry.text.midRef(int(std::strlen(linePrefix)), 7).toInt();
        if (entry.kind != Log::Output || number != seen + 1 || entry.text.size() != 99)
            return -1;
        seen = number;
    }
    return seen;
}

// One run of the program: prints "peak_kb seconds lines".
int child(const QString& sandbox)
{
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
    HTextEdit* drawn = logWindow->findChild<HTextEdit*>();
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
    // Returns once the apply and its re-collection are over.
    A::applyButton(*window)->click();
    YumIO* io = A::yumIO(*window);
    // Drawn when the window's text stops growing for half a second.
    int characters = -1;
    waitFor([&] {
        const int now = drawn->document()->characterCount();
        if (now == characters)
            return true;
        characters = now;
        QTest::qWait(500);
        return false;
    }, 600000);
    const double seconds = clock.elapsed() / 1000.0;
    const qint64 peak = Bench::statusKb("VmHWM:");
    // Counted after the peak is read, a paragraph at a time.
    int drawnLines = 0;
    for (QTextBlock block = drawn->document()->begin(); block.isValid(); block = block.next())
        drawnLines += block.text().count(QLatin1String(linePrefix));
    const int logged = io ? loggedInOrder(*io) : -1;
    std::printf("%lld %.3f %d %d\n", peak, seconds, logged, drawnLines);
    std::fflush(stdout);
    A::quit(*window);
    return 0;
}

struct Run {
    double peakMb = 0;
    double seconds = 0;
    int logged = 0;
    int drawn = 0;
    bool ok = false;
};

bool freshRoot(const QString& sandbox)
{
    QDir(sandbox + "/root").removeRecursively();
    return QProcess::execute("cp", {"-a", sandbox + "/root.clean", sandbox + "/root"}) == 0;
}

Run runProgram(const QString& sandbox)
{
    Run run;
    if (!freshRoot(sandbox))
        return run;
    QProcess process;
    process.setProcessEnvironment(Bench::sandboxEnvironment(sandbox, KUV_SOURCE_SHARE));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), {"--child", sandbox});
    if (!process.waitForFinished(1800000))
        return run;
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 4 || process.exitCode() != 0)
        return run;
    run.peakMb = fields[0].toDouble() / 1024.0;
    run.seconds = fields[1].toDouble();
    run.logged = fields[2].toInt();
    run.drawn = fields[3].toInt();
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
    QString sandbox;
    QString childSandbox;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--pairs" && i + 1 < arguments.size())
            pairs = arguments[++i].toInt();
        else if (arguments[i] == "--child" && i + 1 < arguments.size())
            childSandbox = arguments[++i];
        else
            sandbox = QDir(arguments[i]).absolutePath();
    }
    if (!childSandbox.isEmpty())
        return child(childSandbox);
    if (sandbox.isEmpty() || pairs < 1 || !QFile::exists(sandbox + "/root.clean")) {
        std::fprintf(stderr, "usage: scriptout SANDBOX [--pairs N] (bench/make-scriptout-sandbox)\n");
        return 2;
    }

    std::printf("scriptout: the program installing kuv-chatty (512,000 lines from an sh %%post) "
                "with the log window shown, beside dnf's command line into /dev/null; platform %s\n",
                qPrintable(QGuiApplication::platformName()));
    Bench::Pairs peaks;
    Bench::Pairs times;
    bool complete = true;
    for (int pair = 0; pair < pairs; ++pair) {
        const double load = Bench::loadAverage();
        const Run a = runProgram(sandbox);
        const Run b = runDnf(sandbox);
        std::printf("pair %d: program %.1f MB %.1f s, %d lines logged in order, %d drawn; "
                    "dnf %.1f MB %.1f s\n",
                    pair, a.peakMb, a.seconds, a.logged, a.drawn, b.peakMb, b.seconds);
        std::fflush(stdout);
        if (!a.ok || !b.ok || a.logged != 512000 || a.drawn != 512000) {
            complete = false;
            continue;
        }
        peaks.add(a.peakMb, b.peakMb, load);
        times.add(a.seconds, b.seconds, load);
    }
    std::printf("peak resident size (min / median / max):\n");
    Bench::printPairs("program, log window shown (A)", "dnf, output into /dev/null (B)", peaks, 1.0,
                      "MB");
    std::printf("seconds (program: click to last line drawn; dnf: whole run):\n");
    Bench::printPairs("program (A)", "dnf (B)", times, 1.0, "s");
    const bool met = complete && !peaks.a.empty() && Bench::spread(peaks.a).max <= 500.0;
    std::printf("%s\n", met ? "goal met" : "goal NOT met");
    return met ? 0 : 1;
}
