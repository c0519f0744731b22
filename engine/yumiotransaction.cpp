// The callbacks through which the script reports an apply, in the apply
// worker under the lock that applyReal holds: the dependency-solving passes
// and "TSINFO: " lines that refine the estimate, the transaction listing
// and download size that make the text the user confirms, the confirmation
// itself, and the report of what was done. Further down, the downloads' and
// rpm's progress.
//
// Every step is an act whose size follows the estimates, so that the total
// bar moves in proportion to the work. The bars are reached through
// `progress`, null outside an operation's progress scope (and in an engine
// without bars): the callbacks then keep their counts and log lines and
// leave the bars alone.
#include "engine/yumio.h"

#include <memory>

#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include "engine/passwordmask.h"
#include "engine/progress.h"
#include "engine/yumioapply.h"
#include "engine/yumiodialogs.h"

namespace {

// A count or size of a callback as progress steps; a negative one is none.
Steps stepsOf(long long value)
{
    return value < 0 ? 0 : static_cast<Steps>(value);
}

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
    if (progress)
        progress->startItemAct(tr("Resolve Dependencies"), 1, itemPosition);
    Py_RETURN_NONE;
}

PyObject* YumIO::dsRestartLoop(PyObject* self, PyObject* args)
{
    // Each start-over is one more pass over all the packages in play.
    resolveCheckActs = resolvePackages;
    resolveDoneActs = Estimate::sum(resolveDoneActs, resolveCheckActs);
    if (progress)
        progress->changeItemActs(resolveActs());
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
    if (progress)
        progress->changeItemActs(resolveActs());
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
        PyRef pkgtup(memberPkgtup(member));
        if (!pkgtup)
            return false;
        transactionText += tr("\t%1: %2\n").arg(label, pkgtupFormat(pkgtup.get()));
        return true;
    });
}

