// The module yumIOC as the companion script sees it: output and log lines in
// the engine's log, texts with surrogate escapes, argument checking of all
// twenty functions, and declared exceptions reported with the lines that the
// script logged since their scope opened.
#include "tests/engine/engine_test.h"

class CallbackTest : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(io->initialize());
        ASSERT_TRUE(YumIOTestAccess::py(*io, "import sys, yumIOC\n"));
        start = io->logList.lockedCount();
    }

    int start = 0;
};

TEST_F(CallbackTest, ScriptOutputWrittenInPiecesBecomesOneLogLine)
{
    // The script's standard streams write through the two callbacks.
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "class Stream:\n"
        "    def __init__(self, write): self.write = write\n"
        "    def flush(self): pass\n"
        "sys.stdout = Stream(yumIOC.stdoutWrite)\n"
        "sys.stderr = Stream(yumIOC.stderrWrite)\n"
        "print('Resolving', end=' ')\n"
        "print('dependencies', end='')\n"
        "print()\n"
        "print('second line')\n"));
    EXPECT_EQ(logLines(start), QStringList({"1/0:Resolving dependencies", "1/0:second line"}));

    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "sys.stderr.write('error: package kuv-app ')\n"
        "sys.stderr.write('conflicts\\nwith kuv-lib')\n"));
    EXPECT_EQ(logLines(start + 2), QStringList({"3/0:error: package kuv-app conflicts"}));
    ASSERT_TRUE(YumIOTestAccess::py(*io, "sys.stderr.write('\\n')\n"));
    EXPECT_EQ(logLines(start + 3), QStringList({"3/0:with kuv-lib"}));
    // The engine puts the interpreter's own streams back when it ends.
    endEngine();
}

// A runaway scriptlet's output arrives as one text of many lines: every
// line reaches the log in order, joined with what was pending before it,
// masked, and its unfinished end waits for the next piece, whether the text
// holds one byte a character or more.
TEST_F(CallbackTest, ALargeTextBecomesEveryLineInOrderJoinedWithThePendingPieces)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "lines = ['line %06d caf\\xe9' % i for i in range(60000)]\n"
        "lines[500] = 'get http://h/kivrel?user=u&password=Sesame99&path=x'\n"
        "yumIOC.stdoutWrite('head ')\n"
        "yumIOC.stdoutWrite('\\n'.join(lines) + '\\ntail')\n"
        "yumIOC.stdoutWrite(' \\u2713\\nwide \\u2713\\n' * 2 + 'more')\n"
        "yumIOC.stderrWrite('an error\\n')\n"
        "yumIOC.stdoutWrite('\\n')\n"));
    const QStringList logged = logLines(start);
    ASSERT_EQ(logged.size(), 60000 + 6);
    EXPECT_EQ(logged[0], QString::fromUtf8("1/0:head line 000000 café"));
    for (int i = 1; i < 60000; ++i) {
        const QString expected = i == 500 ? QStringLiteral("1/0:get http://h/kivrel?user=u&password=********&path=x")
                                          : QString::fromUtf8("1/0:line %1 café").arg(i, 6, 10, QChar('0'));
        ASSERT_EQ(logged[i], expected) << i;
    }
    EXPECT_EQ(logged.mid(60000), QStringList({QString::fromUtf8("1/0:tail ✓"), QString::fromUtf8("1/0:wide ✓"),
                                              QString::fromUtf8("1/0: ✓"), QString::fromUtf8("1/0:wide ✓"),
                                              QString::fromUtf8("3/0:an error"), QStringLiteral("1/0:more")}));
}

TEST_F(CallbackTest, LogLinesKeepTheirLevelAndErrorLogLinesAreErrors)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "yumIOC.log(5, 'TSINFO: kuv-lib-1.1-1.noarch marked as erase')\n"
        "yumIOC.log(2, 'nothing TSINFO: here')\n"
        "yumIOC.log(0, 'TSINFO:no blank')\n"
        "yumIOC.errorlog(1, 'first\\nsecond')\n"
        "yumIOC.errorlog(-4, 'below zero')\n"));
    EXPECT_EQ(logLines(start), QStringList({"0/5:TSINFO: kuv-lib-1.1-1.noarch marked as erase",
                                            "0/2:nothing TSINFO: here", "0/0:TSINFO:no blank",
                                            "3/1:first", "3/1:second", "3/0:below zero"}));
    EXPECT_TRUE(answerer.seen.isEmpty());
}

