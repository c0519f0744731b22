// Output capture and the transaction's progress. A whole transaction on the
// sandbox with an empty package cache and the kivrel repository served over
// HTTP: its bars move through both phases without going back, its Lua
// scriptlets' lines (a burst larger than a pipe among them) reach the log
// with their streams' kinds, and the process's descriptors are the same
// afterwards, also when the capture could not be set up. Without a
// transaction: bytes wait for their whole line, a set-up failing at any step
// puts everything back, C stdio is flushed into the log, and a program
// launched meanwhile gets the streams from before.
#include "tests/engine/apply_test.h"

#include <atomic>
#include <cstdio>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include "engine/yumiocapturers.h"
#include "foundation/execute.h"
#include "foundation/hprogressbar.h"
#include "tests/engine/progress_test.h"

namespace {

// The process's standard descriptors and those of its other descriptors
// that are not files (pipes, sockets, event descriptors), each with what it
// refers to. The files that rpm and dnf keep open are left out.
QMap<int, QString> descriptors()
{
    QMap<int, QString> open;
    const QDir folder("/proc/self/fd");
    QStringList names = folder.entryList(QDir::System | QDir::NoDotAndDotDot);
    names << "0" << "1" << "2";
    for (const QString& name : std::as_const(names)) {
        char target[4096];
        const ssize_t length = ::readlink(("/proc/self/fd/" + name).toLatin1().constData(),
                                          target, sizeof target);
        // The listing's own descriptor is gone by now.
        if (length > 0)
            open.insert(name.toInt(), QString::fromUtf8(target, int(length)));
    }
    return open;
}

void send(int fd, const QByteArray& bytes)
{
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
}

// Keeps copies of descriptors 1 and 2 and puts them back wherever a broken
// capture left the two: a check's report must reach the test's output, not
// a pipe nobody reads any more (whose write would end the process with
// SIGPIPE).
class StreamsGuard
{
public:
    StreamsGuard()
        : out(fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0)), err(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0))
    {
    }
    ~StreamsGuard()
    {
        putBack();
        ::close(out);
        ::close(err);
    }
    // Whether either descriptor had been left elsewhere.
    bool putBack()
    {
        const bool moved = !sameFile(out, STDOUT_FILENO) || !sameFile(err, STDERR_FILENO);
        std::fflush(nullptr);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        return moved;
    }

private:
    static bool sameFile(int a, int b)
    {
        struct stat first;
        struct stat second;
        return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
               first.st_ino == second.st_ino;
    }

    int out;
    int err;
};

class CaptureTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (!IsSkipped())
            makeEngine();
    }

    void TearDown() override
    {
        YumIOCapturers::failSetUpAt(YumIOCapturers::NoStep);
        EngineTest::TearDown();
    }

    DialogAnswerer answerer;
};

class ApplyProgress : public ApplyTest
{
protected:
    void SetUp() override
    {
        ApplyTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        io->setup(window.get(), new HProgressBar(window.get()), new HProgressBar(window.get()));
        ASSERT_TRUE(sandbox.fillKivrelCredentials());
        ASSERT_TRUE(sandbox.startKivrelServer());
        // A fresh script object reads the credentials.
        io->clear();
        ASSERT_TRUE(io->collect({{TestSandbox::kivrelRepoId(), true}}));
        RecordingMinion::lines.clear();
    }

    void TearDown() override
    {
        qunsetenv("KUV_VERBOSE_BURST");
        YumIOCapturers::failSetUpAt(YumIOCapturers::NoStep);
        ApplyTest::TearDown();
    }

    RecordingMinion::Installed recording;
};

}

