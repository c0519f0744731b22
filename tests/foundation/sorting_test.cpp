// Sorting: the proxy's type-aware comparison with its single tie-break on
// the secondary column, the model reset that makes proxies sort afresh,
// header clicks on a table view, and the view's selected rows.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include <QDate>
#include <QDateTime>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTime>

#include "foundation/habstracttablemodel.h"
#include "foundation/hsortfilterproxymodel.h"
#include "foundation/htableview.h"
#include "tests/foundation/qtprinters.h"

namespace {

// Records the column of every comparison, so that tests can see how often
// the secondary column is consulted.
class RecordingProxy : public HSortFilterProxyModel
{
public:
    explicit RecordingProxy(int secondary = 3)
        : HSortFilterProxyModel(secondary, nullptr)
    {
    }

    bool compare(const QModelIndex& left, const QModelIndex& right) const
    {
        columns.clear();
        return lessThan(left, right);
    }

    mutable std::vector<int> columns;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        columns.push_back(left.column());
        return HSortFilterProxyModel::lessThan(left, right);
    }
};

// Rows of (name, version, repository, secondary, marker).
void fill(QStandardItemModel& model, const std::vector<std::vector<QVariant>>& rows)
{
    model.clear();
    model.setColumnCount(5);
    model.setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row)
        for (int column = 0; column < int(rows[row].size()); ++column)
            model.setData(model.index(row, column), rows[row][column]);
}

QStringList column(const QAbstractItemModel& model, int column)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, column).data().toString();
    return values;
}

// Two cells of one column, for comparing single values.
class Pair
{
public:
    Pair(const QVariant& left, const QVariant& right)
        : model(2, 1)
    {
        model.setData(model.index(0, 0), left);
        model.setData(model.index(1, 0), right);
    }

    bool less(bool reversed = false)
    {
        RecordingProxy proxy(3);
        QModelIndex a = model.index(0, 0), b = model.index(1, 0);
        return reversed ? proxy.compare(b, a) : proxy.compare(a, b);
    }

    QStandardItemModel model;
};

// A table whose rows the test changes behind the model's back, as the
// package model's owner changes its entries.
class ListModel : public HAbstractTableModel
{
public:
    ListModel()
        : HAbstractTableModel(nullptr)
    {
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : values.size();
    }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : 4;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return QVariant();
        return index.column() == 0 ? QVariant(values[index.row()]) : QVariant(index.row());
    }

    QStringList values;
};

} // namespace

TEST(ProxyComparison, EqualNamesAreOrderedBySecondaryColumn)
{
    QStandardItemModel model;
    fill(model, {{"b", "", "", 2, "b2"}, {"a", "", "", 5, "a5"}, {"b", "", "", 1, "b1"}, {"c", "", "", 0, "c0"}});
    HSortFilterProxyModel proxy(3, nullptr);
    proxy.setSourceModel(&model);
    proxy.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(column(proxy, 4), QStringList({"a5", "b1", "b2", "c0"}));
    proxy.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(column(proxy, 4), QStringList({"c0", "b2", "b1", "a5"}));
}

TEST(ProxyComparison, TieIsBrokenOnTheSecondaryColumnExactlyOnce)
{
    QStandardItemModel model;
    fill(model, {{"same", "", "", 7, "first"}, {"same", "", "", 7, "second"}, {"same", "", "", 8, "third"}});
    RecordingProxy proxy;
    QModelIndex first = model.index(0, 0), second = model.index(1, 0), third = model.index(2, 0);

    EXPECT_TRUE(proxy.compare(first, third));
    EXPECT_EQ(proxy.columns, std::vector<int>({0, 3}));
    EXPECT_FALSE(proxy.compare(first, second));
    EXPECT_EQ(proxy.columns, std::vector<int>({0, 3}));
    EXPECT_FALSE(proxy.compare(second, first));
    EXPECT_EQ(proxy.columns, std::vector<int>({0, 3}));
}

TEST(ProxyComparison, RowsEqualInBothColumnsKeepTheirOrder)
{
    QStandardItemModel model;
    fill(model, {{"x", "", "", 1, "first"}, {"w", "", "", 1, "w"}, {"x", "", "", 1, "second"}, {"x", "", "", 1, "third"}});
    HSortFilterProxyModel proxy(3, nullptr);
    proxy.setSourceModel(&model);
    proxy.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(column(proxy, 4), QStringList({"w", "first", "second", "third"}));
    proxy.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(column(proxy, 4), QStringList({"first", "second", "third", "w"}));
}

TEST(ProxyComparison, SortingTheSecondaryColumnBreaksNoTies)
{
    QStandardItemModel model;
    fill(model, {{"c", "", "", 1, "c"}, {"a", "", "", 1, "a"}, {"b", "", "", 0, "b"}});
    RecordingProxy proxy;
    EXPECT_FALSE(proxy.compare(model.index(0, 3), model.index(1, 3)));
    EXPECT_EQ(proxy.columns, std::vector<int>({3}));

    proxy.setSourceModel(&model);
    proxy.sort(3, Qt::AscendingOrder);
    EXPECT_EQ(column(proxy, 4), QStringList({"b", "c", "a"}));
}

