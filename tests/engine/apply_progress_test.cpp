// A whole transaction on the sandbox with an empty package cache, the kivrel
// repository served over HTTP: an install from it whose Lua scriptlets write
// to both streams (once a burst larger than a pipe holds), an update, a
// removal and a dependency. The bars, as a recording minion sees them, move
// through both phases without going back; the log holds the scriptlet lines
// with their kinds; the process's descriptors are the same afterwards, also
// when the capture could not be set up.
#include "tests/engine/apply_test.h"

#include <unistd.h>

#include <QDir>
#include <QMap>
#include <QRegularExpression>

#include "engine/progress.h"
#include "engine/yumiocapturers.h"
#include "foundation/hprogressbar.h"
#include "tests/engine/progress_test.h"

namespace {

QMap<int, QString> descriptors()
{
    QMap<int, QString> open;
    for (const QString& name : QDir("/proc/self/fd").entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t length =
            ::readlink(QByteArray("/proc/self/fd/" + name.toLatin1()).constData(), target,
                       sizeof target);
        if (length > 0)
            open.insert(name.toInt(), QString::fromUtf8(target, int(length)));
    }
    return open;
}

// Checks the recorded lines of the operations: each total starts from a
// reset, its bar never goes back and reaches its maximum before the next
// reset. Returns every item's activity.
QStringList checkedActivities(const QStringList& lines, const QStringList& totals)
{
    const std::string all = lines.join('\n').toStdString();
    QStringList activities;
    QStringList seenTotals;
    Steps tail = 0;
    Steps reached = 0;
    bool open = false;
    for (const QString& line : lines) {
        const QStringList parts = line.split('|');
        if (parts[0] == "reset") {
            if (open)
                EXPECT_EQ(reached, tail) << "the bar of " << seenTotals.last().toStdString()
                                         << " did not fill\n" << all;
            open = false;
            continue;
        }
        if (parts[0] == "total") {
            EXPECT_FALSE(open) << "no reset before " << line.toStdString();
            seenTotals << parts[1];
            tail = parts[2].toULongLong();
            reached = 0;
            open = true;
            continue;
        }
        const Steps value = parts[parts[0] == "item" ? 2 : 1].toULongLong();
        EXPECT_GE(value, reached) << "the total bar went back at " << line.toStdString() << "\n"
                                  << all;
        EXPECT_LE(value, tail) << line.toStdString();
        reached = value;
        if (parts[0] == "item")
            activities << parts[1];
    }
    EXPECT_FALSE(open) << all;
    EXPECT_EQ(seenTotals, totals);
    return activities;
}

class ApplyProgress : public ApplyTest
{
protected:
    void SetUp() override
    {
        ApplyTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        total = new HProgressBar(window.get());
        item = new HProgressBar(window.get());
        io->setup(window.get(), total, item);
        ASSERT_TRUE(sandbox.fillKivrelCredentials());
        ASSERT_TRUE(sandbox.startKivrelServer());
        ASSERT_TRUE(QDir(sandbox.cacheDir() + "/kuv-remote").isEmpty()
                    || !QDir(sandbox.cacheDir() + "/kuv-remote").exists());
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
    HProgressBar* total = nullptr;
    HProgressBar* item = nullptr;
};

}

TEST_F(ApplyProgress, TransactionMovesTheBarsAndLogsTheScriptletsOutput)
{
    const int burst = 16384;
    qputenv("KUV_VERBOSE_BURST", QByteArray::number(burst));
    mark("kuv-verbose", Package::Install);
    mark("kuv-lib", Package::Update);
    mark("kuv-local", Package::Remove);
    const int start = logCount();
    const QMap<int, QString> before = descriptors();

    ASSERT_TRUE(io->apply()) << dialogs().join('\n').toStdString();

    EXPECT_EQ(descriptors(), before);
    EXPECT_EQ(installedPackages(),
              QStringList({"kuv-docs-1.0-1", "kuv-kernel-1.0-1", "kuv-kernel-1.1-1",
                           "kuv-lib-1.1-1", "kuv-notes-1.0-1", "kuv-oldtool-1.0-1",
                           "kuv-verbose-1.0-1"}));
    ASSERT_EQ(dialogs().size(), 1);
    EXPECT_TRUE(dialogs().first().startsWith("ScrollableConfirmDialog|Apply|"));
    // The download came over HTTP, and localHdr named existing files: no
    // header counted as missing.
    EXPECT_EQ(ApplyTestAccess::resolveHeaders(*io), 0u);

    // Both phases, each filling its bar before the reset; the download
    // names its file without ".rpm" and without the kivrel segment.
    const QString running = "Running Transaction: Total Progress";
    const QStringList activities = checkedActivities(
        RecordingMinion::lines, {"Checking Dependencies: Total Progress", running});
    const QString totalLine = RecordingMinion::lines.filter("total|" + running).value(0);
    EXPECT_EQ(totalLine.section('|', 2).toULongLong(), ApplyTestAccess::runningTotal(*io));
    EXPECT_TRUE(activities.contains("Downloading kuv-verbose-1.0-1.noarch"))
        << activities.join('\n').toStdString();
    for (const QString& text : {QString("Resolve Dependencies"),
                                QString("Preparing to Run Transaction"),
                                QString("Installing kuv-verbose"), QString("Installing kuv-docs"),
                                QString("Updating kuv-lib"), QString("Removing kuv-local"),
                                QString("Completing update for: kuv-lib")})
        EXPECT_TRUE(activities.contains(text)) << text.toStdString();
    for (const QString& line : RecordingMinion::lines) {
        EXPECT_FALSE(line.contains(".rpm")) << line.toStdString();
        EXPECT_FALSE(line.contains("kivrel")) << line.toStdString();
        EXPECT_FALSE(line.contains(sandbox.kivrelUser())) << line.toStdString();
        EXPECT_FALSE(line.contains(sandbox.kivrelPassword())) << line.toStdString();
    }

    // The scriptlets' lines with their streams' kinds, the burst whole and
    // in order.
    const QStringList output = logTexts(Log::Output, start);
    EXPECT_TRUE(output.contains("kuv-verbose: pre-install scriptlet on standard output"));
    EXPECT_TRUE(output.contains(
        QString::fromUtf8("kuv-verbose: post-install scriptlet on standard output, café ✓")));
    const QStringList errors = logTexts(Log::Error, start);
    EXPECT_EQ(errors, QStringList({"kuv-verbose: pre-install scriptlet on standard error",
                                   "kuv-verbose: post-install scriptlet on standard error"}));
    const QStringList burstLines = output.filter("kuv-verbose: burst line ");
    ASSERT_EQ(burstLines.size(), burst);
    static const QRegularExpression burstLine("^kuv-verbose: burst line (\\d{6}) ={40}$");
    for (int i = 0; i < burst; ++i) {
        const QRegularExpressionMatch match = burstLine.match(burstLines[i]);
        ASSERT_TRUE(match.hasMatch()) << burstLines[i].toStdString();
        ASSERT_EQ(match.captured(1).toInt(), i + 1);
    }
    EXPECT_EQ(logTexts(Log::Action, start), QStringList({"Applying", "Applying: OK"}));
    EXPECT_EQ(logTexts(Log::Warning, start), QStringList());
    for (const QString& line : logLines(start))
        EXPECT_FALSE(line.contains("Internal error") || line.contains("not understood"))
            << line.toStdString();
    // Each installed package's step is logged, in rpm's order.
    QStringList steps = logLines(start).filter(QRegularExpression("^0/1:"));
    steps.sort();
    EXPECT_EQ(steps, QStringList({"0/1:Installing kuv-docs", "0/1:Installing kuv-verbose",
                                  "0/1:Updating kuv-lib"}));

    // Without a capture the apply goes on, and everything is put back.
    io->clear();
    ASSERT_TRUE(io->collect({{TestSandbox::kivrelRepoId(), true}}));
    mark("kuv-verbose", Package::Remove);
    YumIOCapturers::failSetUpAt(YumIOCapturers::StderrPipe);
    const QMap<int, QString> beforeFailure = descriptors();

    EXPECT_TRUE(io->apply());

    EXPECT_EQ(descriptors(), beforeFailure);
    EXPECT_FALSE(installedPackages().contains("kuv-verbose-1.0-1"));
    ASSERT_EQ(dialogs().size(), 3);
    EXPECT_EQ(dialogs()[1], "QMessageBox|KUV Yum Error|Unable to open pipe to capture rpm "
                            "transaction output");
}
