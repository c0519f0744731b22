// The package table's filter decisions, their cache, and the typed sort.
#include "app/packagetable/sortfilterproxymodel.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

#include <QRegExp>
#include <QVector>

#include "app/packagetable/model.h"
#include "app/packagetable/searchtexts.h"
#include "engine/package.h"
#include "engine/yumio.h"

namespace PackageTable
{

namespace
{

template <typename T>
int compare(const T& left, const T& right)
{
    return left < right ? -1 : right < left ? 1 : 0;
}

// How many rows ahead the check of the rows' texts fetches their entries.
const size_t textCheckAhead = 16;
// How many rows ahead the making of the rows' texts fetches their entries
// (their fields half as far ahead), and the bytes it expects of a row.
const size_t textBuildAhead = 32;
const size_t rowTextGuess = 72;

} // namespace

SortFilterProxyModel::SortFilterProxyModel(StateFilter stateFilter, bool groups, YumIO* yumIO,
                                           QObject* parent)
    : HSortFilterProxyModel(Model::NameColumn, parent),
      stateFilter(stateFilter),
      groups(groups),
      yumIO(yumIO),
      engineTexts(new EngineSearchTexts(yumIO)),
      searchTexts(engineTexts.get())
{
    // Texts read before the file lists or change logs were loaded (a failed
    // load) lack them; the signal comes from the engine's worker, queued.
    if (yumIO)
        QObject::connect(yumIO, &YumIO::collectedExtraData, this, [this]() {
            texts.clear();
            if (mode == Search)
                cache.clear();
        });
}

SortFilterProxyModel::~SortFilterProxyModel() = default;

void SortFilterProxyModel::setSourceModel(QAbstractItemModel* sourceModel)
{
    QObject::disconnect(sourceReset);
    QObject::disconnect(sourceDataChanged);
    dropDecisions();
    dropRanks();
    dropRowTexts();
    texts.clear();
    packageModel = qobject_cast<const Model*>(sourceModel);
    HSortFilterProxyModel::setSourceModel(sourceModel);
    if (!sourceModel)
        return;
    // Before the entries go: a new entry may take a freed entry's address,
    // and must not inherit its decision. Nothing is decided between the two
    // signals, while the source has no rows.
    sourceReset = QObject::connect(sourceModel, &QAbstractItemModel::modelAboutToBeReset, this,
                                   [this]() {
                                       cache.clear();
                                       texts.clear();
                                       dropRowTexts();
                                       dropRanks();
                                   });
    // A mark changes the Action cell; the busy colours change no value the
    // rows are ordered by.
    sourceDataChanged = QObject::connect(
        sourceModel, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex& topLeft, const QModelIndex& bottomRight,
               const QVector<int>& roles) {
            if (rankedColumn < topLeft.column() || rankedColumn > bottomRight.column())
                return;
            if (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::UserRole))
                dropRanks();
        });
}

void SortFilterProxyModel::dropRanks()
{
    ranks.clear();
    rankedColumn = -1;
    directColumn = -1;
}

void SortFilterProxyModel::dropDecisions()
{
    cache.clear();
    rowTextsChecked = false;
}

void SortFilterProxyModel::dropRowTexts()
{
    rowTexts.clear();
    rowTexts.shrink_to_fit();
    rowTextEnds.clear();
    rowTextEnds.shrink_to_fit();
    rowTextIdentities.clear();
    rowTextIdentities.shrink_to_fit();
}

void SortFilterProxyModel::setStateFilter(StateFilter stateFilter)
{
    if (this->stateFilter == stateFilter)
        return;
    this->stateFilter = stateFilter;
    dropDecisions();
    invalidate();
}

void SortFilterProxyModel::setGroupsFilter(bool groups)
{
    if (this->groups == groups)
        return;
    this->groups = groups;
    dropDecisions();
    invalidate();
}

void SortFilterProxyModel::setMode(Mode mode)
{
    if (this->mode == mode)
        return;
    this->mode = mode;
    dropDecisions();
    invalidate();
}

