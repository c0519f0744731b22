// The package table's filter and sort: which entries show (by state, groups
// in or out, and a POSIX extended regular expression matched against the
// row's visible text or against every field of the package), and their
// order (numeric for action, state, kind, size and build time, text for the
// rest, ties by name).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QHash>
#include <QMetaObject>
#include <QModelIndex>
#include <QString>

#include "app/packagetable/filterpattern.h"
#include "foundation/hsortfilterproxymodel.h"

class YumIO;

namespace Package
{
class Entry;
}

namespace PackageTable
{

class Model;
class SearchTexts;

// The items of the main window's state combo.
enum StateFilter {
    ViewUpdatable = 0,
    ViewInstallable = 1,
    ViewRemovable = 2,
    ViewAll = 3,
};

// The items of the main window's mode combo.
enum Mode {
    Filter = 0,
    Search = 1,
};

class SortFilterProxyModel : public HSortFilterProxyModel
{
public:
    SortFilterProxyModel(StateFilter stateFilter, bool groups, YumIO* yumIO, QObject* parent);
    ~SortFilterProxyModel() override;

    // The source is the package table's model. Decisions hold only for the
    // entries they were made for: every reset of the source drops them.
    void setSourceModel(QAbstractItemModel* sourceModel) override;

    // Each re-filters and decides every row anew when the value changes.
    void setStateFilter(StateFilter stateFilter);
    void setGroupsFilter(bool groups);
    void setMode(Mode mode);
    // While off every row shows; switching keeps the decisions made.
    void setFilter(bool filter);
    bool getFilter() const;

    // A new pattern: an unescaped ".*" at either end is dropped, the rest
    // compiled as a POSIX extended expression (unless it would crash or
    // freeze glibc: runsSafely()); then every row is decided, so that the
    // view finds the decisions made.
    void setFilterRegExp(const QString& text);
    // Whether a pattern is in force: the last one set, once trimmed, is not
    // empty. In Search mode deciding rows then reads the file lists and
    // change logs, which must be loaded before the rows are decided.
    bool hasPattern() const;
    // Whether the compiled pattern matches anywhere in text; true when no
    // pattern compiled.
    bool matches(const QString& text) const;
    // The decision for an entry, without the cache.
    bool acceptRow(Package::Entry* entry, int row, const QModelIndex& parent) const;

    // The pattern as it is compiled: leading and trailing ".*" dropped, but
    // only where the dot is not escaped, no quantifier would be left without
    // an operand and no anchor next to it could hold after a newline
    // (FilterPattern::trimmedPattern).
    static QString trimmedPattern(const QString& text);
    // The longest run of characters (UTF-8, as compiled) that every match of
    // the extended expression must contain, or empty where none can be told
    // for sure: any alternation gives none, and so does anything this reading
    // of the syntax is unsure of. The text of a run that holds no NUL.
    static QByteArray requiredLiteral(const QByteArray& pattern);
    // Whether the pattern is run: false for one regcomp rejects, and for one
    // that would make glibc's regcomp or regexec crash or take minutes
    // (FilterPattern::runsSafely), which shows every row as a rejected one
    // does.
    static bool runsSafely(const QString& text);

    // Where Search mode reads a package's fields; null puts the engine's
    // getters back. Not owned. The texts read so far are dropped.
    void setSearchTexts(SearchTexts* searchTexts);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    // filterPattern.matches for each of the NUL-ended texts from text to end,
    // the first match ending the search.
    bool matchesAnyOf(const char* text, const char* end) const;
    bool acceptSearchTexts(Package::Entry* entry) const;
    bool acceptRowText(int row) const;
    void dropRowTexts();
    void dropDecisions();
    // Whether the entry at left comes before the one at right by column
    // (ties by name); false for a column without an order of its own.
    bool entryLess(int column, int left, int right) const;
    void rankRows(int column) const;
    void dropRanks();

    Mode mode = Filter;
    bool filter = true;
    StateFilter stateFilter;
    bool groups;
    YumIO* yumIO;
    // The decision per source row of the current collection (rows and
    // entries stay paired until the source is reset): 1 shown, 0 hidden,
    // -1 not decided yet. A vector, not a hash: every row is decided at
    // every new pattern.
    mutable std::vector<signed char> cache;
    // The Filter mode's texts of every source row as UTF-8, each up to its
    // first NUL and followed by one, end to end in one block; row i's text
    // ends at rowTextEnds[i], the next starts past its NUL. Made at the
    // first pattern after a reset, so that each later pattern only matches.
    // They stand while every entry's Model::visibleTextIdentity is the one
    // kept here, checked once for each round of decisions (rowTextsChecked,
    // cleared with the decisions); a field given a new value makes them all
    // anew.
    mutable std::string rowTexts;
    mutable std::vector<size_t> rowTextEnds;
    mutable std::vector<quint64> rowTextIdentities;
    mutable bool rowTextsChecked = false;
    // Each source row's place in the order of rankedColumn, rows that tie
    // sharing the first place of their run: the sort that every re-filter
    // makes compares two numbers instead of two entries' fields. Made once
    // a sort has compared as many pairs as the source has rows, dropped
    // when a value it was made from changes.
    mutable std::vector<int> ranks;
    mutable int rankedColumn = -1;
    // The column compared entry by entry while it has no ranks, and how
    // many comparisons were made so.
    mutable int directColumn = -1;
    mutable size_t directComparisons = 0;
    // Search mode's texts of one entry as 8-bit strings, in search order, as
    // far as a search has needed them, each followed by a NUL: one block, so
    // that a later pattern runs through them without asking the engine
    // again and without chasing a pointer per field.
    struct SearchRecord
    {
        QByteArray texts;
        int count = 0;
    };
    mutable QHash<Package::Entry*, SearchRecord> texts;
    // The compiled pattern and the roads a text is matched by.
    FilterPattern filterPattern;
    // The trimmed pattern, also held by the base's filter expression.
    QString pattern;

    std::unique_ptr<SearchTexts> engineTexts;
    SearchTexts* searchTexts;
    const Model* packageModel = nullptr;
    QMetaObject::Connection sourceReset;
    QMetaObject::Connection sourceDataChanged;
};

}
