// The interpreter's start and end, the lock guard, running source text and
// registering built-in modules.
#include "engine/python.h"

#include <cstdio>
#include <vector>

bool Python::initialized = false;
PyObject* Python::main_dict = nullptr;

namespace {

// Debian's interpreter is the one with rpm and dnf. The interpreter derives
// its prefix from the program name, and would otherwise search PATH, where
// another python3 may come first.
const char interpreterProgram[] = "/usr/bin/python3";

// printf into a buffer as long as the text needs.
std::vector<char> vformat(const char* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0)
        length = 0;
    std::vector<char> text(size_t(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    return text;
}

} // namespace

Python::PyGILStateWrapper::PyGILStateWrapper(bool active)
    : active(active), state(PyGILState_UNLOCKED), held(false)
{
    ensure();
}

Python::PyGILStateWrapper::~PyGILStateWrapper()
{
    release();
}

void Python::PyGILStateWrapper::ensure()
{
    if (!active || held)
        return;
    state = PyGILState_Ensure();
    held = true;
}

void Python::PyGILStateWrapper::release()
{
    if (!active || !held)
        return;
    held = false;
    PyGILState_Release(state);
}

Python::Python() = default;

Python::~Python()
{
    if (!initialized)
        return;
    // A failed start leaves nothing to finalise.
    if (Py_IsInitialized()) {
        // The lock is never given back: the interpreter is gone afterwards.
        PyGILState_Ensure();
        Py_Finalize();
    }
    initialized = false;
    main_dict = nullptr;
}

bool Python::initialize()
{
    if (initialized)
        return true;
    initialized = true;

    PyConfig config;
    PyConfig_InitPythonConfig(&config);
    PyStatus status = PyConfig_SetBytesString(&config, &config.program_name, interpreterProgram);
    if (!PyStatus_Exception(status))
        status = Py_InitializeFromConfig(&config);
    PyConfig_Clear(&config);
    if (PyStatus_Exception(status)) {
        errorf("Internal error: cannot start python: %s\n", status.err_msg ? status.err_msg : "");
        return false;
    }

    // The start-up thread holds the lock until the end of this function,
    // on every path, so that nobody holds it afterwards.
    bool ok = false;
    PyObject* mainModule = PyImport_AddModule("__main__");
    if (!mainModule) {
        PyErr_Clear();
        error("Internal error: cannot find python __main__ module\n");
    } else if (!(main_dict = PyModule_GetDict(mainModule))) {
        PyErr_Clear();
        error("Internal error: cannot find python __main__ dict\n");
    } else {
        // Keeps the interpreter's own interrupt handler at hand for
        // setEnablePythonSIGINTHandler(true).
        py("import signal\ndefaultSigIntSigaction = signal.getsignal(signal.SIGINT)");
        ok = true;
    }
    PyEval_SaveThread();
    return ok;
}

PyObject* Python::pyr(const char* code)
{
    PyObject* result = PyRun_StringFlags(code, Py_eval_input, main_dict, main_dict, nullptr);
    if (!result && PyErr_Occurred())
        handleException();
    return result;
}

// Run as statements in __main__ rather than with PyRun_SimpleString, which
// prints and swallows the exception itself, and ends the process on
// SystemExit: here every exception goes through handleException.
bool Python::py(const char* code)
{
    PyObject* result = PyRun_StringFlags(code, Py_file_input, main_dict, main_dict, nullptr);
    if (!result) {
        if (PyErr_Occurred())
            handleException();
        return false;
    }
    Py_DECREF(result);
    return true;
}

PyObject* Python::pyrf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vector<char> code = vformat(format, args);
    va_end(args);
    return pyr(code.data());
}

bool Python::pyf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vector<char> code = vformat(format, args);
    va_end(args);
    return py(code.data());
}

void Python::errorf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vector<char> text = vformat(format, args);
    va_end(args);
    error(text.data());
}

void Python::setEnablePythonSIGINTHandler(bool enable)
{
    if (enable)
        py("signal.signal(signal.SIGINT, defaultSigIntSigaction)");
    else
        py("signal.signal(signal.SIGINT, signal.SIG_DFL)");
}

void Python::pyDebug(PyObject* object)
{
    PyErr_Clear();
    pyAssignGlobal("dbg", object);
    PyObject* result = PyRun_StringFlags("import sys\n"
                                         "sys.stdout = sys.__stdout__\n"
                                         "sys.stderr = sys.__stderr__\n"
                                         "import pdb\n"
                                         "pdb.set_trace()",
                                         Py_file_input, main_dict, main_dict, nullptr);
    Py_XDECREF(result);
    PyErr_Clear();
}

bool Python::pyRegisterModule(PyModuleDef* def)
{
    // 1013 is the interface version of the interpreter's modules since 3.x.
    PyObject* module = PyModule_Create2(def, 1013);
    if (!module) {
        if (PyErr_Occurred())
            handleException();
        errorf("Internal error: cannot create python module %s\n", def->m_name);
        return false;
    }
    // sys.modules keeps the module alive from here on.
    int stored = PyDict_SetItemString(PyImport_GetModuleDict(), def->m_name, module);
    Py_DECREF(module);
    if (stored < 0) {
        if (PyErr_Occurred())
            handleException();
        errorf("Internal error: cannot register python module %s\n", def->m_name);
        return false;
    }
    return true;
}
