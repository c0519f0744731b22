// Output capture: the pipes behind descriptors 1 and 2 during the script's
// apply call, their reader thread, and the scope that installs a capture.
//
// Every descriptor made here is close-on-exec: a program started meanwhile
// must not hold a pipe open (its end would never come) nor write into the
// log. Descriptors 1 and 2 themselves are inherited as ever, so rpm's
// scriptlets write into the pipes; programs launched through Execute get the
// saved copies instead.
#include "engine/yumiocapturers.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QMutexLocker>
#include <QThread>
#include <QtGlobal>

#include "engine/yumio.h"
#include "foundation/execute.h"

namespace {

// Set by tests only, before the capture they want to fail is made.
std::atomic<YumIOCapturers::SetUpStep> failingStep{YumIOCapturers::NoStep};

// Whether a test made this step fail; errno then reads as the system's
// refusal.
bool refused(YumIOCapturers::SetUpStep step)
{
    if (step == YumIOCapturers::NoStep || failingStep.load() != step)
        return false;
    errno = EMFILE;
    return true;
}

bool openPipe(int ends[2], YumIOCapturers::SetUpStep step)
{
    return !refused(step) && pipe2(ends, O_CLOEXEC) == 0;
}

bool redirect(int from, int to, YumIOCapturers::SetUpStep step = YumIOCapturers::NoStep)
{
    if (refused(step))
        return false;
    int result;
    do {
        result = dup2(from, to);
    } while (result < 0 && errno == EINTR);
    return result >= 0;
}

void closeDescriptor(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// What one round of the reader takes from a pipe before it logs the lines:
// a burst reaches the log in batches of some thousand lines, each announced
// once.
const qint64 roundBytes = 1 << 20;
// What the last reads take at most: what the pipes held when the writers
// went, and not the output of a program that outlived the capture and
// writes on for ever.
const qint64 lastBytes = 16 << 20;

// Qt's own messages during a capture (a warning of the platform plugin from
// the GUI thread, say) are the program's, not the transaction's: they go to
// the standard error from before the capture. The descriptor is guarded, so
// that no message is written to it as it is closed.
QMutex qtMessagesMutex;
int qtMessagesFd = -1;
QtMessageHandler qtMessagesBefore = nullptr;

void qtMessageToStandardErrorFromBefore(QtMsgType type, const QMessageLogContext& context,
                                        const QString& message)
{
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    QMutexLocker locker(&qtMessagesMutex);
    qint64 done = 0;
    while (qtMessagesFd >= 0 && done < line.size()) {
        const ssize_t count = ::write(qtMessagesFd, line.constData() + done, size_t(line.size() - done));
        if (count > 0)
            done += count;
        else if (count < 0 && errno != EINTR)
            break;
    }
}

// The capture's standard error from before becomes Qt's, or -1 gives Qt back
// the handler it had.
void routeQtMessages(int fd)
{
    QMutexLocker locker(&qtMessagesMutex);
    if (fd >= 0 && qtMessagesFd < 0)
        qtMessagesBefore = qInstallMessageHandler(qtMessageToStandardErrorFromBefore);
    else if (fd < 0 && qtMessagesFd >= 0)
        qInstallMessageHandler(qtMessagesBefore);
    qtMessagesFd = fd;
}

}

YumIOCapturers::YumIOCapturers(YumIO* io)
    : io(io)
{
    // What C stdio holds from before the capture belongs where it was
    // written to, not into the log.
    std::fflush(nullptr);
    savedStdout = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    savedStderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (savedStdout < 0 || savedStderr < 0) {
        abandon(YumIO::tr("Unable to dup standard output and error to capture rpm transaction "
                          "output"));
        return;
    }
    if (!openPipe(stdoutPipe, StdoutPipe) || !openPipe(stderrPipe, StderrPipe)) {
        abandon(YumIO::tr("Unable to open pipe to capture rpm transaction output"));
        return;
    }
    // The reader must never wait on one pipe while the other fills.
    fcntl(stdoutPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(stderrPipe[0], F_SETFL, O_NONBLOCK);
    minion = new YumIOCapturersMinion(io, stdoutPipe[0], stderrPipe[0]);
    stdoutPipe[0] = -1;
    stderrPipe[0] = -1;
    // The reader runs before anything can write into the pipes.
    if (refused(ReaderStart) || !minion->activate()) {
        abandon(YumIO::tr("Unable to start reading rpm transaction output"));
        return;
    }
    routeQtMessages(savedStderr);
    stdoutRedirected = redirect(stdoutPipe[1], STDOUT_FILENO, StdoutRedirection);
    stderrRedirected =
        stdoutRedirected && redirect(stderrPipe[1], STDERR_FILENO, StderrRedirection);
    if (!stderrRedirected) {
        abandon(YumIO::tr("Unable to dup2 pipe to capture rpm transaction output"));
        return;
    }
    Execute::setChildStreams(savedStdout, savedStderr);
}

YumIOCapturers::~YumIOCapturers()
{
    // A failed set-up put everything back already.
    if (!minion)
        return;
    // What rpm and the scriptlets left in C stdio's buffers goes into the
    // pipes now, not to the terminal once the descriptors are back.
    std::fflush(nullptr);
    if (!redirect(savedStdout, STDOUT_FILENO)) {
        io->error(YumIO::tr("Unable to dup2 to restore stdout"));
        return;
    }
    if (!redirect(savedStderr, STDERR_FILENO)) {
        io->error(YumIO::tr("Unable to dup2 to restore stderr"));
        return;
    }
    // Before the saved copies go: a launch under way has finished with them
    // once this returns, and later ones get the process's own streams; a
    // message of Qt's being written has gone out.
    Execute::setChildStreams(-1, -1);
    routeQtMessages(-1);
    closeAll();
    finishMinion();
}

void YumIOCapturers::failSetUpAt(SetUpStep step)
{
    failingStep.store(step);
}

void YumIOCapturers::abandon(const QString& text)
{
    std::fflush(nullptr);
    if (stderrRedirected)
        redirect(savedStderr, STDERR_FILENO);
    if (stdoutRedirected)
        redirect(savedStdout, STDOUT_FILENO);
    stdoutRedirected = false;
    stderrRedirected = false;
    routeQtMessages(-1);
    closeAll();
    // What was written meanwhile reaches the log before the report.
    finishMinion();
    io->error(text);
}

void YumIOCapturers::finishMinion()
{
    if (!minion)
        return;
    minion->deactivate();
    delete minion;
    minion = nullptr;
}

void YumIOCapturers::closeAll()
{
    for (int* fd : {&savedStdout, &savedStderr, &stdoutPipe[0], &stdoutPipe[1], &stderrPipe[0],
                    &stderrPipe[1]})
        closeDescriptor(*fd);
}

YumIOCapturersMinion::YumIOCapturersMinion(YumIO* io, int stdoutFd, int stderrFd)
    : io(io),
      stdoutStream{stdoutFd, QByteArray(), true, &YumIO::writeStdoutBytes},
      stderrStream{stderrFd, QByteArray(), true, &YumIO::writeStderrBytes}
{
}

YumIOCapturersMinion::~YumIOCapturersMinion()
{
    deactivate();
    closeDescriptor(stdoutStream.fd);
    closeDescriptor(stderrStream.fd);
}

bool YumIOCapturersMinion::activate()
{
    if (reader || pipe2(stopPipe, O_CLOEXEC) != 0)
        return false;
    reader = QThread::create([this] { run(); });
    reader->start();
    // A thread that could not be made is neither running nor finished.
    if (reader->isRunning() || reader->isFinished())
        return true;
    delete reader;
    reader = nullptr;
    closeDescriptor(stopPipe[0]);
    closeDescriptor(stopPipe[1]);
    return false;
}

void YumIOCapturersMinion::deactivate()
{
    if (reader) {
        const char stop = 0;
        while (::write(stopPipe[1], &stop, 1) < 0 && errno == EINTR) {
        }
        reader->wait();
        delete reader;
        reader = nullptr;
        closeDescriptor(stopPipe[0]);
        closeDescriptor(stopPipe[1]);
    }
    QMutexLocker locker(&mutex);
    if (finished)
        return;
    finished = true;
    for (Stream* stream : {&stdoutStream, &stderrStream}) {
        read(*stream, lastBytes);
        if (!stream->unfinished.isEmpty())
            (io->*stream->write)(stream->unfinished);
        stream->unfinished.clear();
    }
}

void YumIOCapturersMinion::readStdout()
{
    QMutexLocker locker(&mutex);
    if (!finished)
        read(stdoutStream, roundBytes);
}

void YumIOCapturersMinion::readStderr()
{
    QMutexLocker locker(&mutex);
    if (!finished)
        read(stderrStream, roundBytes);
}

void YumIOCapturersMinion::run()
{
    for (;;) {
        pollfd polled[3];
        Stream* streams[3] = {nullptr, nullptr, nullptr};
        nfds_t count = 0;
        polled[count++] = pollfd{stopPipe[0], POLLIN, 0};
        {
            QMutexLocker locker(&mutex);
            for (Stream* stream : {&stdoutStream, &stderrStream}) {
                if (stream->open) {
                    streams[count] = stream;
                    polled[count++] = pollfd{stream->fd, POLLIN, 0};
                }
            }
        }
        // Both pipes have ended: nothing more can come.
        if (count == 1)
            return;
        if (poll(polled, count, -1) < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != ENOMEM)
                return;
            if (errno != EINTR)
                QThread::msleep(10);
            continue;
        }
        // What is in the pipes now is left to the last reads.
        if (polled[0].revents != 0)
            return;
        for (nfds_t i = 1; i < count; ++i) {
            if (polled[i].revents == 0)
                continue;
            QMutexLocker locker(&mutex);
            read(*streams[i], roundBytes);
        }
    }
}

void YumIOCapturersMinion::read(Stream& stream, qint64 limit)
{
    char buffer[65536];
    qint64 taken = 0;
    while (stream.open && taken < limit) {
        const ssize_t count = ::read(stream.fd, buffer, sizeof buffer);
        if (count > 0) {
            stream.unfinished.append(buffer, int(count));
            taken += count;
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            // The end of the pipe (or a descriptor that cannot be read),
            // or nothing more for now.
            if (count == 0 || errno != EAGAIN)
                stream.open = false;
            break;
        }
    }
    const int end = stream.unfinished.lastIndexOf('\n');
    if (end < 0)
        return;
    // Lines that end the buffer (a long line's last piece came with its
    // newline) are handed over without a copy.
    QByteArray lines;
    if (end + 1 == stream.unfinished.size()) {
        lines.swap(stream.unfinished);
    } else {
        lines = stream.unfinished.left(end + 1);
        stream.unfinished.remove(0, end + 1);
    }
    (io->*stream.write)(lines);
}

YumIOCapturersUser::YumIOCapturersUser(YumIOCapturers*& slot, YumIO* io)
    : slot(slot), previous(slot)
{
    slot = new YumIOCapturers(io);
}

YumIOCapturersUser::~YumIOCapturersUser()
{
    delete slot;
    slot = previous;
}