TEST_F(ApplyProgress, TransactionMovesTheBarsAndLogsTheScriptletsOutput)
{
    const int burst = 16384;
    qputenv("KUV_VERBOSE_BURST", QByteArray::number(burst));
    mark("kuv-verbose", Package::Install);
    mark("kuv-lib", Package::Update);
    mark("kuv-local", Package::Remove);
    // A group's mark reaches its members in the same transaction.
    Package::Entry* apps = find("KUV Applications", true);
    ASSERT_NE(apps, nullptr);
    apps->action = Package::Install;
    const int start = io->logList.lockedCount();
    // ctest gives descriptors 1 and 2 one pipe: a file of its own for 2
    // tells the two apart afterwards.
    StreamsGuard streams;
    QTemporaryFile errors;
    ASSERT_TRUE(errors.open());
    ASSERT_GE(dup2(errors.handle(), STDERR_FILENO), 0);
    const QMap<int, QString> before = descriptors();
    ASSERT_NE(before.value(1), before.value(2));

    ASSERT_TRUE(io->apply()) << dialogs().join('\n').toStdString();

    EXPECT_EQ(descriptors(), before);
    EXPECT_EQ(sandbox.installedPackages(),
              QStringList({"kuv-app-2.0-1", "kuv-docs-1.0-1", "kuv-kernel-1.0-1", "kuv-kernel-1.1-1",
                           "kuv-lib-1.1-1", "kuv-notes-1.0-1", "kuv-oldtool-1.0-1",
                           "kuv-verbose-1.0-1"}));
    EXPECT_EQ(dialogs().size(), 1);
    // localHdr named existing files: the estimate waited for no header.
    EXPECT_EQ(ApplyTestAccess::resolveHeaders(*io), 0u);

    // Each phase's total bar never goes back and is full before its reset.
    QStringList totals;
    QStringList activities;
    Steps tail = 0;
    Steps reached = 0;
    for (const QString& line : RecordingMinion::lines) {
        const QStringList parts = line.split('|');
        if (parts[0] == "total") {
            totals << parts[1];
            tail = parts[2].toULongLong();
            reached = 0;
        } else if (parts[0] == "reset") {
            EXPECT_EQ(reached, tail) << totals.value(totals.size() - 1).toStdString();
            tail = reached = 0;
        } else {
            const Steps value = parts[parts[0] == "item" ? 2 : 1].toULongLong();
            EXPECT_GE(value, reached) << "the total bar went back at " << line.toStdString();
            EXPECT_LE(value, tail) << line.toStdString();
            reached = value;
            if (parts[0] == "item")
                activities << parts[1];
        }
        // No file's ".rpm", no kivrel segment or credential on the bars.
        for (const QString& hidden : {QString(".rpm"), QString("kivrel"), sandbox.kivrelUser(),
                                      sandbox.kivrelPassword()})
            EXPECT_FALSE(line.contains(hidden)) << line.toStdString();
    }
    EXPECT_EQ(totals, QStringList({"Checking Dependencies: Total Progress",
                                   "Running Transaction: Total Progress"}));
    for (const char* text : {"Resolve Dependencies", "Downloading kuv-verbose-1.0-1.noarch",
                             "Preparing to Run Transaction", "Installing kuv-verbose",
                             "Installing kuv-docs", "Installing kuv-app", "Updating kuv-lib",
                             "Removing kuv-local",
                             "Completing update for: kuv-lib"})
        EXPECT_TRUE(activities.contains(text)) << text;

    // The scriptlets' lines with their streams' kinds, the burst whole and
    // in order; the phases' headlines; nothing not understood.
    const QStringList output = logTexts(Log::Output, start);
    EXPECT_TRUE(output.contains("kuv-verbose: pre-install scriptlet on standard output"));
    EXPECT_TRUE(output.contains(
        QString::fromUtf8("kuv-verbose: post-install scriptlet on standard output, café ✓")));
    EXPECT_EQ(logTexts(Log::Error, start),
              QStringList({"kuv-verbose: pre-install scriptlet on standard error",
                           "kuv-verbose: post-install scriptlet on standard error"}));
    const QStringList burstLines = output.filter("kuv-verbose: burst line ");
    ASSERT_EQ(burstLines.size(), burst);
    for (int i = 0; i < burst; ++i) {
        const QString number = QString("%1").arg(i + 1, 6, 10, QChar('0'));
        ASSERT_EQ(burstLines[i], "kuv-verbose: burst line " + number + " " + QString(40, '='));
    }
    EXPECT_EQ(logTexts(Log::Action, start), QStringList({"Applying", "Applying: OK"}));
    EXPECT_EQ(logTexts(Log::Warning, start), QStringList());
    QStringList steps = logLines(start).filter(QRegularExpression("^0/1:"));
    steps.sort();
    EXPECT_EQ(steps, QStringList({"0/1:Installing kuv-app", "0/1:Installing kuv-docs",
                                  "0/1:Installing kuv-verbose", "0/1:Updating kuv-lib"}));
    EXPECT_EQ(logLines(start).filter("For group"),
              QStringList({"0/4:For group KUV Applications, marking package kuv-app for Install",
                           "0/4:For group KUV Applications, marking package kuv-docs for Install"}));
    EXPECT_EQ(logLines(start).filter("Internal error"), QStringList());

    // Without a capture the apply goes on, and everything is put back.
    io->clear();
    ASSERT_TRUE(io->collect({{TestSandbox::kivrelRepoId(), true}}));
    mark("kuv-verbose", Package::Remove);
    YumIOCapturers::failSetUpAt(YumIOCapturers::StderrPipe);
    const QMap<int, QString> beforeFailure = descriptors();

    EXPECT_TRUE(io->apply());

    EXPECT_EQ(descriptors(), beforeFailure);
    EXPECT_FALSE(sandbox.installedPackages().contains("kuv-verbose-1.0-1"));
    ASSERT_EQ(dialogs().size(), 3);
    EXPECT_EQ(dialogs()[1], "QMessageBox|KUV Yum Error|Unable to open pipe to capture rpm "
                            "transaction output");
}

