// Comps groups in the package model: their collection with their installed
// and up-to-date state, and their member lists for the description dialog.
//
// yum offers groups in two shapes. From 2.5 on collectGroupInfo() returns
// group objects, each with user_visible, name, installed and one dictionary
// per kind of member; before, it returned one information object whose
// attributes are dictionaries keyed by group name. A group entry holds the
// group object, or the information object in the old shape.
#include "engine/yumio.h"

#include <QStringList>

namespace {

// The items of a sequence, or the keys of a mapping, as a new list
// reference; null with the interpreter's error pending. None holds nothing.
PyObject* itemsOf(PyObject* container, bool keys)
{
    if (container == Py_None)
        return PyList_New(0);
    return keys ? PyMapping_Keys(container) : PySequence_List(container);
}

// The names of a list as the description dialog shows them.
QString sortedNames(YumIO& io, PyObject* names)
{
    QStringList lines;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names); ++i)
        lines << io.pyString(PyList_GET_ITEM(names, i));
    return YumIO::makeSorted(lines);
}

}

bool YumIO::collectGroupPhase()
{
    pyExceptStart();
    PyObject* groupsError = pyLookup("yum.Errors.GroupsError");
    PyObject* yumBaseError = pyLookup("yum.Errors.YumBaseError");
    PyObject* bdbQuit = pyLookup("bdb.BdbQuit");
    pyExceptExpect(groupsError);
    pyExceptExpect(yumBaseError);
    pyExceptExpect(bdbQuit);
    PyObject* result = pyMethodCall(yumIO, "setupTsGroup", "()");
    bool failed = false;
    // GroupsError first: it is a YumBaseError too.
    if (pyExceptMatches(result, groupsError) || pyExceptMatches(result, bdbQuit)) {
        const QString reason = pyStringDec(pyExceptValuef());
        // No groups anywhere is no failure; any other reason is.
        if (!reason.contains(QLatin1String("No Groups Available"))) {
            log(Log::Error, 0, reason);
            error(tr("Internal error: execution of yumIO.setupTsGroup failed"));
            failed = true;
        }
    } else if (pyExceptMatches(result, yumBaseError)) {
        pythonExceptionV(tr("Unable to collect groups"));
        failed = true;
    } else if (!result) {
        // The wrapper has reported it.
        error(tr("Internal error: execution of yumIO.setupTsGroup failed"));
        failed = true;
    }
    Py_XDECREF(result);
    pyExceptClear();
    if (failed)
        return false;

    PyRef groupInfo(pyMethodCall(yumIO, "collectGroupInfo", "()"));
    if (!groupInfo) {
        error(tr("Internal error: execution of yumIO.collectGroupInfo failed"));
        return false;
    }
    return collectGroups(index, groupInfo.get());
}

bool YumIO::collectGroups(Index& groups, PyObject* groupInfo)
{
    const bool distribGroups = hasDistribGroups();
    PyRef visibleGroups;
    if (!distribGroups) {
        visibleGroups.reset(PyObject_GetAttrString(groupInfo, "visible_groups"));
        if (!visibleGroups) {
            PyErr_Clear();
            error(tr("Internal error: groupInfo.visible_groups not evaluable"));
            return false;
        }
    }

    return eachMember(distribGroups ? groupInfo : visibleGroups.get(), [&](PyObject* item) {
        PyObject* po = groupInfo;
        QString name;
        if (distribGroups) {
            PyRef visible(PyObject_GetAttrString(item, "user_visible"));
            if (!visible)
                PyErr_Clear();
            const int shown = visible ? PyObject_IsTrue(visible.get()) : 0;
            if (shown != 1) {
                PyErr_Clear();
                return true;
            }
            PyObject* nameObject = PyObject_GetAttrString(item, "name");
            if (!nameObject) {
                PyErr_Clear();
                error(tr("Internal error: group without name"));
                return false;
            }
            name = pyStringDec(nameObject);
            po = item;
        } else {
            name = pyString(item);
        }

        const EntryKey key(true, name);
        if (groups.contains(key))
            return true;
        // Entered before its state is known, as sub groups that name it
        // look for it; taken out again when it cannot be made.
        Package::Entry*& slot = groups[key];
        const bool collected = collectGroup(slot, po, name);
        if (!slot)
            groups.remove(key);
        return collected;
    });
}

bool YumIO::collectGroup(Package::Entry*& slot, PyObject* po, QString name)
{
    PyRef flag;
    if (hasDistribGroups()) {
        flag.reset(PyObject_GetAttrString(po, "installed"));
        if (!flag) {
            PyErr_Clear();
            error(tr("Internal error: cannot find group's installed flag"));
            return false;
        }
    } else {
        PyRef flags(PyObject_GetAttrString(po, "group_installed"));
        if (!flags)
            PyErr_Clear();
        PyObject* found = flags ? pyDictGetItem(flags.get(), name) : nullptr;
        if (!found) {
            error(tr("Internal error: cannot find groupInfo.group_installed['%1']").arg(name));
            return false;
        }
        // Borrowed from the dictionary, which is let go at the end of this
        // block.
        Py_INCREF(found);
        flag.reset(found);
    }
    const int truth = PyObject_IsTrue(flag.get());
    if (truth < 0) {
        handleException();
        return false;
    }

    slot = new Package::Entry(name, QString(), QString(), QString(), 0, QString(), QString(), 0,
                              QString(), po);
    slot->action = Package::NoAction;
    slot->kind = Package::Group;
    slot->state = truth ? Package::Installed : Package::Available;
    if (truth && !upToDateGroup(*slot))
        slot->state = Package::Updatable;
    return true;
}

