// The package model: one Package::Entry per row of the package table (an
// ordinary package, a suite or a comps group), with the installed versions of
// an updatable package chained behind it, and the list that owns the heads.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// The interpreter's object type; entries only hold references to them.
struct _object;
typedef _object PyObject;

namespace Package
{

// Fixed as int: an entry may carry any int (the table writes them), and a
// value outside the names reads back as an empty text.
enum Action : int {
    Update = 0,
    Install = 1,
    Remove = 2,
    NoAction = 3,
};

enum State : int {
    Updatable = 0,  // installed, a newer version available
    Available = 1,  // not installed
    Installed = 2,
};

enum Kind : int {
    Suite = 0,
    Group = 1,
    Ordinary = 2,
};

class Entry
{
public:
    // The entry takes a reference of its own to po (when not null): the
    // caller holds the interpreter lock and keeps its own reference.
    Entry(QString name, QString verRel, QString repo, QString arch, quint64 size,
          QString sizeText, QString summary, long buildTime, QString buildTimeText,
          PyObject* po);
    // Deletes the chain behind it too. An entry that still holds its object
    // cannot give it back here (the interpreter lock may not be held): the
    // reference is left behind and the fault told once per process.
    ~Entry();

    // Gives the object's reference back; the caller holds the interpreter lock.
    void releasePo();
    // Forgets the object without giving the reference back, for when the
    // interpreter is about to end.
    void dropPo();

    // The last entry of the chain that starts here.
    Entry* last();

    Package::Action action = Package::NoAction;
    Package::State state = Package::Available;
    Package::Kind kind = Package::Ordinary;
    QString name;
    QString verRel;
    QString repo;
    QString arch;
    quint64 size;
    QString sizeText;
    QString summary;
    long buildTime = 0;
    QString buildTimeText;
    PyObject* po;
    // Owned: further versions of the same package (the installed ones behind
    // an updatable entry).
    Entry* next = nullptr;
    // Written by the apply road: the action after group processing, and the
    // entry that caused it.
    int groupAction = Package::NoAction;
    const Entry* markedBy = nullptr;

private:
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    static bool seen;
};

// The heads of the chains, in table order; owns them.
class EntryList : public QList<Package::Entry*>
{
public:
    EntryList() = default;
    ~EntryList();

    // Deletes every entry (and so every chain) and empties the list.
    void deleteAll();

private:
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;
};

}
