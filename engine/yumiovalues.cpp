// Interpreter values as the engine reads them: texts, times and sizes in the
// several forms the script hands them over, and the size and time texts of
// the package table. A value of an unexpected type costs a warning and gives
// an empty text or 0. Also the walk over the items of an iterable that the
// collection, the groups and the apply share.
#include "engine/yumio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <QTextCodec>

namespace {

// Undecodable bytes come back from rpm as the surrogates U+DC80..U+DCFF
// (Python's surrogateescape); such a byte is read as Latin-1, as the program
// reads every 8-bit text it cannot take as UTF-8.
QString fromCodePoints(const Py_UCS4* points, Py_ssize_t length)
{
    QString text;
    text.reserve(int(length));
    for (Py_ssize_t i = 0; i < length; ++i) {
        const Py_UCS4 point = points[i];
        if (point >= 0xDC80 && point <= 0xDCFF)
            text += QChar(ushort(point - 0xDC00));
        else if (point >= 0xD800 && point <= 0xDFFF)
            text += QChar(QChar::ReplacementCharacter);
        else if (point > 0xFFFF)
            text += QString::fromUcs4(reinterpret_cast<const uint*>(&point), 1);
        else
            text += QChar(ushort(point));
    }
    return text;
}

QString fromBytes(const char* data, Py_ssize_t length)
{
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
    QString text = utf8->toUnicode(data, int(length), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    return QString::fromLatin1(data, int(length));
}

}

QString YumIO::unicodeText(PyObject* object)
{
    // Most texts (names, versions, summaries) hold one byte per character,
    // which no surrogate can be: read in place, with no copy.
    if (PyUnicode_IS_READY(object) && PyUnicode_KIND(object) == PyUnicode_1BYTE_KIND)
        return QString::fromLatin1(reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(object)),
                                   int(PyUnicode_GET_LENGTH(object)));
    const Py_ssize_t length = PyUnicode_GetLength(object);
    Py_UCS4* points = length >= 0 ? PyUnicode_AsUCS4Copy(object) : nullptr;
    if (!points) {
        if (PyErr_Occurred())
            handleException();
        return QString();
    }
    QString text = fromCodePoints(points, length);
    PyMem_Free(points);
    return text;
}

PyObject* YumIO::pyDictGetItem(PyObject* dict, const QString& key)
{
    if (!dict || !PyDict_Check(dict))
        return nullptr;
    PyObject* item = PyDict_GetItemString(dict, key.toUtf8().constData());
    return item;
}

QString YumIO::pyString(PyObject* object)
{
    if (!object) {
        // A failed lookup or call handed on: its error is reported, never
        // left for the next interpreter call to trip over.
        if (PyErr_Occurred())
            handleException();
        return QString();
    }
    if (object == Py_None)
        return QString();
    if (PyUnicode_Check(object))
        return unicodeText(object);
    if (PyBytes_Check(object))
        return fromBytes(PyBytes_AS_STRING(object), PyBytes_GET_SIZE(object));
    warning(tr("Internal error: YumIO::pyString did not understand type"));
    return QString();
}

QString YumIO::pyStringDec(PyObject* object)
{
    QString text = pyString(object);
    Py_XDECREF(object);
    return text;
}

QString YumIO::pyStringX(PyObject* object)
{
    if (object && (PyUnicode_Check(object) || PyBytes_Check(object)))
        return pyString(object);
    if (object && PyList_Check(object)) {
        if (PyList_GET_SIZE(object) != 0)
            warning(tr("Internal error: YumIO::pyStringX did not understand non-empty list"));
        return QString();
    }
    if (!object && PyErr_Occurred())
        handleException();
    warning(tr("Internal error: YumIO::pyStringX did not understand type"));
    return QString();
}

QString YumIO::pyStringXDec(PyObject* object)
{
    QString text = pyStringX(object);
    Py_XDECREF(object);
    return text;
}

QString YumIO::pyMappingString(PyObject* mapping, const char* key)
{
    if (!mapping)
        return QString();
    std::vector<char> writable(key, key + std::strlen(key) + 1);
    PyObject* item = PyMapping_GetItemString(mapping, writable.data());
    if (!item) {
        // A missing key reads as an empty text.
        PyErr_Clear();
        return QString();
    }
    return pyStringDec(item);
}

long YumIO::pyTime(PyObject* object)
{
    long result = 0;
    if (object && PyLong_Check(object)) {
        result = PyLong_AsLong(object);
        if (result == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            warning(tr("Internal error: time not understood"));
            result = 0;
        }
    } else if (object && (PyUnicode_Check(object) || PyBytes_Check(object))) {
        const QString text = pyString(object);
        const QByteArray digits = text.toLatin1();
        errno = 0;
        result = long(std::strtoul(digits.constData(), nullptr, 10));
        if (errno != 0)
            warning(tr("Internal error: time not understood: %1").arg(text));
    } else {
        if (!object && PyErr_Occurred())
            handleException();
        warning(tr("Internal error: time not understood"));
    }
    return result;
}

long YumIO::pyTimeDec(PyObject* object)
{
    long result = pyTime(object);
    Py_XDECREF(object);
    return result;
}

