// Self-sizing widgets: hints in character cells and rows from the font's
// metrics, the nine-tenths screen cap, and column fitting that only grows
// its window. Expectations come from QFontMetrics and the widgets' own
// parts, never from pixel constants, since platforms measure differently.
#include <gtest/gtest.h>

#include <climits>

#include <QApplication>
#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QTest>

#include "foundation/hscrollarea.h"
#include "foundation/htableview.h"
#include "foundation/htextedit.h"
#include "tests/foundation/qtprinters.h"

namespace {

QSize screenCap()
{
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    return QSize(screen.width() * 9 / 10, screen.height() * 9 / 10);
}

int frameOnlyExtra(const QWidget& widget)
{
    QStyle* style = widget.style();
    return style->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, &widget)
               ? 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &widget)
               : 0;
}

int cellWidth(const QWidget& widget)
{
    return widget.fontMetrics().horizontalAdvance(QLatin1Char('n'));
}

void fillModel(QStandardItemModel& model, int rows, int columns, const QString& text = "x")
{
    model.setRowCount(rows);
    model.setColumnCount(columns);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            model.setData(model.index(row, column), text);
}

// The height a view reports for a number of rows: its frame, its header
// and that many rows as high as its rows are.
int heightForRows(const HTableView& view, int rows, int rowHeight)
{
    return 2 * view.frameWidth() + view.horizontalHeader()->sizeHint().height() + rows * rowHeight;
}

} // namespace

TEST(TextEditSizing, HintIsColumnsAndRowsOfTheFont)
{
    HTextEdit edit(20, 5, nullptr);
    int fw = edit.frameWidth();
    QSize hint = edit.sizeHint();
    EXPECT_EQ(hint.width(), 2 * fw + 20 * cellWidth(edit));
    EXPECT_EQ(hint.height(), 2 * fw + 5 * edit.fontMetrics().lineSpacing());

    QFont larger = edit.font();
    larger.setPointSize(larger.pointSize() + 6);
    edit.setFont(larger);
    EXPECT_EQ(edit.sizeHint().width(), 2 * fw + 20 * cellWidth(edit));
    EXPECT_EQ(edit.sizeHint().height(), 2 * fw + 5 * edit.fontMetrics().lineSpacing());
}

TEST(TextEditSizing, NeverBeyondNineTenthsOfTheScreen)
{
    HTextEdit edit(80, 24, nullptr);
    QFont font = edit.font();
    // Large enough that 80 cells and 24 rows are wider and taller than
    // the screen.
    int size = 8;
    while (QFontMetrics(font).horizontalAdvance('n') * 80 <= screenCap().width()
           || QFontMetrics(font).lineSpacing() * 24 <= screenCap().height()) {
        size += 4;
        font.setPixelSize(size);
    }
    edit.setFont(font);
    EXPECT_EQ(edit.sizeHint(), screenCap());
}

TEST(ScrollAreaSizing, HintIsWidgetPlusFramesAndBothScrollBars)
{
    HScrollArea area(nullptr);
    QLabel* label = new QLabel("one line\nand another, a little longer");
    area.setWidget(label);
    int fw = area.frameWidth();
    int extra = frameOnlyExtra(area);
    QSize expected(2 * fw + label->sizeHint().width() + extra + area.verticalScrollBar()->sizeHint().width(),
                   2 * fw + label->sizeHint().height() + extra + area.horizontalScrollBar()->sizeHint().height());
    EXPECT_EQ(area.sizeHint(), expected);
}

TEST(ScrollAreaSizing, CapInCellsAndRows)
{
    HScrollArea area(10, 3, nullptr);
    QStringList lines;
    for (int i = 0; i < 50; ++i)
        lines << QString(60, QLatin1Char('m'));
    area.setWidget(new QLabel(lines.join('\n')));
    EXPECT_EQ(area.sizeHint(), QSize(10 * cellWidth(area), 3 * area.fontMetrics().height()));

    HScrollArea rowsOnly(-1, 2, nullptr);
    QLabel* narrow = new QLabel("one\ntwo\nthree\nfour\nfive");
    rowsOnly.setWidget(narrow);
    EXPECT_EQ(rowsOnly.sizeHint().height(), 2 * rowsOnly.fontMetrics().height());
    EXPECT_GT(rowsOnly.sizeHint().width(), narrow->sizeHint().width());
}

TEST(ScrollAreaSizing, HugeWidgetIsCappedByTheScreen)
{
    HScrollArea area(nullptr);
    QLabel* label = new QLabel;
    label->setMinimumSize(5000, 5000);
    area.setWidget(label);
    EXPECT_EQ(area.sizeHint(), screenCap());
}

TEST(TableViewSizing, FewRowsReportTheMinimumRows)
{
    QStandardItemModel model;
    fillModel(model, 3, 2);
    HTableView view(QStyleOptionViewItem::Left, 10, INT_MAX, nullptr);
    view.setModel(&model);
    EXPECT_EQ(view.sizeHint().height(), heightForRows(view, 10, view.rowHeight(0)));
}

