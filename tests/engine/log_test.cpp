// The engine's log: lines and batches, entries kept exactly as appended,
// stream pieces, the lock around appended(), masking, and the boxes of
// errors and warnings.
#include "tests/engine/engine_test.h"

#include <atomic>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <QList>
#include <QMutexLocker>
#include <QSignalSpy>
#include <QThread>

namespace {

// Redirects standard error into a file for the life of the object.
class StderrFile
{
public:
    StderrFile()
    {
        std::fflush(stderr);
        saved = dup(2);
        std::snprintf(path, sizeof path, "/tmp/kuv-stderr-XXXXXX");
        int fd = mkstemp(path);
        dup2(fd, 2);
        close(fd);
    }
    ~StderrFile()
    {
        text();
        unlink(path);
    }
    std::string text()
    {
        if (saved >= 0) {
            std::fflush(stderr);
            dup2(saved, 2);
            close(saved);
            saved = -1;
        }
        std::string result;
        if (FILE* file = std::fopen(path, "r")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
                result.append(buffer, n);
            std::fclose(file);
        }
        return result;
    }

private:
    int saved = -1;
    char path[64];
};

}

TEST_F(EngineTest, LogSplitsLinesAndBracketedErrnoPartsAndAnnouncesEachBatchOnce)
{
    makeEngine(false);
    QSignalSpy appended(&io->logList, &Log::EntryList::appended);

    io->log(Log::Info, 3, QString());
    EXPECT_EQ(appended.count(), 1);
    io->log(Log::Warning, 0, QStringLiteral("one\n\ntwo\n"));
    EXPECT_EQ(appended.count(), 2);
    io->log(Log::Error, 0, QStringLiteral("Cannot open repomd.xml: [Errno 14] HTTP Error 404 - Not Found"));
    EXPECT_EQ(appended.count(), 3);

    EXPECT_EQ(logLines(), QStringList({"0/3:", "2/0:one", "2/0:", "2/0:two", "2/0:",
                                       "3/0:Cannot open repomd.xml:",
                                       "3/0:[Errno 14] HTTP Error 404 - Not Found"}));
}

TEST(LogEntries, EveryEntryIsReadBackAsAppendedAcrossTheTextBlocks)
{
    // Latin-1 and wider texts in turn, an unpaired surrogate, empty lines,
    // a kind the log does not name, and lines enough (and one long enough)
    // to fill several of the blocks that hold the texts.
    QList<Log::Entry> appended;
    const QString unpaired = QString("half ") + QChar(0xd800) + QString(" of a pair");
    for (int i = 0; i < 30000; ++i) {
        QString text;
        switch (i % 5) {
        case 0:
            text = QStringLiteral("plain line %1 ").arg(i) + QString(40, 'x');
            break;
        case 1:
            text = QString::fromUtf8("caf\xc3\xa9 \xe2\x9c\x93 line ") + QString::number(i);
            break;
        case 2:
            text = i % 10 == 2 ? QString() : QString::fromLatin1("\xe9t\xe9 %1").arg(i);
            break;
        case 3:
            text = unpaired;
            break;
        default:
            // Wide, and beyond Latin-1 only just: Polish letters, U+0100.
            text = i % 15 == 4    ? QString::fromUtf8("Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 "
                                                      "g\xc4\x99\xc5\x9bl\xc4\x85 ja\xc5\xba\xc5\x84")
                   : i % 15 == 9 ? QString(QChar(0x100)) + QString::number(i)
                                  : QString::fromUtf8("\xe5\xaf\x86") + QString::number(i);
        }
        if (i == 15000)
            text = QString(1 << 20, QChar(0x3b1)) + "end";
        appended << Log::Entry(Log::Kind(i % 8), unsigned(i % 11), text);
    }
    Log::EntryList list;
    {
        QMutexLocker locker(&list);
        for (const Log::Entry& entry : appended)
            list.append(entry);
    }
    ASSERT_EQ(list.lockedCount(), appended.size());
    QMutexLocker locker(&list);
    int i = 0;
    for (const Log::Entry& entry : list) {
        ASSERT_EQ(entry.text, appended[i].text) << i;
        ASSERT_EQ(entry.kind, appended[i].kind) << i;
        ASSERT_EQ(entry.level, appended[i].level) << i;
        ++i;
    }
    EXPECT_EQ(i, appended.size());
    EXPECT_EQ(list.last().text, appended.last().text);
    // A reader of a line's start gets that much and the whole length.
    int length = 0;
    EXPECT_EQ(list.at(15000, 3, length).text, QString(3, QChar(0x3b1)));
    EXPECT_EQ(length, (1 << 20) + 3);
    EXPECT_EQ(list.at(4, 4, length).text, QString::fromUtf8("Za\xc5\xbc\xc3\xb3"));
    EXPECT_EQ(length, appended[4].text.size());
}

