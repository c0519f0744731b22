// Cleaning yum's caches through the companion script, which caches this yum
// keeps, and yum's substitution variables. All of it runs in the GUI thread,
// without a worker.
#include "engine/yumio.h"

#include <QThread>

// One cleaning call of the script and the headline that names it.
struct YumIO::CleanStep
{
    const char* method;
    const char* headline;
};

namespace {

// The script's messages of a cleaning result, one per line: item 1, a list
// of texts.
PyObject* messagesOf(PyObject* result)
{
    if (!PyTuple_Check(result) || PyTuple_GET_SIZE(result) < 2)
        return nullptr;
    PyObject* messages = PyTuple_GET_ITEM(result, 1);
    return PyList_Check(messages) || PyTuple_Check(messages) ? messages : nullptr;
}

}

// The lock is held.
PyObject* YumIO::cleanCall(const CleanStep& step)
{
    return pyMethodCall(yumIO, step.method, "()");
}

// Takes over the result. The script answers a tuple whose item 0 is 0 on
// success; anything else is a failure, and every failure leaves a warning
// in the log with the script's own messages.
bool YumIO::cleanResult(const CleanStep& step, PyObject* result)
{
    const PyRef held(result);
    const QString failed = tr("%1 failed").arg(tr(step.headline));
    if (!result) {
        // The interpreter wrapper has reported the exception.
        log(Log::Warning, 0, failed);
        return false;
    }
    PyObject* code = PyTuple_Check(result) && PyTuple_GET_SIZE(result) > 0
                         ? PyTuple_GET_ITEM(result, 0) : nullptr;
    long value = 0;
    bool understood = code && PyLong_Check(code);
    if (understood) {
        value = PyLong_AsLong(code);
        if (value == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            understood = false;
        }
    }
    if (!understood) {
        error(tr("Internal error: unexpected result of yumIO.%1").arg(QString::fromLatin1(step.method)));
        log(Log::Warning, 0, failed);
        return false;
    }
    if (value != 0) {
        QString text = failed;
        if (PyObject* messages = messagesOf(result)) {
            const Py_ssize_t count = PySequence_Size(messages);
            for (Py_ssize_t i = 0; i < count; ++i) {
                PyObject* message = PySequence_GetItem(messages, i);
                const QString line = message && PyUnicode_Check(message) ? pyString(message) : QString();
                Py_XDECREF(message);
                if (!line.isEmpty())
                    text += QLatin1Char('\n') + line;
            }
            PyErr_Clear();
        }
        log(Log::Warning, 0, text);
    }
    return value == 0;
}

bool YumIO::cleanOne(const CleanStep& step)
{
    log(Log::Action, 0, tr(step.headline));
    if (lockUnavailable()) {
        log(Log::Warning, 0, tr("%1 failed: another operation is running").arg(tr(step.headline)));
        return false;
    }
    Python::PyGILStateWrapper guard(true);
    return cleanResult(step, cleanCall(step));
}

bool YumIO::cleanHeaders()
{
    static const CleanStep step = {"cleanHeaders", QT_TRANSLATE_NOOP("YumIO", "Cleaning Headers")};
    return cleanOne(step);
}

bool YumIO::cleanPackages()
{
    static const CleanStep step = {"cleanPackages", QT_TRANSLATE_NOOP("YumIO", "Cleaning Packages")};
    return cleanOne(step);
}

bool YumIO::cleanXmlMetadata()
{
    static const CleanStep step = {"cleanMetadata", QT_TRANSLATE_NOOP("YumIO", "Cleaning Xml Metadata")};
    return cleanOne(step);
}

bool YumIO::cleanPickledCache()
{
    static const CleanStep step = {"cleanPickles", QT_TRANSLATE_NOOP("YumIO", "Cleaning Pickled Cache")};
    return cleanOne(step);
}

bool YumIO::cleanSqliteCache()
{
    static const CleanStep step = {"cleanSqlite", QT_TRANSLATE_NOOP("YumIO", "Cleaning Sqlite Cache")};
    return cleanOne(step);
}

bool YumIO::cleanAll()
{
    static const CleanStep headers = {"cleanHeaders", QT_TRANSLATE_NOOP("YumIO", "Cleaning Headers")};
    static const CleanStep packages = {"cleanPackages", QT_TRANSLATE_NOOP("YumIO", "Cleaning Packages")};
    static const CleanStep metadata = {"cleanMetadata", QT_TRANSLATE_NOOP("YumIO", "Cleaning Xml Metadata")};
    static const CleanStep pickles = {"cleanPickles", QT_TRANSLATE_NOOP("YumIO", "Cleaning Pickled Cache")};
    static const CleanStep sqlite = {"cleanSqlite", QT_TRANSLATE_NOOP("YumIO", "Cleaning Sqlite Cache")};

    const QString headline = tr("Cleaning All");
    log(Log::Action, 0, headline);
    if (lockUnavailable()) {
        log(Log::Warning, 0, tr("%1 failed: another operation is running").arg(headline));
        return false;
    }
    Python::PyGILStateWrapper guard(true);
    // The three caches every yum keeps are cleaned before any answer is
    // looked at; a failing step stops none of the others.
    PyObject* headersResult = cleanCall(headers);
    PyObject* packagesResult = cleanCall(packages);
    PyObject* metadataResult = cleanCall(metadata);
    bool cleaned = cleanResult(headers, headersResult);
    cleaned = cleanResult(packages, packagesResult) && cleaned;
    cleaned = cleanResult(metadata, metadataResult) && cleaned;
    if (hasPickledCache())
        cleaned = cleanResult(pickles, cleanCall(pickles)) && cleaned;
    if (hasSqliteCache())
        cleaned = cleanResult(sqlite, cleanCall(sqlite)) && cleaned;
    return cleaned;
}

bool YumIO::hasSqliteCache()
{
    if (lockUnavailable())
        return false;
    Python::PyGILStateWrapper guard(true);
    return yumVersion() >= 20302;
}

bool YumIO::hasPickledCache()
{
    if (lockUnavailable())
        return false;
    Python::PyGILStateWrapper guard(true);
    return yumVersion() < 20902;
}

QString YumIO::getYumVar(QString name)
{
    if (lockUnavailable())
        return QString();
    // The caller usually holds the lock already; taking it again is harmless.
    Python::PyGILStateWrapper guard(true);
    if (!yumIO)
        return QString();
    PyRef conf(PyObject_GetAttrString(yumIO, "conf"));
    PyRef yumvar(conf ? PyObject_GetAttrString(conf.get(), "yumvar") : nullptr);
    if (!yumvar) {
        PyErr_Clear();
        error(tr("Internal error: yumIO.conf.yumvar not found"));
        return QString();
    }
    QByteArray key = name.toUtf8();
    PyObject* item = PyMapping_GetItemString(yumvar.get(), key.data());
    if (!item) {
        // A variable yum does not define reads as empty.
        if (PyErr_ExceptionMatches(PyExc_KeyError))
            PyErr_Clear();
        else
            handleException();
        return QString();
    }
    return pyStringDec(item);
}