TEST_F(CallbackTest, TextsWithSurrogateEscapesPassThroughTheCallbacks)
{
    // A Latin-1 change log, as rpm's bindings hand it over.
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "latin = b'Jos\\xe9 M\\xfcller'.decode('utf-8', 'surrogateescape')\n"
        "yumIOC.log(2, '- fixed by ' + latin)\n"
        "yumIOC.errorlog(0, latin)\n"
        "yumIOC.stdoutWrite(latin + '\\n')\n"
        "yumIOC.stderrWrite('\\udcff\\n')\n"
        "passed = True\n"));
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "passed"));
    EXPECT_EQ(logLines(start), QStringList({QString::fromUtf8("0/2:- fixed by José Müller"),
                                            QString::fromUtf8("3/0:José Müller"),
                                            QString::fromUtf8("1/0:José Müller"),
                                            QString::fromUtf8("3/0:ÿ")}));
}

TEST_F(CallbackTest, EveryFunctionTakesItsArgumentsAndRejectsOthers)
{
    // Outside any operation no progress reporter is installed: the progress
    // callbacks must leave the bars alone.
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "answers = [\n"
        "    yumIOC.collectProgress(1, 5, 'kuv-main'),\n"
        "    yumIOC.collectProgress(-1, -1, None),\n"
        "    yumIOC.collectGrabMeterStart('http://h/r/repodata/repomd.xml', 'a', 'b', 1024, None),\n"
        "    yumIOC.collectGrabMeterUpdate(512),\n"
        "    yumIOC.collectGrabMeterEnd(1024),\n"
        "    yumIOC.applyGrabMeterStart('http://h/kivrel?u=a&p=b&path=r/x.rpm', None, None, 10, None),\n"
        "    yumIOC.applyGrabMeterUpdate(5),\n"
        "    yumIOC.applyGrabMeterEnd(10),\n"
        "    yumIOC.dsTsCheck(),\n"
        "    yumIOC.dsRestartLoop(),\n"
        "    yumIOC.reportDownloadSize([]),\n"
        "    yumIOC.tsInitCallback(0),\n"
        "    yumIOC.tsCallback(4, 0, 0, None, None),\n"
        "    yumIOC.tsEvent('kuv-lib', 40, 1, 2, 1, 1),\n"
        "]\n"
        "rejected = []\n"
        "for call in [lambda: yumIOC.stdoutWrite(5), lambda: yumIOC.stderrWrite(b'bytes'),\n"
        "             lambda: yumIOC.log('level', 'text'), lambda: yumIOC.errorlog(1),\n"
        "             lambda: yumIOC.collectProgress(1, 2), lambda: yumIOC.collectGrabMeterUpdate('x'),\n"
        "             lambda: yumIOC.applyGrabMeterStart(1, 2, 3, 'size', 5),\n"
        "             lambda: yumIOC.dsTsCheck(1), lambda: yumIOC.dsRestartLoop(None),\n"
        "             lambda: yumIOC.userconfirm(True), lambda: yumIOC.tsInitCallback(),\n"
        "             lambda: yumIOC.tsCallback(1, 2, 3), lambda: yumIOC.tsEvent(None, 'a', 1, 2, 3, 4),\n"
        "             lambda: yumIOC.listTransaction()]:\n"
        "    try:\n"
        "        call()\n"
        "        rejected.append(False)\n"
        "    except TypeError:\n"
        "        rejected.append(True)\n"));
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "repr(answers)").toStdString(),
              "[None, None, None, None, None, None, None, None, None, None, None, None, None, "
              "None]");
    EXPECT_EQ(YumIOTestAccess::evalText(*io, "repr(rejected)").toStdString(),
              "[True, True, True, True, True, True, True, True, True, True, True, True, True, True]");
    EXPECT_TRUE(logLines(start).isEmpty());
    EXPECT_TRUE(answerer.seen.isEmpty());
    EXPECT_TRUE(YumIOTestAccess::evalTrue(*io, "len(dir(yumIOC)) >= 20"));
}

