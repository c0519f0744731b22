// Expected-exception scopes and error routing: declared exceptions are left
// for the caller without any report, all others are printed with their
// traceback and reported as internal errors.
#include "tests/engine/python_test.h"

#include <string>

namespace {

const char internalError[] = "Internal error: python exception occurred from C code\n";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

class PythonExceptTest : public PythonTest
{
protected:
    void SetUp() override
    {
        PythonTest::SetUp();
        defineRaiser("kuvRaiseKey", "raise KeyError('kuv key')");
        defineRaiser("kuvRaiseValue", "raise ValueError('kuv undeclared')");
        Python::PyGILStateWrapper lock(true);
        keyError = python->pyLookup("builtins.KeyError");
        valueError = python->pyLookup("builtins.ValueError");
        lookupError = python->pyLookup("builtins.LookupError");
        ASSERT_TRUE(keyError && valueError && lookupError);
    }

    PyObject* keyError = nullptr;
    PyObject* valueError = nullptr;
    PyObject* lookupError = nullptr;
};

TEST_F(PythonExceptTest, DeclaredExceptionIsLeftForTheCallerWithoutReport)
{
    Python::PyGILStateWrapper lock(true);
    StderrCapture capture;
    python->pyExceptStart();
    python->pyExceptExpect(keyError);
    PyObject* result = python->pyCall("kuvRaiseKey", "()");
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(python->pyExceptMatches(result, keyError));
    EXPECT_FALSE(python->pyExceptMatches(result, valueError));
    EXPECT_EQ(python->expectedCount, 1);
    EXPECT_EQ(python->errorCount, 0);

    PyObject* text = python->pyExceptValuef();
    EXPECT_STREQ(python->pyString(text), "'kuv key'");
    Py_XDECREF(text);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    python->pyExceptClear();

    EXPECT_EQ(capture.text(), "");
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonExceptTest, UndeclaredExceptionIsReportedAfterItsTraceback)
{
    Python::PyGILStateWrapper lock(true);
    StderrCapture capture;
    PyObject* result = python->pyCall("kuvRaiseValue", "()");
    std::string written = capture.text();
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_TRUE(contains(written, "Traceback (most recent call last)")) << written;
    EXPECT_TRUE(contains(written, "kuvRaiseValue")) << written;
    EXPECT_TRUE(contains(written, "ValueError: kuv undeclared")) << written;
    EXPECT_EQ(python->errorCount, 1);
    EXPECT_EQ(python->errors, std::vector<std::string>{internalError});
}

TEST_F(PythonExceptTest, ExceptionOutsideTheDeclaredTypesIsReported)
{
    Python::PyGILStateWrapper lock(true);
    StderrCapture capture;
    python->pyExceptStart();
    python->pyExceptExpect(keyError);
    PyObject* result = python->pyCall("kuvRaiseValue", "()");
    EXPECT_FALSE(python->pyExceptMatches(result, keyError));
    EXPECT_FALSE(python->pyExceptMatches(result, valueError));
    python->pyExceptClear();
    EXPECT_TRUE(contains(capture.text(), "ValueError: kuv undeclared"));
    EXPECT_EQ(python->expectedCount, 0);
    EXPECT_EQ(python->errors, std::vector<std::string>{internalError});
}

TEST_F(PythonExceptTest, DeclaredBaseTypeMatchesItsSubclasses)
{
    Python::PyGILStateWrapper lock(true);
    python->pyExceptStart();
    python->pyExceptExpect(valueError);
    python->pyExceptExpect(lookupError);
    PyObject* result = python->pyCall("kuvRaiseKey", "()");
    EXPECT_TRUE(python->pyExceptMatches(result, lookupError));
    EXPECT_TRUE(python->pyExceptMatches(result, keyError));
    python->pyExceptClear();
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonExceptTest, OnlyTheInnermostScopeIsConsulted)
{
    Python::PyGILStateWrapper lock(true);
    StderrCapture capture;
    python->pyExceptStart();
    python->pyExceptExpect(keyError);

    python->pyExceptStart();
    python->pyExceptExpect(valueError);
    PyObject* inner = python->pyCall("kuvRaiseKey", "()");
    EXPECT_FALSE(python->pyExceptMatches(inner, keyError));
    EXPECT_EQ(python->errors, std::vector<std::string>{internalError});
    PyObject* innerDeclared = python->pyCall("kuvRaiseValue", "()");
    EXPECT_TRUE(python->pyExceptMatches(innerDeclared, valueError));
    python->pyExceptClear();
    EXPECT_EQ(PyErr_Occurred(), nullptr);

    PyObject* outer = python->pyCall("kuvRaiseKey", "()");
    EXPECT_TRUE(python->pyExceptMatches(outer, keyError));
    python->pyExceptClear();
    EXPECT_EQ(PyErr_Occurred(), nullptr);

    // With every scope closed the type once declared is an internal error.
    EXPECT_EQ(python->pyCall("kuvRaiseKey", "()"), nullptr);
    capture.text();
    EXPECT_EQ(python->expectedCount, 2);
    EXPECT_EQ(python->errorCount, 2);
    EXPECT_EQ(python->errors, std::vector<std::string>(2, internalError));
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST_F(PythonExceptTest, NullTypeIsReportedAndNeverMatches)
{
    Python::PyGILStateWrapper lock(true);
    StderrCapture capture;
    python->pyExceptStart();
    python->pyExceptExpect(nullptr);
    PyObject* result = python->pyCall("kuvRaiseKey", "()");
    EXPECT_FALSE(python->pyExceptMatches(result, nullptr));
    python->pyExceptClear();
    capture.text();
    EXPECT_EQ(python->errors, (std::vector<std::string>{
                                  "Internal error: pyExceptExpect called with NULL\n", internalError}));
}

TEST_F(PythonExceptTest, SystemExitDeclaredThroughBuiltinsIsMatchedAndTheProcessGoesOn)
{
    defineRaiser("kuvExit", "raise SystemExit(1)");
    Python::PyGILStateWrapper lock(true);
    PyObject* systemExit = python->pyLookup("builtins.SystemExit");
    ASSERT_NE(systemExit, nullptr);
    python->pyExceptStart();
    python->pyExceptExpect(systemExit);
    PyObject* result = python->pyCall("kuvExit", "()");
    EXPECT_TRUE(python->pyExceptMatches(result, systemExit));
    python->pyExceptClear();
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonExceptTest, ValueTextPrefersTheExceptionsValueAttribute)
{
    Python::PyGILStateWrapper lock(true);
    ASSERT_TRUE(python->py("class KuvError(Exception):\n"
                           "    def __init__(self, value):\n"
                           "        Exception.__init__(self, 'wrapped')\n"
                           "        self.value = value\n"
                           "def kuvRaiseOwn():\n"
                           "    raise KuvError('the message')\n"));
    PyObject* ownError = python->pyLookup("KuvError");
    python->pyExceptStart();
    python->pyExceptExpect(ownError);
    PyObject* result = python->pyCall("kuvRaiseOwn", "()");
    ASSERT_TRUE(python->pyExceptMatches(result, ownError));
    PyObject* text = python->pyExceptValuef();
    EXPECT_STREQ(python->pyString(text), "the message");
    Py_XDECREF(text);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    python->pyExceptClear();

    // With nothing pending there is no value.
    EXPECT_EQ(python->pyExceptValue(), nullptr);
    EXPECT_TRUE(python->errors.empty());
}

TEST_F(PythonExceptTest, DeclaredFailuresOfMethodLookupAndExpressionsAreLeftPending)
{
    Python::PyGILStateWrapper lock(true);
    PyObject* attributeError = python->pyLookup("builtins.AttributeError");
    PyObject* number = PyLong_FromLong(1);
    python->pyExceptStart();
    python->pyExceptExpect(attributeError);
    python->pyExceptExpect(keyError);
    PyObject* missing = python->pyMethodCall(number, "kuvMissing", "()");
    EXPECT_TRUE(python->pyExceptMatches(missing, attributeError));
    PyErr_Clear();
    PyObject* absent = python->pyr("{}['absent']");
    EXPECT_TRUE(python->pyExceptMatches(absent, keyError));
    python->pyExceptClear();
    Py_DECREF(number);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
    EXPECT_EQ(python->expectedCount, 2);
    EXPECT_TRUE(python->errors.empty());
}
