// Column fitting: a column is as wide as the largest item-delegate size hint
// over every row, however the view gets there (each distinct cell content
// measured once, many texts shared out among threads, cells with delegates
// of their own asked by themselves). Every expectation is the plain item
// delegate asked cell by cell with the view's own options.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <set>

#include <QApplication>
#include <QBoxLayout>
#include <QColor>
#include <QDate>
#include <QFont>
#include <QHeaderView>
#include <QIcon>
#include <QItemDelegate>
#include <QPixmap>
#include <QStandardItemModel>
#include <QTest>

#include "foundation/hitemdelegate.h"
#include "foundation/htableview.h"
#include "foundation/share.h"

namespace {

// The package view's set-up, with its item options open to the tests.
class MeasuredView : public HTableView
{
public:
    explicit MeasuredView(QWidget* parent = nullptr)
        : HTableView(QStyleOptionViewItem::Left, 10, INT_MAX, parent)
    {
    }

    QStyleOptionViewItem itemOptions() const { return viewOptions(); }
};

// What the rule asks for: the plain item delegate's hint, cell by cell,
// plus the grid line.
int cellByCell(const MeasuredView& view, int column)
{
    QItemDelegate plain;
    QStyleOptionViewItem options = view.itemOptions();
    const QAbstractItemModel* model = view.model();
    int widest = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        widest = std::max(widest, plain.sizeHint(options, model->index(row, column)).width());
    return view.showGrid() ? widest + 1 : widest;
}

// Texts of 1 to 65 characters, each distinct, with spaces to wrap at.
QString distinctText(int n)
{
    static const char* const words[] = {"alpha", "Wave", "ii", "mmm", "To", "office"};
    QString text;
    int length = (n * 7919) % 60;
    for (int i = 0; text.size() < length; ++i)
        text += QLatin1String(words[(n + i) % 6]) + QLatin1Char(' ');
    return text + QString::number(n);
}

// A delegate with a fixed answer, for rows and columns with their own.
class FixedDelegate : public QItemDelegate
{
public:
    explicit FixedDelegate(int width)
        : width(width)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return QSize(width, 10);
    }

private:
    int width;
};

// Records the roles that size hints read.
class RecordingModel : public QStandardItemModel
{
public:
    using QStandardItemModel::QStandardItemModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        roles.insert(role);
        return QStandardItemModel::data(index, role);
    }

    mutable std::set<int> roles;
};

// Cells of every kind the delegate measures, with traps for a measure that
// merged cells too eagerly: equal texts in different fonts, equal texts
// beside pixmaps of different sizes (the narrow one first), text and
// non-text values that print alike, no text before empty texts, a text too
// wide for the view that wraps.
void fillEveryKind(QStandardItemModel& model)
{
    QIcon package(Share::absolute("icons/package.png"));
    QIcon group(Share::absolute("icons/group.png"));
    QPixmap narrow(8, 12);
    narrow.fill(Qt::blue);
    QPixmap wide(48, 12);
    wide.fill(Qt::blue);
    QFont large = QApplication::font();
    large.setPointSize(large.pointSize() + 8);
    QFont bold = QApplication::font();
    bold.setBold(true);

    model.setRowCount(60);
    model.setColumnCount(8);
    for (int row = 0; row < 60; ++row) {
        // Texts, half of them repeated.
        model.setData(model.index(row, 0), distinctText(row % 30));
        // Icons beside repeated words.
        model.setData(model.index(row, 1), row % 2 ? "Install" : "Keep");
        model.setData(model.index(row, 1), row % 3 ? package : group, Qt::DecorationRole);
        // Check boxes on some rows.
        model.setData(model.index(row, 2), QStringLiteral("option %1").arg(row % 4));
        if (row % 5 == 0)
            model.setData(model.index(row, 2), row % 10 ? Qt::Checked : Qt::Unchecked,
                          Qt::CheckStateRole);
        // One text, in three fonts.
        model.setData(model.index(row, 3), QStringLiteral("Same words"));
        // Numbers and dates, shown as text.
        model.setData(model.index(row, 4), row % 2 ? QVariant(row * 1000.5) : QVariant(row));
        // Short texts, one cell with a size of its own.
        model.setData(model.index(row, 5), QStringLiteral("s"));
        // Text beside nothing, a pixmap, a colour swatch.
        model.setData(model.index(row, 6), QStringLiteral("tag"));
        // No text, a null text, then empty texts, which still take margins.
        if (row > 0)
            model.setData(model.index(row, 7), row == 1 ? QString() : QStringLiteral(""));
    }
    model.setData(model.index(7, 3), large, Qt::FontRole);
    model.setData(model.index(8, 3), bold, Qt::FontRole);
    model.setData(model.index(9, 4), QDate(2023, 12, 31));
    model.setData(model.index(10, 4), QStringLiteral("12000.5"));
    model.setData(model.index(11, 5), QSize(333, 5), Qt::SizeHintRole);
    model.setData(model.index(10, 6), narrow, Qt::DecorationRole);
    model.setData(model.index(12, 6), wide, Qt::DecorationRole);
    model.setData(model.index(13, 6), QColor(Qt::red), Qt::DecorationRole);
    model.setData(model.index(14, 6), QString(), Qt::DisplayRole);
    model.setData(model.index(15, 0), QStringLiteral("two\nlines of a longer second line"));
    model.setData(model.index(16, 0), QString(90, QLatin1Char('w')).replace(9, 1, QLatin1Char(' ')));
}

} // namespace