void SortFilterProxyModel::setFilter(bool filter)
{
    if (this->filter == filter)
        return;
    this->filter = filter;
    // Not invalidateFilter(): with sorting kept still so that a mark never
    // moves its row, Qt would put the rows a re-filter brings back at the
    // end, whatever the order shown. The rows are laid out afresh, in order.
    invalidate();
}

bool SortFilterProxyModel::getFilter() const
{
    return filter;
}

void SortFilterProxyModel::setSearchTexts(SearchTexts* searchTexts)
{
    this->searchTexts = searchTexts ? searchTexts : engineTexts.get();
    texts.clear();
    if (mode == Search)
        dropDecisions();
}

QString SortFilterProxyModel::trimmedPattern(const QString& text)
{
    return FilterPattern::trimmedPattern(text);
}

QByteArray SortFilterProxyModel::requiredLiteral(const QByteArray& pattern)
{
    return FilterPattern::requiredLiteral(pattern);
}

bool SortFilterProxyModel::runsSafely(const QString& text)
{
    return FilterPattern::runsSafely(trimmedPattern(text).toStdString());
}

void SortFilterProxyModel::setFilterRegExp(const QString& text)
{
    const QString trimmed = trimmedPattern(text);
    filterPattern.set(trimmed.toStdString());

    QRegExp expression(trimmed, Qt::CaseSensitive, QRegExp::RegExp);
    if (expression != filterRegExp())
        dropDecisions();
    pattern = trimmed;

    // Every row is decided before the view asks; the rows are then laid out
    // afresh and in order (as setFilter does), and setting the base's
    // expression finds nothing left to change.
    const QAbstractItemModel* source = sourceModel();
    const int rows = source ? source->rowCount() : 0;
    for (int row = 0; row < rows; ++row)
        filterAcceptsRow(row, QModelIndex());
    invalidate();
    QSortFilterProxyModel::setFilterRegExp(expression);
}

bool SortFilterProxyModel::hasPattern() const
{
    return !pattern.isEmpty();
}

bool SortFilterProxyModel::matches(const QString& text) const
{
    if (!filterPattern.compiled())
        return true;
    const std::string bytes = text.toStdString();
    return filterPattern.matches(bytes.c_str(), std::strlen(bytes.c_str()));
}

// Where a pattern has a required run, only the texts holding it are
// matched: one memmem over the whole block finds the next of them, and a
// text without it cannot match. The run holds no NUL, so that it never spans
// two texts.
bool SortFilterProxyModel::matchesAnyOf(const char* text, const char* end) const
{
    const QByteArray& required = filterPattern.required();
    if (required.isEmpty() || !filterPattern.compiled()) {
        while (text < end) {
            const size_t length = std::strlen(text);
            if (filterPattern.matches(text, length))
                return true;
            text += length + 1;
        }
        return false;
    }
    const size_t size = size_t(required.size());
    while (text < end) {
        const char* found =
            static_cast<const char*>(memmem(text, size_t(end - text), required.constData(), size));
        if (!found)
            return false;
        const char* before = static_cast<const char*>(memrchr(text, '\0', size_t(found - text)));
        const char* start = before ? before + 1 : text;
        const size_t length = std::strlen(start);
        if (filterPattern.matches(start, length))
            return true;
        text = start + length + 1;
    }
    return false;
}

bool SortFilterProxyModel::filterAcceptsRow(int row, const QModelIndex& parent) const
{
    if (!filter)
        return true;
    if (!packageModel || parent.isValid() || row < 0)
        return false;
    if (size_t(row) < cache.size() && cache[size_t(row)] >= 0)
        return cache[size_t(row)] != 0;
    // The entry is what the Name cell's sort value holds, read without a
    // QVariant: this runs for every row at every new pattern.
    Package::Entry* entry = packageModel->entry(row);
    // No entry behind the row: nothing to show, and nothing to keep, since
    // the entries are changing.
    if (!entry)
        return false;
    bool accepted = acceptRow(entry, row, parent);
    if (cache.size() <= size_t(row))
        cache.resize(size_t(packageModel->rowCount()) > size_t(row) ? size_t(packageModel->rowCount())
                                                                    : size_t(row) + 1,
                     -1);
    cache[size_t(row)] = accepted ? 1 : 0;
    return accepted;
}

