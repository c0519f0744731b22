// Expected-exception scopes and the routing of interpreter errors: a declared
// exception is left pending for the caller to test, any other is printed with
// its traceback and reported as an internal error.
#include "engine/python.h"

void Python::pyExceptStart()
{
    exceptStack.push(QList<PyObject*>());
}

void Python::pyExceptExpect(PyObject* exceptionType)
{
    if (!exceptionType) {
        error("Internal error: pyExceptExpect called with NULL\n");
        return;
    }
    if (exceptStack.isEmpty()) {
        error("Internal error: pyExceptExpect called outside pyExceptStart\n");
        return;
    }
    exceptStack.top().append(exceptionType);
}

void Python::pyExceptClear()
{
    if (!exceptStack.isEmpty())
        exceptStack.pop();
    PyErr_Clear();
}

bool Python::pyExceptMatches(PyObject* result, PyObject* exceptionType)
{
    return !result && exceptionType && PyErr_Occurred() && PyErr_ExceptionMatches(exceptionType);
}

// Only the innermost scope counts: an outer scope's types belong to a call
// further out.
bool Python::pendingExpected() const
{
    if (exceptStack.isEmpty() || !PyErr_Occurred())
        return false;
    for (PyObject* type : exceptStack.top()) {
        if (PyErr_ExceptionMatches(type))
            return true;
    }
    return false;
}

void Python::handleException()
{
    if (pendingExpected())
        exceptionExpected();
    else
        exceptionError();
}

void Python::exceptionExpected()
{
}

void Python::exceptionError()
{
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type) {
        PyErr_NormalizeException(&type, &value, &traceback);
        writeTraceback(type, value, traceback);
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_Clear();
    error("Internal error: python exception occurred from C code\n");
}

// To the interpreter's sys.stderr, which the engine may be capturing into its
// log.
void Python::writeTraceback(PyObject* type, PyObject* value, PyObject* traceback)
{
    PyErr_Display(type, value, traceback);
}

PyObject* Python::pyExceptValue()
{
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type)
        return nullptr;
    PyErr_NormalizeException(&type, &value, &traceback);
    Py_DECREF(type);
    Py_XDECREF(traceback);
    return value;
}

// yum's own exceptions carry their message in "value"; others are shown as
// str() shows them.
PyObject* Python::pyExceptValuef()
{
    PyObject* value = pyExceptValue();
    if (!value)
        return nullptr;
    PyObject* text;
    if (PyObject_HasAttrString(value, "value"))
        text = PyObject_GetAttrString(value, "value");
    else
        text = PyObject_Str(value);
    Py_DECREF(value);
    if (!text && PyErr_Occurred())
        handleException();
    return text;
}
