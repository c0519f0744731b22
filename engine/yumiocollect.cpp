// The collection of the package model on its worker: yum's lock on the
// first run, the session's repository choices, the repositories' set-up,
// the updatable, installed and available packages with their version
// chains, and the groups (yumiogroups.cpp).
//
// The phases share the 24000 steps of "Initializing: Total Progress" on the
// total bar; the repository phase's acts frame the setupRepos call, and the
// script's callbacks during it (yumiocollectprogress.cpp) start them. An
// engine without bars has no relay: `progress` stays null and the phases
// show nothing.
#include "engine/yumio.h"

#include <utility>

#include <QEventLoop>

#include "engine/progress.h"
#include "engine/yumiodialogs.h"
#include "engine/yumiothreads.h"

bool YumIO::collect(const QHash<QString, bool>& overrides)
{
    QEventLoop loop;
    CollectThread thread(this, &loop, &overrides);
    execWorkThread(loop, thread);
    return thread.result;
}

bool YumIO::collectReal(const QHash<QString, bool>& overrides)
{
    ProgressUser progressUser(progress, totalBar, itemBar);
    YumIODialogsUser dialogsUser(dialogs, parent);
    log(Log::Action, 0, tr("Initialization"));
    // Released before the relay's scope closes: the relay may still deliver
    // a box while it ends.
    Python::PyGILStateWrapper guard(true);
    // Tens of thousands of package objects are made here, and all of them
    // live on: the cyclic collector would walk them again and again while
    // they are made. It is back on before the lock is let go.
    Python::CollectorPause collectorPause;
    fileListsCollected = false;
    otherDataCollected = false;
    // The script's object could not be made; clear() has reported why, and
    // the next clear() tries again.
    if (!yumIO)
        return false;

    if (progress) {
        progress->startTotal(tr("Initializing: Total Progress"), 24000);
        progress->startItem(tr("Preparing"), 100, 1);
    }
    if (!yumLocked && !collectLock())
        return false;
    // 900 steps, then 14000 in acts.
    if (!collectRepositories(overrides))
        return false;

    if (progress)
        progress->startItem(tr("Collecting updatable packages"), 4000, 1);
    PyRef result(collectStep("setupTs", {"yum.Errors.YumBaseError", "bdb.BdbQuit"},
                             tr("Unable to setup transaction")));
    if (!result)
        return false;
    {
        // Each list goes as soon as its packages are entered: the entries
        // keep the package objects.
        PyRef updates(collectStep("collectUpdates", {"yum.Errors.YumBaseError", "bdb.BdbQuit"},
                                  tr("Unable to collect updatable packages")));
        if (!updates || !collectSet(index, updates.get(), Package::Updatable))
            return false;
    }

    if (progress)
        progress->startItem(tr("Collecting installed and available packages"), 4000, 1);
    // Installed packages come after the updates, so that they are chained
    // behind them, and available ones last, so that they only fill names
    // nothing else has.
    {
        PyRef all(collectStep("collectAll", {"yum.Errors.YumBaseError", "bdb.BdbQuit"},
                              tr("Unable to collect installed and available packages")));
        if (!all || !collectField(index, all.get(), "installed", Package::Installed)
            || !collectField(index, all.get(), "available", Package::Available))
            return false;
    }

    if (progress)
        progress->startItem(tr("Collecting groups"), 1000, 1);
    if (!collectGroupPhase())
        return false;
    // The last item's end is the total's: the bar shows the whole done.
    if (progress)
        progress->setItemValue(1);

    result.reset(pyMethodCall(yumIO, "collectDone", "()"));
    // The model is handed over only now: a failed collection leaves its
    // entries in the index alone, where the next clearing finds them.
    for (Package::Entry* head : std::as_const(index))
        entries.append(head);
    return true;
}

// The method of the script's object in a scope expecting the named yum
// exception types. A declared exception is reported with the headline and
// the exception's value; any other failure, which the interpreter wrapper
// has reported already, is named as the method's. Null after a report.
PyObject* YumIO::collectStep(const char* method, std::initializer_list<const char*> expected,
                             const QString& headline)
{
    pyExceptStart();
    QList<PyObject*> types;
    for (const char* name : expected) {
        PyObject* type = pyLookup(name);
        types << type;
        pyExceptExpect(type);
    }
    PyObject* result = pyMethodCall(yumIO, method, "()");
    if (!result) {
        bool declared = false;
        for (PyObject* type : std::as_const(types))
            declared = declared || pyExceptMatches(result, type);
        if (declared)
            pythonExceptionV(headline);
        else
            error(tr("Internal error: execution of yumIO.%1 failed").arg(QLatin1String(method)));
    }
    pyExceptClear();
    return result;
}

bool YumIO::collectLock()
{
    // The lock counts as taken only when lock() returned: after any failure
    // the next collection asks again, and the end of the program releases
    // nothing it never had.
    PyRef result(collectStep("lock", {"yum.Errors.LockError"}, tr("Unable to obtain yum lock")));
    if (!result)
        return false;
    yumLocked = true;
    return true;
}