bool SortFilterProxyModel::acceptRow(Package::Entry* entry, int row, const QModelIndex& parent) const
{
    switch (stateFilter) {
    case ViewUpdatable:
        if (entry->state != Package::Updatable)
            return false;
        break;
    case ViewInstallable:
        if (entry->state != Package::Available)
            return false;
        break;
    case ViewRemovable:
        if (entry->state == Package::Available)
            return false;
        break;
    case ViewAll:
        break;
    }
    if (!groups && entry->kind == Package::Group)
        return false;
    switch (mode) {
    case Filter:
        if (pattern.isEmpty() || !filterPattern.compiled())
            return true;
        return acceptRowText(row);
    case Search:
        return pattern.isEmpty() || acceptSearchTexts(entry);
    }
    return true;
}

// The rows' texts are made once and then only matched; each round of
// decisions first makes sure that they still hold, all in one pass: the
// entries lie scattered over the heap, and a pass that only reads them
// waits for many at once, where one read per decision waits for each.
bool SortFilterProxyModel::acceptRowText(int row) const
{
    if (!packageModel)
        return false;
    const size_t rows = size_t(packageModel->rowCount());
    if (rowTextEnds.size() == rows && !rowTextsChecked) {
        for (size_t i = 0; i < rows; ++i) {
            // Asked for ahead, the entry is there when its turn comes.
            if (i + textCheckAhead < rows)
                __builtin_prefetch(packageModel->entry(int(i + textCheckAhead)));
            const Package::Entry* entry = packageModel->entry(int(i));
            if (entry && rowTextIdentities[i] != Model::visibleTextIdentity(*entry)) {
                rowTextEnds.clear();
                break;
            }
        }
    }
    rowTextsChecked = true;
    if (rowTextEnds.size() != rows) {
        rowTexts.clear();
        rowTextEnds.clear();
        rowTextEnds.reserve(rows);
        rowTextIdentities.assign(rows, 0);
        rowTexts.reserve(rows * rowTextGuess);
        for (size_t i = 0; i < rows; ++i) {
            // The entries and their fields lie scattered over the heap: each
            // is asked for ahead, in two steps, the entry before its fields.
            if (i + textBuildAhead < rows) {
                // An entry's fields take two cache lines.
                const char* ahead =
                    reinterpret_cast<const char*>(packageModel->entry(int(i + textBuildAhead)));
                __builtin_prefetch(ahead);
                __builtin_prefetch(ahead + 64);
            }
            if (i + textBuildAhead / 2 < rows) {
                if (const Package::Entry* ahead = packageModel->entry(int(i + textBuildAhead / 2)))
                    Model::prefetchVisibleText(*ahead);
            }
            // A row without an entry keeps an empty text, never matched:
            // it is decided without one.
            const size_t start = rowTexts.size();
            if (const Package::Entry* entry = packageModel->entry(int(i))) {
                Model::appendVisibleTextUtf8(*entry, rowTexts);
                rowTextIdentities[i] = Model::visibleTextIdentity(*entry);
                // Up to the first NUL, as the text's 8-bit string would end
                // there.
                if (const void* nul = std::memchr(rowTexts.data() + start, '\0',
                                                  rowTexts.size() - start))
                    rowTexts.resize(size_t(static_cast<const char*>(nul) - rowTexts.data()));
            }
            rowTextEnds.push_back(rowTexts.size());
            rowTexts += '\0';
        }
        rowTexts.shrink_to_fit();
    }
    if (size_t(row) >= rows)
        return false;
    const size_t start = row == 0 ? 0 : rowTextEnds[size_t(row) - 1] + 1;
    return filterPattern.matches(rowTexts.data() + start, rowTextEnds[size_t(row)] - start);
}

