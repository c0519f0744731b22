// Output capture without a transaction: the reader keeps bytes until their
// line is whole and hands the rest over at the end; a set-up that fails at
// any step leaves every descriptor as it was; what C stdio holds at the end
// is the capture's; a program launched while the capture runs gets the
// streams from before and none of the capture's descriptors.
#include "tests/engine/engine_test.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QThread>

#include "engine/yumiocapturers.h"
#include "foundation/execute.h"

namespace {

// The process's descriptors, each with what it refers to.
QMap<int, QString> descriptors()
{
    QMap<int, QString> open;
    for (const QString& name : QDir("/proc/self/fd").entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t length =
            ::readlink(QByteArray("/proc/self/fd/" + name.toLatin1()).constData(), target,
                       sizeof target);
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

class CaptureTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped())
            return;
        makeEngine();
    }

    void TearDown() override
    {
        YumIOCapturers::failSetUpAt(YumIOCapturers::NoStep);
        EngineTest::TearDown();
    }

    DialogAnswerer answerer;
};

}

TEST_F(CaptureTest, BytesWaitForTheirWholeLineAndTheRestIsHandedOverAtTheEnd)
{
    int out[2];
    int err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    auto* minion = new YumIOCapturersMinion(io.get(), out[0], err[0]);
    const int start = logLines().size();

    // An "é" split between two reads, a NUL in the middle of a read, and a
    // line still open when the read ends.
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

    // The end: what is left is read, and the unfinished rest of a stream
    // waits in its pending text, its cut character replaced.
    ::close(out[1]);
    ::close(err[1]);
    minion->deactivate();
    EXPECT_EQ(logLines(start).size(), 4);
    io->writeStderr(QStringLiteral(" done\n"));
    EXPECT_EQ(logLines(start).value(4), QString::fromUtf8("3/0:scriptlet said \xef\xbf\xbd\xef\xbf\xbd done"));

    const QMap<int, QString> before = descriptors();
    delete minion;
    EXPECT_EQ(descriptors().size(), before.size() - 2) << "the read ends stay open";
}

TEST_F(CaptureTest, ASetUpFailingAtAnyStepLeavesEveryDescriptorAsItWas)
{
    struct Case {
        YumIOCapturers::SetUpStep step;
        QString report;
    };
    const QString pipeReport = "Unable to open pipe to capture rpm transaction output";
    const QString dupReport = "Unable to dup2 pipe to capture rpm transaction output";
    for (const Case& c : {Case{YumIOCapturers::StdoutPipe, pipeReport},
                          Case{YumIOCapturers::StderrPipe, pipeReport},
                          Case{YumIOCapturers::StdoutRedirection, dupReport},
                          Case{YumIOCapturers::StderrRedirection, dupReport}}) {
        SCOPED_TRACE(int(c.step));
        const QMap<int, QString> before = descriptors();
        const int start = logLines().size();
        YumIOCapturers::failSetUpAt(c.step);
        {
            YumIOCapturers capture(io.get());
            EXPECT_FALSE(capture.capturing());
            EXPECT_EQ(descriptors(), before);
        }
        EXPECT_EQ(descriptors(), before);
        EXPECT_EQ(logLines(start), QStringList("3/0:" + c.report));
        ASSERT_FALSE(answerer.seen.isEmpty());
        EXPECT_EQ(answerer.seen.last().text, c.report);
    }
}

TEST_F(CaptureTest, CStdioIsFlushedIntoTheLogAndLaunchedProgramsGetTheStreamsFromBefore)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString listing = dir.filePath("descriptors");
    const QMap<int, QString> before = descriptors();

    // Nothing is checked while the capture runs: a failure's report would
    // go into the pipe.
    QMap<int, QString> during;
    QList<int> inheritable;
    bool capturing = false;
    {
        YumIOCapturers capture(io.get());
        capturing = capture.capturing();
        during = descriptors();
        for (auto i = during.constBegin(); i != during.constEnd(); ++i) {
            if (!before.contains(i.key()) && !(fcntl(i.key(), F_GETFD) & FD_CLOEXEC))
                inheritable << i.key();
        }
        // The shell lists its own descriptors, writing through a descriptor
        // of its own, so that its standard output stays the inherited one.
        const QByteArray part = "'" + listing.toUtf8() + ".part'";
        QByteArray shell("/bin/sh");
        QByteArray option("-c");
        QByteArray script = "exec 3>" + part + "; for f in /proc/$$/fd/*; do "
                            "echo \"${f##*/} $(readlink $f)\" >&3; done; exec 3>&-; mv "
                            + part + " '" + listing.toUtf8() + "'";
        char* const argv[] = {shell.data(), option.data(), script.data(), nullptr};
        Execute::execute(nullptr, argv);
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(listing) && clock.elapsed() < 20000)
            QThread::msleep(20);
        // Text that C stdio still holds when the capture ends is the
        // capture's: it must not reach the terminal later.
        std::fputs("held by C stdio", stdout);
    }
    const int start = logLines().size();
    io->writeStdout(QStringLiteral("\n"));
    EXPECT_EQ(logLines(start), QStringList("1/0:held by C stdio"));
    ASSERT_TRUE(capturing);
    ASSERT_NE(during.value(1), before.value(1));
    ASSERT_NE(during.value(2), before.value(2));
    QFile file(listing);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the launched program wrote nothing";
    QMap<int, QString> inherited;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        const int blank = line.indexOf(' ');
        if (blank > 0 && blank + 1 < line.size())
            inherited.insert(line.left(blank).toInt(), line.mid(blank + 1));
    }
    EXPECT_EQ(inherited.value(1), before.value(1));
    EXPECT_EQ(inherited.value(2), before.value(2));
    // The capture's own descriptors are close-on-exec: no pipe reaches it.
    EXPECT_EQ(inheritable, QList<int>());
    for (auto i = inherited.constBegin(); i != inherited.constEnd(); ++i) {
        EXPECT_NE(i.value(), during.value(1)) << i.key();
        EXPECT_NE(i.value(), during.value(2)) << i.key();
    }
}
