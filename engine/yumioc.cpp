// The module yumIOC, its method table, and the frame every callback runs in.
#include "engine/yumioc.h"

#include <atomic>

#include "engine/yumio.h"

namespace {

// Written in the GUI thread at start-up and shut-down, read by whichever
// thread the script calls back from.
std::atomic<YumIO*> remembered{nullptr};

}

template <YumIOC::Callback handler>
PyObject* YumIOC::forward(PyObject* self, PyObject* args)
{
    YumIO* io = remembered.load();
    if (!io)
        Py_RETURN_NONE;
    return io->callback(handler, self, args);
}

PyModuleDef* YumIOC::moduleDef()
{
    // Member pointers of overloaded names need their type spelled out.
    static constexpr Callback logCallback = &YumIO::log;

    static PyMethodDef methods[] = {
        {"stdoutWrite", forward<&YumIO::stdoutWrite>, METH_VARARGS, nullptr},
        {"stderrWrite", forward<&YumIO::stderrWrite>, METH_VARARGS, nullptr},
        {"log", forward<logCallback>, METH_VARARGS, nullptr},
        {"errorlog", forward<&YumIO::errorlog>, METH_VARARGS, nullptr},
        {"collectProgress", forward<&YumIO::collectProgress>, METH_VARARGS, nullptr},
        {"collectGrabMeterStart", forward<&YumIO::collectGrabMeterStart>, METH_VARARGS, nullptr},
        {"collectGrabMeterUpdate", forward<&YumIO::collectGrabMeterUpdate>, METH_VARARGS, nullptr},
        {"collectGrabMeterEnd", forward<&YumIO::collectGrabMeterEnd>, METH_VARARGS, nullptr},
        {"applyGrabMeterStart", forward<&YumIO::applyGrabMeterStart>, METH_VARARGS, nullptr},
        {"applyGrabMeterUpdate", forward<&YumIO::applyGrabMeterUpdate>, METH_VARARGS, nullptr},
        {"applyGrabMeterEnd", forward<&YumIO::applyGrabMeterEnd>, METH_VARARGS, nullptr},
        {"dsTsCheck", forward<&YumIO::dsTsCheck>, METH_NOARGS, nullptr},
        {"dsRestartLoop", forward<&YumIO::dsRestartLoop>, METH_NOARGS, nullptr},
        {"userconfirm", forward<&YumIO::userconfirm>, METH_NOARGS, nullptr},
        {"reportDownloadSize", forward<&YumIO::reportDownloadSize>, METH_VARARGS, nullptr},
        {"listTransaction", forward<&YumIO::listTransaction>, METH_VARARGS, nullptr},
        {"tsInitCallback", forward<&YumIO::tsInitCallback>, METH_VARARGS, nullptr},
        {"tsCallback", forward<&YumIO::tsCallback>, METH_VARARGS, nullptr},
        {"tsEvent", forward<&YumIO::tsEvent>, METH_VARARGS, nullptr},
        {"postTransactionOutput", forward<&YumIO::postTransactionOutput>, METH_VARARGS, nullptr},
        {nullptr, nullptr, 0, nullptr},
    };
    // Module state -1: the module keeps nothing; the interpreter holds it in
    // sys.modules for as long as it lives.
    static PyModuleDef module = {
        PyModuleDef_HEAD_INIT, "yumIOC", nullptr, -1, methods, nullptr, nullptr, nullptr, nullptr,
    };
    return &module;
}

bool YumIOC::initialize(YumIO* engine)
{
    remembered.store(engine);
    // Registered once per interpreter; a fresh script object reuses it.
    if (PyDict_GetItemString(PyImport_GetModuleDict(), "yumIOC"))
        return true;
    Python* python = engine;
    return python->pyRegisterModule(moduleDef());
}

void YumIOC::forget(YumIO* engine)
{
    YumIO* expected = engine;
    remembered.compare_exchange_strong(expected, nullptr);
}

YumIO* YumIOC::engine()
{
    return remembered.load();
}

PyObject* YumIO::callback(Callback handler, PyObject* self, PyObject* args)
{
    return callbackFrame([&] { return (this->*handler)(self, args); });
}

PyObject* YumIO::callbackFrame(const std::function<PyObject*()>& handler)
{
    // A scope of its own: an exception raised by what the handler calls is
    // this callback's internal error, reported and cleared here, even when
    // the script call around it declared that type; and the exception log
    // mark of the caller's scope stays as it was.
    pyExceptStart();
    PyObject* result = handler();
    if (result && PyErr_Occurred())
        exceptionError();
    if (!result && !PyErr_Occurred())
        PyErr_SetString(PyExc_RuntimeError, "yumIOC callback failed");
    // Closing the scope clears the error indicator; an argument error that
    // the script is meant to see survives it.
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    pyExceptClear();
    PyErr_Restore(type, value, traceback);
    return result;
}
