// Package details on demand: the header fields, relations, change logs and
// file lists that the collection does not read for every package, fetched
// from an entry's yum object when the description dialog or the search asks.
// Installed packages answer from their rpm header, available ones from the
// repositories' metadata, whose change logs and file lists are loaded on a
// worker once per collection.
#include "engine/yumio.h"

#include <algorithm>

#include <QEventLoop>
#include <QThread>

#include "engine/progress.h"
#include "engine/yumiodialogs.h"
#include "engine/yumiothreads.h"

namespace {

// The items of a value: a list or any other iterable item by item, and a
// text or number (what rpm gives for a tag with one value) as its one item.
// Null, None and what cannot be iterated have none.
class Items
{
public:
    explicit Items(PyObject* value)
    {
        if (!value || value == Py_None)
            return;
        if (PyUnicode_Check(value) || PyBytes_Check(value) || PyLong_Check(value)) {
            list.reset(PyList_New(1));
            if (list) {
                Py_INCREF(value);
                PyList_SET_ITEM(list.get(), 0, value);
            }
        } else {
            list.reset(PySequence_List(value));
        }
        if (!list)
            PyErr_Clear();
    }

    Py_ssize_t size() const { return list ? PyList_GET_SIZE(list.get()) : 0; }
    // Borrowed; null past the end.
    PyObject* at(Py_ssize_t index) const
    {
        return index >= 0 && index < size() ? PyList_GET_ITEM(list.get(), index) : nullptr;
    }

private:
    Q_DISABLE_COPY_MOVE(Items)

    Python::PyRef list;
};

// Item `index` of a tuple or other sequence, a new reference; null when the
// sequence is shorter or no sequence at all.
PyObject* itemOf(PyObject* sequence, Py_ssize_t index)
{
    if (!sequence || !PySequence_Check(sequence) || PyUnicode_Check(sequence))
        return nullptr;
    PyObject* item = PySequence_GetItem(sequence, index);
    if (!item)
        PyErr_Clear();
    return item;
}

bool hasAttribute(PyObject* object, const char* name)
{
    return object && PyObject_HasAttrString(object, name) == 1;
}

// Whether the object has the attribute, answered from its class where the
// class has it: a property is then not evaluated. A package's file list is
// such a property, and building it is the dearest part of a Search.
bool declaresAttribute(PyObject* object, const char* name)
{
    if (!object)
        return false;
    if (PyObject_HasAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), name) == 1)
        return true;
    return hasAttribute(object, name);
}

// The operator of an installed package's relation, from rpm's sense bits.
QString senseOperator(long flags)
{
    QString text;
    if (flags & 2)
        text += QLatin1Char('<');
    if (flags & 4)
        text += QLatin1Char('>');
    if (flags & 8)
        text += QLatin1Char('=');
    return text;
}

// The operator of an available package's relation, from yum's flag text.
QString flagOperator(const QString& flag)
{
    if (flag == QLatin1String("GT"))
        return QStringLiteral(">");
    if (flag == QLatin1String("GE"))
        return QStringLiteral(">=");
    if (flag == QLatin1String("LT"))
        return QStringLiteral("<");
    if (flag == QLatin1String("LE"))
        return QStringLiteral("<=");
    if (flag == QLatin1String("EQ"))
        return QStringLiteral("=");
    return flag;
}

}

// What tells the two loads of extra data apart.
struct YumIO::ExtraData
{
    const char* headline;
    const char* subject;
    const char* totalText;
    const char* method;
    const char* failure;
    const char* internal;
    bool YumIO::*collected;
};

bool YumIO::lockUnavailable() const
{
    return workerRunning && QThread::currentThread() == thread();
}

QString YumIO::detailText(const Package::Entry& entry, const char* name)
{
    if (lockUnavailable() || !entry.po)
        return QString();
    return simpleString(entry.po, name);
}

QString YumIO::getUrl(const Package::Entry& entry)
{
    return detailText(entry, "url");
}

QString YumIO::getPackager(const Package::Entry& entry)
{
    return detailText(entry, "packager");
}

QString YumIO::getLicense(const Package::Entry& entry)
{
    return detailText(entry, "license");
}

QString YumIO::getSourceRpm(const Package::Entry& entry)
{
    return detailText(entry, "sourcerpm");
}

QString YumIO::getBuildHost(const Package::Entry& entry)
{
    return detailText(entry, "buildhost");
}

QString YumIO::getVendor(const Package::Entry& entry)
{
    return detailText(entry, "vendor");
}

