// The callbacks through which the script's standard streams and log lines
// reach the engine's log. Texts are taken as objects: rpm hands out texts
// with surrogate escapes (a Latin-1 change log), which a strict conversion
// would turn into an exception inside the script.
#include "engine/yumio.h"

#include <QMutexLocker>

PyObject* YumIO::write(PyObject* self, PyObject* args, Log::Kind kind, unsigned int level,
                       QString& pending)
{
    PyObject* text = nullptr;
    if (!PyArg_ParseTuple(args, "U", &text))
        return nullptr;
    // One byte a character is Latin-1, read in place: a scriptlet's tens of
    // megabytes are never copied whole into a QString.
    if (PyUnicode_IS_READY(text) && PyUnicode_KIND(text) == PyUnicode_1BYTE_KIND) {
        bool appended = false;
        {
            QMutexLocker pendingLocker(&pendingMutex);
            appended = writeLines(reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(text)),
                                  int(PyUnicode_GET_LENGTH(text)), kind, level, pending);
        }
        if (appended)
            logList.emitAppended();
        Py_RETURN_NONE;
    }
    write(unicodeText(text), kind, level, pending);
    Py_RETURN_NONE;
}

PyObject* YumIO::stdoutWrite(PyObject* self, PyObject* args)
{
    return write(self, args, Log::Output, 0, stdoutPending);
}

PyObject* YumIO::stderrWrite(PyObject* self, PyObject* args)
{
    return write(self, args, stderrKind, stderrLevel, stderrPending);
}

namespace {

// Levels below 0 are shown as readily as level 0.
unsigned int levelOf(long level)
{
    return level < 0 ? 0u : static_cast<unsigned int>(level);
}

}

PyObject* YumIO::log(PyObject* self, PyObject* args)
{
    long level = 0;
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "lU", &level, &object))
        return nullptr;
    const QString text = unicodeText(object);
    log(Log::Info, levelOf(level), text);
    static const QString dependencyPrefix = QStringLiteral("TSINFO: ");
    if (text.startsWith(dependencyPrefix))
        dsTsInfo(text.mid(dependencyPrefix.size()));
    Py_RETURN_NONE;
}

PyObject* YumIO::errorlog(PyObject* self, PyObject* args)
{
    long level = 0;
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "lU", &level, &object))
        return nullptr;
    log(Log::Error, levelOf(level), unicodeText(object));
    Py_RETURN_NONE;
}