bool YumIO::displayTransactionPkgsRepo(const QString& label, PyObject* members)
{
    return eachMember(members, [&](PyObject* member) {
        PyRef pkgtup(memberPkgtup(member));
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
        PyRef pkgtup(memberPkgtup(member));
        if (!pkgtup)
            return false;
        PyRef relatedto(PyObject_GetAttrString(member, "relatedto"));
        if (!relatedto) {
            PyErr_Clear();
            error("Internal error: package has no relatedto\n");
            return false;
        }
        PyRef obsoleter(findRelation(relatedto.get(), "obsoletedby"));
        // Later yum relates packages; old yum related their tuples.
        PyRef obsoleterTuple;
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
    if (progress) {
        // Dependency checking ends.
        progress->endItemActs();
        progress->reset();
    }

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
        if (progress) {
            progress->startTotal(tr("Running Transaction: Total Progress"), runningTotal());
            progress->startItem(tr("Preparing"), 100, 1);
            // The downloads' share is counted in bytes.
            progress->setupItemActs(downloadShare, downloadBytes);
        }
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
    // The rpm transaction's share ends full, whatever its estimate was.
    if (progress)
        progress->endItemActs();
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

    QString text;
    if (PyUnicode_Check(progressText) || PyBytes_Check(progressText))
        text = pyString(progressText);
    else if (progressText != Py_None)
        error(tr("Internal error: unexpected progress text"));
    if (text == QLatin1String("<delta rebuild>")) {
        deltaRebuildSeen = true;
        if (progress) {
            progress->endItemActs();
            progress->startItem(tr("Finishing RPM rebuild from deltas"), 2000, stepsOf(size));
        }
        Py_RETURN_NONE;
    }

    QString name;
    if (PyUnicode_Check(url) || PyBytes_Check(url))
        name = pyString(url);
    else
        error(tr("Internal error: unexpected progress name"));
    // Masked whole: the cut to the file name can leave a password without
    // the part of the address that shows it is one.
    name = PasswordMask::mask(name);
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    // A kivrel address carries the user name and password in its query;
    // neither may reach the screen.
    static const QRegularExpression credentials(QStringLiteral("kivrel?.*=.*&.*=.*&path="));
    name.remove(credentials);
    if (name.endsWith(QLatin1String(".rpm")) || name.endsWith(QLatin1String(".hdr")))
        name.chop(4);

    QString activity;
    if (confirmed) {
        activity = tr("Downloading %1").arg(name);
        itemPosition = Estimate::sum(itemPosition, Estimate::term(stepsOf(size)));
    } else {
        // A header while dependencies are solved: ten acts, as estimated.
        activity = tr("Downloading %1 header").arg(name);
        itemPosition = Estimate::sum(itemPosition, 10);
    }
    if (progress)
        progress->startItemAct(activity, stepsOf(size), itemPosition);
    Py_RETURN_NONE;
}

PyObject* YumIO::applyGrabMeterUpdate(PyObject* self, PyObject* args)
{
    long long read = 0;
    if (!PyArg_ParseTuple(args, "L", &read))
        return nullptr;
    if (progress)
        progress->setItemValue(stepsOf(read));
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
    itemPosition = 0;
    if (!progress)
        Py_RETURN_NONE;
    if (count == 0) {
        // Before the test transaction. The steps set aside for a delta
        // rebuild that was never reported are used up at once.
        if (!deltaRebuildSeen) {
            progress->endItemActs();
            if (usesPresto()) {
                progress->startItem(tr("Finishing RPM rebuild from deltas"), 2000, 1);
                progress->setItemValue(1);
            }
        }
        if (hasTransTest()) {
            progress->startItem(tr("Preparing to Test Transaction"), 1000, 1);
            progress->setupItemActs(1000, rpmUnits / 20);
        }
    } else {
        // Before the real one; its acts are the packages' and the test's.
        if (hasTransTest())
            progress->endItemActs();
        progress->startItem(tr("Preparing to Run Transaction"), 1000, 1);
        progress->setupItemActs(8000, Estimate::sum(rpmUnits, rpmUnits / 20));
    }
    Py_RETURN_NONE;
}

quint64 YumIO::installActs(const QString& name) const
{
    const Package::Entry* entry = index.value(EntryKey(false, name), nullptr);
    return Estimate::term(entry ? Estimate::times(entry->size, 3) : 0);
}

quint64 YumIO::removeActs(const QString& name, bool oldVersion) const
{
    // A package the table does not know, or an update without a known
    // installed version, counts as the smallest act.
    const Package::Entry* entry = index.value(EntryKey(false, name), nullptr);
    if (!oldVersion)
        return Estimate::term(entry ? entry->size : 0);
    return Estimate::term(entry && entry->next ? entry->next->size / 5 : 0);
}

void YumIO::startPackageAct(const QString& text, long long total, bool logged)
{
    if (logged)
        log(Log::Info, 1, text);
    if (progress)
        progress->startItemAct(text, stepsOf(total), itemPosition);
}

void YumIO::notUnderstood(QSet<qint64>& said, qint64 code, const QString& text)
{
    // A log line, not a box: rpm calls back many times a second, and the
    // transaction must not wait for the user.
    if (said.contains(code))
        return;
    said.insert(code);
    log(Log::Warning, 0, text);
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

    // rpm's callback types, each bit on its own, in this order.
    enum {
        InstProgress = 1,
        InstStart = 2,
        InstOpenFile = 4,
        InstCloseFile = 8,
        TransProgress = 16,
        TransStart = 32,
        TransStop = 64,
        UninstProgress = 128,
        UninstStart = 256,
        UninstStop = 512,
    };
    auto setItemValue = [this](long long value) {
        if (progress)
            progress->setItemValue(stepsOf(value));
    };
    bool understood = (what & (InstOpenFile | InstCloseFile)) != 0;
    if (what & TransStart) {
        understood = true;
        itemPosition = Estimate::sum(itemPosition, rpmUnits / 20);
        if (progress)
            progress->startItemAct(tr("Transaction Test"), stepsOf(total), itemPosition);
    }
    if (what & TransProgress) {
        understood = true;
        setItemValue(amount);
    }
    if (what & TransStop) {
        understood = true;
        setItemValue(total);
    }
    if (what & InstStart) {
        understood = true;
        // The key is a tuple whose first item is the package's header.
        PyRef header(PySequence_Check(key) ? PySequence_GetItem(key, 0) : nullptr);
        if (!header)
            PyErr_Clear();
        const QString name = pyMappingString(header.get(), "name");
        const QString text =
            (updatedNames.contains(name) ? tr("Updating %1") : tr("Installing %1")).arg(name);
        itemPosition = Estimate::sum(itemPosition, installActs(name));
        startPackageAct(text, total, true);
    }
    if (what & InstProgress) {
        understood = true;
        setItemValue(amount);
    }
    if (what & UninstStart) {
        understood = true;
        const QString name = pyString(key);
        const bool updated = updatedNames.contains(name);
        itemPosition = Estimate::sum(itemPosition, removeActs(name, updated));
        startPackageAct((updated ? tr("Completing update for: %1") : tr("Removing %1")).arg(name),
                        total, false);
    }
    if (what & UninstProgress) {
        understood = true;
        setItemValue(amount);
    }
    if (what & UninstStop) {
        understood = true;
        setItemValue(total);
    }
    if (!understood)
        notUnderstood(notUnderstoodWhats, what,
                      tr("Internal error: YumIO::tsCallback what=%1 not understood; ignoring")
                          .arg(what));
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

    // yum's transaction codes.
    switch (action) {
    case 10: // update
    case 20: // install
    case 30: // true install
    case 60: // obsoleting
        // Several events of one element make one act.
        if (current != lastElement) {
            const QString name = pyStringDec(PyObject_GetAttrString(package, "name"));
            const QString text =
                (action == 10 || action == 60 ? tr("Updating %1") : tr("Installing %1")).arg(name);
            itemPosition = Estimate::sum(itemPosition, installActs(name));
            startPackageAct(text, total, true);
            lastElement = current;
        }
        break;
    case 40: // erase
    case 50: // obsoleted
    case 90: // the old version of an update
        if (current != lastElement) {
            // What is removed comes by name.
            const QString name = pyString(package);
            const bool erased = action == 40;
            itemPosition = Estimate::sum(itemPosition, removeActs(name, !erased));
            const QString text = erased ? tr("Removing %1") : tr("Completing update for: %1");
            startPackageAct(text.arg(name), total, false);
            lastElement = current;
        }
        break;
    case 70: // available: nothing happens to it
        Py_RETURN_NONE;
    default:
        notUnderstood(notUnderstoodActions, action,
                      tr("Internal error: YumIO::tsEvent action=%1 not understood; ignoring")
                          .arg(action));
        Py_RETURN_NONE;
    }
    if (progress)
        progress->setItemValue(stepsOf(amount));
    Py_RETURN_NONE;
}