QString YumIO::getGroup(const Package::Entry& entry)
{
    return detailText(entry, "group");
}

QString YumIO::getDescription(const Package::Entry& entry)
{
    return detailText(entry, "description");
}

QString YumIO::getBinaryRpm(const Package::Entry& entry)
{
    if (lockUnavailable() || !entry.po)
        return QString();
    bool available;
    {
        Python::PyGILStateWrapper guard(true);
        available = hasAttribute(entry.po, "relativepath");
    }
    return available ? simpleString(entry.po, "relativepath") : QString();
}

QString YumIO::getRelocations(const Package::Entry& entry)
{
    return getRpmList(entry.po, "PREFIXES");
}

QString YumIO::getInstallTime(const Package::Entry& entry)
{
    return getRpmTime(entry.po, "INSTALLTIME");
}

QString YumIO::getProvides(const Package::Entry& entry)
{
    return getPrco(entry.po, "PROVIDE", "provides");
}

QString YumIO::getRequires(const Package::Entry& entry)
{
    return getPrco(entry.po, "REQUIRE", "requires");
}

QString YumIO::getConflicts(const Package::Entry& entry)
{
    return getPrco(entry.po, "CONFLICT", "conflicts");
}

QString YumIO::getObsoletes(const Package::Entry& entry)
{
    return getPrco(entry.po, "OBSOLETE", "obsoletes");
}

PyObject* YumIO::getRpmHdrValue(PyObject* package, const char* tag)
{
    if (!hasAttribute(package, "hdr")) {
        error(tr("getRpmHdrValue called for package with no hdr (i.e. not installed)"));
        return nullptr;
    }
    PyRef hdr(PyObject_GetAttrString(package, "hdr"));
    if (!hdr) {
        handleException();
        return nullptr;
    }
    const QByteArray name = QByteArray("RPMTAG_") + tag;
    PyObject* constant = rpmDict ? PyDict_GetItemString(rpmDict, name.constData()) : nullptr;
    if (!constant) {
        error(tr("Internal error: cannot find rpm.%1").arg(QString::fromLatin1(name)));
        return nullptr;
    }
    PyObject* value = PyObject_GetItem(hdr.get(), constant);
    if (!value && PyErr_Occurred())
        handleException();
    return value;
}

QString YumIO::getRpmList(PyObject* package, const char* tag)
{
    if (lockUnavailable() || !package)
        return QString();
    Python::PyGILStateWrapper guard(true);
    if (!hasAttribute(package, "hdr"))
        return QString();
    PyRef value(getRpmHdrValue(package, tag));
    QString text;
    Items items(value.get());
    for (Py_ssize_t i = 0; i < items.size(); ++i) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += pyString(items.at(i));
    }
    return text;
}

QString YumIO::getRpmTime(PyObject* package, const char* tag)
{
    if (lockUnavailable() || !package)
        return QString();
    Python::PyGILStateWrapper guard(true);
    if (!hasAttribute(package, "hdr"))
        return QString();
    PyObject* value = getRpmHdrValue(package, tag);
    // The failed lookup has been reported; a date of 1970 would only mislead.
    if (!value)
        return QString();
    return QString::fromLatin1(timeFormat(pyTimeDec(value)));
}

QString YumIO::makeSortedUniq(QStringList& lines)
{
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines.join(QLatin1Char('\n'));
}

// Epochs may come as numbers, versions and releases as texts.
QString YumIO::relationText(PyObject* object)
{
    if (!object || object == Py_None)
        return QString();
    if (PyLong_Check(object))
        return pyStringDec(PyObject_Str(object));
    return pyString(object);
}