// Each field by itself, so that a pattern never spans two fields; the first
// match ends the search, and the fields after it are not read.
bool SortFilterProxyModel::acceptSearchTexts(Package::Entry* entry) const
{
    const QVector<SearchTexts::Field>* fields;
    switch (entry->kind) {
    case Package::Group:
        fields = &SearchTexts::groupFields();
        break;
    case Package::Suite:
    case Package::Ordinary:
        fields = &SearchTexts::packageFields();
        break;
    default:
        return false;
    }
    int next = 0;
    auto known = texts.constFind(entry);
    if (known != texts.constEnd()) {
        const char* text = known->texts.constData();
        if (matchesAnyOf(text, text + known->texts.size()))
            return true;
        next = known->count;
    }
    for (int i = next; i < fields->size(); ++i) {
        // The record is looked up after the read, never held across it, so
        // that a texts source that lets events in cannot leave it dangling.
        // The engine's texts never do: they do not load extra data.
        const QByteArray text = searchTexts->text(*entry, fields->at(i)).toUtf8();
        SearchRecord& record = texts[entry];
        if (record.count == i) {
            record.texts += text;
            record.texts += '\0';
            if (++record.count == fields->size())
                record.texts.squeeze();
        }
        if (filterPattern.matches(text.constData(), std::strlen(text.constData())))
            return true;
    }
    return false;
}

// The order the cells' values give (numbers for Action, State, Kind, Size
// and Build Time, the texts for the others, ties by name), read from the
// entries without a QVariant.
bool SortFilterProxyModel::entryLess(int column, int left, int right) const
{
    const Package::Entry* l = packageModel->entry(left);
    const Package::Entry* r = packageModel->entry(right);
    if (!l || !r)
        return false;
    int order = 0;
    switch (column) {
    case Model::ActionColumn:
        order = compare(int(l->action), int(r->action));
        break;
    case Model::StateColumn:
        order = compare(int(l->state), int(r->state));
        break;
    case Model::KindColumn:
        order = compare(int(l->kind), int(r->kind));
        break;
    case Model::NameColumn:
        return l->name < r->name;
    case Model::VersionColumn:
        order = compare(l->verRel, r->verRel);
        break;
    case Model::RepositoryColumn:
        order = compare(l->repo, r->repo);
        break;
    case Model::ArchitectureColumn:
        order = compare(l->arch, r->arch);
        break;
    // Sizes are unsigned 64-bit and may pass the signed range.
    case Model::SizeColumn:
        order = compare(l->size, r->size);
        break;
    case Model::BuildTimeColumn:
        order = compare(qint64(l->buildTime), qint64(r->buildTime));
        break;
    default:
        return false;
    }
    if (order != 0)
        return order < 0;
    return l->name < r->name;
}

// Rows that tie share a rank, so that the order of equal rows stays the
// sort's own in either direction.
void SortFilterProxyModel::rankRows(int column) const
{
    const int rows = packageModel->rowCount();
    std::vector<int> order(size_t(rows), 0);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this, column](int l, int r) { return entryLess(column, l, r); });
    ranks.assign(size_t(rows), 0);
    int rank = 0;
    for (int i = 0; i < rows; ++i) {
        if (i > 0 && entryLess(column, order[size_t(i - 1)], order[size_t(i)]))
            rank = i;
        ranks[size_t(order[size_t(i)])] = rank;
    }
    rankedColumn = column;
}

// A sort makes n log n comparisons, and every re-filter sorts the rows it
// shows: each compares the rows' ranks, made once for the column. A sort of
// a few of many rows (the updatable ones at the start) compares the entries
// themselves: the ranks are made once the comparisons add up to as many as
// the source has rows, about what ranking every row costs in a twentieth.
bool SortFilterProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (!packageModel || left.model() != packageModel || right.model() != packageModel)
        return false;
    const int column = left.column();
    if (column < 0 || column >= Model::ColumnCount)
        return false;
    // Every change of the rows resets the source, which drops the ranks:
    // the row count is asked only when the ranks are made, not at each of
    // the sort's comparisons.
    const size_t l = size_t(left.row());
    const size_t r = size_t(right.row());
    if (rankedColumn != column || l >= ranks.size() || r >= ranks.size()) {
        const size_t rows = size_t(packageModel->rowCount());
        if (l >= rows || r >= rows)
            return false;
        if (directColumn != column) {
            directColumn = column;
            directComparisons = 0;
        }
        if (directComparisons < rows) {
            ++directComparisons;
            return entryLess(column, int(l), int(r));
        }
        rankRows(column);
    }
    return ranks[l] < ranks[r];
}

}
