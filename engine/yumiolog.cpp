// The engine's log and its ways of reporting trouble: warnings and errors in
// a box, declared interpreter exceptions with the error lines logged since
// their scope declared them, the exception log marks of the open scopes, and
// the masked traceback of an internal error.
#include "engine/yumio.h"

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <QMutexLocker>
#include <QRegularExpression>
#include <QThread>

#include "engine/passwordmask.h"
#include "engine/yumiodialogs.h"

void YumIO::log(Log::Kind kind, unsigned int level, QString text)
{
    // A cause quoted after a colon as "[Errno n] ..." gets a line of its own.
    static const QRegularExpression errnoPart(QStringLiteral(": (\\[Errno [0-9]*\\] )"));
    text.replace(errnoPart, QStringLiteral(":\n\\1"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    {
        QMutexLocker locker(&logList);
        for (const QString& line : lines)
            logList.append(Log::Entry(kind, level, PasswordMask::mask(line)));
    }
    logList.emitAppended();
}

void YumIO::write(QString text, Log::Kind kind, unsigned int level, QString& pending)
{
    bool appended = false;
    {
        // Held while the lines go into the log too, so that lines of one
        // stream written by two threads keep their order.
        QMutexLocker pendingLocker(&pendingMutex);
        appended = writeLines(text.constData(), text.size(), kind, level, pending);
    }
    if (appended)
        logList.emitAppended();
}

namespace {

// A runaway scriptlet's output arrives as one text of tens of megabytes:
// its lines go into the log one at a time, never as a copy of the whole
// text or a list of all its lines. They are made and masked before the
// log's mutex is taken, and go in by the batch, so that the window, which
// takes the mutex to read, never waits for the masking of a long line or of
// a million short ones.
template <typename Char, typename MakeLine>
bool appendLines(Log::EntryList& logList, const Char* data, int size, Log::Kind kind,
                 unsigned int level, QString& pending, MakeLine makeLine)
{
    const int batchLines = 4096;
    const qint64 batchCharacters = 1 << 20;
    const Char* end = data + size;
    const Char* start = data;
    bool appended = false;
    std::vector<Log::Entry> batch;
    qint64 batched = 0;
    const auto flush = [&] {
        QMutexLocker logLocker(&logList);
        for (const Log::Entry& entry : batch)
            logList.append(entry);
        batch.clear();
        batched = 0;
        appended = true;
    };
    for (const Char* c = data; c != end; ++c) {
        if (*c != Char('\n'))
            continue;
        QString line = makeLine(start, int(c - start));
        if (!pending.isEmpty()) {
            line.prepend(pending);
            pending.clear();
        }
        batched += line.size();
        batch.emplace_back(kind, level, PasswordMask::mask(line));
        start = c + 1;
        if (int(batch.size()) >= batchLines || batched >= batchCharacters)
            flush();
    }
    if (!batch.empty())
        flush();
    if (start != end)
        pending += makeLine(start, int(end - start));
    return appended;
}

}

bool YumIO::writeLines(const QChar* data, int size, Log::Kind kind, unsigned int level,
                       QString& pending)
{
    return appendLines(logList, data, size, kind, level, pending,
                       [](const QChar* start, int length) { return QString(start, length); });
}

bool YumIO::writeLines(const char* latin1, int size, Log::Kind kind, unsigned int level,
                       QString& pending)
{
    return appendLines(logList, latin1, size, kind, level, pending, [](const char* start, int length) {
        return QString::fromLatin1(start, length);
    });
}

void YumIO::writeStdout(QString text)
{
    write(std::move(text), Log::Output, 0, stdoutPending);
}

void YumIO::writeStderr(QString text)
{
    write(std::move(text), Log::Error, 0, stderrPending);
}

void YumIO::writeStdoutBytes(const QByteArray& bytes)
{
    writeBytes(bytes, Log::Output, 0, stdoutPending);
}

void YumIO::writeStderrBytes(const QByteArray& bytes)
{
    writeBytes(bytes, Log::Error, 0, stderrPending);
}

void YumIO::writeBytes(const QByteArray& bytes, Log::Kind kind, unsigned int level, QString& pending)
{
    const char* data = bytes.constData();
    const int size = bytes.size();
    int plain = 0;
    while (plain < size && data[plain] > 0)
        ++plain;
    if (plain < size) {
        // The size is passed on purpose: the conversion of a whole byte
        // array would stop at the first NUL.
        QString text = QString::fromUtf8(data, size);
        text.replace(QChar(0), QChar(QChar::ReplacementCharacter));
        write(std::move(text), kind, level, pending);
        return;
    }
    bool appended = false;
    {
        QMutexLocker pendingLocker(&pendingMutex);
        appended = writeLines(data, size, kind, level, pending);
    }
    if (appended)
        logList.emitAppended();
}

void YumIO::warning(QString text)
{
    log(Log::Warning, 0, text);
    showBox(WarningBox, tr("KUV Yum Warning"), text);
}

void YumIO::error(QString text)
{
    log(Log::Error, 0, text);
    showBox(CriticalBox, tr("KUV Yum Error"), text);
}

void YumIO::warning(const char* text)
{
    warning(QString::fromUtf8(text));
}

void YumIO::error(const char* text)
{
    error(QString::fromUtf8(text));
}

// The relay in the engine's slot serves only the thread that made it; a
// report from any other thread gets a relay of its own for the one box.
// Without any relay (before setup) the report goes to standard error as a
// last resort.
void YumIO::showBox(Box box, const QString& caption, const QString& text)
{
    const QString shown = PasswordMask::mask(text);
    YumIODialogs* relay = dialogs;
    if (!relay) {
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(),
                     shown.toLocal8Bit().constData());
        return;
    }
    std::unique_ptr<YumIODialogs> own;
    if (relay->thread() != QThread::currentThread()) {
        own.reset(new YumIODialogs(parent));
        relay = own.get();
    }
    switch (box) {
    case WarningBox:
        relay->warning(caption, shown, QString(), QString(), QString(), 0, -1);
        break;
    case CriticalBox:
        relay->critical(caption, shown, QString(), QString(), QString(), 0, -1);
        break;
    case ScrollableBox:
        relay->scrollable(caption, shown);
        break;
    }
}

void YumIO::pythonException(QString text)
{
    reportException(text, false);
}

void YumIO::pythonExceptionV(QString text)
{
    reportException(text, true);
}

void YumIO::reportException(const QString& text, bool withValue)
{
    int start = exceptLogMarks.isEmpty() ? -1 : exceptLogMarks.top();
    if (start < 0)
        start = logList.lockedCount();
    if (withValue)
        log(Log::Error, 0, pyStringDec(pyExceptValuef()));
    log(Log::Error, 0, text);

    // Only errors up to yum's default detail level; empty lines at the start
    // vanish, later ones stay as blank lines.
    QString gathered;
    {
        QMutexLocker locker(&logList);
        for (int i = start; i < logList.count(); ++i) {
            const Log::Entry& entry = logList.at(i);
            if (entry.kind != Log::Error || entry.level > 2)
                continue;
            if (!gathered.isEmpty())
                gathered += QLatin1Char('\n');
            gathered += entry.text;
        }
    }
    showBox(ScrollableBox, tr("KUV Yum Error"), gathered);
}

void YumIO::pyExceptStart()
{
    exceptLogMarks.push(-1);
    Python::pyExceptStart();
}

void YumIO::pyExceptExpect(PyObject* exceptionType)
{
    if (!exceptLogMarks.isEmpty())
        exceptLogMarks.top() = logList.lockedCount();
    Python::pyExceptExpect(exceptionType);
}

void YumIO::pyExceptClear()
{
    if (!exceptLogMarks.isEmpty())
        exceptLogMarks.pop();
    Python::pyExceptClear();
}

void YumIO::exceptionExpected()
{
    Python::exceptionExpected();
}

// The wrapper's traceback with passwords masked: the exception's text
// may quote a repository URL. Nothing goes out unmasked: should the traceback
// module fail, only the exception's type and its masked text are written.
void YumIO::writeTraceback(PyObject* type, PyObject* value, PyObject* traceback)
{
    QString text;
    PyObject* module = PyImport_ImportModule("traceback");
    PyObject* lines = module ? PyObject_CallMethod(module, "format_exception", "OOO", type,
                                                   value ? value : Py_None,
                                                   traceback ? traceback : Py_None)
                             : nullptr;
    PyObject* joined = lines ? PyUnicode_Join(nullptr, lines) : nullptr;
    if (joined)
        text = unicodeText(joined);
    Py_XDECREF(joined);
    Py_XDECREF(lines);
    Py_XDECREF(module);
    PyErr_Clear();

    if (text.isEmpty()) {
        text = QString::fromUtf8(PyExceptionClass_Name(type));
        PyObject* shown = value ? PyObject_Str(value) : nullptr;
        if (shown && PyUnicode_Check(shown))
            text += QStringLiteral(": ") + unicodeText(shown);
        Py_XDECREF(shown);
        PyErr_Clear();
        text += QLatin1Char('\n');
    }

    // Through sys.stderr, which the script or the output capture may have
    // pointed at the log; without one, to the process's own.
    const QByteArray bytes = PasswordMask::mask(text).toUtf8();
    PyObject* stream = PySys_GetObject("stderr");
    if (!stream || stream == Py_None || PyFile_WriteString(bytes.constData(), stream) != 0) {
        PyErr_Clear();
        std::fputs(bytes.constData(), stderr);
        std::fflush(stderr);
    }
}