long YumIO::buildTimeOf(PyObject* package)
{
    return pyTimeDec(pyMethodCall(package, "returnSimple", "(s)", "buildtime"));
}

// An int, or a decimal text read with strtoull; false for other types. A
// text out of range warns and keeps what the conversion gave.
bool YumIO::numberOf(PyObject* object, quint64& value)
{
    if (PyLong_Check(object)) {
        value = PyLong_AsUnsignedLongLong(object);
        if (PyErr_Occurred()) {
            // A negative size wraps round, as a C conversion to unsigned does.
            PyErr_Clear();
            value = quint64(PyLong_AsLongLong(object));
            if (PyErr_Occurred()) {
                PyErr_Clear();
                value = 0;
            }
        }
        return true;
    }
    if (PyUnicode_Check(object) || PyBytes_Check(object)) {
        const QString text = pyString(object);
        const QByteArray digits = text.toLatin1();
        errno = 0;
        value = quint64(std::strtoull(digits.constData(), nullptr, 10));
        if (errno != 0)
            warning(tr("Internal error: package size not understood: %1").arg(text));
        return true;
    }
    return false;
}

quint64 YumIO::sizeOf(PyObject* package)
{
    quint64 size = 0;
    if (!package)
        return size;
    PyRef attribute(PyObject_GetAttrString(package, "size"));
    if (!attribute) {
        PyErr_Clear();
        warning(tr("Internal error: package size not understood"));
        return size;
    }
    // An attribute in older package types, a method in newer ones.
    if (!numberOf(attribute.get(), size)) {
        if (PyCallable_Check(attribute.get())) {
            PyObject* result = pyMethodCall(package, "size", "()");
            if (!result || !numberOf(result, size))
                warning(tr("Internal error: package size result not understood"));
            Py_XDECREF(result);
        } else {
            warning(tr("Internal error: package size not understood"));
        }
    }
    return size;
}

QString YumIO::simpleString(PyObject* package, const char* name)
{
    Python::PyGILStateWrapper guard(true);
    pyExceptStart();
    // The type itself rather than a lookup by name: the collection asks
    // three fields of every package.
    pyExceptExpect(PyExc_KeyError);
    PyObject* result = pyMethodCall(package, "returnSimple", "(s)", name);
    pyExceptClear();
    if (!result)
        return QString();
    return simpleText(result);
}

QString YumIO::simpleText(PyObject* value)
{
    if (value == Py_None) {
        Py_DECREF(value);
        return QString();
    }
    QString text = pyStringXDec(value);
    int length = text.size();
    while (length > 0 && text.at(length - 1) == QLatin1Char('\n'))
        --length;
    text.truncate(length);
    return text;
}

QString YumIO::bytesFormat(quint64 bytes)
{
    struct Unit {
        quint64 from;
        double divisor;
        const char* name;
    };
    static const Unit units[] = {
        {1000ull << 50, double(1ull << 60), QT_TR_NOOP("Eb")},
        {1000ull << 40, double(1ull << 50), QT_TR_NOOP("Pb")},
        {1000ull << 30, double(1ull << 40), QT_TR_NOOP("Tb")},
        {1000ull << 20, double(1ull << 30), QT_TR_NOOP("Gb")},
        {1000ull << 10, double(1ull << 20), QT_TR_NOOP("Mb")},
        {1000ull, double(1ull << 10), QT_TR_NOOP("Kb")},
        {0ull, 1.0, QT_TR_NOOP("b")},
    };
    for (const Unit& unit : units) {
        if (bytes < unit.from)
            continue;
        const double quotient = double(bytes) / unit.divisor;
        const char* format = quotient > 0 && quotient < 9.95 ? "%.1f" : "%.0f";
        return QString::asprintf(format, quotient) + tr(unit.name);
    }
    return QString();
}

const char* YumIO::timeFormat(long time)
{
    // ctime_r needs 26 characters; the rest is room for long years.
    thread_local char buffer[1024];
    const time_t seconds = time_t(time);
    if (!ctime_r(&seconds, buffer)) {
        buffer[0] = '\0';
        return buffer;
    }
    const size_t length = std::strlen(buffer);
    if (length > 0 && buffer[length - 1] == '\n')
        buffer[length - 1] = '\0';
    return buffer;
}

const char* YumIO::dateFormat(long time)
{
    thread_local char buffer[1024];
    std::strncpy(buffer, timeFormat(time), sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    // "Www Mmm dd hh:mm:ss yyyy": the year moves over the time of day.
    if (std::strlen(buffer) > 20)
        std::memmove(buffer + 11, buffer + 20, std::strlen(buffer + 20) + 1);
    return buffer;
}

bool YumIO::eachMember(PyObject* members, const std::function<bool(PyObject* member)>& body)
{
    PyRef iterator(members ? PyObject_GetIter(members) : nullptr);
    if (!iterator) {
        if (PyErr_Occurred())
            handleException();
        return false;
    }
    for (;;) {
        PyRef member(PyIter_Next(iterator.get()));
        if (!member)
            break;
        if (!body(member.get()))
            return false;
    }
    if (PyErr_Occurred()) {
        handleException();
        return false;
    }
    return true;
}