TEST_F(EngineTest, StreamPiecesJoinIntoLinesAndAnUnfinishedLineWaits)
{
    makeEngine(false);
    QSignalSpy appended(&io->logList, &Log::EntryList::appended);

    io->writeStdout(QStringLiteral("Resolving "));
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(appended.count(), 0);
    io->writeStdout(QStringLiteral("done\nnext"));
    EXPECT_EQ(logLines(), QStringList({"1/0:Resolving done"}));
    EXPECT_EQ(appended.count(), 1);

    // Standard error has a pending text of its own, and its lines are errors.
    io->writeStderr(QStringLiteral("\n\n"));
    EXPECT_EQ(logLines(1), QStringList({"3/0:", "3/0:"}));
    EXPECT_EQ(appended.count(), 2);

    io->writeStdout(QStringLiteral(" line\n"));
    EXPECT_EQ(logLines(3), QStringList({"1/0:next line"}));
}

TEST_F(EngineTest, OneStreamWrittenFromTwoThreadsKeepsWholeLines)
{
    makeEngine(false);
    const int lines = 2000;
    auto writer = [this](const QString& piece) {
        for (int i = 0; i < lines; ++i)
            io->writeStdout(piece);
    };
    std::unique_ptr<QThread> first(QThread::create(writer, QStringLiteral("first\n")));
    std::unique_ptr<QThread> second(QThread::create(writer, QStringLiteral("second\n")));
    first->start();
    second->start();
    ASSERT_TRUE(first->wait(60000));
    ASSERT_TRUE(second->wait(60000));

    const QStringList all = logLines();
    ASSERT_EQ(all.size(), 2 * lines);
    EXPECT_EQ(all.count(QStringLiteral("1/0:first")), lines);
    EXPECT_EQ(all.count(QStringLiteral("1/0:second")), lines);
}

TEST_F(EngineTest, AppendedIsEmittedWithTheLogUnlocked)
{
    makeEngine(false);
    int emitted = 0;
    int unlocked = 0;
    // A receiver that reads the log in the emitting thread, as a window
    // processing events inside its slot could.
    QObject::connect(&io->logList, &Log::EntryList::appended, [&] {
        ++emitted;
        if (io->logList.tryLock()) {
            ++unlocked;
            io->logList.unlock();
        }
    });
    io->log(Log::Info, 0, QStringLiteral("a"));
    io->writeStderr(QStringLiteral("b\n"));
    EXPECT_EQ(emitted, 2);
    EXPECT_EQ(unlocked, 2);
}

TEST_F(EngineTest, PasswordsNeverReachTheLogOrAReport)
{
    makeEngine(false);
    const QString url = QStringLiteral("http://h/kivrel/repodata/repomd.xml?user=joe&password=Sesame99&path=r");
    io->log(Log::Info, 0, "failure for " + url);
    io->writeStdout(QStringLiteral("fetching http://h/kivrel?user=joe&pass"));
    io->writeStdout(QStringLiteral("word=Sesame99&path=r\n"));
    StderrFile stderrFile;
    io->error("cannot read " + url);
    const std::string reported = stderrFile.text();

    for (const QString& line : logLines())
        EXPECT_FALSE(line.contains(QLatin1String("Sesame99"))) << line.toStdString();
    EXPECT_EQ(logLines().size(), 3);
    EXPECT_TRUE(logLines().at(1).contains(QLatin1String("password=********&path=r")));
    // Without a dialog relay the report goes to standard error, masked too.
    EXPECT_NE(reported.find("KUV Yum Error"), std::string::npos);
    EXPECT_EQ(reported.find("Sesame99"), std::string::npos) << reported;
}

