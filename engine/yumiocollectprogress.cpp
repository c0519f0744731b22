// The callbacks through which the script reports the reading of the
// repositories during a collection. For now they check their arguments (a
// wrong argument raises in the script) and show nothing. Whatever drives the
// bars from here must reach them through `progress` and test it first: it is
// null outside an operation's progress scope, and the script calls back at
// start-up and while cleaning too.
#include "engine/yumio.h"

PyObject* YumIO::collectProgress(PyObject* self, PyObject* args)
{
    long current = 0;
    long total = 0;
    PyObject* name = nullptr;
    if (!PyArg_ParseTuple(args, "llO", &current, &total, &name))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::collectGrabMeterStart(PyObject* self, PyObject* args)
{
    PyObject* location = nullptr;
    PyObject* second = nullptr;
    PyObject* third = nullptr;
    PyObject* size = nullptr;
    PyObject* unused = nullptr;
    if (!PyArg_ParseTuple(args, "OOOOO", &location, &second, &third, &size, &unused))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::collectGrabMeterUpdate(PyObject* self, PyObject* args)
{
    long long read = 0;
    if (!PyArg_ParseTuple(args, "L", &read))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::collectGrabMeterEnd(PyObject* self, PyObject* args)
{
    long long total = 0;
    if (!PyArg_ParseTuple(args, "L", &total))
        return nullptr;
    Py_RETURN_NONE;
}
