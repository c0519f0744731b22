// The engine's life: construction, setup with the main window's widgets,
// start-up of the interpreter and the companion script, the reset before a
// new collection, and the orderly end.
#include "engine/yumio.h"

#include <cstdio>

#include <QFile>

#include "engine/configroot.h"
#include "engine/globals.h"
#include "engine/yumioc.h"
#include "engine/yumiodialogs.h"
#include "foundation/share.h"

YumIO::YumIO()
    : QObject(nullptr)
{
}

YumIO::~YumIO()
{
    if (Python::initialized && Py_IsInitialized()) {
        {
            Python::PyGILStateWrapper guard(true);
            py("import sys\nsys.stdout = sys.__stdout__\nsys.stderr = sys.__stderr__\n");
            if (yumLocked && yumIO) {
                pyExceptStart();
                PyObject* lockError = pyLookup("yum.Errors.LockError");
                pyExceptExpect(lockError);
                PyObject* result = pyMethodCall(yumIO, "unlock", "()");
                if (pyExceptMatches(result, lockError))
                    pythonExceptionV(tr("Unable to release yum lock"));
                Py_XDECREF(result);
                pyExceptClear();
            }
            // Entries that nobody cleared give their objects back while the
            // interpreter still runs.
            for (Package::Entry* head : allHeads()) {
                for (Package::Entry* entry = head; entry; entry = entry->next)
                    entry->releasePo();
            }
            Py_CLEAR(reposDict);
            Py_CLEAR(yumIO);
            Py_CLEAR(scriptClass);
            rpmDict = nullptr;
            Py_CLEAR(rpmModule);
        }
        deleteEntries();
        // What the interpreter runs while it ends (atexit handlers, __del__,
        // logging's shut-down) may still call back: it finds no engine, and
        // the log it would have written to still exists.
        YumIOC::forget(this);
        finalize();
    } else {
        YumIOC::forget(this);
        deleteEntries();
    }
    dialogs = nullptr;
    delete guiDialogs;
}

void YumIO::finalize()
{
    // The lock is never given back: the interpreter is gone afterwards. The
    // wrapper's own destructor then finds nothing left to end.
    PyGILState_Ensure();
    Py_Finalize();
    Python::initialized = false;
    Python::main_dict = nullptr;
}

void YumIO::setup(QWidget* parentWidget, HProgressBar* total, HProgressBar* item)
{
    if (dialogs == guiDialogs)
        dialogs = nullptr;
    delete guiDialogs;
    parent = parentWidget;
    guiDialogs = new YumIODialogs(parent);
    dialogs = guiDialogs;
    totalBar = total;
    itemBar = item;
}

bool YumIO::initialize()
{
    // A failed start leaves no interpreter to work with.
    if (!Python::initialize() || !Py_IsInitialized() || !Python::main_dict)
        return false;
    if (yumIO)
        return true;

    // Nobody holds the lock after the interpreter's start-up; no worker
    // exists yet, so the GUI thread takes it for the whole start.
    Python::PyGILStateWrapper guard(true);
    auto fail = [this](const QString& text) {
        if (PyErr_Occurred())
            handleException();
        error(text);
        return false;
    };

    if (!YumIOC::initialize(this))
        return false;
    // The script reads the same yum.conf as the program.
    PyObject* configRoot = PyUnicode_FromString(ConfigRoot::root().toUtf8().constData());
    pyAssign("yumIOC", "configroot", configRoot);
    Py_XDECREF(configRoot);
    PyObject* yumConf = PyUnicode_FromString(ConfigRoot::yumConf().toUtf8().constData());
    pyAssign("yumIOC", "yumconf", yumConf);
    Py_XDECREF(yumConf);

    PyObject* argv = Py_BuildValue("[s,s]", program ? program : "kuv", "info");
    pyAssign("sys", "argv", argv);
    Py_XDECREF(argv);

    rpmModule = PyImport_ImportModule("rpm");
    if (!rpmModule)
        return fail(tr("Internal error: cannot find python rpm module"));
    rpmDict = PyModule_GetDict(rpmModule);
    if (!rpmDict)
        return fail(tr("Internal error: cannot find python rpm dict"));

    setEnablePythonSIGINTHandler(false);

    const QString path = Share::absolute(QStringLiteral("python/YumIO.py"));
    const QByteArray fileName = QFile::encodeName(path);
    FILE* file = std::fopen(fileName.constData(), "r");
    if (!file)
        return fail(tr("Internal error: unable to open YumIO.py"));
    // Run as statements rather than as a "simple" file: that one prints the
    // exception itself and ends the whole process on SystemExit. The script
    // learns its own path from __file__, as a script run as a file would.
    PyObject* pathObject = PyUnicode_DecodeFSDefault(fileName.constData());
    if (pathObject) {
        PyDict_SetItemString(Python::main_dict, "__file__", pathObject);
        Py_DECREF(pathObject);
    }
    PyErr_Clear();
    PyObject* ran = PyRun_FileExFlags(file, "YumIO.py", Py_file_input, Python::main_dict,
                                      Python::main_dict, 0, nullptr);
    std::fclose(file);
    if (!ran)
        return fail(tr("Internal error: unable to execute YumIO.py"));
    Py_DECREF(ran);

    scriptClass = PyDict_GetItemString(Python::main_dict, "YumIO");
    if (!scriptClass)
        return fail(tr("Internal error: cannot find python YumIO"));
    Py_INCREF(scriptClass);

    pyExceptStart();
    PyObject* systemExit = pyLookup("builtins.SystemExit");
    pyExceptExpect(systemExit);
    PyObject* noArguments = PyTuple_New(0);
    yumIO = noArguments ? PyObject_Call(scriptClass, noArguments, nullptr) : nullptr;
    Py_XDECREF(noArguments);
    if (!yumIO && PyErr_Occurred())
        handleException();
    bool made = yumIO != nullptr;
    if (pyExceptMatches(yumIO, systemExit)) {
        // The script tells why it cannot start (an unreadable yum.conf) in
        // the exception's value.
        pythonExceptionV(tr("Unable to initialize"));
    } else if (!yumIO) {
        error(tr("Internal error: cannot create python yumIO"));
    }
    pyExceptClear();
    return made;
}

void YumIO::clear()
{
    {
        // After a failed construction there is nothing to flush: this call
        // tries to make the object again.
        Python::PyGILStateWrapper guard(true);
        if (yumIO) {
            PyObject* result = pyMethodCall(yumIO, "flush", "()");
            Py_XDECREF(result);
        }
    }
    clearEntries();
    Python::PyGILStateWrapper guard(true);
    Py_CLEAR(yumIO);
    if (!scriptClass)
        return;
    // The script tells why it cannot start (a repository file it cannot
    // read) in a SystemExit, as at start-up.
    pyExceptStart();
    PyObject* systemExit = pyLookup("builtins.SystemExit");
    pyExceptExpect(systemExit);
    PyObject* noArguments = PyTuple_New(0);
    yumIO = noArguments ? PyObject_Call(scriptClass, noArguments, nullptr) : nullptr;
    Py_XDECREF(noArguments);
    // A failed construction leaves yumIO null; its exception is reported
    // here and not left pending for later calls.
    if (!yumIO && PyErr_Occurred())
        handleException();
    if (pyExceptMatches(yumIO, systemExit))
        pythonExceptionV(tr("Unable to initialize"));
    pyExceptClear();
}
