// The callbacks through which the script reports an apply, in the apply
// worker under the lock that applyReal holds: the dependency-solving passes
// and "TSINFO: " lines that refine the estimate, the transaction listing
// and download size that make the text the user confirms, the confirmation
// itself, and the report of what was done. Further down, rpm's and the
// downloads' progress, which for now check their arguments and change
// nothing.
//
// The progress relay comes later: a comment names each call on the bars
// with its text and share, and `progress` is null until then.
#include "engine/yumio.h"

#include <memory>

#include <QFile>
#include <QThread>

#include "engine/yumioapply.h"
#include "engine/yumiodialogs.h"

namespace {

// Whether an iterable yum list has any item; a list that cannot tell
// counts as empty.
bool hasItems(PyObject* list)
{
    const int truth = list ? PyObject_IsTrue(list) : 0;
    if (truth < 0) {
        PyErr_Clear();
        return false;
    }
    return truth == 1;
}

}

// Dependency solving ----------------------------------------------------------

PyObject* YumIO::dsTsCheck(PyObject* self, PyObject* args)
{
    itemPosition = Estimate::sum(itemPosition, resolveCheckActs);
    // Progress: startItemAct(tr("Resolve Dependencies"), 1, itemPosition).
    Py_RETURN_NONE;
}

PyObject* YumIO::dsRestartLoop(PyObject* self, PyObject* args)
{
    // Each start-over is one more pass over all the packages in play.
    resolveCheckActs = resolvePackages;
    resolveDoneActs = Estimate::sum(resolveDoneActs, resolveCheckActs);
    // Progress: changeItemActs(resolveActs()).
    Py_RETURN_NONE;
}

void YumIO::dsTsInfo(const QString& text)
{
    static const QString updating = QStringLiteral("Updating ");
    static const QString obsoleting = QStringLiteral("Obsoleting ");
    static const QString marking = QStringLiteral("Marking ");
    static const QString with = QStringLiteral(" with ");

    // The name from `start` to the next blank; false when no blank follows.
    auto nameFrom = [&text](int start, QString& name) {
        const int blank = text.indexOf(QLatin1Char(' '), start);
        if (blank < 0)
            return false;
        name = text.mid(start, blank - start);
        return true;
    };

    QString name;
    if (text.startsWith(updating)) {
        if (nameFrom(updating.size(), name)) {
            dsTsNewPkg(name, 2, true);
            return;
        }
    } else if (text.startsWith(obsoleting)) {
        // "Obsoleting OLD with NEW": the obsoleting package's name runs to
        // the next blank or to the end of the line.
        const int withAt = nameFrom(obsoleting.size(), name)
                               ? text.indexOf(with, obsoleting.size() + name.size())
                               : -1;
        if (withAt >= 0) {
            const int start = withAt + with.size();
            int end = text.indexOf(QLatin1Char(' '), start);
            if (end < 0)
                end = text.size();
            const QString obsoleter = text.mid(start, end - start);
            if (!obsoleter.isEmpty()) {
                dsTsNewPkg(name, 1, false);
                dsTsNewPkg(obsoleter, 1, true);
                return;
            }
        }
    } else if (text.startsWith(marking)) {
        if (nameFrom(marking.size(), name)) {
            dsTsNewPkg(name, text.contains(QStringLiteral(" update ")) ? 2 : 1, true);
            return;
        }
    } else if (text.contains(QStringLiteral(" marked as erase"))) {
        return;
    }
    error(tr("Internal error: unexpected TSINFO: %1").arg(text));
}

void YumIO::dsTsNewPkg(const QString& name, unsigned int count, bool fetchHeader)
{
    const Package::Entry* entry = index.value(EntryKey(false, name), nullptr);
    if (!entry) {
        error(tr("Internal error: TSINFO mentions unknown package: %1").arg(name));
        return;
    }
    if (entry->state == Package::Installed) {
        error(tr("Internal error: TSINFO mentions intent to install or upgrade package that already seems up-to-date: %1").arg(name));
        return;
    }
    resolvePackages = Estimate::sum(resolvePackages, count);
    if (fetchHeader) {
        const QString header = getLocalHdr(entry->po);
        if (header.isEmpty() || !QFile::exists(header))
            resolveHeaders = Estimate::sum(resolveHeaders, 1);
    }
    // Progress: changeItemActs(resolveActs()).
}

// The listing and the confirmation ----------------------------------------------

QString YumIO::pkgtupFormat(PyObject* pkgtup)
{
    // name, arch, epoch, version, release; a tuple that is too short is
    // reported once and leaves the rest empty.
    QString parts[5];
    for (int i = 0; pkgtup && i < 5; ++i) {
        PyObject* item = PySequence_GetItem(pkgtup, i);
        if (!item) {
            if (PyErr_Occurred())
                handleException();
            break;
        }
        parts[i] = pyStringDec(item);
    }
    if (parts[2] == QLatin1String("0"))
        return tr("%1 %3-%4 (%2)").arg(parts[0], parts[1], parts[3], parts[4]);
    return tr("%1 %3:%4-%5 (%2)").arg(parts[0], parts[1], parts[2], parts[3], parts[4]);
}