QString YumIO::getPrco(PyObject* package, const char* prefix, const char* kind)
{
    if (lockUnavailable() || !package)
        return QString();
    Python::PyGILStateWrapper guard(true);
    QStringList lines;

    if (hasAttribute(package, "hdr")) {
        const QByteArray tag(prefix);
        PyRef names(getRpmHdrValue(package, (tag + "NAME").constData()));
        if (!names.holds())
            return QString();
        PyRef flags(getRpmHdrValue(package, (tag + "FLAGS").constData()));
        PyRef versions(getRpmHdrValue(package, (tag + "VERSION").constData()));
        Items nameItems(names.get());
        Items flagItems(flags.get());
        Items versionItems(versions.get());
        for (Py_ssize_t i = 0; i < nameItems.size(); ++i) {
            QString line = pyString(nameItems.at(i));
            PyObject* flag = flagItems.at(i);
            PyObject* version = versionItems.at(i);
            // Kept with its two blanks when rpm stores no operator and an
            // empty version: the lines read the same in every package.
            if (flag && flag != Py_None && version && version != Py_None) {
                const long bits = PyLong_Check(flag) ? PyLong_AsLong(flag) : 0;
                line += QLatin1Char(' ') + senseOperator(bits) + QLatin1Char(' ')
                        + pyString(version);
            }
            lines << line;
        }
        return makeSorted(lines);
    }

    // Asked of the class first: the layer builds every relation kind when
    // the attribute is read.
    if (!declaresAttribute(package, "prco"))
        return QString();
    PyObject* found = nullptr;
    if (hasAttribute(package, "returnPrco")) {
        found = pyMethodCall(package, "returnPrco", "(s)", kind);
    } else {
        PyRef prco(PyObject_GetAttrString(package, "prco"));
        if (prco.get() && PyDict_Check(prco.get())) {
            found = PyDict_GetItemString(prco.get(), kind);
            Py_XINCREF(found);
        } else if (prco.get()) {
            found = PyMapping_GetItemString(prco.get(), const_cast<char*>(kind));
        }
        if (!found)
            PyErr_Clear();
    }
    PyRef list(found);
    if (!list.get()) {
        error(tr("Internal error: cannot find package's prco.%1").arg(QString::fromLatin1(kind)));
        return QString();
    }
    return prcoListText(list.get());
}

// yum's relation tuples (name, flag, (epoch, version, release)) as sorted
// lines: "name", or "name OP [epoch:]version[-release]".
QString YumIO::prcoListText(PyObject* list)
{
    QStringList lines;
    Items items(list);
    for (Py_ssize_t i = 0; i < items.size(); ++i) {
        PyObject* relation = items.at(i);
        PyRef name(itemOf(relation, 0));
        PyRef flag(itemOf(relation, 1));
        PyRef evr(itemOf(relation, 2));
        QString line = pyString(name.get());
        if (flag.holds() && evr.holds()) {
            PyRef version(itemOf(evr.get(), 1));
            if (version.holds()) {
                line += QLatin1Char(' ') + flagOperator(relationText(flag.get())) + QLatin1Char(' ');
                PyRef epoch(itemOf(evr.get(), 0));
                const QString epochText = relationText(epoch.get());
                if (epoch.holds() && epochText != QLatin1String("0"))
                    line += epochText + QLatin1Char(':');
                line += relationText(version.get());
                PyRef release(itemOf(evr.get(), 2));
                if (release.holds())
                    line += QLatin1Char('-') + relationText(release.get());
            }
        }
        lines << line;
    }
    return makeSorted(lines);
}

void YumIO::loadExtraData(Python::PyGILStateWrapper& guard, bool (YumIO::*collect)())
{
    // The worker needs the lock, and this thread must not hold it while it
    // waits: a caller that holds it too would keep it from the worker for
    // good, so then nothing is loaded.
    guard.release();
    if (PyGILState_Check())
        log(Log::Warning, 0, tr("Internal error: extra data requested under the interpreter lock"));
    else
        (this->*collect)();
    guard.ensure();
}

QString YumIO::getChangeLog(const Package::Entry& entry, ExtraDataLoad load)
{
    if (entry.kind != Package::Suite && entry.kind != Package::Ordinary)
        return QString();
    if (lockUnavailable() || !entry.po)
        return QString();
    Python::PyGILStateWrapper guard(true);
    // Kept alive on its own: the wait for the worker below runs the GUI
    // thread's events, and the entry may not outlive them.
    Py_INCREF(entry.po);
    PyRef po(entry.po);

    if (hasAttribute(po.get(), "hdr")) {
        PyRef names(getRpmHdrValue(po.get(), "CHANGELOGNAME"));
        if (!names.holds())
            return QString();
        PyRef times(getRpmHdrValue(po.get(), "CHANGELOGTIME"));
        PyRef texts(getRpmHdrValue(po.get(), "CHANGELOGTEXT"));
        // A header with one entry may hold its time as a single number.
        const bool timeList = times.get() && PyList_Check(times.get());
        Items nameItems(names.get());
        Items textItems(texts.get());
        Items timeItems(timeList ? times.get() : nullptr);
        QString text;
        for (Py_ssize_t i = 0; i < nameItems.size(); ++i)
            appendChangeLogEntry(text, timeList ? timeItems.at(i) : times.get(), nameItems.at(i),
                                 textItems.at(i));
        return text;
    }

    if (!hasAttribute(po.get(), "changelog"))
        return QString();
    if (load == LoadExtraData)
        loadExtraData(guard, &YumIO::collectOtherData);
    PyObject* found = yumVersion() > 20300 ? pyMethodCall(po.get(), "returnChangelog", "()")
                                           : PyObject_GetAttrString(po.get(), "changelog");
    if (!found && PyErr_Occurred())
        handleException();
    PyRef list(found);
    if (!list.get()) {
        error(tr("Internal error: cannot find package's changelog"));
        return QString();
    }
    return changeLogListText(list.get());
}

