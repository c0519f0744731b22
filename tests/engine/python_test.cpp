// The interpreter wrapper's start-up, name resolution, values, calls, string
// conversion and running of source text.
#include "tests/engine/python_test.h"

#include <csignal>
#include <string>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

long longOf(PyObject* object)
{
    return object && PyLong_Check(object) ? PyLong_AsLong(object) : -1;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

PyObject* answer(PyObject*, PyObject*)
{
    return PyLong_FromLong(42);
}

PyMethodDef testModuleMethods[] = {
    {"answer", answer, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef testModule = {
    PyModuleDef_HEAD_INIT, "kuvTestModule", nullptr, -1, testModuleMethods,
    nullptr, nullptr, nullptr, nullptr,
};

} // namespace

TEST_F(PythonTest, StartupLeavesTheLockFreeAndInitializeAgainKeepsTheInterpreter)
{
    EXPECT_TRUE(Python::initialized);
    EXPECT_TRUE(Py_IsInitialized());
    EXPECT_FALSE(PyGILState_Check());

    PyObject* dict = Python::main_dict;
    ASSERT_NE(dict, nullptr);
    {
        Python::PyGILStateWrapper lock(true);
        ASSERT_TRUE(python->py("kuvMarker = 41"));
    }
    EXPECT_TRUE(python->initialize());
    EXPECT_EQ(Python::main_dict, dict);
    EXPECT_FALSE(PyGILState_Check());
    {
        Python::PyGILStateWrapper lock(true);
        EXPECT_EQ(longOf(python->pyValue("__main__", "kuvMarker")), 41);
        // The interpreter's own interrupt handler was kept at start-up.
        PyObject* kept = python->pyr("defaultSigIntSigaction is signal.default_int_handler");
        EXPECT_EQ(kept, Py_True);
        Py_XDECREF(kept);
    }
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, SystemPrefixIsUsedSoRpmAndDnfImport)
{
    Python::PyGILStateWrapper lock(true);
    EXPECT_STREQ(python->pyString(python->pyLookup("sys.prefix")), "/usr");
    EXPECT_TRUE(python->py("import rpm\nimport dnf\n"));
    PyObject* base = python->pyLookup("dnf.Base");
    ASSERT_NE(base, nullptr);
    EXPECT_TRUE(PyCallable_Check(base));
    EXPECT_NE(python->pyLookup("rpm.RPMTAG_NAME"), nullptr);
    EXPECT_TRUE(python->errors.empty());
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST_F(PythonTest, DottedLookupImportsTheModuleOfItsFirstComponent)
{
    Python::PyGILStateWrapper lock(true);
    PyObject* name = PyUnicode_FromString("colorsys");
    PyObject* before = PyImport_GetModule(name);
    Py_DECREF(name);
    ASSERT_EQ(before, nullptr) << "colorsys must not be imported before the lookup";

    PyObject* convert = python->pyLookup("colorsys.rgb_to_hsv");
    ASSERT_NE(convert, nullptr);
    EXPECT_TRUE(PyCallable_Check(convert));
    EXPECT_EQ(PyDict_GetItemString(Python::main_dict, "colorsys"), nullptr);

    PyObject* joined = python->pyCall("os.path.join", "(ss)", "usr", "share");
    EXPECT_STREQ(python->pyString(joined), "usr/share");
    Py_XDECREF(joined);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, LookupReportsWhatIsNeitherGlobalNorModuleWithNothingPending)
{
    Python::PyGILStateWrapper lock(true);
    StderrCapture capture;
    EXPECT_EQ(python->pyLookup("kuvNoSuchModule.thing"), nullptr);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_EQ(python->pyLookup("os.kuvNoSuchName"), nullptr);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(python->errors, (std::vector<std::string>{
                                  "Internal error: kuvNoSuchModule not found\n",
                                  "Internal error: kuvNoSuchName not found\n",
                              }));
}

TEST_F(PythonTest, LookupResolvesGlobalDictionariesAndUnimportedSubmodules)
{
    Python::PyGILStateWrapper lock(true);
    ASSERT_TRUE(python->py("kuvTable = {'inner': {'leaf': 7}}"));
    EXPECT_EQ(longOf(python->pyLookup("kuvTable.inner.leaf")), 7);
    // json does not import json.tool itself.
    PyObject* main = python->pyLookup("json.tool.main");
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(PyCallable_Check(main));
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, LookupOfModuleThatFailsToLoadShowsWhyAndSurvivesSystemExit)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile broken(folder.filePath("kuvbroken.py"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("raise RuntimeError('broken on purpose')\n");
    broken.close();
    QFile exits(folder.filePath("kuvexits.py"));
    ASSERT_TRUE(exits.open(QIODevice::WriteOnly));
    exits.write("raise SystemExit(3)\n");
    exits.close();

    Python::PyGILStateWrapper lock(true);
    ASSERT_TRUE(python->pyf("import sys\nsys.path.insert(0, '%s')\n", qPrintable(folder.path())));
    StderrCapture capture;
    EXPECT_EQ(python->pyLookup("kuvbroken.thing"), nullptr);
    EXPECT_EQ(python->pyLookup("kuvexits.thing"), nullptr);
    std::string written = capture.text();
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_TRUE(contains(written, "RuntimeError: broken on purpose")) << written;
    EXPECT_TRUE(contains(written, "SystemExit")) << written;
    EXPECT_EQ(python->errors, (std::vector<std::string>{
                                  "Internal error: kuvbroken not found\n",
                                  "Internal error: kuvexits not found\n",
                              }));
    python->py("sys.path.pop(0)");
}

TEST_F(PythonTest, AssignAndValueWorkOnModulesAndDictionaries)
{
    Python::PyGILStateWrapper lock(true);
    PyObject* five = PyLong_FromLong(5);
    python->pyAssign("sys", "kuvValue", five);
    EXPECT_EQ(python->pyValue("sys", "kuvValue"), five);
    EXPECT_EQ(python->pyValue("sys", "kuvAbsent"), nullptr);

    ASSERT_TRUE(python->py("kuvBag = {}"));
    python->pyAssign("kuvBag", "count", five);
    PyObject* stored = python->pyr("kuvBag['count']");
    EXPECT_EQ(stored, five);
    Py_XDECREF(stored);

    EXPECT_EQ(python->pyAssignGlobal("kuvGlobal", five), 0);
    EXPECT_EQ(python->pyValue("__main__", "kuvGlobal"), five);
    Py_DECREF(five);

    EXPECT_EQ(python->pyVersion(), PY_VERSION_HEX);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, AssignFaultsAreReportedWithNothingPending)
{
    Python::PyGILStateWrapper lock(true);
    PyObject* one = PyLong_FromLong(1);
    python->pyAssign("kuvNoSuch", "x", one);
    ASSERT_FALSE(python->errors.empty());
    EXPECT_EQ(python->errors.back(), "Internal error: kuvNoSuch not found\n");
    python->errors.clear();

    python->pyAssign("sys.hexversion", "x", one);
    EXPECT_EQ(python->errors, (std::vector<std::string>{
                                  "Internal error: sys.hexversion is neither module nor dictionary\n"}));
    python->errors.clear();

    python->pyAssign("sys", "kuvNull", nullptr);
    EXPECT_EQ(python->errors, (std::vector<std::string>{"Internal error: cannot assign sys.kuvNull\n"}));
    EXPECT_EQ(python->pyValue("sys", "kuvNull"), nullptr);
    Py_DECREF(one);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST_F(PythonTest, MethodAndFunctionCallsPassTheirBuiltArguments)
{
    Python::PyGILStateWrapper lock(true);
    PyObject* text = PyUnicode_FromString("a,b,c");
    PyObject* parts = python->pyMethodCall(text, "split", "(s)", ",");
    ASSERT_NE(parts, nullptr);
    EXPECT_EQ(PyList_Size(parts), 3);
    Py_DECREF(parts);
    PyObject* upper = python->pyMethodCall(text, "upper", "()");
    EXPECT_STREQ(python->pyString(upper), "A,B,C");
    Py_XDECREF(upper);
    Py_DECREF(text);

    // A format without parentheses passes its one value as the argument.
    PyObject* length = python->pyCall("builtins.len", "s", "four");
    EXPECT_EQ(longOf(length), 4);
    Py_XDECREF(length);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, CallFaultsAreReportedWithNothingPending)
{
    Python::PyGILStateWrapper lock(true);
    PyObject* number = PyLong_FromLong(3);
    EXPECT_EQ(python->pyMethodCall(nullptr, "split", "()"), nullptr);
    EXPECT_EQ(python->pyMethodCall(number, "kuvMissing", "()"), nullptr);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_EQ(python->pyMethodCall(number, "real", "()"), nullptr);
    EXPECT_EQ(python->pyCall("sys.hexversion", "()"), nullptr);
    EXPECT_EQ(python->pyCall("kuvNoSuchModule.f", "()"), nullptr);
    Py_DECREF(number);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_EQ(python->errorCount, 0);
    EXPECT_EQ(python->errors, (std::vector<std::string>{
                                  "Internal error: method split call attemped with NULL self\n",
                                  "Internal error: method kuvMissing not found\n",
                                  "Internal error: method real not callable\n",
                                  "Internal error: sys.hexversion not callable\n",
                                  "Internal error: kuvNoSuchModule not found\n",
                                  "Internal error: kuvNoSuchModule.f not found\n",
                              }));
}

TEST_F(PythonTest, FailedArgumentBuildIsAnInternalErrorAndCallsNothing)
{
    Python::PyGILStateWrapper lock(true);
    ASSERT_TRUE(python->py("kuvCalls = []\ndef kuvRecord(*args):\n    kuvCalls.append(args)\n"));
    StderrCapture capture;
    EXPECT_EQ(python->pyCall("kuvRecord", "(O)", static_cast<PyObject*>(nullptr)), nullptr);
    PyObject* list = PyList_New(0);
    EXPECT_EQ(python->pyMethodCall(list, "append", "(O)", static_cast<PyObject*>(nullptr)), nullptr);
    std::string written = capture.text();
    EXPECT_EQ(PyList_Size(list), 0);
    Py_DECREF(list);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_TRUE(contains(written, "SystemError")) << written;
    EXPECT_EQ(python->errorCount, 2);
    EXPECT_EQ(python->errors, (std::vector<std::string>(2, "Internal error: python exception occurred from C code\n")));
    PyObject* calls = python->pyr("len(kuvCalls)");
    EXPECT_EQ(longOf(calls), 0);
    Py_XDECREF(calls);
}

TEST_F(PythonTest, PyStringGivesUtf8TextAndNullForNoneWithoutReport)
{
    Python::PyGILStateWrapper lock(true);
    EXPECT_EQ(python->pyString(Py_None), nullptr);
    EXPECT_TRUE(python->errors.empty());

    PyObject* text = PyUnicode_FromString("Gr\xc3\xbc\xc3\x9f" "e");
    EXPECT_STREQ(python->pyString(text), "Gr\xc3\xbc\xc3\x9f" "e");
    Py_DECREF(text);
    PyObject* bytes = PyBytes_FromString("raw");
    EXPECT_STREQ(python->pyString(bytes), "raw");
    Py_DECREF(bytes);
    EXPECT_TRUE(python->errors.empty());

    EXPECT_EQ(python->pyString(nullptr), nullptr);
    EXPECT_EQ(python->errors, (std::vector<std::string>{"Internal error: pyString passed NULL python object\n"}));
    python->errors.clear();

    StderrCapture capture;
    PyObject* number = PyLong_FromLong(7);
    EXPECT_EQ(python->pyString(number), nullptr);
    Py_DECREF(number);
    capture.text();
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_EQ(python->errorCount, 1);
    EXPECT_EQ(python->errors, (std::vector<std::string>{"Internal error: python exception occurred from C code\n"}));
}

TEST_F(PythonTest, FormattedCodeLongerThanTenThousandCharactersRunsWhole)
{
    Python::PyGILStateWrapper lock(true);
    std::string elements;
    for (int i = 0; i < 6000; ++i)
        elements += "1,";
    ASSERT_GT(elements.size(), 10240u);
    PyObject* count = python->pyrf("len([%s]) + %d", elements.c_str(), 5);
    EXPECT_EQ(longOf(count), 6005);
    Py_XDECREF(count);

    std::string letters(20000, 'x');
    ASSERT_TRUE(python->pyf("kuvLong = '%s'\nkuvLongEnd = %d\n", letters.c_str(), 1));
    PyObject* length = python->pyr("len(kuvLong) + kuvLongEnd");
    EXPECT_EQ(longOf(length), 20001);
    Py_XDECREF(length);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, RunningCodeReportsItsExceptionsAndSurvivesSystemExit)
{
    Python::PyGILStateWrapper lock(true);
    StderrCapture capture;
    EXPECT_FALSE(python->py("raise SystemExit(3)"));
    EXPECT_EQ(python->pyr("1 +"), nullptr);
    std::string written = capture.text();
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_TRUE(contains(written, "SystemExit: 3")) << written;
    EXPECT_TRUE(contains(written, "SyntaxError")) << written;
    EXPECT_EQ(python->errors, (std::vector<std::string>(2, "Internal error: python exception occurred from C code\n")));
    EXPECT_TRUE(python->py("kuvStillRunning = True"));
}

TEST_F(PythonTest, InterruptHandlerSwitchesBetweenDefaultActionAndInterpreter)
{
    Python::PyGILStateWrapper lock(true);
    struct sigaction action;

    python->setEnablePythonSIGINTHandler(false);
    PyObject* isDefault = python->pyr("signal.getsignal(signal.SIGINT) is signal.SIG_DFL");
    EXPECT_EQ(isDefault, Py_True);
    Py_XDECREF(isDefault);
    ASSERT_EQ(sigaction(SIGINT, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL);

    python->setEnablePythonSIGINTHandler(true);
    PyObject* isOwn = python->pyr("signal.getsignal(signal.SIGINT) is signal.default_int_handler");
    EXPECT_EQ(isOwn, Py_True);
    Py_XDECREF(isOwn);
    ASSERT_EQ(sigaction(SIGINT, nullptr, &action), 0);
    EXPECT_NE(action.sa_handler, SIG_DFL);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonTest, ModuleRegisteredAfterStartupCanBeImported)
{
    Python::PyGILStateWrapper lock(true);
    ASSERT_TRUE(python->pyRegisterModule(&testModule));
    ASSERT_TRUE(python->py("import kuvTestModule\nkuvAnswer = kuvTestModule.answer()\n"));
    EXPECT_EQ(longOf(python->pyValue("__main__", "kuvAnswer")), 42);
    EXPECT_TRUE(python->errors.empty());
}

// Finalising cannot be undone within a process, so this runs only where it
// has the process to itself, as ctest runs every test.
TEST(PythonLifecycle, DestructionFinalizesTheInterpreter)
{
    if (Python::initialized || ::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
        GTEST_SKIP() << "needs a process of its own";
    {
        RecordingPython python;
        ASSERT_TRUE(python.initialize());
        EXPECT_TRUE(Py_IsInitialized());
    }
    EXPECT_FALSE(Py_IsInitialized());
    EXPECT_FALSE(Python::initialized);
    EXPECT_EQ(Python::main_dict, nullptr);
}