TEST(TableViewSizing, ManyRowsAreNotLimitedWithoutAMaximum)
{
    QStandardItemModel model;
    fillModel(model, 500, 2);
    HTableView view(QStyleOptionViewItem::Left, 10, INT_MAX, nullptr);
    view.setModel(&model);
    EXPECT_EQ(view.sizeHint().height(), heightForRows(view, 500, view.rowHeight(0)));

    HTableView bounded(QStyleOptionViewItem::Left, 1, 20, nullptr);
    bounded.setModel(&model);
    EXPECT_EQ(bounded.sizeHint().height(), heightForRows(bounded, 20, bounded.rowHeight(0)));
}

TEST(TableViewSizing, EmptyModelReportsOneRowOfDefaultHeight)
{
    QStandardItemModel model(0, 3);
    HTableView view(QStyleOptionViewItem::Left, 1, INT_MAX, nullptr);
    view.setModel(&model);
    int rowHeight = view.verticalHeader()->defaultSectionSize();
    ASSERT_GT(rowHeight, 0);
    EXPECT_EQ(view.sizeHint().height(), heightForRows(view, 1, rowHeight));
}

TEST(TableViewSizing, HeightIsFrozenAtTheFirstHint)
{
    QStandardItemModel model;
    fillModel(model, 12, 2);
    HTableView view(QStyleOptionViewItem::Left, 10, INT_MAX, nullptr);
    view.setModel(&model);
    int first = view.sizeHint().height();
    fillModel(model, 40, 2);
    EXPECT_EQ(view.sizeHint().height(), first);
    EXPECT_EQ(first, heightForRows(view, 12, view.rowHeight(0)));
}

TEST(TableViewSizing, WidthCoversEveryColumnAndTheScrollBar)
{
    QStandardItemModel model;
    fillModel(model, 4, 3);
    HTableView view(QStyleOptionViewItem::Left, 1, INT_MAX, nullptr);
    view.setModel(&model);
    view.setColumnWidth(0, 40);
    view.setColumnWidth(1, 75);
    view.setColumnWidth(2, 130);
    int fw = view.frameWidth();
    int expected = 2 * fw + view.verticalHeader()->sizeHint().width() + 40 + 75 + 130 + frameOnlyExtra(view)
                   + view.verticalScrollBar()->sizeHint().width();
    EXPECT_EQ(view.sizeHint().width(), expected);
    view.verticalHeader()->hide();
    EXPECT_EQ(view.sizeHint().width(), expected - view.verticalHeader()->sizeHint().width());
}

TEST(TableViewSizing, WithoutModelFallsBackToTheBaseHint)
{
    HTableView view(QStyleOptionViewItem::Left, 10, INT_MAX, nullptr);
    QTableView plain;
    EXPECT_EQ(view.sizeHint(), plain.sizeHint());
    EXPECT_EQ(view.sizeHintForColumn(0), -1);
}

TEST(TableViewSizing, ColumnHintMeasuresRowsOutOfView)
{
    QStandardItemModel model;
    fillModel(model, 300, 1, "a");
    QString wide(80, QLatin1Char('W'));
    model.setData(model.index(299, 0), wide);
    HTableView view(QStyleOptionViewItem::Left, 5, 5, nullptr);
    view.setModel(&model);
    view.resize(200, 150);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_GE(view.sizeHintForColumn(0), view.fontMetrics().horizontalAdvance(wide));
    view.setShowGrid(false);
    int withoutGrid = view.sizeHintForColumn(0);
    view.setShowGrid(true);
    EXPECT_EQ(view.sizeHintForColumn(0), withoutGrid + 1);
}

// A window holding a table view, as the program's windows do.
class FittingWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        layout = new QVBoxLayout(&window);
        view = new HTableView(QStyleOptionViewItem::Left, 3, 3, &window);
        layout->addWidget(view);
        fillModel(model, 3, 2, "short");
        view->setModel(&model);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QWidget window;
    QVBoxLayout* layout = nullptr;
    HTableView* view = nullptr;
    QStandardItemModel model;
};

TEST_F(FittingWindow, WindowGrowsToShowFittedColumns)
{
    window.resize(150, 120);
    QSize before = window.size();
    model.setData(model.index(1, 1), QString(30, QLatin1Char('W')));
    view->resizeColumnsToContents();
    EXPECT_GT(window.width(), before.width());
    EXPECT_GE(window.height(), before.height());
    EXPECT_LE(window.width(), screenCap().width());
    // The fitted columns fit in the window.
    EXPECT_GE(view->width(), view->horizontalHeader()->length());
}

TEST_F(FittingWindow, WindowNeverShrinks)
{
    QSize large = window.sizeHint() + QSize(200, 150);
    large = large.boundedTo(screenCap());
    window.resize(large);
    view->resizeColumnsToContents();
    EXPECT_EQ(window.size(), large);
}

TEST_F(FittingWindow, WindowGrowsNoFurtherThanNineTenthsOfTheScreen)
{
    window.resize(150, 120);
    model.setData(model.index(0, 0), QString(400, QLatin1Char('W')));
    view->resizeColumnsToContents();
    EXPECT_EQ(window.width(), screenCap().width());
}
