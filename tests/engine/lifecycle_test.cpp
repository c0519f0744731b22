// The engine's life on a real sandbox: start-up through the companion
// script, failures of the start reported to the user, a script call on a
// worker, reset, and the end that lets yum's lock go once and survives
// callbacks made while the interpreter ends.
#include "tests/engine/engine_test.h"

#include "engine/yumioc.h"

#include <atomic>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QStringList fileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

}

TEST_F(ScriptTest, StartsTheCompanionScriptOnTheConfigurationOfTheProgram)
{
    ASSERT_TRUE(io->initialize());
    EXPECT_TRUE(answerer.seen.isEmpty());
    PyObject* object = YumIOTestAccess::yumIO(*io);
    ASSERT_NE(object, nullptr);
    publishScriptObject();
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "isinstance(engineObject, YumIO)"));
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "__import__('yumIOC').configroot"), sandbox.root());
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "__import__('yumIOC').yumconf"), sandbox.yumConf());
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "' '.join(sys.argv)").toStdString(), "kuv info");
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "'rpm' in sys.modules"));
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "signal.getsignal(signal.SIGINT) == signal.SIG_DFL"));

    // Started once: a second start neither runs the script again nor makes
    // another object.
    ASSERT_TRUE(YumIOTestAccess::py(*io, "YumIO.kuvMarker = 1\n"));
    ASSERT_TRUE(io->initialize());
    EXPECT_EQ(YumIOTestAccess::yumIO(*io), object);
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "getattr(YumIO, 'kuvMarker', 0) == 1"));
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(ScriptTest, AScriptCallOnAWorkerLeavesTheGuiLoopRunning)
{
    ASSERT_TRUE(io->initialize());
    std::atomic<bool> inCall{false};
    int ticksDuringCall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (inCall)
            ++ticksDuringCall;
    });
    ticker.start(2);
    // The kivrel repository needs its server; this run leaves it out, as
    // the session flags would.
    ASSERT_TRUE(YumIOTestAccess::py(*io, "import yumIOC\n"));
    PyObject* object = YumIOTestAccess::yumIO(*io);
    publishScriptObject();
    ASSERT_TRUE(YumIOTestAccess::py(*io, "engineObject.repos.disableRepo('kuv-remote')\n"));
    const bool result = runWorker(*io, [&] {
        Python::PyGILStateWrapper guard(true);
        inCall = true;
        PyObject* repos = YumIOTestAccess::pyMethodCall(*io, object, "setupRepos");
        PyObject* ts = repos ? YumIOTestAccess::pyMethodCall(*io, object, "setupTs") : nullptr;
        inCall = false;
        Py_XDECREF(ts);
        Py_XDECREF(repos);
        return repos && ts;
    });
    EXPECT_TRUE(result);
    EXPECT_GE(ticksDuringCall, 1);
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(ScriptTest, ShutDownLetsYumsLockGoOnceAndSurvivesCallbacksWhileTheInterpreterEnds)
{
    QTemporaryDir records;
    ASSERT_TRUE(records.isValid());
    ASSERT_TRUE(io->initialize());
    const QByteArray recordsPath = records.path().toUtf8();
    // Counts the script's lock calls, and leaves callbacks for the end of
    // the interpreter: an atexit handler and an object collected then.
    ASSERT_TRUE(YumIOTestAccess::py(*io, QByteArray(
        "import atexit, yumIOC\n"
        "records = '" + recordsPath + "'\n"
        "def note(name, text, open=open):\n"
        "    with open(records + '/' + name, 'a') as f:\n"
        "        f.write(text + '\\n')\n"
        "_lock, _unlock, _flush = YumIO.lock, YumIO.unlock, YumIO.flush\n"
        "def countingLock(self):\n"
        "    note('lock', str(id(self)))\n"
        "    return _lock(self)\n"
        "def countingUnlock(self):\n"
        "    note('unlock', str(id(self)))\n"
        "    return _unlock(self)\n"
        "def countingFlush(self):\n"
        "    note('flush', str(id(self)))\n"
        "    return _flush(self)\n"
        "YumIO.lock, YumIO.unlock, YumIO.flush = countingLock, countingUnlock, countingFlush\n"
        "def late():\n"
        "    yumIOC.stdoutWrite('late output\\n')\n"
        "    yumIOC.log(0, 'late log')\n"
        "    answer = yumIOC.userconfirm()\n"
        "    note('atexit', 'survived %r' % (answer,))\n"
        "atexit.register(late)\n"
        // Bound early: by the time it is collected, the module's globals
        // and the builtins may be gone.
        "class Lingering:\n"
        "    def __del__(self, note=note, errorlog=yumIOC.errorlog):\n"
        "        errorlog(0, 'collected late')\n"
        "        note('del', 'survived')\n"
        "lingering = Lingering()\n").constData()));

    // The test's own worker takes the lock, as the collection will.
    PyObject* first = YumIOTestAccess::yumIO(*io);
    EXPECT_TRUE(runWorker(*io, [&] {
        Python::PyGILStateWrapper guard(true);
        PyObject* lockError = YumIOTestAccess::pyLookup(*io, "yum.Errors.LockError");
        YumIOTestAccess::pyExceptStart(*io);
        YumIOTestAccess::pyExceptExpect(*io, lockError);
        PyObject* result = YumIOTestAccess::pyMethodCall(*io, first, "lock");
        const bool locked = result != nullptr;
        Py_XDECREF(result);
        YumIOTestAccess::pyExceptClear(*io);
        YumIOTestAccess::yumLocked(*io) = true;
        return locked;
    }));
    EXPECT_TRUE(QFile::exists(pidFile()));

    // A reset flushes, replaces the object and keeps the lock.
    io->clear();
    EXPECT_NE(YumIOTestAccess::yumIO(*io), nullptr);
    EXPECT_EQ(fileLines(records.path() + "/flush").size(), 1);
    PyObject* current = YumIOTestAccess::yumIO(*io);
    {
        Python::PyGILStateWrapper guard(true);
        YumIOTestAccess::python(*io).pyAssignGlobal("currentObject", current);
    }
    const QString currentId = YumIOTestAccess::evalText(*io, "str(id(currentObject))");
    EXPECT_TRUE(QFile::exists(pidFile()));

    // Lines that reach the log while the interpreter ends would mean the
    // callbacks still found the engine.
    bool ending = false;
    int lateLines = 0;
    QObject::connect(&io->logList, &Log::EntryList::appended, [&] {
        if (ending)
            ++lateLines;
    });
    ending = true;
    endEngine();
    EXPECT_EQ(lateLines, 0);
    EXPECT_EQ(YumIOC::engine(), nullptr);
    EXPECT_EQ(fileLines(records.path() + "/lock").size(), 1);
    const QStringList unlocks = fileLines(records.path() + "/unlock");
    EXPECT_EQ(unlocks, QStringList({currentId}));
    EXPECT_FALSE(QFile::exists(pidFile()));
    EXPECT_EQ(fileLines(records.path() + "/atexit"), QStringList({"survived None"}));
    EXPECT_EQ(fileLines(records.path() + "/del"), QStringList({"survived"}));
    EXPECT_TRUE(answerer.seen.isEmpty());
}