// One change-log entry after those in text: "* date author", then its text.
void YumIO::appendChangeLogEntry(QString& text, PyObject* time, PyObject* author, PyObject* body)
{
    if (!text.isEmpty())
        text += QStringLiteral("\n\n");
    text += QStringLiteral("* ") + QString::fromLatin1(dateFormat(pyTime(time))) + QLatin1Char(' ')
            + pyString(author) + QLatin1Char('\n') + pyString(body);
}

// yum's change-log list of (time, author, text), entry by entry.
QString YumIO::changeLogListText(PyObject* list)
{
    QString text;
    Items items(list);
    for (Py_ssize_t i = 0; i < items.size(); ++i) {
        PyRef time(itemOf(items.at(i), 0));
        PyRef author(itemOf(items.at(i), 1));
        PyRef body(itemOf(items.at(i), 2));
        appendChangeLogEntry(text, time.get(), author.get(), body.get());
    }
    return text;
}

QString YumIO::getFiles(const Package::Entry& entry, ExtraDataLoad load)
{
    if (entry.kind == Package::Group)
        return QString();
    if (lockUnavailable() || !entry.po)
        return QString();
    Python::PyGILStateWrapper guard(true);
    Py_INCREF(entry.po);
    PyRef po(entry.po);
    QStringList paths;

    if (hasAttribute(po.get(), "hdr")) {
        PyRef baseNames(getRpmHdrValue(po.get(), "BASENAMES"));
        if (!baseNames.holds())
            return QString();
        PyRef dirNames(getRpmHdrValue(po.get(), "DIRNAMES"));
        PyRef dirIndexes(getRpmHdrValue(po.get(), "DIRINDEXES"));
        const bool indexList = dirIndexes.get() && PyList_Check(dirIndexes.get());
        Items bases(baseNames.get());
        Items indexes(indexList ? dirIndexes.get() : nullptr);
        PyObject* dirs = dirNames.get() && PyList_Check(dirNames.get()) ? dirNames.get() : nullptr;
        for (Py_ssize_t i = 0; i < bases.size(); ++i) {
            PyObject* index = indexList ? indexes.at(i) : dirIndexes.get();
            QString dir;
            if (dirs && index && PyLong_Check(index)) {
                const Py_ssize_t at = PyLong_AsSsize_t(index);
                if (at >= 0 && at < PyList_GET_SIZE(dirs))
                    dir = pyString(PyList_GET_ITEM(dirs, at));
                else
                    PyErr_Clear();
            }
            paths << dir + pyString(bases.at(i));
        }
        return makeSortedUniq(paths);
    }

    if (!declaresAttribute(po.get(), "files"))
        return QString();
    if (load == LoadExtraData)
        loadExtraData(guard, &YumIO::collectFileLists);
    PyRef list(pyMethodCall(po.get(), "returnFileEntries", "(s)", "file"));
    if (!list.get()) {
        error(tr("Internal error: cannot find package's files"));
        return QString();
    }
    return fileListText(list.get());
}

// A list of paths, sorted, each once.
QString YumIO::fileListText(PyObject* list)
{
    QStringList paths;
    Items items(list);
    for (Py_ssize_t i = 0; i < items.size(); ++i)
        paths << pyString(items.at(i));
    return makeSortedUniq(paths);
}

