// The apply driver: the user's marks become the script's install, update and
// remove lists, the work of dependency solving is estimated, and the
// script's apply runs yum's whole transaction, calling back for the listing,
// the confirmation and the progress (yumiotransaction.cpp) in this thread,
// with the progress relay on the bars and the process's standard output and
// error captured into the log for the length of the call. Also the reading
// of yum's transaction lists and the size estimates that the listing feeds.
//
// What marked groups imply for their members is settled before the lists
// are built (yumiogroupactions.cpp).
#include "engine/yumio.h"

#include <utility>

#include <QEventLoop>
#include <QFile>

#include "engine/progress.h"
#include "engine/yumioapply.h"
#include "engine/yumiocapturers.h"
#include "engine/yumiodialogs.h"
#include "engine/yumiothreads.h"

namespace {

// False when the list or the item is missing or the append fails; the
// interpreter's own error is dropped, the caller reports what it was doing.
bool appendTo(PyObject* list, PyObject* item)
{
    if (!list || !item)
        return false;
    if (PyList_Append(list, item) == 0)
        return true;
    PyErr_Clear();
    return false;
}

// An empty path never exists: a package without a local file counts as one
// whose file is missing.
bool fileExists(const QString& path)
{
    return !path.isEmpty() && QFile::exists(path);
}

}

bool YumIO::apply()
{
    QEventLoop loop;
    ApplyThread thread(this, &loop);
    if (!execWorkThread(loop, thread))
        return false;
    return thread.result;
}

bool YumIO::applyReal()
{
    // The ApplyThread has passed the blocker before this body: the GUI
    // thread has blocked SIGCHLD by now, so the signals of rpm's children
    // come to this thread.
    // Opened before the dialog relay and ended after it; both end after the
    // lock guard.
    ProgressUser progressUser(progress, totalBar, itemBar);
    YumIODialogsUser dialogsUser(dialogs, parent);
    log(Log::Action, 0, tr("Applying"));
    // Held until the apply ends: the script's callbacks arrive in this
    // thread, inside the script call, and take no lock of their own.
    Python::PyGILStateWrapper guard(true);

    if (progress) {
        progress->startTotal(tr("Checking Dependencies: Total Progress"), 10000);
        progress->startItem(tr("Preparing"), 100, 1);
    }

    resetApplyState();

    // Declared after the guard, so that they are given back under the lock
    // on every way out of here.
    PyRef installs(PyList_New(0));
    PyRef updates(PyList_New(0));
    PyRef removes(PyList_New(0));
    if (!installs || !updates || !removes) {
        if (PyErr_Occurred())
            handleException();
        return false;
    }

    for (Package::Entry* entry : std::as_const(entries)) {
        entry->groupAction = entry->action;
        entry->markedBy = entry;
    }
    if (!applyGroups())
        return false;
    // A list that lacks a package would apply something the user did not
    // ask for; nothing is applied then.
    if (!buildApplyLists(installs.get(), updates.get(), removes.get()))
        return false;

    resolveCheckActs = resolvePackages;
    resolveDoneActs = resolveCheckActs;
    // The 9900 steps after "Preparing" are shared among the dependency acts.
    if (progress)
        progress->setupItemActs(9900, resolveActs());

    bool declared = false;
    PyRef result(applyStep(installs.get(), updates.get(), removes.get(), declared));
    // A declared failure stops here; after any other the output is still
    // flushed and the bars are reset, and whatever the user answered, the
    // transaction did not end well.
    if (declared)
        return false;
    PyRef flushed(pyMethodCall(yumIO, "flush", "()"));
    if (progress)
        progress->reset();
    updatedNames.clear();
    return result && confirmed;
}

void YumIO::resetApplyState()
{
    transactionText.clear();
    confirmed = false;
    itemPosition = 0;
    updatedNames.clear();
    resolvePackages = 0;
    resolveHeaders = 0;
    installBytes = 0;
    downloadBytes = 0;
    rpmUnits = 0;
    lastElement = 0;
    deltaRebuildSeen = false;
    notUnderstoodWhats.clear();
    notUnderstoodActions.clear();
}