// One failed start: what the share folder's script does, and the texts that
// must reach the user.
struct BrokenStart
{
    const char* name;
    // The script's text; null: there is none.
    const char* script;
    // Run before the start, with the interpreter already running.
    const char* before;
    QStringList reported;
};

void PrintTo(const BrokenStart& broken, std::ostream* out)
{
    *out << broken.name;
}

class BrokenStartTest : public EngineTest, public ::testing::WithParamInterface<BrokenStart>
{
};

TEST_P(BrokenStartTest, ReportsWhyTheEngineCouldNotStart)
{
    const BrokenStart& broken = GetParam();
    QTemporaryDir share;
    ASSERT_TRUE(share.isValid());
    ASSERT_TRUE(QDir(share.path()).mkdir("python"));
    if (broken.script) {
        QFile file(share.path() + "/python/YumIO.py");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(broken.script);
    }
    const QByteArray savedShare = qgetenv("KUVSHARE");
    qputenv("KUVSHARE", share.path().toUtf8());

    makeEngine();
    DialogAnswerer answerer;
    if (broken.before) {
        ASSERT_TRUE(YumIOTestAccess::startInterpreter(*io));
        ASSERT_TRUE(YumIOTestAccess::py(*io, broken.before));
    }
    EXPECT_FALSE(io->initialize());
    qputenv("KUVSHARE", savedShare);

    QStringList shown;
    for (const SeenDialog& dialog : answerer.seen)
        shown << dialog.text;
    EXPECT_EQ(shown, broken.reported);
    // Every report is in the log too.
    const QStringList errors = logLines().filter(QRegularExpression("^3/"));
    for (const QString& text : broken.reported) {
        const QString lastLine = text.split('\n').last();
        EXPECT_TRUE(errors.contains("3/0:" + lastLine)) << lastLine.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Engine, BrokenStartTest,
    ::testing::Values(
        BrokenStart{"MissingScript", nullptr, nullptr,
                    {"Internal error: unable to open YumIO.py"}},
        BrokenStart{"ScriptRaises", "raise RuntimeError('broken script')\n", nullptr,
                    {"Internal error: python exception occurred from C code\n",
                     "Internal error: unable to execute YumIO.py"}},
        // Leaving at the top of the script does not end the program.
        BrokenStart{"ScriptExits", "raise SystemExit(3)\n", nullptr,
                    {"Internal error: python exception occurred from C code\n",
                     "Internal error: unable to execute YumIO.py"}},
        BrokenStart{"NoScriptClass", "import yumIOC\nvalue = 1\n", nullptr,
                    {"Internal error: cannot find python YumIO"}},
        BrokenStart{"ObjectExits",
                    "class YumIO:\n"
                    "    def __init__(self):\n"
                    "        raise SystemExit('Cannot read the yum configuration /etc/yum.conf')\n",
                    nullptr,
                    {"Cannot read the yum configuration /etc/yum.conf\nUnable to initialize"}},
        BrokenStart{"ObjectFails",
                    "class YumIO:\n"
                    "    def __init__(self):\n"
                    "        raise ValueError('unexpected')\n",
                    nullptr,
                    {"Internal error: python exception occurred from C code\n",
                     "Internal error: cannot create python yumIO"}},
        BrokenStart{"NoRpmModule", "class YumIO:\n    pass\n", "import sys\nsys.modules['rpm'] = None\n",
                    {"Internal error: python exception occurred from C code\n",
                     "Internal error: cannot find python rpm module"}}),
    [](const ::testing::TestParamInfo<BrokenStart>& info) { return std::string(info.param.name); });