bool YumIO::getSearchTexts(const Package::Entry& entry, int part, QStringList& texts)
{
    if (entry.kind != Package::Suite && entry.kind != Package::Ordinary)
        return false;
    if (lockUnavailable() || !entry.po || !yumIO || part < 0 || part > 1)
        return false;
    Python::PyGILStateWrapper guard(true);
    // The change log is read as the field's getter reads it.
    if (part == 1 && yumVersion() <= 20300)
        return false;
    if (!hasAttribute(yumIO, "searchFields"))
        return false;
    PyRef fields(pyMethodCall(yumIO, "searchFields", "(Oi)", entry.po, part));
    const Py_ssize_t expected = part == 0 ? 8 : 6;
    if (!fields.get() || !PyTuple_Check(fields.get()) || PyTuple_GET_SIZE(fields.get()) != expected)
        return false;
    auto at = [&fields](Py_ssize_t i) { return PyTuple_GET_ITEM(fields.get(), i); };
    texts.clear();
    if (part == 0) {
        // Description, group, vendor, relative path, source rpm, license,
        // packager, URL; simpleText takes a reference of its own.
        QString simple[8];
        for (Py_ssize_t i = 0; i < 8; ++i) {
            Py_INCREF(at(i));
            simple[i] = simpleText(at(i));
        }
        // A package the script reads so has no header: no install time and
        // no relocations.
        texts << simple[0] << simple[1] << simple[2] << getBuildTime(entry) << QString()
              << simple[3] << simple[4] << simple[5] << simple[6] << simple[7] << QString();
    } else {
        for (Py_ssize_t i = 0; i < 4; ++i)
            texts << prcoListText(at(i));
        texts << fileListText(at(4)) << changeLogListText(at(5));
    }
    return true;
}

bool YumIO::collectOtherData()
{
    if (otherDataCollected)
        return true;
    QEventLoop loop;
    CollectOtherDataThread thread(this, &loop);
    if (!execWorkThread(loop, thread))
        return false;
    return thread.result;
}

bool YumIO::collectFileLists()
{
    if (fileListsCollected)
        return true;
    QEventLoop loop;
    CollectFileListsThread thread(this, &loop);
    if (!execWorkThread(loop, thread))
        return false;
    return thread.result;
}

bool YumIO::collectOtherDataReal()
{
    static const ExtraData data = {
        QT_TRANSLATE_NOOP("YumIO", "Collecting Miscellaneous data"),
        QT_TRANSLATE_NOOP("YumIO", "miscellaneous data"),
        QT_TRANSLATE_NOOP("YumIO", "Loading miscellaneous data: Total Progress"),
        "collectOtherData",
        QT_TRANSLATE_NOOP("YumIO", "Unable to collect miscellaneous data"),
        QT_TRANSLATE_NOOP("YumIO", "Internal error: execution of yumIO.collectOtherData failed"),
        &YumIO::otherDataCollected,
    };
    return collectExtraReal(data);
}

bool YumIO::collectFileListsReal()
{
    static const ExtraData data = {
        QT_TRANSLATE_NOOP("YumIO", "Collecting File Lists"),
        QT_TRANSLATE_NOOP("YumIO", "file lists"),
        QT_TRANSLATE_NOOP("YumIO", "Loading file lists: Total Progress"),
        "collectFileLists",
        QT_TRANSLATE_NOOP("YumIO", "Unable to collect file lists"),
        QT_TRANSLATE_NOOP("YumIO", "Internal error: execution of yumIO.collectFileLists failed"),
        &YumIO::fileListsCollected,
    };
    return collectExtraReal(data);
}

// Worker thread. The load shows on a total of 15000 steps: the script's
// downloads and readings drive the repository acts, five for each
// repository of the last collection.
bool YumIO::collectExtraReal(const ExtraData& data)
{
    ProgressUser progressScope(progress, totalBar, itemBar);
    YumIODialogsUser dialogsScope(dialogs, parent);

    log(Log::Action, 0, tr(data.headline));
    collectSubject = tr(data.subject);
    actCounter = 0;

    // Released before the relay's scope closes: the relay may still deliver
    // a box while it ends.
    Python::PyGILStateWrapper guard(true);
    // A text per package is kept of the whole load.
    Python::CollectorPause collectorPause;
    if (progress) {
        progress->startTotal(tr(data.totalText), 15000);
        progress->startItem(tr("Reading repositories"), 1000, 1);
        progress->setupItemActs(14000, 5 * Steps(enabledRepos.size()));
    }

    pyExceptStart();
    PyObject* yumBaseError = pyLookup("yum.Errors.YumBaseError");
    pyExceptExpect(yumBaseError);
    PyObject* result = pyMethodCall(yumIO, data.method, "()");
    bool loaded = false;
    if (pyExceptMatches(result, yumBaseError)) {
        pythonExceptionV(tr(data.failure));
    } else if (result) {
        Py_DECREF(result);
        if (progress)
            progress->endItemActs();
        this->*data.collected = true;
        emit collectedExtraData();
        loaded = true;
    } else {
        error(tr(data.internal));
    }
    pyExceptClear();
    return loaded;
}