TEST_F(CaptureTest, BytesWaitForTheirWholeLineAndTheRestIsHandedOverAtTheEnd)
{
    int out[2];
    int err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC | O_NONBLOCK), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC | O_NONBLOCK), 0);
    auto* minion = new YumIOCapturersMinion(io.get(), out[0], err[0]);
    const int start = logLines().size();

    // An "é" split between two reads, a NUL inside a read, and a line still
    // open when its read ends.
    send(out[1], "caf\xc3");
    minion->readStdout();
    EXPECT_EQ(logLines(start), QStringList());
    send(out[1], QByteArray("\xa9 au lait\nbefore\0after\nunfin", 28));
    minion->readStdout();
    send(err[1], "rpm: warning\nscriptlet said \xe2\x9c");
    minion->readStderr();
    send(out[1], "ished\n");
    minion->readStdout();
    EXPECT_EQ(logLines(start), QStringList({QString::fromUtf8("1/0:café au lait"),
                                            QString::fromUtf8("1/0:before\xef\xbf\xbd" "after"),
                                            "3/0:rpm: warning", "1/0:unfinished"}));

    // At the end the unfinished rest waits in its stream's pending text,
    // the cut character replaced.
    ::close(out[1]);
    ::close(err[1]);
    minion->deactivate();
    io->writeStderr(QStringLiteral(" done\n"));
    EXPECT_EQ(logLines(start).mid(4),
              QStringList(QString::fromUtf8("3/0:scriptlet said \xef\xbf\xbd\xef\xbf\xbd done")));
    const int open = descriptors().size();
    delete minion;
    EXPECT_EQ(descriptors().size(), open - 2) << "the read ends stay open";
}

TEST_F(CaptureTest, ASetUpFailingAtAnyStepLeavesEveryDescriptorAsItWas)
{
    const QMap<YumIOCapturers::SetUpStep, QString> reports = {
        {YumIOCapturers::StdoutPipe, "open pipe to capture"},
        {YumIOCapturers::StderrPipe, "open pipe to capture"},
        {YumIOCapturers::ReaderStart, "start reading"},
        {YumIOCapturers::StdoutRedirection, "dup2 pipe to capture"},
        {YumIOCapturers::StderrRedirection, "dup2 pipe to capture"}};
    for (auto report = reports.constBegin(); report != reports.constEnd(); ++report) {
        SCOPED_TRACE(int(report.key()));
        StreamsGuard streams;
        const QMap<int, QString> before = descriptors();
        const int start = logLines().size();
        YumIOCapturers::failSetUpAt(report.key());
        // Nothing is checked while the capture lives: were the descriptors
        // left in its pipes, a report would go there.
        bool capturing;
        QMap<int, QString> during;
        {
            YumIOCapturers capture(io.get());
            capturing = capture.capturing();
            during = descriptors();
        }
        const QMap<int, QString> after = descriptors();
        ASSERT_FALSE(streams.putBack()) << "descriptor 1 or 2 was left redirected";
        EXPECT_FALSE(capturing);
        EXPECT_EQ(during, before);
        EXPECT_EQ(after, before);
        EXPECT_EQ(logLines(start), QStringList("3/0:Unable to " + report.value() +
                                               " rpm transaction output"));
    }
}

