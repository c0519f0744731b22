// Detached launching: what the launched program inherits, what the caller
// sees and what a failed exec reports.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>

#include "foundation/execute.h"

namespace {

// Waits, up to a few seconds, for a file that a detached program writes,
// until it holds the text that ends what the test needs.
QByteArray waitForFile(const QString& path, const QByteArray& complete)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray content;
    while (timer.elapsed() < 10000) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            content = file.readAll();
            if (content.contains(complete))
                break;
        }
        QThread::msleep(20);
    }
    return content;
}

// Reads a pipe until every writer has closed it, up to a few seconds.
std::string readToEnd(int fd)
{
    std::string text;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buffer[512];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

bool anyMessageBoxShown()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(widget) && widget->isVisible())
            return true;
    return QApplication::activeModalWidget() != nullptr;
}

unsigned long long statusMask(const QByteArray& status, const char* field)
{
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().toULongLong(nullptr, 16);
    }
    ADD_FAILURE() << "no " << field << " in " << status.constData();
    return ~0ull;
}

} // namespace

TEST(DetachedLaunch, MissingProgramIsReportedOnStandardErrorOnly)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int savedError = dup(STDERR_FILENO);
    ASSERT_GE(savedError, 0);
    dup2(fds[1], STDERR_FILENO);
    close(fds[1]);

    char program[] = "/nonexistent/kuv-no-such-program";
    char argument[] = "http://example.com/";
    char* argv[] = {program, argument, nullptr};
    Execute::execute(nullptr, argv);

    dup2(savedError, STDERR_FILENO);
    close(savedError);
    std::string reported = readToEnd(fds[0]);
    close(fds[0]);

    std::string expected = std::string("execv(\"/nonexistent/kuv-no-such-program\", ...) failed; errno = ")
                           + std::to_string(ENOENT) + " (" + std::strerror(ENOENT) + ")\n";
    EXPECT_EQ(reported, expected);
    EXPECT_FALSE(anyMessageBoxShown());
}

TEST(DetachedLaunch, LeavesNoChildOfTheCallerBehind)
{
    char program[] = "/bin/true";
    char* argv[] = {program, nullptr};
    Execute::execute(nullptr, argv);
    // The middle child has been reaped and the grandchild belongs to init:
    // the caller has no children left, zombie or running.
    int status;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(DetachedLaunch, ProgramGetsItsArguments)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray out = QFile::encodeName(dir.path() + "/args");
    QByteArray script = "printf '%s|%s' \"$0\" \"$1\" > '" + out + ".part' && mv '" + out + ".part' '" + out + "'";
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char zero[] = "first";
    char one[] = "second argument";
    char* argv[] = {shell, dashC, script.data(), zero, one, nullptr};
    Execute::execute(nullptr, argv);
    EXPECT_EQ(waitForFile(QString::fromLocal8Bit(out), "|"), QByteArray("first|second argument"));
}

TEST(DetachedLaunch, ProgramStartsWithDefaultSignalsAndEmptyMask)
{
    // Stand in for the embedded interpreter (SIGPIPE and SIGXFSZ ignored)
    // and for a busy window (SIGCHLD blocked).
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    struct sigaction oldPipe, oldFileSize;
    sigaction(SIGPIPE, &ignore, &oldPipe);
    sigaction(SIGXFSZ, &ignore, &oldFileSize);
    sigset_t block, oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray out = QFile::encodeName(dir.path() + "/status");
    // cp keeps the mask and dispositions it starts with (a shell would
    // clear the mask itself and hide a fault).
    char copy[] = "/bin/cp";
    char status[] = "/proc/self/status";
    char* argv[] = {copy, status, out.data(), nullptr};
    Execute::execute(nullptr, argv);

    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGPIPE, &oldPipe, nullptr);
    sigaction(SIGXFSZ, &oldFileSize, nullptr);

    QByteArray copied = waitForFile(QString::fromLocal8Bit(out), "\nSigCgt:");
    ASSERT_TRUE(copied.contains("\nSigCgt:"));
    EXPECT_EQ(statusMask(copied, "SigBlk:"), 0ull);
    unsigned long long ignored = statusMask(copied, "SigIgn:");
    EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0ull);
    EXPECT_EQ(ignored & (1ull << (SIGXFSZ - 1)), 0ull);
}
