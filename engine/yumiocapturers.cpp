// Output capture: the pipes behind descriptors 1 and 2 during the script's
// apply call, their reader in the GUI thread, and the scope that installs a
// capture.
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
#include <unistd.h>

#include <QApplication>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "engine/globals.h"
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

// The GUI thread: the application's, also before main has published it.
QThread* guiThread()
{
    QCoreApplication* app = application ? application : QCoreApplication::instance();
    return app ? app->thread() : QThread::currentThread();
}

// Bytes of a stream as text: UTF-8, anything else and NUL, which no log line
// can hold, as replacement characters. The size is passed on purpose: the
// conversion of a whole byte array would stop at the first NUL.
QString decoded(const QByteArray& bytes)
{
    QString text = QString::fromUtf8(bytes.constData(), bytes.size());
    text.replace(QChar(0), QChar(QChar::ReplacementCharacter));
    return text;
}

}

YumIOCapturers::YumIOCapturers(YumIO* io)
    : QObject(nullptr), io(io)
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
    stdoutRedirected = redirect(stdoutPipe[1], STDOUT_FILENO, StdoutRedirection);
    stderrRedirected =
        stdoutRedirected && redirect(stderrPipe[1], STDERR_FILENO, StderrRedirection);
    if (!stderrRedirected) {
        abandon(YumIO::tr("Unable to dup2 pipe to capture rpm transaction output"));
        return;
    }
    // The reader must never wait: the GUI thread reads whatever is there.
    fcntl(stdoutPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(stderrPipe[0], F_SETFL, O_NONBLOCK);

    minion = new YumIOCapturersMinion(io, stdoutPipe[0], stderrPipe[0]);
    stdoutPipe[0] = -1;
    stderrPipe[0] = -1;
    minion->moveToThread(guiThread());
    Execute::setChildStreams(savedStdout, savedStderr);
    minion->activate();
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
    // once this returns, and later ones get the process's own streams.
    Execute::setChildStreams(-1, -1);
    closeAll();
    minion->deactivate();
    minion->deleteLater();
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
    closeAll();
    io->error(text);
}

void YumIOCapturers::closeAll()
{
    for (int* fd : {&savedStdout, &savedStderr, &stdoutPipe[0], &stdoutPipe[1], &stderrPipe[0],
                    &stderrPipe[1]})
        closeDescriptor(*fd);
}

YumIOCapturersMinion::YumIOCapturersMinion(YumIO* io, int stdoutFd, int stderrFd)
    : QObject(nullptr),
      io(io),
      stdoutStream{stdoutFd, QByteArray(), nullptr, &YumIO::writeStdout},
      stderrStream{stderrFd, QByteArray(), nullptr, &YumIO::writeStderr}
{
}

YumIOCapturersMinion::~YumIOCapturersMinion()
{
    QMutexLocker locker(&mutex);
    for (Stream* stream : {&stdoutStream, &stderrStream}) {
        // Only a writer that outlived the capture can have left anything.
        read(*stream, false);
        if (!stream->unfinished.isEmpty())
            (io->*stream->write)(decoded(stream->unfinished));
        delete stream->notifier;
        closeDescriptor(stream->fd);
    }
}

void YumIOCapturersMinion::activate()
{
    QTimer::singleShot(0, this, &YumIOCapturersMinion::initialize);
}

void YumIOCapturersMinion::initialize()
{
    QMutexLocker locker(&mutex);
    // A capture that ended first has read everything already.
    if (finished)
        return;
    stdoutStream.notifier = new QSocketNotifier(stdoutStream.fd, QSocketNotifier::Read);
    stderrStream.notifier = new QSocketNotifier(stderrStream.fd, QSocketNotifier::Read);
    connect(stdoutStream.notifier, &QSocketNotifier::activated, this,
            &YumIOCapturersMinion::readStdout);
    connect(stderrStream.notifier, &QSocketNotifier::activated, this,
            &YumIOCapturersMinion::readStderr);
}

void YumIOCapturersMinion::readStdout()
{
    readSignalled(stdoutStream);
}

void YumIOCapturersMinion::readStderr()
{
    readSignalled(stderrStream);
}

void YumIOCapturersMinion::readSignalled(Stream& stream)
{
    QMutexLocker locker(&mutex);
    if (finished) {
        // The pipe's end is readable for ever: stop asking until deletion.
        if (stream.notifier)
            stream.notifier->setEnabled(false);
        return;
    }
    read(stream, true);
}

void YumIOCapturersMinion::deactivate()
{
    QMutexLocker locker(&mutex);
    if (finished)
        return;
    finished = true;
    for (Stream* stream : {&stdoutStream, &stderrStream}) {
        read(*stream, false);
        if (!stream->unfinished.isEmpty())
            (io->*stream->write)(decoded(stream->unfinished));
        stream->unfinished.clear();
    }
}

void YumIOCapturersMinion::read(Stream& stream, bool bounded)
{
    // Sixteen pipefuls at most per notification: a burst goes through in a
    // few rounds, and the GUI thread gets back to its other events between
    // them.
    const qint64 limit = 16 * 65536;
    char buffer[65536];
    qint64 taken = 0;
    while (!bounded || taken < limit) {
        const ssize_t count = ::read(stream.fd, buffer, sizeof buffer);
        if (count > 0) {
            stream.unfinished.append(buffer, int(count));
            taken += count;
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            // The end of the pipe, or nothing more for now.
            break;
        }
    }
    const int end = stream.unfinished.lastIndexOf('\n');
    if (end < 0)
        return;
    const QByteArray lines = stream.unfinished.left(end + 1);
    stream.unfinished.remove(0, end + 1);
    (io->*stream.write)(decoded(lines));
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