TEST(ProxyComparison, MissingSecondaryColumnEndsTheTieBreak)
{
    QStandardItemModel model;
    fill(model, {{"same", "", "", "", "first"}, {"same", "", "", "", "second"}});
    RecordingProxy proxy(9);
    EXPECT_FALSE(proxy.compare(model.index(0, 0), model.index(1, 0)));
    EXPECT_FALSE(proxy.compare(model.index(1, 0), model.index(0, 0)));
    EXPECT_EQ(proxy.createSecondarySortIndex(model.index(0, 0)), QModelIndex());
    EXPECT_EQ(proxy.createSecondarySortIndex(QModelIndex()), QModelIndex());
}

TEST(ProxyComparison, LeftNumberAgainstTextConvertsTheText)
{
    EXPECT_TRUE(Pair(5, "12").less());
    EXPECT_FALSE(Pair(5, "4").less());
    // Text that is no number counts as 0.
    EXPECT_FALSE(Pair(5, "abc").less());
    EXPECT_TRUE(Pair(-1, "abc").less());
    EXPECT_TRUE(Pair(QVariant(2u), QVariant(3.9)).less());
    EXPECT_TRUE(Pair(QVariant(qlonglong(-5000000000)), QVariant(qlonglong(1))).less());
    EXPECT_TRUE(Pair(QVariant(qulonglong(5000000000u)), QVariant(qulonglong(6000000000u))).less());
    EXPECT_TRUE(Pair(2.5, "10").less());
    EXPECT_FALSE(Pair(2.5, "2.25").less());
}

TEST(ProxyComparison, TextSortsAsTextByCodePoint)
{
    EXPECT_TRUE(Pair("10", "9").less());
    EXPECT_FALSE(Pair("9", "10").less());
    EXPECT_TRUE(Pair("Zeta", "alpha").less());
    // The left text decides: a number on the right is compared as text.
    EXPECT_TRUE(Pair("10", 9).less());
}

TEST(ProxyComparison, EmptyCellPrecedesAnyText)
{
    EXPECT_TRUE(Pair(QVariant(), "a").less());
    EXPECT_FALSE(Pair(QVariant(), "a").less(true));
    EXPECT_FALSE(Pair(QVariant(), "").less());
}

TEST(ProxyComparison, BoolsCompareAsText)
{
    // "false" < "true" as text.
    EXPECT_TRUE(Pair(false, true).less());
    EXPECT_TRUE(Pair(true, "zzz").less());
}

TEST(ProxyComparison, CharsDatesAndTimesUseTheirOwnOrder)
{
    EXPECT_TRUE(Pair(QVariant(QChar('a')), QVariant(QChar('b'))).less());
    EXPECT_TRUE(Pair(QDate(2009, 12, 31), QDate(2010, 1, 2)).less());
    EXPECT_FALSE(Pair(QDate(2010, 1, 2), QDate(2009, 12, 31)).less());
    EXPECT_TRUE(Pair(QTime(9, 0), QTime(10, 0)).less());
    EXPECT_TRUE(Pair(QDateTime(QDate(2010, 1, 1), QTime(23, 0)), QDateTime(QDate(2010, 1, 2), QTime(1, 0))).less());
}

TEST(ProxySorting, ChangedCellsDoNotMoveRowsUntilSortedAgain)
{
    QStandardItemModel model;
    fill(model, {{"b", "", "", 0, "b"}, {"a", "", "", 0, "a"}, {"c", "", "", 0, "c"}});
    HSortFilterProxyModel proxy(3, nullptr);
    proxy.setSourceModel(&model);
    proxy.sort(0, Qt::AscendingOrder);
    ASSERT_EQ(column(proxy, 0), QStringList({"a", "b", "c"}));
    model.setData(model.index(1, 0), "z");
    EXPECT_EQ(column(proxy, 0), QStringList({"z", "b", "c"}));
    proxy.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(column(proxy, 0), QStringList({"b", "c", "z"}));
}

TEST(ProxySorting, ModelResetMakesTheProxySortAfresh)
{
    ListModel model;
    model.values = QStringList({"b", "c", "a"});
    HSortFilterProxyModel proxy(3, nullptr);
    proxy.setSourceModel(&model);
    proxy.sort(0, Qt::AscendingOrder);
    ASSERT_EQ(column(proxy, 0), QStringList({"a", "b", "c"}));

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.values = QStringList({"q", "d", "m", "e"});
    model.forceSortColumnRediscovery();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(column(proxy, 0), QStringList({"d", "e", "m", "q"}));
}

// A view over a proxy with header clicks connected, as the program's
// tables have them.
class HeaderSorting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fill(model, {{"b", "2", "", 0, ""}, {"a", "3", "", 0, ""}, {"c", "1", "", 0, ""}});
        proxy.setSourceModel(&model);
        view.setModel(&proxy);
        view.horizontalHeader()->setSectionsClickable(true);
        QObject::connect(view.horizontalHeader(), &QHeaderView::sectionClicked, &view,
                         [this](int section) { view.sortByColumn(section); });
        view.resize(400, 200);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    void clickHeader(int section)
    {
        QHeaderView* header = view.horizontalHeader();
        QPoint centre(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                      header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }

    QStandardItemModel model;
    HSortFilterProxyModel proxy{3, nullptr};
    HTableView view{QStyleOptionViewItem::Left, 1, INT_MAX, nullptr};
};