TEST(ColumnFitting, ColumnHintIsTheLargestCellHintForCellsOfEveryKind)
{
    QStandardItemModel model;
    fillEveryKind(model);
    MeasuredView view;
    view.setModel(&model);
    // Narrow enough that the long text wraps in its hint.
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    for (bool grid : {false, true}) {
        view.setShowGrid(grid);
        for (int column = 0; column < model.columnCount(); ++column)
            EXPECT_EQ(view.sizeHintForColumn(column), cellByCell(view, column))
                << "column " << column << (grid ? " with grid" : "");
    }
    // The traps decide their columns: without them the columns narrow.
    view.setShowGrid(false);
    int withWidePixmap = view.sizeHintForColumn(6);
    model.setData(model.index(12, 6), QVariant(), Qt::DecorationRole);
    EXPECT_LT(view.sizeHintForColumn(6), withWidePixmap);
    int withLargeFont = view.sizeHintForColumn(3);
    model.setData(model.index(7, 3), QVariant(), Qt::FontRole);
    EXPECT_LT(view.sizeHintForColumn(3), withLargeFont);
    EXPECT_EQ(view.sizeHintForColumn(5), 333);
}

TEST(ColumnFitting, SameTextInALargerFontIsMeasuredByItself)
{
    QStandardItemModel model(3, 1);
    for (int row = 0; row < 3; ++row)
        model.setData(model.index(row, 0), QStringLiteral("Same words"));
    QFont large = QApplication::font();
    large.setPointSize(large.pointSize() + 8);
    model.setData(model.index(2, 0), large, Qt::FontRole);
    MeasuredView view;
    view.setModel(&model);

    int withLarge = view.sizeHintForColumn(0);
    EXPECT_EQ(withLarge, cellByCell(view, 0));
    model.setData(model.index(2, 0), QVariant(), Qt::FontRole);
    EXPECT_LT(view.sizeHintForColumn(0), withLarge);
}