QString YumIO::pkgtupRepoFormat(PyObject* pkgtup, const QString& repo)
{
    return pkgtupFormat(pkgtup) + tr(" [%1]").arg(repo);
}

PyObject* YumIO::memberPkgtup(PyObject* member)
{
    PyObject* pkgtup = PyObject_GetAttrString(member, "pkgtup");
    if (!pkgtup) {
        PyErr_Clear();
        error("Internal error: txmbr lacks pkgtup\n");
    }
    return pkgtup;
}

bool YumIO::displayTransactionPkgs(const QString& label, PyObject* members)
{
    return eachMember(members, [&](PyObject* member) {
        PyOwnedRef pkgtup(memberPkgtup(member));
        if (!pkgtup)
            return false;
        transactionText += tr("\t%1: %2\n").arg(label, pkgtupFormat(pkgtup.get()));
        return true;
    });
}

bool YumIO::displayTransactionPkgsRepo(const QString& label, PyObject* members)
{
    return eachMember(members, [&](PyObject* member) {
        PyOwnedRef pkgtup(memberPkgtup(member));
        if (!pkgtup)
            return false;
        const QString repo = pyStringDec(PyObject_GetAttrString(member, "repoid"));
        transactionText += tr("\t%1: %2\n").arg(label, pkgtupRepoFormat(pkgtup.get(), repo));
        return true;
    });
}

bool YumIO::displayTransactionPkgsObs(const QString& label, PyObject* members)
{
    return eachMember(members, [&](PyObject* member) {
        PyOwnedRef pkgtup(memberPkgtup(member));
        if (!pkgtup)
            return false;
        PyOwnedRef relatedto(PyObject_GetAttrString(member, "relatedto"));
        if (!relatedto) {
            PyErr_Clear();
            error("Internal error: package has no relatedto\n");
            return false;
        }
        PyOwnedRef obsoleter(findRelation(relatedto.get(), "obsoletedby"));
        // Later yum relates packages; old yum related their tuples.
        PyOwnedRef obsoleterTuple;
        if (obsoleter && yumVersion() > 20301) {
            obsoleterTuple.reset(PyObject_GetAttrString(obsoleter.get(), "pkgtup"));
            if (!obsoleterTuple)
                PyErr_Clear();
        } else if (obsoleter) {
            Py_INCREF(obsoleter.get());
            obsoleterTuple.reset(obsoleter.get());
        }
        if (!obsoleterTuple) {
            error("Internal error: couldn't find obsoletedby package\n");
            return false;
        }
        transactionText += tr("\t%1: %2 with %3\n")
                               .arg(label, pkgtupFormat(pkgtup.get()),
                                    pkgtupFormat(obsoleterTuple.get()));
        return true;
    });
}

PyObject* YumIO::listTransaction(PyObject* self, PyObject* args)
{
    PyObject* yb = nullptr;
    if (!PyArg_ParseTuple(args, "O", &yb))
        return nullptr;
    TransactionLists lists;
    if (!makeLists(yb, lists))
        return nullptr;

    transactionText += tr("Transaction to be performed:\n");
    if (!displayTransactionPkgsRepo(tr("Install"), lists.installed.get())
        || !displayTransactionPkgsRepo(tr("Update"), lists.updated.get())
        || !displayTransactionPkgs(tr("Remove"), lists.removed.get()))
        return nullptr;
    if (hasItems(lists.depinstalled.get()) || hasItems(lists.depupdated.get())
        || hasItems(lists.depremoved.get())) {
        transactionText += tr("Performing the following to resolve dependencies:\n");
        if (!displayTransactionPkgsRepo(tr("Install"), lists.depinstalled.get())
            || !displayTransactionPkgsRepo(tr("Update"), lists.depupdated.get())
            || !displayTransactionPkgs(tr("Remove"), lists.depremoved.get()))
            return nullptr;
    }
    if (hasItems(lists.obsoleted.get())) {
        transactionText += tr("Other Transactions:\n");
        if (!displayTransactionPkgsObs(tr("Obsoleting"), lists.obsoleted.get()))
            return nullptr;
    }

    noteTransactionPkgs(Package::Install, lists.installed.get());
    noteTransactionPkgs(Package::Update, lists.updated.get());
    noteTransactionPkgs(Package::Remove, lists.removed.get());
    noteTransactionPkgs(Package::Install, lists.depinstalled.get());
    noteTransactionPkgs(Package::Update, lists.depupdated.get());
    noteTransactionPkgs(Package::Remove, lists.depremoved.get());
    // What an obsoleting package replaces is removed.
    noteTransactionPkgs(Package::Remove, lists.obsoleted.get());
    Py_RETURN_NONE;
}

