// The engine's log: one-line entries with a kind and a detail level, in a
// list that any thread appends to under its own mutex and that announces each
// batch of new entries with appended().
#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

namespace Log
{

enum Kind : int {
    Info = 0,    // the script's log lines, group marking, transaction steps
    Output = 1,  // text written to standard output
    Warning = 2,
    Error = 3,   // also what is written to standard error
    Action = 4,  // headlines of the engine's operations
};

class Entry
{
public:
    Entry(Log::Kind kind, unsigned int level, QString text);

    Log::Kind kind;
    // Shown while at most the log window's threshold.
    unsigned int level;
    // One line, without its newline.
    QString text;
};

// Entries are only ever appended. Every append and every read by index or
// count holds the mutex; appended() is emitted after it has been let go, so
// its receivers may take it again. Readers keep their own count of the
// entries they have seen.
class EntryList : public QObject, public QList<Log::Entry>, public QMutex
{
    Q_OBJECT

public:
    EntryList();
    ~EntryList() override;

    // The number of entries, read under the mutex.
    int lockedCount();

    void emitAppended();

signals:
    void appended();
};

}