bool YumIO::upToDateGroup(const Package::Entry& entry)
{
    // A group already under test counts as up to date: only its other
    // members can make it otherwise.
    if (groupsUnderTest.contains(&entry))
        return true;
    groupsUnderTest.insert(&entry);
    const bool upToDate = upToDateGroupGrps(entry, "sub_groups")
                          && upToDateGroupPkgs(entry, "mandatory_pkgs", "mandatory_packages");
    groupsUnderTest.remove(&entry);
    return upToDate;
}

bool YumIO::upToDateGroupGrps(const Package::Entry& entry, const char* item)
{
    if (hasDistribGroups())
        return true;
    PyRef names(groupMemberNames(entry, item, nullptr));
    if (!names)
        return true;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names.get()); ++i) {
        const Package::Entry* group =
            index.value(EntryKey(true, pyString(PyList_GET_ITEM(names.get(), i))));
        if (group && !upToDateGroup(*group))
            return false;
    }
    return true;
}

bool YumIO::upToDateGroupPkgs(const Package::Entry& entry, const char* oldItem,
                              const char* newItem)
{
    PyRef names(groupMemberNames(entry, oldItem, newItem));
    if (!names)
        return true;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names.get()); ++i) {
        const Package::Entry* package =
            index.value(EntryKey(false, pyString(PyList_GET_ITEM(names.get(), i))));
        if (package && package->state == Package::Updatable)
            return false;
    }
    return true;
}

PyObject* YumIO::groupMemberNames(const Package::Entry& entry, const char* oldItem,
                                  const char* newItem)
{
    // The new shape keeps members as dictionary keys, the old one as lists.
    const bool distribGroups = hasDistribGroups();
    PyObject* members = distribGroups ? getGroupItem_25(entry, newItem)
                                      : getGroupItem_22(entry, oldItem);
    PyObject* names = members ? itemsOf(members, distribGroups) : nullptr;
    Py_XDECREF(members);
    if (!names && PyErr_Occurred())
        handleException();
    return names;
}

PyObject* YumIO::getGroupItem_25(const Package::Entry& entry, const char* item)
{
    if (!hasDistribGroups()) {
        error(tr("getGroupItem_25 called for incorrect version of yum"));
        return nullptr;
    }
    PyObject* value = entry.po ? PyObject_GetAttrString(entry.po, item) : nullptr;
    if (!value) {
        PyErr_Clear();
        error(tr("Internal error: group %1.%2 not evaluable").arg(QLatin1String(item), entry.name));
    }
    return value;
}

PyObject* YumIO::getGroupItem_22(const Package::Entry& entry, const char* item)
{
    if (hasDistribGroups()) {
        error(tr("getGroupItem_22 called for incorrect version of yum"));
        return nullptr;
    }
    PyRef byGroup(entry.po ? PyObject_GetAttrString(entry.po, item) : nullptr);
    if (!byGroup) {
        PyErr_Clear();
        error(tr("Internal error: groupInfo.%1 not evaluable").arg(QLatin1String(item)));
        return nullptr;
    }
    PyObject* value = pyDictGetItem(byGroup.get(), entry.name);
    // Borrowed from the dictionary, which is let go on return.
    Py_XINCREF(value);
    if (!value)
        error(tr("Internal error: groupInfo.%1[%2] not evaluable").arg(QLatin1String(item), entry.name));
    return value;
}

QString YumIO::getGroupGrps(const Package::Entry& entry, const char* item)
{
    // Asked from the GUI thread while a worker holds the interpreter lock
    // and may wait for the GUI thread: answer nothing rather than deadlock.
    if (lockUnavailable())
        return QString();
    Python::PyGILStateWrapper guard(true);
    if (hasDistribGroups())
        return QString();
    PyRef names(groupMemberNames(entry, item, nullptr));
    return names ? sortedNames(*this, names.get()) : QString();
}

QString YumIO::getGroupPkgs(const Package::Entry& entry, const char* oldItem, const char* newItem)
{
    if (lockUnavailable())
        return QString();
    Python::PyGILStateWrapper guard(true);
    PyRef names(groupMemberNames(entry, oldItem, newItem));
    return names ? sortedNames(*this, names.get()) : QString();
}

QString YumIO::getMandatoryPkgs(const Package::Entry& entry)
{
    return getGroupPkgs(entry, "mandatory_pkgs", "mandatory_packages");
}

QString YumIO::getDefaultPkgs(const Package::Entry& entry)
{
    return getGroupPkgs(entry, "default_pkgs", "default_packages");
}

QString YumIO::getOptionalPkgs(const Package::Entry& entry)
{
    return getGroupPkgs(entry, "optional_pkgs", "optional_packages");
}

QString YumIO::getConditionalPkgs(const Package::Entry& entry)
{
    if (lockUnavailable())
        return QString();
    Python::PyGILStateWrapper guard(true);
    // The old shape has no conditional members.
    if (!hasDistribGroups())
        return QString();
    return getGroupPkgs(entry, nullptr, "conditional_packages");
}

QString YumIO::getRequiredGroups(const Package::Entry& entry)
{
    return getGroupGrps(entry, "sub_groups");
}

QString YumIO::getDefaultMetaPkgs(const Package::Entry& entry)
{
    return getGroupGrps(entry, "default_metapkgs");
}

QString YumIO::getOptionalMetaPkgs(const Package::Entry& entry)
{
    return getGroupGrps(entry, "optional_metapkgs");
}