TEST_F(EngineTest, ErrorsAndWarningsAreLoggedAndShownInBoxes)
{
    makeEngine();
    DialogAnswerer answerer;
    io->error(QStringLiteral("the disk is full"));
    io->warning(QStringLiteral("the repository is slow"));
    // The wrapper's texts end in a newline: an empty line follows them.
    io->error("Internal error: x not found\n");

    EXPECT_EQ(logLines(), QStringList({"3/0:the disk is full", "2/0:the repository is slow",
                                       "3/0:Internal error: x not found", "3/0:"}));
    ASSERT_EQ(answerer.seen.size(), 3);
    EXPECT_EQ(answerer.seen[0].title.toStdString(), "KUV Yum Error");
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "the disk is full");
    EXPECT_EQ(answerer.seen[0].buttons.size(), 1);
    EXPECT_EQ(answerer.seen[1].title.toStdString(), "KUV Yum Warning");
    EXPECT_EQ(answerer.seen[1].text.toStdString(), "the repository is slow");
}

TEST_F(EngineTest, ExceptionReportWithoutAnOpenScopeShowsOnlyItsHeadline)
{
    makeEngine();
    DialogAnswerer answerer;
    io->log(Log::Error, 0, QStringLiteral("an older error"));
    io->pythonException(QStringLiteral("Unable to obtain yum lock"));
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].className.toStdString(), "ScrollableErrorDialog");
    EXPECT_EQ(answerer.seen[0].title.toStdString(), "KUV Yum Error");
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "Unable to obtain yum lock");
}

TEST_F(EngineTest, AnInternalErrorsTracebackCarriesNoPassword)
{
    makeEngine(false);
    ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
    StderrFile stderrFile;
    EXPECT_FALSE(YumIOTestAccess::py(*io,
        "import sys\n"
        "sys.stderr = sys.__stderr__\n"
        "raise RuntimeError('cannot fetch http://h/kivrel?user=joe&password=Sesame99&path=r')\n"));
    const std::string printed = stderrFile.text();
    EXPECT_NE(printed.find("Traceback"), std::string::npos) << printed;
    EXPECT_NE(printed.find("RuntimeError: cannot fetch http://h/kivrel?user=joe&password=********&path=r"),
              std::string::npos) << printed;
    EXPECT_EQ(printed.find("Sesame99"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Internal error: python exception occurred from C code"), std::string::npos);
    EXPECT_TRUE(logLines().contains("3/0:Internal error: python exception occurred from C code"));

    // Nor where the traceback module cannot format it.
    ASSERT_TRUE(YumIOTestAccess::py(*io, "import traceback\nkuvSavedTraceback = traceback\n"));
    StderrFile unformatted;
    EXPECT_FALSE(YumIOTestAccess::py(*io,
        "sys.stderr = sys.__stderr__\n"
        "sys.modules['traceback'] = None\n"
        "raise RuntimeError('cannot fetch http://h/kivrel?user=joe&password=Sesame99&path=r')\n"));
    const std::string bare = unformatted.text();
    ASSERT_TRUE(YumIOTestAccess::py(*io, "sys.modules['traceback'] = kuvSavedTraceback\n"));
    EXPECT_NE(bare.find("RuntimeError: cannot fetch http://h/kivrel?user=joe&password=********&path=r"),
              std::string::npos) << bare;
    EXPECT_EQ(bare.find("Sesame99"), std::string::npos) << bare;
    EXPECT_NE(bare.find("Internal error: python exception occurred from C code"), std::string::npos);
}