TEST_F(HeaderSorting, SortByColumnShowsTheOrderAndSorts)
{
    view.sortByColumn(1, Qt::DescendingOrder);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorSection(), 1);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(column(proxy, 1), QStringList({"3", "2", "1"}));
}

TEST_F(HeaderSorting, ClickOnSortedColumnWithIndicatorShownFollowsTheHeader)
{
    view.horizontalHeader()->setSortIndicatorShown(true);
    view.sortByColumn(0, Qt::AscendingOrder);
    clickHeader(0);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(column(proxy, 0), QStringList({"c", "b", "a"}));
    clickHeader(0);
    EXPECT_EQ(column(proxy, 0), QStringList({"a", "b", "c"}));
}

TEST_F(HeaderSorting, ClickOnSortedColumnWithIndicatorHiddenTurnsTheOrder)
{
    view.horizontalHeader()->setSortIndicatorShown(false);
    view.sortByColumn(0, Qt::AscendingOrder);
    clickHeader(0);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(column(proxy, 0), QStringList({"c", "b", "a"}));
    clickHeader(0);
    EXPECT_EQ(column(proxy, 0), QStringList({"a", "b", "c"}));
}

TEST_F(HeaderSorting, ClickOnAnotherColumnSortsAscending)
{
    for (bool shown : {true, false}) {
        view.horizontalHeader()->setSortIndicatorShown(shown);
        view.sortByColumn(0, Qt::DescendingOrder);
        clickHeader(1);
        EXPECT_EQ(view.horizontalHeader()->sortIndicatorSection(), 1);
        EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
        EXPECT_EQ(column(proxy, 1), QStringList({"1", "2", "3"}));
    }
}

TEST_F(HeaderSorting, RepeatedCallsTurnTheOrderOfTheLastSortedColumn)
{
    view.sortByColumn(1);
    EXPECT_EQ(column(proxy, 1), QStringList({"1", "2", "3"}));
    view.sortByColumn(1);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(column(proxy, 1), QStringList({"3", "2", "1"}));
    view.sortByColumn(0);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorSection(), 0);
    EXPECT_EQ(column(proxy, 0), QStringList({"a", "b", "c"}));
}

TEST_F(HeaderSorting, ClickFollowsAProxySortedDirectly)
{
    proxy.sort(1, Qt::DescendingOrder);
    clickHeader(1);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(column(proxy, 1), QStringList({"1", "2", "3"}));
}

TEST(HeaderSortingWithoutProxy, ClickOnTheLastSortedColumnTurnsTheOrder)
{
    QStandardItemModel model;
    fill(model, {{"b"}, {"a"}, {"c"}});
    HTableView view(QStyleOptionViewItem::Left, 1, INT_MAX, nullptr);
    view.setModel(&model);
    view.sortByColumn(0);
    EXPECT_EQ(column(model, 0), QStringList({"a", "b", "c"}));
    view.sortByColumn(0);
    EXPECT_EQ(column(model, 0), QStringList({"c", "b", "a"}));
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST(SelectedRows, OneIndexPerSelectableRowInSelectionOrder)
{
    QStandardItemModel model;
    fill(model, {{"r0", "a", "b"}, {"r1", "a", "b"}, {"r2", "a", "b"}, {"r3", "a", "b"}, {"r4", "a", "b"},
                 {"r5", "a", "b"}, {"r6", "a", "b"}});
    model.item(6, 1)->setFlags(Qt::ItemIsEnabled);
    HTableView view(QStyleOptionViewItem::Left, 1, INT_MAX, nullptr);
    view.setModel(&model);
    QItemSelectionModel* selection = view.selectionModel();
    selection->select(QItemSelection(model.index(5, 1), model.index(6, 2)), QItemSelectionModel::Select);
    selection->select(QItemSelection(model.index(1, 1), model.index(2, 4)), QItemSelectionModel::Select);

    QModelIndexList rows = view.selectedRows();
    // Row 6's first selected item is not selectable.
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], model.index(5, 1));
    EXPECT_EQ(rows[1], model.index(1, 1));
    EXPECT_EQ(rows[2], model.index(2, 1));
}

TEST(SelectedRows, RowsWhoseItemsAreNotSelectableAreLeftOut)
{
    QStandardItemModel model;
    fill(model, {{"r0", "x"}, {"r1", "x"}, {"r2", "x"}});
    for (int row = 0; row < 3; ++row)
        model.item(row, 0)->setFlags(Qt::ItemIsEnabled);
    HTableView view(QStyleOptionViewItem::Left, 1, INT_MAX, nullptr);
    view.setModel(&model);
    view.selectionModel()->select(QItemSelection(model.index(0, 0), model.index(2, 0)), QItemSelectionModel::Select);
    EXPECT_TRUE(view.selectedRows().isEmpty());
}
