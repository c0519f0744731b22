// Worker threads: the GUI thread waits in a local loop that keeps delivering
// events, SIGCHLD is blocked meanwhile, the apply worker starts only after
// that, one worker at a time, and the interpreter's interrupt handler is off
// after every worker.
#include "tests/engine/engine_test.h"

#include <atomic>
#include <csignal>
#include <fstream>
#include <string>

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QSemaphore>
#include <QTimer>

namespace {

bool sigchldBlockedHere()
{
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, SIGCHLD) == 1;
}

// Whether SIGCHLD is blocked in another thread of this process, from its
// "SigBlk" line.
bool sigchldBlockedIn(pid_t thread)
{
    std::ifstream status("/proc/self/task/" + std::to_string(thread) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigBlk:", 0) == 0) {
            unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (SIGCHLD - 1)) & 1;
        }
    }
    return false;
}

pid_t threadId()
{
    return pid_t(syscall(SYS_gettid));
}

}

class WorkersTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped())
            return;
        makeEngine(false);
        ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
    }
};

TEST_F(WorkersTest, AScriptCallRunsOnTheWorkerWhileTheGuiLoopDeliversEvents)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, "import threading, time\nworkerName = None\n"));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    const bool result = runWorker(*io, [this] {
        // The GUI thread must not hold the interpreter lock while it waits.
        Python::PyGILStateWrapper guard(true);
        return YumIOTestAccess::python(*io).py(
            "time.sleep(0.4)\nworkerName = threading.current_thread().name\n");
    });
    EXPECT_TRUE(result);
    EXPECT_GE(ticks, 10);
    EXPECT_NE(YumIOTestAccess::evalText(*io, "workerName"),
              YumIOTestAccess::evalText(*io, "threading.main_thread().name"));
}

TEST_F(WorkersTest, AWorkerThatEndsAtOnceStillEndsTheWait)
{
    // On one processor shared with the worker, many of these workers end
    // before the GUI thread reaches its loop; a lost end would hang the
    // wait, which the watchdog then breaks.
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &saved)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    bool rescued = false;
    for (int i = 0; i < 500 && !rescued; ++i) {
        QEventLoop loop;
        TestThread thread(io.get(), &loop, [] { return true; });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            rescued = true;
            loop.quit();
        });
        watchdog.start(5000);
        ASSERT_TRUE(YumIOTestAccess::execWorkThread(*io, loop, thread));
        EXPECT_TRUE(thread.isFinished());
        EXPECT_TRUE(thread.result);
    }
    sched_setaffinity(0, sizeof saved, &saved);
    EXPECT_FALSE(rescued);
}

TEST_F(WorkersTest, SigchldIsBlockedInTheGuiThreadWhileAWorkerRunsAndTheMaskRestored)
{
    ASSERT_FALSE(sigchldBlockedHere());
    const pid_t gui = threadId();
    std::atomic<bool> blockedWhenTheGatedWorkerStarted{false};
    std::atomic<bool> blockedInTheWorker{true};
    EXPECT_TRUE(runWorker(*io, [&] {
        blockedWhenTheGatedWorkerStarted = sigchldBlockedIn(gui);
        // The worker itself keeps receiving SIGCHLD.
        blockedInTheWorker = sigchldBlockedHere();
        return true;
    }, true));
    EXPECT_TRUE(blockedWhenTheGatedWorkerStarted);
    EXPECT_FALSE(blockedInTheWorker);
    EXPECT_FALSE(sigchldBlockedHere());
}

TEST_F(WorkersTest, TheApplyWorkerWaitsForTheBlockerBeforeItsBody)
{
    // Held by the test as the GUI thread holds it between start and mask:
    // the gated worker cannot begin until it is released.
    std::atomic<bool> began{false};
    YumIO::Blocker& blocker = YumIOTestAccess::blocker(*io);
    QEventLoop loop;
    TestThread thread(io.get(), &loop, [&] {
        began = true;
        return true;
    }, true);
    blocker.prepare();
    thread.start();
    QThread::msleep(200);
    EXPECT_FALSE(began);
    blocker.release();
    ASSERT_TRUE(thread.wait(10000));
    EXPECT_TRUE(began);
}

TEST_F(WorkersTest, ASecondRequestWhileAWorkerRunsStartsNothing)
{
    QSemaphore release;
    bool secondAccepted = true;
    bool secondStarted = true;
    QEventLoop secondLoop;
    TestThread second(io.get(), &secondLoop, [] { return true; });
    // Requested from the GUI thread's wait, as a click handled there would.
    QTimer::singleShot(50, [&] {
        secondAccepted = YumIOTestAccess::execWorkThread(*io, secondLoop, second);
        secondStarted = second.isRunning() || second.isFinished();
        release.release();
    });
    const int before = io->logList.lockedCount();
    EXPECT_TRUE(runWorker(*io, [&] { return release.tryAcquire(1, 20000); }));
    EXPECT_FALSE(secondAccepted);
    EXPECT_FALSE(secondStarted);
    EXPECT_EQ(logLines(before).size(), 1);
    // The engine takes work again once the first has ended.
    EXPECT_TRUE(runWorker(*io, [] { return true; }));
}

TEST_F(WorkersTest, TheInterpretersInterruptHandlerIsOffAfterEveryWorker)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io, "signal.signal(signal.SIGINT, defaultSigIntSigaction)\n"));
    ASSERT_TRUE(YumIOTestAccess::evalTrue(*io, "signal.getsignal(signal.SIGINT) is defaultSigIntSigaction"));
    EXPECT_TRUE(runWorker(*io, [] { return false; }) == false);
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "signal.getsignal(signal.SIGINT) == signal.SIG_DFL"));
}
