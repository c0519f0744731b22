// The engine's log: one-line entries with a kind and a detail level, in a
// list that any thread appends to under its own mutex and that announces each
// batch of new entries with appended().
#pragma once

#include <vector>

#include <QByteArray>
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
//
// The log keeps every line for the engine's life, also the half a million
// a runaway scriptlet may write: the texts are kept packed, one byte a
// character where Latin-1 holds the line, in blocks of a megabyte, and an
// entry is made anew for each read.
class EntryList : public QObject, public QMutex
{
    Q_OBJECT

public:
    // Reads an entry at a time; the mutex is held around the loop.
    class const_iterator
    {
    public:
        const_iterator(const EntryList* list, int index) : list(list), index(index) {}
        Log::Entry operator*() const { return list->at(index); }
        const_iterator& operator++()
        {
            ++index;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return index != other.index; }

    private:
        const EntryList* list;
        int index;
    };

    EntryList();
    ~EntryList() override;

    // The mutex is held for all of these.
    int count() const { return int(records.size()); }
    int size() const { return count(); }
    bool isEmpty() const { return records.empty(); }
    Log::Entry at(int i) const;
    // The entry with no more than the first maxCharacters of its text, for
    // a reader that shows only that much of a long line: the rest is not
    // copied. length is given the length of the whole text.
    Log::Entry at(int i, int maxCharacters, int& length) const;
    unsigned int levelAt(int i) const { return records[size_t(i)].level; }
    Log::Entry last() const { return at(count() - 1); }
    void append(const Log::Entry& entry);
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, count()); }

    // The number of entries, read under the mutex.
    int lockedCount();

    void emitAppended();

signals:
    void appended();

private:
    struct Record {
        quint32 block;
        quint32 offset;
        // In bytes.
        quint32 size;
        quint32 level;
        qint32 kind;
        // Two bytes a character, for a line beyond Latin-1.
        bool wide;
    };

    std::vector<Record> records;
    std::vector<QByteArray> blocks;
};

}