TEST_F(CaptureTest, TheGuiThreadWritesToStandardErrorWhileAWorkerFloodsIt)
{
    // The capture is made and ended in a worker, as the apply does; the
    // worker writes far more than a pipe holds while the GUI thread is busy
    // elsewhere, which then writes to standard error itself.
    StreamsGuard streams;
    const int start = logLines().size();
    const int lines = 40;
    std::atomic<bool> capturing{false};
    std::atomic<bool> guiWrote{false};
    std::atomic<bool> drained{false};
    std::thread worker([&] {
        YumIOCapturers capture(io.get());
        capturing = true;
        for (int i = 0; i < lines; ++i) {
            QByteArray line = "worker line " + QByteArray::number(i) + " ";
            line += QByteArray(4095 - line.size(), 'w') + '\n';
            ::write(STDERR_FILENO, line.constData(), size_t(line.size()));
        }
        while (!guiWrote)
            QThread::msleep(5);
    });
    // Should the GUI thread's write wait for ever, this drains the pipe
    // through a read end of its own, so that the test can say so.
    std::thread watchdog([&] {
        QElapsedTimer clock;
        clock.start();
        while (!guiWrote && clock.elapsed() < 30000)
            QThread::msleep(20);
        if (guiWrote)
            return;
        drained = true;
        const int reader = ::open("/proc/self/fd/2", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        char buffer[65536];
        while (!guiWrote) {
            if (::read(reader, buffer, sizeof buffer) <= 0)
                QThread::msleep(5);
        }
        ::close(reader);
    });
    while (!capturing)
        QThread::msleep(5);
    QThread::msleep(500);
    std::fprintf(stderr, "written by the GUI thread\n");
    guiWrote = true;
    worker.join();
    watchdog.join();

    ASSERT_FALSE(streams.putBack()) << "descriptor 1 or 2 was left redirected";
    ASSERT_FALSE(drained) << "the GUI thread's write to standard error waited for the reader";
    QStringList logged = logLines(start);
    EXPECT_EQ(logged.removeAll("3/0:written by the GUI thread"), 1);
    ASSERT_EQ(logged.size(), lines);
    for (int i = 0; i < lines; ++i)
        EXPECT_TRUE(logged[i].startsWith("3/0:worker line " + QString::number(i) + " www"))
            << logged[i].left(40).toStdString();
}

TEST_F(CaptureTest, QtsOwnMessagesGoToTheStandardErrorFromBeforeTheCapture)
{
    QTemporaryFile before;
    ASSERT_TRUE(before.open());
    StreamsGuard guard;
    std::fflush(nullptr);
    ASSERT_GE(dup2(before.handle(), STDERR_FILENO), 0);
    const int start = logLines().size();
    {
        YumIOCapturers capture(io.get());
        qWarning("kuv-test: a warning of Qt's own");
        std::thread([] { qWarning("kuv-test: a warning from another thread"); }).join();
        send(STDERR_FILENO, "kuv-test: written to standard error\n");
    }
    qWarning("kuv-test: a warning after the capture");
    guard.putBack();
    EXPECT_EQ(logLines(start), QStringList("3/0:kuv-test: written to standard error"));
    before.seek(0);
    EXPECT_EQ(QString::fromUtf8(before.readAll()),
              "kuv-test: a warning of Qt's own\nkuv-test: a warning from another thread\n"
              "kuv-test: a warning after the capture\n");
}

TEST_F(CaptureTest, CStdioIsFlushedIntoTheLogAndLaunchedProgramsGetTheStreamsFromBefore)
{
    QTemporaryDir dir;
    const QString listing = dir.filePath("streams");
    const QMap<int, QString> before = descriptors();
    QMap<int, QString> during;
    QList<int> inheritable;
    // Nothing is checked while the capture runs: a failure's report would
    // go into the pipe.
    {
        YumIOCapturers capture(io.get());
        during = descriptors();
        for (auto i = during.constBegin(); i != during.constEnd(); ++i) {
            if (!before.contains(i.key()) && !(fcntl(i.key(), F_GETFD) & FD_CLOEXEC))
                inheritable << i.key();
        }
        // The shell's own standard output and error, as it got them: the
        // pipe leaves them alone, where a redirection might not.
        QByteArray shell("/bin/sh");
        QByteArray option("-c");
        const QByteArray file = "'" + listing.toUtf8() + "'";
        QByteArray script = "readlink /proc/$$/fd/1 /proc/$$/fd/2 | cat > " + file + ".part; mv "
                            + file + ".part " + file;
        char* const argv[] = {shell.data(), option.data(), script.data(), nullptr};
        Execute::execute(nullptr, argv);
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(listing) && clock.elapsed() < 20000)
            QThread::msleep(20);
        std::fputs("held by C stdio", stdout);
    }
    ASSERT_NE(during.value(1), before.value(1));
    ASSERT_NE(during.value(2), before.value(2));
    const int start = logLines().size();
    io->writeStdout(QStringLiteral("\n"));
    EXPECT_EQ(logLines(start), QStringList("1/0:held by C stdio"));

    // Neither the pipes nor the saved copies reach a launched program.
    EXPECT_EQ(inheritable, QList<int>());
    QFile file(listing);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the launched program wrote nothing";
    EXPECT_EQ(QString::fromUtf8(file.readAll()), before.value(1) + "\n" + before.value(2) + "\n");
}
