// What marked groups imply on apply: before the script's lists are built,
// every group marked for Update, Install or Remove passes its action on to
// its member packages (their groupAction and markedBy), logs each decision
// at detail level 4, and asks the user when a member already has an action
// that contradicts the group's. The group entries themselves never reach
// yum. Runs in the apply worker under the lock that applyReal holds.
//
// Members come from the group object's dictionaries (yum 2.5 and later;
// their keys() may be views, which "+" does not join) or from the methods
// requiredPkgs and pkgTree of the old group-information object.
#include "engine/yumio.h"

#include <QSet>

#include "engine/yumioapply.h"
#include "engine/yumiodialogs.h"

namespace {

QString actionWord(int action)
{
    switch (action) {
    case Package::Update:
        return YumIO::tr("Update");
    case Package::Install:
        return YumIO::tr("Install");
    case Package::Remove:
        return YumIO::tr("Remove");
    default:
        return YumIO::tr("ERROR");
    }
}

// The member kinds whose keys make up one list, at most four.
const int maxKinds = 4;

}

bool YumIO::applyGroups()
{
    // Later groups see what earlier groups and earlier answers decided.
    for (const Package::Entry* group : std::as_const(entries)) {
        if (group->kind != Package::Group)
            continue;
        bool applied = true;
        switch (group->groupAction) {
        case Package::Install:
            applied = applyGrpInstall(*group);
            break;
        case Package::Update:
            applied = applyGrpUpdate(*group);
            break;
        case Package::Remove:
            applied = applyGrpRemove(*group);
            break;
        default:
            break;
        }
        if (!applied)
            return false;
    }
    return true;
}

bool YumIO::applyGrpInstall(const Package::Entry& group)
{
    PyRef members(pkgTree(group));
    if (!members)
        return false;
    return eachGroupMember(members.get(), [&](Package::Entry& package) {
        switch (package.groupAction) {
        case Package::Update:
        case Package::Install:
            applyGrpLogWas(group, package);
            break;
        case Package::NoAction:
            if (package.state == Package::Updatable)
                markByGroup(group, package, Package::Update);
            else if (package.state == Package::Available)
                markByGroup(group, package, Package::Install);
            break;
        case Package::Remove:
            return applyGrpConflict(group, package);
        }
        return true;
    });
}

bool YumIO::applyGrpUpdate(const Package::Entry& group)
{
    PyRef required(requiredPkgs(group));
    if (!required)
        return false;
    QSet<QString> requiredNames;
    if (!eachMember(required.get(), [&](PyObject* name) {
            requiredNames.insert(pyString(name));
            return true;
        }))
        return false;

    PyRef members(pkgTree(group));
    if (!members)
        return false;
    return eachGroupMember(members.get(), [&](Package::Entry& package) {
        switch (package.groupAction) {
        case Package::Update:
        case Package::Install:
            applyGrpLogWas(group, package);
            break;
        case Package::NoAction:
            if (package.state == Package::Updatable) {
                markByGroup(group, package, Package::Update);
            } else if (package.state == Package::Available) {
                // Only the old shape's tree holds more than the required
                // members.
                if (requiredNames.contains(package.name))
                    markByGroup(group, package, Package::Install);
                else
                    applyGrpLogNot(group, package, Package::Install, tr("the package is optional"));
            }
            break;
        case Package::Remove:
            return applyGrpConflict(group, package);
        }
        return true;
    });
}

bool YumIO::applyGrpRemove(const Package::Entry& group)
{
    PyRef members(allPkgs(group));
    if (!members)
        return false;
    return eachGroupMember(members.get(), [&](Package::Entry& package) {
        switch (package.groupAction) {
        case Package::Remove:
            // Nothing changes; the line still says the group wants it gone.
            applyGrpLog(group, package);
            break;
        case Package::Update:
        case Package::Install:
            return applyGrpConflict(group, package);
        case Package::NoAction:
            if (package.state == Package::Updatable || package.state == Package::Installed)
                markByGroup(group, package, Package::Remove);
            break;
        }
        return true;
    });
}

PyObject* YumIO::requiredPkgs(const Package::Entry& group)
{
    if (!hasDistribGroups())
        return groupMethodList(group, "requiredPkgs");
    return groupMemberKeys(group, {"mandatory_packages", "default_packages"},
                           tr("Internal error: group lacks required package lists"),
                           tr("Internal error: group lacks required proper required package lists"));
}

PyObject* YumIO::allPkgs(const Package::Entry& group)
{
    // The old information object offers no method for all members.
    if (!hasDistribGroups())
        return groupMethodList(group, "requiredPkgs");
    return groupMemberKeys(group,
                           {"mandatory_packages", "default_packages", "optional_packages",
                            "conditional_packages"},
                           tr("Internal error: group lacks package lists"),
                           tr("Internal error: group lacks required proper package lists"));
}

PyObject* YumIO::pkgTree(const Package::Entry& group)
{
    if (!hasDistribGroups())
        return groupMethodList(group, "pkgTree");
    return requiredPkgs(group);
}

PyObject* YumIO::groupMethodList(const Package::Entry& group, const char* method)
{
    // A failing call has been reported by the interpreter wrapper.
    const QByteArray name = group.name.toUtf8();
    return pyMethodCall(group.po, method, "(s)", name.constData());
}

