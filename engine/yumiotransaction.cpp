// The callbacks through which the script reports an apply: dependency
// solving, downloads, the transaction listing and the user's confirmation,
// and rpm's progress. For now they check their arguments (a wrong argument
// raises in the script) and change nothing: userconfirm answers with
// `confirmed`, which nothing sets yet, so the script applies nothing. Bars
// are reached through `progress`, which is null outside an operation's
// progress scope.
#include "engine/yumio.h"

PyObject* YumIO::applyGrabMeterStart(PyObject* self, PyObject* args)
{
    PyObject* url = nullptr;
    PyObject* second = nullptr;
    PyObject* third = nullptr;
    long long size = 0;
    PyObject* progressText = nullptr;
    if (!PyArg_ParseTuple(args, "OOOLO", &url, &second, &third, &size, &progressText))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::applyGrabMeterUpdate(PyObject* self, PyObject* args)
{
    long long read = 0;
    if (!PyArg_ParseTuple(args, "L", &read))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::applyGrabMeterEnd(PyObject* self, PyObject* args)
{
    long long total = 0;
    if (!PyArg_ParseTuple(args, "L", &total))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::dsTsCheck(PyObject* self, PyObject* args)
{
    Py_RETURN_NONE;
}

PyObject* YumIO::dsRestartLoop(PyObject* self, PyObject* args)
{
    Py_RETURN_NONE;
}

void YumIO::dsTsInfo(const QString& text)
{
    Q_UNUSED(text);
}

PyObject* YumIO::userconfirm(PyObject* self, PyObject* args)
{
    return PyLong_FromLong(confirmed ? 1 : 0);
}

PyObject* YumIO::reportDownloadSize(PyObject* self, PyObject* args)
{
    PyObject* packages = nullptr;
    if (!PyArg_ParseTuple(args, "O", &packages))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::listTransaction(PyObject* self, PyObject* args)
{
    PyObject* yb = nullptr;
    if (!PyArg_ParseTuple(args, "O", &yb))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::tsInitCallback(PyObject* self, PyObject* args)
{
    long count = 0;
    if (!PyArg_ParseTuple(args, "l", &count))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::tsCallback(PyObject* self, PyObject* args)
{
    long what = 0;
    long long amount = 0;
    long long total = 0;
    PyObject* key = nullptr;
    PyObject* clientData = nullptr;
    if (!PyArg_ParseTuple(args, "lLLOO", &what, &amount, &total, &key, &clientData))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::tsEvent(PyObject* self, PyObject* args)
{
    PyObject* package = nullptr;
    long action = 0;
    long long amount = 0;
    long long total = 0;
    long current = 0;
    long count = 0;
    if (!PyArg_ParseTuple(args, "OlLLll", &package, &action, &amount, &total, &current, &count))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::postTransactionOutput(PyObject* self, PyObject* args)
{
    PyObject* yb = nullptr;
    if (!PyArg_ParseTuple(args, "O", &yb))
        return nullptr;
    return PyUnicode_FromString("");
}