PyObject* YumIO::reportDownloadSize(PyObject* self, PyObject* args)
{
    PyObject* packages = nullptr;
    if (!PyArg_ParseTuple(args, "O", &packages))
        return nullptr;
    quint64 total = 0;
    const bool summed = eachMember(packages, [&](PyObject* package) {
        total = Estimate::sum(total, sizeOf(package));
        return true;
    });
    if (!summed)
        return nullptr;
    transactionText += tr("Total download size: %1\n").arg(bytesFormat(total));
    Py_RETURN_NONE;
}

PyObject* YumIO::userconfirm(PyObject* self, PyObject* args)
{
    // Progress: endItemActs(), then reset(): dependency checking ends.

    // The relay in the engine's slot serves the thread that made it; a
    // confirmation asked from any other thread gets one of its own. With no
    // relay at all nobody can say yes, and nothing is applied.
    YumIODialogs* relay = dialogs;
    std::unique_ptr<YumIODialogs> own;
    if (relay && relay->thread() != QThread::currentThread()) {
        own.reset(new YumIODialogs(parent));
        relay = own.get();
    }
    const int answer = relay ? relay->confirm(tr("Apply"), transactionText) : 0;
    confirmed = answer == 1;
    log(Log::Action, 0, confirmed ? tr("Applying: OK") : tr("Not Applying: Canceled"));

    if (confirmed) {
        // The download's part of the running phase's 24000 steps, in
        // proportion to the bytes to fetch. Downloads never exceed what is
        // installed, but the product is taken wide all the same, so that no
        // size makes it wrap.
        downloadShare = 0;
        if (installBytes != 0) {
            const unsigned __int128 share =
                static_cast<unsigned __int128>(downloadBytes) * 24000u / installBytes;
            downloadShare = share > 0xffffffffu ? 0xffffffffu : quint32(share);
        }
        // Progress: startTotal(tr("Running Transaction: Total Progress"),
        // runningTotal()); startItem(tr("Preparing"), 100, 1);
        // setupItemActs(downloadShare, downloadBytes).
    }
    return PyLong_FromLong(confirmed ? 1 : 0);
}

quint64 YumIO::runningTotal()
{
    // "Preparing" 100, "Preparing to Run Transaction" 1000 and the rpm
    // transaction 8000; the delta rebuild and the test transaction take
    // 2000 each where yum has them.
    quint64 total = quint64(downloadShare) + 9100;
    if (usesPresto())
        total += 2000;
    if (hasTransTest())
        total += 2000;
    return total;
}

PyObject* YumIO::postTransactionOutput(PyObject* self, PyObject* args)
{
    PyObject* yb = nullptr;
    if (!PyArg_ParseTuple(args, "O", &yb))
        return nullptr;
    // Progress: endItemActs().
    TransactionLists lists;
    if (!makeLists(yb, lists))
        return nullptr;
    // Nothing shows this part of the text: the user confirmed already, and
    // each package's step has its own log line.
    const bool listed = displayTransactionPkgs(tr("Removed"), lists.removed.get())
                        && displayTransactionPkgs(tr("Dependency Removed"), lists.depremoved.get())
                        && displayTransactionPkgs(tr("Installed"), lists.installed.get())
                        && displayTransactionPkgs(tr("Dependency Installed"), lists.depinstalled.get())
                        && displayTransactionPkgs(tr("Updated"), lists.updated.get())
                        && displayTransactionPkgs(tr("Dependency Updated"), lists.depupdated.get())
                        && displayTransactionPkgs(tr("Obsoleted"), lists.obsoleted.get());
    if (!listed)
        return nullptr;
    return PyUnicode_FromString("");
}

// Download and rpm progress -------------------------------------------------------

PyObject* YumIO::applyGrabMeterStart(PyObject* self, PyObject* args)
{
    PyObject* url = nullptr;
    PyObject* second = nullptr;
    PyObject* third = nullptr;
    long long size = 0;
    PyObject* progressText = nullptr;
    if (!PyArg_ParseTuple(args, "OOOLO", &url, &second, &third, &size, &progressText))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::applyGrabMeterUpdate(PyObject* self, PyObject* args)
{
    long long read = 0;
    if (!PyArg_ParseTuple(args, "L", &read))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::applyGrabMeterEnd(PyObject* self, PyObject* args)
{
    long long total = 0;
    if (!PyArg_ParseTuple(args, "L", &total))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::tsInitCallback(PyObject* self, PyObject* args)
{
    long count = 0;
    if (!PyArg_ParseTuple(args, "l", &count))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::tsCallback(PyObject* self, PyObject* args)
{
    long what = 0;
    long long amount = 0;
    long long total = 0;
    PyObject* key = nullptr;
    PyObject* clientData = nullptr;
    if (!PyArg_ParseTuple(args, "lLLOO", &what, &amount, &total, &key, &clientData))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* YumIO::tsEvent(PyObject* self, PyObject* args)
{
    PyObject* package = nullptr;
    long action = 0;
    long long amount = 0;
    long long total = 0;
    long current = 0;
    long count = 0;
    if (!PyArg_ParseTuple(args, "OlLLll", &package, &action, &amount, &total, &current, &count))
        return nullptr;
    Py_RETURN_NONE;
}