PyObject* YumIO::applyStep(PyObject* installs, PyObject* updates, PyObject* removes,
                           bool& declared)
{
    pyExceptStart();
    PyObject* yumBaseError = pyLookup("yum.Errors.YumBaseError");
    pyExceptExpect(yumBaseError);
    // Python 3's IOError is OSError.
    pyExceptExpect(PyExc_OSError);
    PyObject* result = nullptr;
    {
        // What the script, yum, rpm and the scriptlets write meanwhile goes
        // to the log. The capture ends before any failure is reported, so
        // that rpm's last words are among the error lines the report
        // gathers.
        YumIOCapturersUser capture(capturers, this);
        result = pyMethodCall(yumIO, "apply", "(OOO)", installs, updates, removes);
    }
    declared = false;
    if (pyExceptMatches(result, yumBaseError)) {
        declared = true;
        pythonExceptionV(tr("Error applying changes"));
    } else if (pyExceptMatches(result, PyExc_OSError)) {
        declared = true;
        // Only a broken pipe has a headline of its own; any other error of
        // the operating system is one of yum's errors with its text.
        if (PyErr_ExceptionMatches(PyExc_BrokenPipeError))
            pythonException(tr("Error applying changes: Exiting on Broken Pipe"));
        else
            pythonExceptionV(tr("Error applying changes"));
    }
    pyExceptClear();
    return result;
}

bool YumIO::buildApplyLists(PyObject* installs, PyObject* updates, PyObject* removes)
{
    for (Package::Entry* entry : std::as_const(entries)) {
        // A group only marks its members; a suite is a package.
        if (entry->kind == Package::Group)
            continue;
        switch (entry->groupAction) {
        case Package::Install:
            if (!appendTo(installs, entry->po)) {
                error(tr("Unable to add package %1 to installs list").arg(entry->name));
                return false;
            }
            resolvePackages += 1;
            if (!fileExists(getLocalHdr(entry->po)))
                resolveHeaders += 1;
            break;
        case Package::Remove: {
            // An updatable entry stands for the newer version; what is
            // removed is the installed one behind it.
            PyObject* po = entry->next ? entry->next->po : entry->po;
            if (!appendTo(removes, po)) {
                error(tr("Unable to add package %1 to removes list").arg(entry->name));
                return false;
            }
            resolvePackages += 1;
            break;
        }
        case Package::Update: {
            if (!entry->next) {
                error(tr("Unable to find installed version for package update %1").arg(entry->name));
                return false;
            }
            PyRef pair(PyList_New(0));
            if (!appendTo(pair.get(), entry->po)) {
                error(tr("Unable to add new package to pair for updated package %1").arg(entry->name));
                return false;
            }
            if (!appendTo(pair.get(), entry->next->po)) {
                error(tr("Unable to add old package to pair for updated package %1").arg(entry->name));
                return false;
            }
            if (!appendTo(updates, pair.get())) {
                error(tr("Unable to add package %1 to updates list").arg(entry->name));
                return false;
            }
            resolvePackages += 2;
            if (!fileExists(getLocalHdr(entry->po)))
                resolveHeaders += 1;
            break;
        }
        default:
            break;
        }
    }
    return true;
}

quint64 YumIO::resolveActs() const
{
    return Estimate::sum(resolveDoneActs, Estimate::times(resolveHeaders, 10));
}