bool YumIO::collectRepositories(const QHash<QString, bool>& overrides)
{
    // The previous object's dictionary goes first: the script's object may
    // have been replaced since, and its repositories with it.
    Py_CLEAR(reposDict);
    PyRef repos(yumIO ? PyObject_GetAttrString(yumIO, "repos") : nullptr);
    reposDict = repos ? PyObject_GetAttrString(repos.get(), "repos") : nullptr;
    if (!reposDict) {
        PyErr_Clear();
        error(tr("Internal error: yumIO.repos.repos not evaluable"));
        return false;
    }
    if (!PyDict_Check(reposDict)) {
        error(tr("Internal error: yumIO.repos.repos not a dictionary"));
        return false;
    }
    useRepos(repos.get(), overrides);

    enabledRepos = collectRepos(reposDict);
    collectSubject = tr("contents");
    actCounter = 0;
    if (PyDict_Size(reposDict) == 0) {
        error(tr("No repositories are configured.\nUnder the Repositories menu, Edit Configuration can be used to configure repositories."));
        return false;
    }
    if (enabledRepos.isEmpty()) {
        error(tr("No repositories are enabled.\nUnder the Repositories menu, Edit Configuration can be used to configure repositories."));
        return false;
    }

    // Five acts for each enabled repository.
    if (progress) {
        progress->startItem(tr("Reading repositories"), 900, 1);
        progress->setupItemActs(14000, 5 * Steps(enabledRepos.size()));
    }
    PyRef result(collectStep("setupRepos", {"yum.Errors.RepoError", "bdb.BdbQuit"},
                             tr("Unable to initialize")));
    if (!result)
        return false;
    if (progress)
        progress->endItemActs();
    return true;
}

void YumIO::useRepos(PyObject* repos, const QHash<QString, bool>& overrides)
{
    for (auto it = overrides.constBegin(); it != overrides.constEnd(); ++it) {
        // Repositories yum does not know (a file removed meanwhile) are no
        // concern of this run.
        if (!pyDictGetItem(reposDict, it.key()))
            continue;
        pyExceptStart();
        PyObject* repoError = pyLookup("yum.Errors.RepoError");
        pyExceptExpect(repoError);
        const QByteArray id = it.key().toUtf8();
        PyObject* result = pyMethodCall(repos, it.value() ? "enableRepo" : "disableRepo", "(s)",
                                        id.constData());
        if (pyExceptMatches(result, repoError)) {
            const QString reason = pyStringDec(pyExceptValuef());
            warning(tr("unable to setup repository %1:\n%2").arg(it.key(), reason));
        }
        Py_XDECREF(result);
        pyExceptClear();
    }
}

QStringList YumIO::collectRepos(PyObject* repositories)
{
    QStringList enabled;
    Py_ssize_t position = 0;
    PyObject* id = nullptr;
    PyObject* repo = nullptr;
    while (PyDict_Next(repositories, &position, &id, &repo)) {
        PyObject* flag = PyObject_GetAttrString(repo, "enabled");
        if (!flag) {
            PyErr_Clear();
            continue;
        }
        const long value = PyLong_Check(flag) ? PyLong_AsLong(flag) : PyObject_IsTrue(flag);
        Py_DECREF(flag);
        if (value == -1 && PyErr_Occurred()) {
            // An enabled flag that cannot be read as a number counts as set:
            // yum reads the repository.
            PyErr_Clear();
        }
        if (value != 0)
            enabled << pyString(id);
    }
    return enabled;
}

bool YumIO::collectField(Index& index, PyObject* object, const char* field, Package::State state)
{
    PyRef packages(PyObject_GetAttrString(object, field));
    if (!packages) {
        PyErr_Clear();
        error(tr("Internal error: yumIO.collectAll.%1 not found").arg(QLatin1String(field)));
        return false;
    }
    return collectSet(index, packages.get(), state);
}

bool YumIO::collectSet(Index& index, PyObject* packages, Package::State state)
{
    // The list is taken whole first: an iterator that breaks off (a failing
    // package list) is the wrapper's to report, and the collection does not
    // go on with half a list.
    PyRef list(PySequence_List(packages));
    if (!list) {
        handleException();
        return false;
    }
    PackageFields fields;
    const Py_ssize_t count = PyList_GET_SIZE(list.get());
    for (Py_ssize_t start = 0; start < count; start += rowsPerCall) {
        PyRef part(PyList_GetSlice(list.get(), start, start + rowsPerCall));
        if (!part || !collectRows(index, part.get(), state, fields))
            return false;
    }
    return true;
}

