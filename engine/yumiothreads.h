// The worker threads of the engine's long operations. Each is made on the
// stack of the operation that runs it, runs its body once, and ends the GUI
// thread's local wait (YumIO::execWorkThread). An operation reads:
//
//   bool YumIO::collect(const QHash<QString, bool>& overrides)
//   {
//       QEventLoop loop;
//       CollectThread thread(this, &loop, &overrides);
//       execWorkThread(loop, thread);
//       return thread.result;
//   }
//
// The bodies are defined inline here, so that a thread class costs nothing
// until its operation is built.
#pragma once

#include <QHash>
#include <QString>
#include <QThread>

#include "engine/yumio.h"

class QEventLoop;

class YumIOThread : public QThread
{
public:
    // A gated worker passes the engine's blocker before its body, so that
    // it starts its work only once the GUI thread has blocked SIGCHLD.
    YumIOThread(YumIO* io, QEventLoop* loop, bool gated = false);

    // The body's answer, once the thread has finished.
    bool result = false;

protected:
    virtual bool body() = 0;

    YumIO* io;
    QEventLoop* loop;

private:
    void run() final;

    bool gated;
};

class CollectThread : public YumIOThread
{
public:
    CollectThread(YumIO* io, QEventLoop* loop, const QHash<QString, bool>* overrides)
        : YumIOThread(io, loop), overrides(overrides)
    {
    }

protected:
    bool body() override { return io->collectReal(*overrides); }

private:
    const QHash<QString, bool>* overrides;
};

class ApplyThread : public YumIOThread
{
public:
    ApplyThread(YumIO* io, QEventLoop* loop)
        : YumIOThread(io, loop, true)
    {
    }

protected:
    bool body() override { return io->applyReal(); }
};

class CollectOtherDataThread : public YumIOThread
{
public:
    CollectOtherDataThread(YumIO* io, QEventLoop* loop)
        : YumIOThread(io, loop)
    {
    }

protected:
    bool body() override { return io->collectOtherDataReal(); }
};

class CollectFileListsThread : public YumIOThread
{
public:
    CollectFileListsThread(YumIO* io, QEventLoop* loop)
        : YumIOThread(io, loop)
    {
    }

protected:
    bool body() override { return io->collectFileListsReal(); }
};

class ClearEntriesThread : public YumIOThread
{
public:
    ClearEntriesThread(YumIO* io, QEventLoop* loop)
        : YumIOThread(io, loop)
    {
    }

protected:
    bool body() override
    {
        io->clearEntriesReal();
        return true;
    }
};