TEST(ColumnFitting, ManyDistinctTextsSharedOutGiveTheCellByCellResult)
{
    // Enough distinct texts for helper threads to take part, some in a
    // font of their own, the widest placed in turn where this thread or a
    // helper may measure it.
    const int rows = 3 * HItemDelegate::parallelFrom;
    QStandardItemModel model(rows, 1);
    QFont bold = QApplication::font();
    bold.setBold(true);
    for (int row = 0; row < rows; ++row) {
        model.setData(model.index(row, 0), distinctText(row));
        if (row % 7 == 0)
            model.setData(model.index(row, 0), bold, Qt::FontRole);
    }
    MeasuredView view;
    view.setModel(&model);
    view.setShowGrid(false);
    view.resize(2000, 300);

    for (int widestRow : {0, rows / 4, rows / 2, rows * 3 / 4, rows - 1}) {
        QString widest = QStringLiteral("widest ") + QString(120, QLatin1Char('W'));
        QVariant before = model.data(model.index(widestRow, 0));
        model.setData(model.index(widestRow, 0), widest);
        int expected = cellByCell(view, 0);
        EXPECT_EQ(view.sizeHintForColumn(0), expected) << "widest at row " << widestRow;
        EXPECT_GE(expected, view.fontMetrics().horizontalAdvance(widest));
        model.setData(model.index(widestRow, 0), before);
    }
}

TEST(ColumnFitting, StyleSheetViewsAreMeasuredToTheSameRule)
{
    // A style sheet's style is asked from the GUI thread only.
    const int rows = HItemDelegate::parallelFrom + 100;
    QStandardItemModel model(rows, 1);
    for (int row = 0; row < rows; ++row)
        model.setData(model.index(row, 0), distinctText(row));
    QWidget window;
    window.setStyleSheet("QTableView::item { padding: 0 7px; }");
    QVBoxLayout* layout = new QVBoxLayout(&window);
    MeasuredView* view = new MeasuredView(&window);
    layout->addWidget(view);
    view->setModel(&model);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(view->sizeHintForColumn(0), cellByCell(*view, 0));
}

TEST(ColumnFitting, HintFollowsCellsChangedSinceTheLastFit)
{
    QStandardItemModel model(50, 1);
    for (int row = 0; row < 50; ++row)
        model.setData(model.index(row, 0), distinctText(row));
    MeasuredView view;
    view.setModel(&model);
    int first = view.sizeHintForColumn(0);
    EXPECT_EQ(first, cellByCell(view, 0));

    model.setData(model.index(20, 0), QString(100, QLatin1Char('M')));
    int grown = view.sizeHintForColumn(0);
    EXPECT_GT(grown, first);
    EXPECT_EQ(grown, cellByCell(view, 0));

    model.setData(model.index(20, 0), QStringLiteral("m"));
    for (int row = 0; row < 50; ++row)
        if (row != 20)
            model.setData(model.index(row, 0), QStringLiteral("short"));
    int shrunk = view.sizeHintForColumn(0);
    EXPECT_LT(shrunk, first);
    EXPECT_EQ(shrunk, cellByCell(view, 0));
}

TEST(ColumnFitting, CellsWithDelegatesOfTheirOwnAreAskedThemselves)
{
    QStandardItemModel model(20, 2);
    for (int row = 0; row < 20; ++row)
        for (int column = 0; column < 2; ++column)
            model.setData(model.index(row, column), QStringLiteral("x"));
    MeasuredView view;
    view.setModel(&model);
    view.setShowGrid(false);
    FixedDelegate rowDelegate(777);
    FixedDelegate columnDelegate(555);
    view.setItemDelegateForRow(3, &rowDelegate);
    view.setItemDelegateForColumn(1, &columnDelegate);

    // The row's delegate wins over the column's, as in painting.
    EXPECT_EQ(view.sizeHintForColumn(0), 777);
    EXPECT_EQ(view.sizeHintForColumn(1), 777);
    view.setItemDelegateForRow(3, nullptr);
    EXPECT_EQ(view.sizeHintForColumn(0), cellByCell(view, 0));
    EXPECT_EQ(view.sizeHintForColumn(1), 555);

    // A view whose delegate is not the kit's still measures every row.
    QItemDelegate plain;
    view.setItemDelegate(&plain);
    model.setData(model.index(19, 0), QString(40, QLatin1Char('W')));
    EXPECT_EQ(view.sizeHintForColumn(0), cellByCell(view, 0));
}

