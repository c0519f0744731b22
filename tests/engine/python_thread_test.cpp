// The interpreter lock across threads: nobody holds it after start-up, a
// worker thread takes it through the guard, and a guard lets it go around a
// nested wait for a worker and takes it back.
#include "tests/engine/python_test.h"

#include <atomic>
#include <memory>

#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace {

const unsigned long waitLimit = 30000;

// Runs the worker while the calling thread waits in a local event loop, as
// the engine's GUI thread does; false when the worker did not end in time.
bool runAndWait(QThread* worker)
{
    QEventLoop loop;
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(int(waitLimit), &loop, &QEventLoop::quit);
    worker->start();
    if (!worker->isFinished())
        loop.exec();
    return worker->wait(waitLimit);
}

} // namespace

TEST_F(PythonTest, WorkerThreadTakesTheLockThatNobodyHolds)
{
    ASSERT_FALSE(PyGILState_Check());
    std::atomic<bool> heldInWorker{false};
    long product = 0;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        Python::PyGILStateWrapper lock(true);
        heldInWorker = PyGILState_Check();
        PyObject* result = python->pyr("6 * 7");
        product = result ? PyLong_AsLong(result) : -1;
        Py_XDECREF(result);
    }));
    ASSERT_TRUE(runAndWait(worker.get()));
    EXPECT_TRUE(heldInWorker);
    EXPECT_EQ(product, 42);
    EXPECT_FALSE(PyGILState_Check());
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, GuardLetsTheLockGoAroundANestedWaitAndTakesItBack)
{
    Python::PyGILStateWrapper lock(true);
    ASSERT_TRUE(PyGILState_Check());
    ASSERT_TRUE(python->py("kuvTrail = ['main before']"));

    lock.release();
    EXPECT_FALSE(PyGILState_Check());
    std::unique_ptr<QThread> worker(QThread::create([&] {
        Python::PyGILStateWrapper inner(true);
        python->py("kuvTrail.append('worker')");
    }));
    ASSERT_TRUE(runAndWait(worker.get()));
    lock.ensure();

    ASSERT_TRUE(PyGILState_Check());
    ASSERT_TRUE(python->py("kuvTrail.append('main after')"));
    PyObject* trail = python->pyr("kuvTrail == ['main before', 'worker', 'main after']");
    EXPECT_EQ(trail, Py_True);
    Py_XDECREF(trail);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, HeldGuardKeepsOtherThreadsOutUntilReleased)
{
    std::atomic<bool> entered{false};
    Python::PyGILStateWrapper lock(true);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        Python::PyGILStateWrapper inner(true);
        entered = true;
    }));
    worker->start();
    // Held by C code outside the evaluation loop, the lock is never handed
    // over, however long the other thread asks for it.
    QThread::msleep(300);
    EXPECT_FALSE(entered);
    lock.release();
    ASSERT_TRUE(worker->wait(waitLimit));
    EXPECT_TRUE(entered);
    lock.ensure();
    EXPECT_TRUE(PyGILState_Check());
}

TEST_F(PythonTest, InactiveGuardTakesNothingAndReleasedGuardGivesNothingBackTwice)
{
    {
        Python::PyGILStateWrapper idle(false);
        EXPECT_FALSE(PyGILState_Check());
        idle.ensure();
        EXPECT_FALSE(PyGILState_Check());
        idle.release();
    }
    {
        Python::PyGILStateWrapper outer(true);
        {
            Python::PyGILStateWrapper nested(true);
            EXPECT_TRUE(PyGILState_Check());
        }
        EXPECT_TRUE(PyGILState_Check());
        outer.release();
        EXPECT_FALSE(PyGILState_Check());
    }
    EXPECT_FALSE(PyGILState_Check());

    // The lock is free for another thread after all that.
    std::atomic<bool> entered{false};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        Python::PyGILStateWrapper inner(true);
        entered = true;
    }));
    ASSERT_TRUE(runAndWait(worker.get()));
    EXPECT_TRUE(entered);
}
