// Output capture: while the script applies a transaction, rpm and its
// scriptlets write to descriptors 1 and 2 directly, past the interpreter.
// YumIOCapturers points both descriptors into pipes for the length of the
// call; YumIOCapturersMinion, living in the GUI thread, reads the pipes with
// socket notifiers into the engine's log; YumIOCapturersUser installs a
// capture in the engine's slot for one call.
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>

class QSocketNotifier;
class YumIO;
class YumIOCapturersMinion;

class YumIOCapturers : public QObject
{
    Q_OBJECT

public:
    // In the thread of the script call. A failure is reported through the
    // engine's error and leaves the descriptors as they were: the call then
    // runs without capture.
    explicit YumIOCapturers(YumIO* io);
    // Puts descriptors 1 and 2 back and hands the last text to the log
    // before it returns.
    ~YumIOCapturers() override;

    // The steps of the set-up, for tests that make one of them fail.
    enum SetUpStep {
        NoStep,
        StdoutPipe,
        StderrPipe,
        StdoutRedirection,
        StderrRedirection,
    };
    // The next captures fail at `step` as if the system had refused it, until
    // NoStep is set again.
    static void failSetUpAt(SetUpStep step);

    bool capturing() const { return minion != nullptr; }

private:
    Q_DISABLE_COPY_MOVE(YumIOCapturers)

    // After a failed step: restores what was redirected and closes what was
    // opened, then reports `text`.
    void abandon(const QString& text);
    void closeAll();

    YumIOCapturersMinion* minion = nullptr;
    YumIO* io;
    int savedStdout = -1;
    int savedStderr = -1;
    int stdoutPipe[2] = {-1, -1};
    int stderrPipe[2] = {-1, -1};
    bool stdoutRedirected = false;
    bool stderrRedirected = false;
};

// Reads the two pipes in the GUI thread. Bytes stay undecoded until a
// newline completes their line, so that a character split across two reads
// stays whole; only whole lines reach the engine, through writeStdout and
// writeStderr.
class YumIOCapturersMinion : public QObject
{
    Q_OBJECT

public:
    // Takes over the two read ends: they are closed when it is destroyed.
    YumIOCapturersMinion(YumIO* io, int stdoutFd, int stderrFd);
    // GUI thread, from its deferred deletion.
    ~YumIOCapturersMinion() override;

    // Lets the GUI thread start reading when its event loop next runs.
    void activate();
    // Any thread, once the writers are gone: reads what is left and hands the
    // unfinished rest of each stream to its pending text, decoded with
    // replacement characters. Nothing reaches the log from here afterwards.
    void deactivate();

public slots:
    void initialize();
    void readStdout();
    void readStderr();

private:
    Q_DISABLE_COPY_MOVE(YumIOCapturersMinion)

    struct Stream {
        int fd;
        QByteArray unfinished;
        QSocketNotifier* notifier;
        void (YumIO::*write)(QString text);
    };
    // A notifier's read: nothing once the capture has finished.
    void readSignalled(Stream& stream);
    // Reads what is there (with `bounded`, at most a share, so that a writer
    // that never stops cannot hold the GUI thread) and logs the whole lines.
    // The caller holds the mutex.
    void read(Stream& stream, bool bounded);

    YumIO* io;
    // Guards everything below: the GUI thread's reads and the last reads of
    // the capture's thread must not interleave, or lines would change order.
    QMutex mutex;
    bool finished = false;
    Stream stdoutStream;
    Stream stderrStream;
};

// Installs a capture in the engine's slot for one script call and puts the
// previous value back at its end.
class YumIOCapturersUser
{
public:
    YumIOCapturersUser(YumIOCapturers*& slot, YumIO* io);
    ~YumIOCapturersUser();

private:
    Q_DISABLE_COPY_MOVE(YumIOCapturersUser)

    YumIOCapturers*& slot;
    YumIOCapturers* previous;
};