TEST(ColumnFitting, SizeHintReadsOnlyTheRolesThatTellCellsApart)
{
    // Cells are measured once per distinct text, icon, check state and
    // font: the delegate's hint must depend on nothing else of the cell.
    RecordingModel model(4, 1);
    QFont bold = QApplication::font();
    bold.setBold(true);
    model.setData(model.index(0, 0), QStringLiteral("text"));
    model.setData(model.index(1, 0), QIcon(Share::absolute("icons/package.png")),
                  Qt::DecorationRole);
    model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole);
    model.setData(model.index(3, 0), bold, Qt::FontRole);
    model.setData(model.index(3, 0), QStringLiteral("bold"));
    MeasuredView view;
    view.setModel(&model);
    QItemDelegate plain;
    model.roles.clear();
    for (int row = 0; row < 4; ++row)
        plain.sizeHint(view.itemOptions(), model.index(row, 0));

    const std::set<int> compared = {Qt::DisplayRole, Qt::DecorationRole, Qt::CheckStateRole,
                                    Qt::FontRole, Qt::SizeHintRole};
    for (int role : model.roles)
        EXPECT_TRUE(compared.count(role)) << "size hint reads role " << role;
    EXPECT_TRUE(model.roles.count(Qt::DisplayRole));
}

namespace {

// A window showing model with the columns of hidden hidden, its columns
// fitted; each shown column must be as wide as the rule or its header's
// hint, within the header's bounds. rule gets the rule of every column.
std::unique_ptr<QWidget> fitAndCheck(QStandardItemModel& model, const QVector<int>& hidden,
                                     std::vector<int>& rule)
{
    std::unique_ptr<QWidget> window(new QWidget);
    QVBoxLayout* layout = new QVBoxLayout(window.get());
    MeasuredView* view = new MeasuredView(window.get());
    layout->addWidget(view);
    view->setModel(&model);
    for (int column : hidden)
        view->setColumnHidden(column, true);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    // The options depend on the view's size (wrapping); take them as the
    // fit finds them.
    rule.clear();
    for (int column = 0; column < model.columnCount(); ++column)
        rule.push_back(cellByCell(*view, column));
    view->resizeColumnsToContents();

    QHeaderView* header = view->horizontalHeader();
    for (int column = 0; column < model.columnCount(); ++column) {
        if (hidden.contains(column))
            continue;
        int expected = std::max(rule[column], header->sectionSizeHint(column));
        expected = qBound(header->minimumSectionSize(), expected, header->maximumSectionSize());
        EXPECT_EQ(view->columnWidth(column), expected) << "column " << column;
    }
    return window;
}

} // namespace

TEST(ColumnFitting, FittedColumnsAreTheLargestCellHintOrTheHeaderHint)
{
    QStandardItemModel model;
    fillEveryKind(model);
    for (int column = 0; column < model.columnCount(); ++column)
        model.setHeaderData(column, Qt::Horizontal, column == 5 ? QString(80, QLatin1Char('H'))
                                                                : QStringLiteral("c"));
    std::vector<int> rule;
    std::unique_ptr<QWidget> window = fitAndCheck(model, {}, rule);
    const MeasuredView* view = window->findChild<MeasuredView*>();
    // The header decides the column with the long title, the cells another.
    EXPECT_GT(view->columnWidth(5), rule[5]);
    EXPECT_EQ(view->columnWidth(0), rule[0]);

    // Several columns with helpers at work on each, read while the one
    // before is still measured; the widest texts differ per column, and a
    // hidden column is left as it was.
    const int rows = 2 * HItemDelegate::parallelFrom;
    QStandardItemModel many(rows, 4);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < 4; ++column)
            many.setData(many.index(row, column), distinctText(row + column).left(10 + 15 * column));
    many.setData(many.index(rows / 3, 1), QString(70, QLatin1Char('W')));
    window = fitAndCheck(many, {2}, rule);
    MeasuredView* manyView = window->findChild<MeasuredView*>();
    EXPECT_GT(manyView->columnWidth(1), manyView->columnWidth(3));
    EXPECT_EQ(manyView->columnWidth(2), 0);
    manyView->setColumnHidden(2, false);
    EXPECT_EQ(manyView->columnWidth(2), manyView->horizontalHeader()->defaultSectionSize());
}