bool YumIO::collectRows(Index& index, PyObject* packages, Package::State state,
                        PackageFields& fields)
{
    // One call for many packages reads what every entry keeps, where a call
    // per field and package would cost an argument tuple and an exception
    // scope each time.
    PyRef rows(pyMethodCall(yumIO, "collectRows", "(O)", packages));
    if (!rows || !PyList_Check(rows.get())) {
        error(tr("Internal error: execution of yumIO.collectRows failed"));
        return false;
    }
    const Py_ssize_t count = PyList_GET_SIZE(rows.get());
    for (Py_ssize_t i = 0; i < count; ++i) {
        // A package the script does not know comes back alone, not as a row.
        PyObject* row = PyList_GET_ITEM(rows.get(), i);
        const bool isRow = PyTuple_Check(row) && PyTuple_GET_SIZE(row) == 9;
        PyObject* po = isRow ? PyTuple_GET_ITEM(row, 0) : row;
        if (isRow) {
            rowFields(row, fields);
        } else {
            PyObject* nameObject = PyObject_GetAttrString(po, "name");
            if (!nameObject) {
                // A package without a name cannot be keyed; the wrapper
                // reports its exception.
                handleException();
                return false;
            }
            Py_DECREF(nameObject);
            objectFields(po, fields);
        }
        const EntryKey key(false, fields.name);
        auto found = index.find(key);
        if (found == index.end()) {
            Package::Entry* entry = nullptr;
            collectPkg(entry, state, po, fields);
            index.insert(key, entry);
        } else if (found.value()->state == Package::Updatable && state == Package::Installed) {
            collectPkg(found.value()->last()->next, state, po, fields);
        }
    }
    return true;
}

// A row of collectRows: the package object, name, version text,
// repository, architecture, size, summary, build time and rpm group.
void YumIO::rowFields(PyObject* row, PackageFields& fields)
{
    fields.name = pyString(PyTuple_GET_ITEM(row, 1));
    fields.verRel = pyString(PyTuple_GET_ITEM(row, 2));
    // Most packages share their repository and architecture with the row
    // before: the entries then share one copy of the text.
    PyObject* repo = PyTuple_GET_ITEM(row, 3);
    if (!sameText(fields.repo, repo)) {
        Py_INCREF(repo);
        fields.repo = simpleText(repo);
    }
    PyObject* arch = PyTuple_GET_ITEM(row, 4);
    if (!sameText(fields.arch, arch))
        fields.arch = pyString(arch);
    quint64 size = 0;
    if (!numberOf(PyTuple_GET_ITEM(row, 5), size))
        warning(tr("Internal error: package size not understood"));
    PyObject* summary = PyTuple_GET_ITEM(row, 6);
    Py_INCREF(summary);
    fields.summary = simpleText(summary);
    fieldTexts(fields, size, pyTime(PyTuple_GET_ITEM(row, 7)));
    PyObject* group = PyTuple_GET_ITEM(row, 8);
    Py_INCREF(group);
    fields.kind = simpleText(group) == QLatin1String("Suite") ? Package::Suite
                                                              : Package::Ordinary;
}

void YumIO::objectFields(PyObject* po, PackageFields& fields)
{
    fields.name = pyStringDec(PyObject_GetAttrString(po, "name"));
    fields.verRel = pyStringDec(pyMethodCall(po, "printVer", "()"));
    fields.repo = simpleString(po, "repoid");
    fields.arch = pyStringDec(PyObject_GetAttrString(po, "arch"));
    const quint64 size = sizeOf(po);
    fields.summary = simpleString(po, "summary");
    fieldTexts(fields, size, buildTimeOf(po));
    fields.kind = simpleString(po, "group") == QLatin1String("Suite") ? Package::Suite
                                                                       : Package::Ordinary;
}

// Whether a text of the interpreter is the one already kept; only texts of
// one byte per character are compared, any other counts as new.
bool YumIO::sameText(const QString& kept, PyObject* object)
{
    return !kept.isNull() && PyUnicode_Check(object) && PyUnicode_IS_READY(object)
           && PyUnicode_KIND(object) == PyUnicode_1BYTE_KIND
           && kept == QLatin1String(reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(object)),
                                    int(PyUnicode_GET_LENGTH(object)));
}

// The size and build time with their texts; a value that equals the last
// package's keeps its text, shared between the entries.
void YumIO::fieldTexts(PackageFields& fields, quint64 size, long buildTime)
{
    if (fields.sizeText.isNull() || size != fields.size) {
        fields.size = size;
        fields.sizeText = bytesFormat(size);
    }
    if (fields.buildTimeText.isNull() || buildTime != fields.buildTime) {
        fields.buildTime = buildTime;
        fields.buildTimeText = QString::fromLatin1(timeFormat(buildTime));
    }
}

void YumIO::collectPkg(Package::Entry*& slot, Package::State state, PyObject* po,
                       const PackageFields& fields)
{
    slot = new Package::Entry(fields.name, fields.verRel, fields.repo, fields.arch, fields.size,
                              fields.sizeText, fields.summary, fields.buildTime,
                              fields.buildTimeText, po);
    slot->action = Package::NoAction;
    slot->state = state;
    slot->kind = fields.kind;
}