bool YumIO::makeLists(PyObject* yb, TransactionLists& lists)
{
    lists.tsInfo.reset(yb ? PyObject_GetAttrString(yb, "tsInfo") : nullptr);
    if (!lists.tsInfo) {
        if (PyErr_Occurred())
            handleException();
        return false;
    }
    lists.made.reset(pyMethodCall(lists.tsInfo.get(), "makelists", "()"));
    if (!lists.made)
        return false;

    // The order of old yum's tuple.
    PyRef* const seven[] = {&lists.updated, &lists.installed, &lists.removed,
                                 &lists.obsoleted, &lists.depupdated, &lists.depinstalled,
                                 &lists.depremoved};
    static const char* const names[] = {"updated", "installed", "removed", "obsoleted",
                                        "depupdated", "depinstalled", "depremoved"};

    if (yumVersion() > 20301) {
        for (int i = 0; i < 7; ++i) {
            seven[i]->reset(PyObject_GetAttrString(lists.tsInfo.get(), names[i]));
            if (!*seven[i]) {
                handleException();
                return false;
            }
        }
        return true;
    }

    if (!PyTuple_Check(lists.made.get())) {
        error("Internal error: yumIO.makelists() did not return a tuple\n");
        return false;
    }
    if (PyTuple_GET_SIZE(lists.made.get()) != 7) {
        error("Internal error: yumIO.makelists() returned tuple of incorrect size\n");
        return false;
    }
    for (int i = 0; i < 7; ++i) {
        PyObject* item = PyTuple_GET_ITEM(lists.made.get(), i);
        Py_INCREF(item);
        seven[i]->reset(item);
    }
    return true;
}

void YumIO::noteTransactionPkgs(Package::Action action, PyObject* members)
{
    eachMember(members, [&](PyObject* member) {
        PyRef pkgtup(PyObject_GetAttrString(member, "pkgtup"));
        if (!pkgtup) {
            PyErr_Clear();
            error("Internal error: txmbr lacks pkgtup\n");
            return false;
        }
        PyRef nameItem(PySequence_GetItem(pkgtup.get(), 0));
        const QString name = pyString(nameItem.get());
        // The sizes come from the engine's entries; a package that the
        // table does not show (yum knows more than was collected) adds
        // nothing it could be measured by.
        const Package::Entry* entry = index.value(EntryKey(false, name), nullptr);
        if (!entry)
            return true;
        const quint64 size = entry->size;

        if (action == Package::Install || action == Package::Update) {
            installBytes = Estimate::sum(installBytes, Estimate::term(size));
            // yum's member carries its package as "po"; a package object
            // stands for itself.
            PyRef po(PyObject_GetAttrString(member, "po"));
            if (!po) {
                PyErr_Clear();
                Py_INCREF(member);
                po.reset(member);
            }
            if (!fileExists(getLocalPkg(po.get())))
                downloadBytes = Estimate::sum(downloadBytes, Estimate::term(size));
            rpmUnits = Estimate::sum(rpmUnits, Estimate::term(Estimate::times(size, 3)));
        }
        if (action == Package::Remove)
            rpmUnits = Estimate::sum(rpmUnits, Estimate::term(size));
        if (action == Package::Update) {
            // The old version goes too; without one known the term is left
            // out.
            if (entry->next)
                rpmUnits = Estimate::sum(rpmUnits, Estimate::term(entry->next->size / 5));
            updatedNames.insert(name);
        }
        return true;
    });
}

QString YumIO::getLocalHdr(PyObject* po)
{
    PyObject* path = pyMethodCall(po, "localHdr", "()");
    if (path == Py_None) {
        Py_DECREF(path);
        return QString();
    }
    return pyStringDec(path);
}

QString YumIO::getLocalPkg(PyObject* po)
{
    PyObject* path = pyMethodCall(po, "localPkg", "()");
    if (path == Py_None) {
        Py_DECREF(path);
        return QString();
    }
    return pyStringDec(path);
}

bool YumIO::usesPresto()
{
    if (!usesPrestoKnown) {
        // No type is declared: any exception is an internal error, and the
        // answer is then no.
        pyExceptStart();
        PyObject* result = pyMethodCall(yumIO, "usesPresto", "()");
        usesPrestoAnswer = result == Py_True;
        Py_XDECREF(result);
        pyExceptClear();
        usesPrestoKnown = true;
    }
    return usesPrestoAnswer;
}
