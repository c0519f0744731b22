// The worker threads of the long operations and the GUI thread's wait for
// them, and the clearing of the package model.
#include "engine/yumio.h"

#include <csignal>

#include <pthread.h>

#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include "engine/yumiothreads.h"

void YumIO::Blocker::prepare()
{
    mutex.lock();
}

void YumIO::Blocker::release()
{
    mutex.unlock();
}

void YumIO::Blocker::block()
{
    mutex.lock();
    mutex.unlock();
}

YumIOThread::YumIOThread(YumIO* io, QEventLoop* loop, bool gated)
    : io(io), loop(loop), gated(gated)
{
}

void YumIOThread::run()
{
    if (gated)
        io->blocker.block();
    result = body();
    // Posted, so that it is not lost when the GUI thread has not entered
    // the loop yet; the loop belongs to the GUI thread.
    QMetaObject::invokeMethod(loop, "quit", Qt::QueuedConnection);
}

bool YumIO::execWorkThread(QEventLoop& loop, QThread& thread)
{
    if (workerRunning) {
        // A request made from inside the wait (the loop handles all events):
        // starting a second worker would run two bodies on one interpreter
        // state, and waiting here would never end.
        log(Log::Warning, 0, tr("Internal error: an operation was requested while another was running; it was not started"));
        return false;
    }
    workerRunning = true;

    // A worker that ends before the loop runs has posted its quit already;
    // the finished signal is a second, equally queued, way out.
    connect(&thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);

    blocker.prepare();
    thread.start(QThread::HighPriority);
    sigset_t childSignal;
    sigset_t oldMask;
    sigemptyset(&childSignal);
    sigaddset(&childSignal, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &childSignal, &oldMask);
    blocker.release();

    if (!thread.isFinished())
        loop.exec(QEventLoop::AllEvents);
    thread.wait();
    loop.processEvents(QEventLoop::ExcludeUserInputEvents);
    if (Python::initialized && Py_IsInitialized()) {
        Python::PyGILStateWrapper guard(true);
        setEnablePythonSIGINTHandler(false);
    }
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);

    workerRunning = false;
    return true;
}

void YumIO::clearEntries()
{
    QEventLoop loop;
    ClearEntriesThread thread(this, &loop);
    execWorkThread(loop, thread);
}

QSet<Package::Entry*> YumIO::allHeads() const
{
    QSet<Package::Entry*> heads;
    for (Package::Entry* entry : entries)
        heads.insert(entry);
    for (Package::Entry* entry : index)
        heads.insert(entry);
    heads.remove(nullptr);
    return heads;
}

void YumIO::deleteEntries()
{
    const QSet<Package::Entry*> heads = allHeads();
    // The list and the index only point at the heads; each is deleted once,
    // with its chain.
    entries.clear();
    index.clear();
    qDeleteAll(heads);
}

void YumIO::clearEntriesReal()
{
    {
        Python::PyGILStateWrapper guard(true);
        for (Package::Entry* head : allHeads()) {
            for (Package::Entry* entry = head; entry; entry = entry->next)
                entry->releasePo();
        }
    }
    deleteEntries();
}

void YumIO::clearEntriesBeforeQuit()
{
    for (Package::Entry* head : allHeads()) {
        for (Package::Entry* entry = head; entry; entry = entry->next)
            entry->dropPo();
    }
    deleteEntries();
}