TEST_F(CallbackTest, ADeclaredExceptionShowsItsValueTheHeadlineAndTheErrorsSinceItsScopeOpened)
{
    ASSERT_TRUE(YumIOTestAccess::py(*io,
        "import yum.Errors\n"
        "def preparing():\n"
        "    yumIOC.errorlog(0, 'Cannot retrieve repository metadata for kuv-remote')\n"
        "def failing():\n"
        "    yumIOC.stderrWrite('curl: (7) Failed to connect\\n')\n"
        "    yumIOC.errorlog(3, 'too detailed for the box')\n"
        "    yumIOC.stdoutWrite('ordinary output\\n')\n"
        "    yumIOC.log(0, 'ordinary log line')\n"
        "    raise yum.Errors.RepoError('Cannot download http://h/kivrel/repodata/repomd.xml'\n"
        "                               '?user=joe&password=Sesame99&path=remote')\n"));
    io->log(Log::Error, 0, QStringLiteral("an error from before the scope"));

    bool matched = false;
    EXPECT_TRUE(runWorker(*io, [&] {
        YumIODialogsUser relay(YumIOTestAccess::dialogs(*io), YumIOTestAccess::parent(*io));
        Python::PyGILStateWrapper guard(true);
        PyObject* repoError = YumIOTestAccess::pyLookup(*io, "yum.Errors.RepoError");
        YumIOTestAccess::pyExceptStart(*io);
        YumIOTestAccess::pyExceptExpect(*io, repoError);
        Py_XDECREF(YumIOTestAccess::pyCall(*io, "preparing"));
        // A question asked in between in a scope of its own, as the
        // engine asks whether delta rpms are used in the middle of an apply.
        YumIOTestAccess::pyExceptStart(*io);
        YumIOTestAccess::pyExceptExpect(*io, YumIOTestAccess::pyLookup(*io, "builtins.KeyError"));
        Py_XDECREF(YumIOTestAccess::pyCall(*io, "builtins.dict"));
        YumIOTestAccess::pyExceptClear(*io);
        PyObject* result = YumIOTestAccess::pyCall(*io, "failing");
        matched = YumIOTestAccess::pyExceptMatches(*io, result, repoError);
        if (matched)
            io->pythonExceptionV(QStringLiteral("Unable to initialize"));
        YumIOTestAccess::pyExceptClear(*io);
        return PyErr_Occurred() == nullptr;
    }));
    EXPECT_TRUE(matched);
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].className.toStdString(), "ScrollableErrorDialog");
    EXPECT_EQ(answerer.seen[0].title.toStdString(), "KUV Yum Error");
    EXPECT_EQ(answerer.seen[0].text.toStdString(),
              "Cannot retrieve repository metadata for kuv-remote\n"
              "curl: (7) Failed to connect\n"
              "Cannot download http://h/kivrel/repodata/repomd.xml?user=joe&password=********&path=remote\n"
              "Unable to initialize");
    EXPECT_TRUE(YumIOTestAccess::marks(*io).isEmpty());
}

TEST_F(CallbackTest, ACallbackNeverReturnsWithAStrayErrorOrANullWithoutOne)
{
    Python::PyGILStateWrapper guard(true);
    PyObject* keyError = YumIOTestAccess::pyLookup(*io, "builtins.KeyError");
    // The script call around the callbacks expects KeyError; inside a
    // callback that expectation does not hold.
    YumIOTestAccess::pyExceptStart(*io);
    YumIOTestAccess::pyExceptExpect(*io, keyError);

    PyObject* result = YumIOTestAccess::callbackFrame(*io, [&] {
        PyObject* missing = YumIOTestAccess::python(*io).pyr("{}['absent']");
        EXPECT_EQ(missing, nullptr);
        EXPECT_EQ(PyErr_Occurred(), nullptr);
        Py_RETURN_NONE;
    });
    EXPECT_EQ(result, Py_None);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    Py_XDECREF(result);

    // A handler that failed without saying why: the script gets an exception.
    result = YumIOTestAccess::callbackFrame(*io, [] { return nullptr; });
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(PyErr_ExceptionMatches(PyExc_RuntimeError));
    PyErr_Clear();

    // A handler that went on past an interpreter error: reported, cleared.
    result = YumIOTestAccess::callbackFrame(*io, [] {
        PyErr_SetString(PyExc_ValueError, "left behind");
        Py_RETURN_NONE;
    });
    EXPECT_EQ(result, Py_None);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    Py_XDECREF(result);

    // An argument error stays for the script to see.
    result = YumIOTestAccess::callbackFrame(*io, [] {
        PyErr_SetString(PyExc_TypeError, "wrong argument");
        return nullptr;
    });
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(PyErr_ExceptionMatches(PyExc_TypeError));
    PyErr_Clear();

    YumIOTestAccess::pyExceptClear(*io);
    EXPECT_TRUE(YumIOTestAccess::marks(*io).isEmpty());
    const QStringList errors = logLines(start).filter(QStringLiteral("python exception occurred"));
    EXPECT_EQ(errors.size(), 2);
    EXPECT_EQ(answerer.seen.size(), 2);
}
