// yum's version and the behaviours that depend on it: the version text of
// the module yum (or, failing that, cli), its number, and whether the
// repositories' metadata is kept in sqlite.
#include "engine/yumio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A module's __version__, borrowed; null, with nothing reported, when the
// module or the value is missing.
PyObject* moduleVersion(const char* name)
{
    PyObject* module = PyImport_ImportModule(name);
    if (!module) {
        PyErr_Clear();
        return nullptr;
    }
    PyObject* dict = PyModule_GetDict(module);
    PyObject* version = dict ? PyDict_GetItemString(dict, "__version__") : nullptr;
    // sys.modules keeps the module and with it the value.
    Py_DECREF(module);
    return version;
}

}

QString YumIO::yumVersionStr()
{
    if (!yumVersionKnown) {
        yumVersionKnown = true;
        PyObject* version = moduleVersion("yum");
        if (!version)
            version = moduleVersion("cli");
        yumVersionText = version ? pyString(version) : QString();
    }
    return yumVersionText;
}

long YumIO::yumVersion()
{
    static bool warned = false;
    const QString text = yumVersionStr();
    const QStringList parts = text.split(QLatin1Char('.'));
    long number = 0;
    int failure = 0;
    const long weights[] = {10000, 100, 1};
    for (int i = 0; i < 3; ++i) {
        unsigned long part = 0;
        if (i < parts.size()) {
            const QByteArray digits = parts.at(i).toLatin1();
            errno = 0;
            part = std::strtoul(digits.constData(), nullptr, 10);
            if (errno != 0 && failure == 0)
                failure = errno;
        }
        number += long(part) * weights[i];
    }
    if (failure != 0 && !warned) {
        warned = true;
        warning(tr("Internal error: yum version not understood: %1 errno=%2 (%3)")
                    .arg(text)
                    .arg(failure)
                    .arg(QString::fromLocal8Bit(std::strerror(failure))));
    }
    return number;
}

bool YumIO::usesSqlite()
{
    if (!usesSqliteKnown) {
        usesSqliteKnown = true;
        PyObject* answer = pyCall("usesSqlite", "()");
        usesSqliteAnswer = answer == Py_True;
        Py_XDECREF(answer);
    }
    return usesSqliteAnswer;
}

bool YumIO::hasTransTest()
{
    return yumVersion() <= 30202;
}

bool YumIO::hasDistribGroups()
{
    return yumVersion() >= 20500;
}
