// Output capture: while the script applies a transaction, rpm and its
// scriptlets write to descriptors 1 and 2 directly, past the interpreter.
// YumIOCapturers points both descriptors into pipes for the length of the
// call; YumIOCapturersMinion reads the pipes on a thread of its own into the
// engine's log; YumIOCapturersUser installs a capture in the engine's slot
// for one call. Qt's own messages meanwhile go to the standard error from
// before the capture, not into the log.
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QtGlobal>

class QThread;
class YumIO;
class YumIOCapturersMinion;

class YumIOCapturers
{
public:
    // In the thread of the script call. A failure is reported through the
    // engine's error and leaves the descriptors as they were: the call then
    // runs without capture.
    explicit YumIOCapturers(YumIO* io);
    // Puts descriptors 1 and 2 back and hands the last text to the log
    // before it returns; in the thread that made the capture.
    ~YumIOCapturers();

    // The steps of the set-up, for tests that make one of them fail.
    enum SetUpStep {
        NoStep,
        StdoutPipe,
        StderrPipe,
        StdoutRedirection,
        StderrRedirection,
        ReaderStart,
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
    // Has the reader take what is left, and lets it go.
    void finishMinion();

    YumIOCapturersMinion* minion = nullptr;
    YumIO* io;
    int savedStdout = -1;
    int savedStderr = -1;
    int stdoutPipe[2] = {-1, -1};
    int stderrPipe[2] = {-1, -1};
    bool stdoutRedirected = false;
    bool stderrRedirected = false;
};

// Reads the two pipes on a thread of its own, which does nothing else: no
// writer of either stream ever waits for the GUI thread, which may itself
// write to standard error (a warning of Qt's or of a library) or be busy
// drawing the log. Bytes stay undecoded until a newline completes their
// line, so that a character split across two reads stays whole; only whole
// lines reach the engine, through writeStdoutBytes and writeStderrBytes, in
// the order of each stream.
class YumIOCapturersMinion
{
public:
    // Takes over the two read ends, which must be non-blocking: they are
    // closed when it is destroyed.
    YumIOCapturersMinion(YumIO* io, int stdoutFd, int stderrFd);
    // Finishes as deactivate() does, then closes the read ends.
    ~YumIOCapturersMinion();

    // Starts the reader thread; false when no thread could be had.
    bool activate();
    // Any thread, once the writers are gone: stops the reader, reads what
    // is left and hands the unfinished rest of each stream to its pending
    // text, decoded with replacement characters. Nothing reaches the log
    // from here afterwards.
    void deactivate();

    // Read what is there now, without waiting, and log the whole lines.
    // Any thread.
    void readStdout();
    void readStderr();

private:
    Q_DISABLE_COPY_MOVE(YumIOCapturersMinion)

    struct Stream {
        int fd;
        QByteArray unfinished;
        // False once the pipe has ended.
        bool open;
        void (YumIO::*write)(const QByteArray& bytes);
    };
    // The reader thread's loop: waits for either pipe or for the stop.
    void run();
    // Reads up to `limit` bytes of what is there and logs the whole lines.
    // The caller holds the mutex.
    void read(Stream& stream, qint64 limit);

    YumIO* io;
    // Guards the streams: the reader's reads and the last reads of
    // deactivate() must not interleave, or lines would change order. Held
    // only while reading and appending to the log, never while waiting.
    QMutex mutex;
    bool finished = false;
    Stream stdoutStream;
    Stream stderrStream;
    // A byte written here stops the reader.
    int stopPipe[2] = {-1, -1};
    QThread* reader = nullptr;
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