PyObject* YumIO::groupMemberKeys(const Package::Entry& group,
                                 std::initializer_list<const char*> kinds,
                                 const QString& missingText, const QString& unreadableText)
{
    Q_ASSERT(kinds.size() <= size_t(maxKinds));
    PyRef dictionaries[maxKinds];
    int count = 0;
    for (const char* kind : kinds) {
        dictionaries[count].reset(group.po ? PyObject_GetAttrString(group.po, kind) : nullptr);
        if (!dictionaries[count]) {
            PyErr_Clear();
            error(missingText);
            return nullptr;
        }
        ++count;
    }

    PyRef joined(PyList_New(0));
    if (!joined) {
        handleException();
        return nullptr;
    }
    for (int i = 0; i < count; ++i) {
        PyRef keys(pyMethodCall(dictionaries[i].get(), "keys", "()"));
        // Python 3's keys() gives a view: it joins a list only as a list.
        PyRef names(keys ? PySequence_List(keys.get()) : nullptr);
        const Py_ssize_t end = PyList_GET_SIZE(joined.get());
        if (!names || PyList_SetSlice(joined.get(), end, end, names.get()) != 0) {
            PyErr_Clear();
            error(unreadableText);
            return nullptr;
        }
    }
    return joined.release();
}

bool YumIO::eachGroupMember(PyObject* names, const std::function<bool(Package::Entry&)>& body)
{
    return eachMember(names, [&](PyObject* item) {
        // Members that the engine did not collect are no concern of the
        // apply.
        Package::Entry* package = index.value(EntryKey(false, pyString(item)), nullptr);
        return !package || body(*package);
    });
}

void YumIO::markByGroup(const Package::Entry& group, Package::Entry& package,
                        Package::Action action)
{
    package.groupAction = action;
    package.markedBy = &group;
    applyGrpLog(group, package);
}

bool YumIO::applyGrpConflict(const Package::Entry& group, Package::Entry& package)
{
    Package::Action proposal;
    switch (package.state) {
    case Package::Updatable:
        proposal = Package::Update;
        break;
    case Package::Available:
        proposal = Package::Install;
        break;
    case Package::Installed:
        proposal = Package::Remove;
        break;
    default:
        error("Internal error: applyGrpConflict unexpected package state\n");
        return false;
    }
    // A Remove group offers what it would do to the member: remove it.
    // Offered the update that its state suggests, an updatable member marked
    // for Update could only choose between Update and Update. A member that
    // is not installed keeps the offer of its state: there is nothing to
    // remove, and yum refuses the whole transaction for such a removal.
    if (group.groupAction == Package::Remove && package.state == Package::Updatable)
        proposal = Package::Remove;

    const QString current = actionWord(package.groupAction);
    QString question;
    if (package.markedBy == &package) {
        question = tr("Package %1 is included in group %2 which was marked for %3,\nso the package "
                      "would be marked for %4,\nbut it was marked individually for %5.\nHow do you "
                      "wish to proceed?")
                       .arg(package.name, group.name, actionWord(group.groupAction),
                            actionWord(proposal), current);
    } else if (package.markedBy) {
        question = tr("Package %1 is included in group %2 which was marked for %3,\nso the package "
                      "would be marked for %4,\nbut it also was part of group %5 and so was marked "
                      "for %6.\nHow do you wish to proceed?")
                       .arg(package.name, group.name, actionWord(group.groupAction),
                            actionWord(proposal), package.markedBy->name, current);
    } else {
        question = tr("Package %1 is included in group %2 which was marked for %3,\nso the package "
                      "would be marked for %4,\nbut you resolved an earlier conflict by marking it "
                      "for %5.\nHow do you wish to proceed?")
                       .arg(package.name, group.name, actionWord(group.groupAction),
                            actionWord(proposal), current);
    }

    // Without a relay nobody can answer: the apply stops as on Cancel.
    if (!dialogs)
        return false;
    const int answer = dialogs->critical(tr("Apply"), question, actionWord(proposal), current,
                                         tr("Cancel"), 2, 2);
    // Anything but the first two buttons counts as Cancel.
    if (answer != 0 && answer != 1)
        return false;
    if (answer == 0)
        package.groupAction = proposal;
    log(Log::Info, 4,
        tr("Manually resolving conflict: marking package %1 for %3")
            .arg(package.name, actionWord(package.groupAction)));
    package.markedBy = nullptr;
    return true;
}

void YumIO::applyGrpLog(const Package::Entry& group, const Package::Entry& package)
{
    log(Log::Info, 4,
        tr("For group %1, marking package %2 for %3")
            .arg(group.name, package.name, actionWord(package.groupAction)));
}

void YumIO::applyGrpLogWas(const Package::Entry& group, const Package::Entry& package)
{
    log(Log::Info, 4,
        tr("For group %1, package %2 already was marked for %3")
            .arg(group.name, package.name, actionWord(package.groupAction)));
}

void YumIO::applyGrpLogNot(const Package::Entry& group, const Package::Entry& package,
                           Package::Action action, QString reason)
{
    log(Log::Info, 4,
        tr("For group %1, not marking package %2 for %3, becuase %4")
            .arg(group.name, package.name, actionWord(action), reason));
}
