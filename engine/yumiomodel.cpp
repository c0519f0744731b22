// The package model as the rest of the program reads it: the entry list, the
// texts of an entry, and the key of the entry index.
#include "engine/yumio.h"

#include <utility>

YumIO::EntryKey::EntryKey(bool group, QString name)
    : group(group), name(std::move(name))
{
}

bool YumIO::EntryKey::operator==(const EntryKey& other) const
{
    return group == other.group && name == other.name;
}

uint qHash(const YumIO::EntryKey& key, uint seed)
{
    Q_UNUSED(seed);
    return qHash(key.name) * 2u + (key.group ? 1u : 0u);
}

int YumIO::count() const
{
    return entries.count();
}

Package::Entry* YumIO::operator[](int row) const
{
    return entries.at(row);
}

Package::EntryList::const_iterator YumIO::begin() const
{
    return entries.constBegin();
}

Package::EntryList::const_iterator YumIO::end() const
{
    return entries.constEnd();
}

QString YumIO::getName(const Package::Entry& entry) const
{
    return entry.name;
}

QString YumIO::getVerRel(const Package::Entry& entry) const
{
    return entry.verRel;
}

QString YumIO::getRepo(const Package::Entry& entry) const
{
    return entry.repo;
}

QString YumIO::getArch(const Package::Entry& entry) const
{
    return entry.arch;
}

QString YumIO::getSummary(const Package::Entry& entry) const
{
    return entry.summary;
}

QString YumIO::getSize(const Package::Entry& entry) const
{
    return entry.sizeText;
}

QString YumIO::getBuildTime(const Package::Entry& entry) const
{
    return entry.buildTimeText;
}

QString YumIO::getKind(const Package::Entry& entry)
{
    switch (entry.kind) {
    case Package::Suite:
        return tr("Suite of packages");
    case Package::Group:
        return tr("Group of packages");
    case Package::Ordinary:
        return tr("Ordinary package");
    }
    return QString();
}

QString YumIO::getState(const Package::Entry& entry) const
{
    switch (entry.state) {
    case Package::Updatable:
        return tr("Available for update");
    case Package::Available:
        return tr("Available for installation");
    case Package::Installed:
        return tr("Installed");
    }
    return QString();
}

PyObject* YumIO::findRelation(PyObject* relations, const char* relation)
{
    if (!relations)
        return nullptr;
    const QString wanted = QString::fromUtf8(relation);
    PyObject* found = nullptr;
    eachMember(relations, [&](PyObject* pair) {
        if (PySequence_Check(pair) && PySequence_Size(pair) >= 2) {
            PyRef text(PySequence_GetItem(pair, 1));
            if (text && pyString(text.get()) == wanted)
                found = PySequence_GetItem(pair, 0);
        }
        // A pair that cannot be read is reported and passed over.
        if (PyErr_Occurred())
            handleException();
        return !found;
    });
    return found;
}
