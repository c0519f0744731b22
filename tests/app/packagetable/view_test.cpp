// The package table view: clicks and current-row changes reported with
// source rows whatever the order and filter, the disabled colours, column
// fitting over every row, the initial order, keyboard navigation, and the
// two context menus with what their choices do.
#include "tests/app/packagetable/packagetable_test.h"

#include <algorithm>

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "app/packagetable/view.h"
#include "common/browserrecorder.h"
#include "foundation/share.h"
#include "repos/entry.h"
#include "repos/yumconfio.h"
#include "tests/app/packagetable/contextmenu_test.h"

using namespace PackageTableTesting;
using PackageTable::Model;
using PackageTable::View;

namespace
{

class ViewTest : public PackageTableTest
{
protected:
    void SetUp() override
    {
        PackageTableTest::SetUp();
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        view = new View(model.get(), PackageTable::ViewAll, true, io.get(), window.get());
        layout->addWidget(view);
    }

    void TearDown() override
    {
        window.reset();
        PackageTableTest::TearDown();
    }

    void show()
    {
        window->resize(700, 400);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The view's row showing the entry of that name.
    int viewRow(const QString& name) const
    {
        for (int row = 0; row < view->sortFilterProxyModel()->rowCount(); ++row)
            if (view->sortFilterProxyModel()->index(row, Model::NameColumn).data().toString() == name)
                return row;
        return -1;
    }

    void click(int viewRow, int column)
    {
        QRect cell = view->visualRect(view->sortFilterProxyModel()->index(viewRow, column));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

    QStringList viewNames() const
    {
        QStringList names;
        for (int row = 0; row < view->sortFilterProxyModel()->rowCount(); ++row)
            names << view->sortFilterProxyModel()->index(row, Model::NameColumn).data().toString();
        return names;
    }

    std::unique_ptr<QWidget> window;
    View* view = nullptr;
};

TEST_F(ViewTest, StartsSortedByKind)
{
    add({"pkg", "1-1", Package::Installed, Package::Ordinary});
    add({"grp", "", Package::Installed, Package::Group});
    add({"ste", "1-1", Package::Installed, Package::Suite});
    add({"abc", "1-1", Package::Installed, Package::Ordinary});
    EXPECT_EQ(viewNames(), (QStringList{"ste", "grp", "abc", "pkg"}));
    EXPECT_EQ(view->horizontalHeader()->sortIndicatorSection(), Model::KindColumn);
    EXPECT_EQ(view->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(ViewTest, ClickingTheActionCellMarksAndReportsTheSourceRow)
{
    add({"a", "1-1", Package::Available});
    add({"b", "1-1", Package::Updatable});
    add({"c", "1-1", Package::Installed});
    add({"d", "1-1", Package::Available});
    view->sortByColumn(Model::NameColumn, Qt::DescendingOrder);
    view->filtersearch("^[abc] ");
    show();
    ASSERT_EQ(viewNames(), (QStringList{"c", "b", "a"}));
    QSignalSpy stateChanged(view, &View::stateChanged);

    click(viewRow("b"), Model::ActionColumn);
    ASSERT_EQ(stateChanged.count(), 1);
    EXPECT_EQ(stateChanged[0][0].toInt(), sourceRow("b"));
    EXPECT_EQ((*io)[sourceRow("b")]->action, Package::Update);

    click(viewRow("c"), Model::ActionColumn);
    ASSERT_EQ(stateChanged.count(), 2);
    EXPECT_EQ(stateChanged[1][0].toInt(), sourceRow("c"));
    EXPECT_EQ((*io)[sourceRow("c")]->action, Package::Remove);

    click(viewRow("a"), Model::NameColumn);
    click(viewRow("a"), Model::StateColumn);
    EXPECT_EQ(stateChanged.count(), 2);
    EXPECT_EQ((*io)[sourceRow("a")]->action, Package::NoAction);
}

TEST_F(ViewTest, CurrentRowChangesAreReportedWithSourceRows)
{
    add({"a", "1-1", Package::Available});
    add({"b", "1-1", Package::Available});
    add({"c", "1-1", Package::Available});
    view->sortByColumn(Model::NameColumn, Qt::DescendingOrder);
    show();
    // Showing the view made its first row current.
    QSignalSpy currentChanged(view, qOverload<int, int>(&View::currentChanged));
    view->selectionModel()->clearCurrentIndex();
    ASSERT_EQ(currentChanged.count(), 1);
    EXPECT_EQ(currentChanged[0][0].toInt(), -1);
    EXPECT_EQ(currentChanged[0][1].toInt(), sourceRow("c"));
    currentChanged.clear();

    view->setCurrentIndex(view->sortFilterProxyModel()->index(viewRow("b"), 3));
    ASSERT_EQ(currentChanged.count(), 1);
    EXPECT_EQ(currentChanged[0][0].toInt(), sourceRow("b"));
    EXPECT_EQ(currentChanged[0][1].toInt(), -1);

    view->setCurrentIndex(view->sortFilterProxyModel()->index(viewRow("b"), 5));
    EXPECT_EQ(currentChanged.count(), 1);

    view->setCurrentIndex(view->sortFilterProxyModel()->index(viewRow("a"), 5));
    ASSERT_EQ(currentChanged.count(), 2);
    EXPECT_EQ(currentChanged[1][0].toInt(), sourceRow("a"));
    EXPECT_EQ(currentChanged[1][1].toInt(), sourceRow("b"));
}

TEST_F(ViewTest, ACurrentRowThatGoesAwayIsReported)
{
    add({"a", "1-1", Package::Available});
    add({"b", "1-1", Package::Installed});
    add({"c", "1-1", Package::Available});
    view->sortByColumn(Model::NameColumn, Qt::AscendingOrder);
    show();
    view->setCurrentIndex(view->sortFilterProxyModel()->index(viewRow("b"), 3));
    QSignalSpy currentChanged(view, qOverload<int, int>(&View::currentChanged));

    // A pattern that keeps the row keeps it current, silently.
    view->filtersearch("^[bc] ");
    EXPECT_EQ(currentChanged.count(), 0);
    EXPECT_EQ(view->currentIndex().row(), viewRow("b"));

    view->stateFilterChanged(PackageTable::ViewInstallable);
    ASSERT_EQ(currentChanged.count(), 1);
    EXPECT_EQ(currentChanged[0][0].toInt(), -1);
    EXPECT_EQ(currentChanged[0][1].toInt(), sourceRow("b"));

    view->stateFilterChanged(PackageTable::ViewAll);
    view->setCurrentIndex(view->sortFilterProxyModel()->index(viewRow("c"), 3));
    currentChanged.clear();
    recollect({{"x", "1-1", Package::Available}});
    ASSERT_EQ(currentChanged.count(), 1);
    EXPECT_EQ(currentChanged[0][0].toInt(), -1);
    EXPECT_EQ(currentChanged[0][1].toInt(), 2);
}

TEST_F(ViewTest, ArrowKeysKeepTheCurrentRowInSight)
{
    for (int i = 0; i < 100; ++i)
        YumIOTestAccess::entries(*io).append(
            makeEntry({QStringLiteral("p%1").arg(i, 3, 10, QLatin1Char('0')), "1-1"}));
    model->reset();
    view->sortByColumn(Model::NameColumn, Qt::AscendingOrder);
    show();
    view->setFocus();
    view->setCurrentIndex(view->sortFilterProxyModel()->index(0, 3));
    for (int i = 0; i < 60; ++i)
        QTest::keyClick(view, Qt::Key_Down);
    QModelIndex current = view->currentIndex();
    EXPECT_EQ(current.row(), 60);
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(current)));
    EXPECT_GT(view->verticalScrollBar()->value(), 0);
}

TEST_F(ViewTest, DisablingTheViewSwitchesToTheDisabledColours)
{
    add({"u", "1-1", Package::Updatable});
    add({"a", "1-1", Package::Available});
    show();
    auto colour = [this](const QString& name) {
        return view->sortFilterProxyModel()->index(viewRow(name), Model::NameColumn).data(Qt::ForegroundRole)
            .value<QColor>().name();
    };
    EXPECT_EQ(colour("u"), "#ff0000");
    // The main window disables the area that holds the view.
    window->setEnabled(false);
    EXPECT_EQ(colour("u"), "#ffa9b8");
    EXPECT_EQ(colour("a"), "#ffbd94");
    window->setEnabled(true);
    EXPECT_EQ(colour("u"), "#ff0000");
    EXPECT_EQ(colour("a"), "#8b5a2b");
}

TEST_F(ViewTest, FittingColumnsMeasuresHiddenRowsThenFiltersAgain)
{
    add({"short", "1-1", Package::Available});
    add({"a-very-long-package-name-that-the-filter-hides-from-view", "1-1", Package::Available});
    view->filtersearch("^short");
    show();
    ASSERT_EQ(viewNames(), QStringList{"short"});
    int before = view->columnWidth(Model::NameColumn);

    view->resizeColumnsToContents();
    EXPECT_EQ(viewNames(), QStringList{"short"});
    EXPECT_TRUE(view->sortFilterProxyModel()->getFilter());
    int longWidth = view->fontMetrics().horizontalAdvance(
        "a-very-long-package-name-that-the-filter-hides-from-view");
    EXPECT_GE(view->columnWidth(Model::NameColumn), longWidth);
    EXPECT_GT(view->columnWidth(Model::NameColumn), before);

    view->setFilter(false);
    view->resizeColumnsToContents();
    EXPECT_FALSE(view->sortFilterProxyModel()->getFilter());
    EXPECT_EQ(view->sortFilterProxyModel()->rowCount(), 2);
}

TEST_F(ViewTest, SelectedRowsAreSourceIndexes)
{
    add({"a", "1-1", Package::Available});
    add({"b", "1-1", Package::Updatable});
    add({"c", "1-1", Package::Installed});
    view->sortByColumn(Model::NameColumn, Qt::DescendingOrder);
    show();
    view->selectRow(viewRow("a"));
    view->selectionModel()->select(view->sortFilterProxyModel()->index(viewRow("b"), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QModelIndexList rows = view->selectedRows();
    QList<int> sourceRows;
    for (const QModelIndex& index : rows) {
        EXPECT_EQ(index.model(), model.get());
        sourceRows << index.row();
    }
    std::sort(sourceRows.begin(), sourceRows.end());
    EXPECT_EQ(sourceRows, (QList<int>{sourceRow("a"), sourceRow("b")}));

    model->setSelected(rows);
    EXPECT_EQ((*io)[sourceRow("a")]->action, Package::Install);
    EXPECT_EQ((*io)[sourceRow("b")]->action, Package::Update);
}

TEST_F(ViewTest, HeaderClicksSortAndTurnTheOrder)
{
    add({"a", "1-1", Package::Available, Package::Ordinary, 300});
    add({"b", "1-1", Package::Available, Package::Ordinary, 100});
    add({"c", "1-1", Package::Available, Package::Ordinary, 200});
    show();
    QHeaderView* header = view->horizontalHeader();
    QPoint size(header->sectionViewportPosition(Model::SizeColumn) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, size);
    EXPECT_EQ(viewNames(), (QStringList{"b", "c", "a"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, size);
    EXPECT_EQ(viewNames(), (QStringList{"a", "c", "b"}));
}

TEST_F(ViewTest, FilterSettingsReachTheProxy)
{
    add({"u", "1-1", Package::Updatable});
    add({"a", "1-1", Package::Available});
    add({"g", "", Package::Available, Package::Group});
    view->sortByColumn(Model::NameColumn, Qt::AscendingOrder);
    view->stateFilterChanged(PackageTable::ViewInstallable);
    EXPECT_EQ(viewNames(), (QStringList{"a", "g"}));
    view->groupsFilterChanged(false);
    EXPECT_EQ(viewNames(), QStringList{"a"});
    view->stateFilterChanged(PackageTable::ViewAll);
    view->filtersearch(".*u.*");
    EXPECT_EQ(viewNames(), QStringList{"u"});
    fakeTexts.set("a", PackageTable::SearchTexts::Description, "unique");
    fakeTexts.set("u", PackageTable::SearchTexts::Name, "u");
    view->setMode(PackageTable::Search);
    EXPECT_EQ(viewNames(), QStringList{"u"});
    view->sortFilterProxyModel()->setSearchTexts(&fakeTexts);
    view->filtersearch("^u");
    EXPECT_EQ(viewNames(), (QStringList{"a", "u"}));
}


TEST_F(ViewTest, ActionMenuOffersWhatTheStateAllowsAndMarksAsAClickDoes)
{
    add({"up", "1-1", Package::Updatable});
    add({"new", "1-1", Package::Available});
    add({"old", "1-1", Package::Installed});
    view->sortByColumn(Model::NameColumn, Qt::DescendingOrder);
    show();
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy reported(view, &View::stateChanged);
    const QList<QPair<QString, QStringList>> cases{
        {"up", {"&Update", "&Remove", "&No Action"}},
        {"new", {"&Install", "&No Action"}},
        {"old", {"&Remove", "&No Action"}},
    };
    SeenMenu seen;
    for (const auto& c : cases) {
        seen = rightClickCell(view, viewRow(c.first), Model::ActionColumn);
        ASSERT_TRUE(seen.menu) << c.first.toStdString();
        EXPECT_EQ(seen.entries, (QStringList{"&Update", "&Install", "&Remove", "&No Action"}));
        EXPECT_EQ(seen.enabled, c.second) << c.first.toStdString();
    }
    // Closed without a choice: nothing marked or reported.
    EXPECT_EQ(changed.count() + reported.count(), 0);
    const QList<QAction*> actions = seen.menu->actions();
    const char* icons[] = {"icons/update.png", "icons/install.png", "icons/remove.png"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(actions[i]->icon().pixmap(16).toImage(),
                  QIcon(Share::absolute(icons[i])).pixmap(16).toImage()) << icons[i];
    EXPECT_FALSE(actions[0]->icon().isNull());
    EXPECT_TRUE(actions[3]->icon().isNull());

    const QModelIndex cell = model->index(sourceRow("new"), Model::ActionColumn);
    EXPECT_EQ(rightClickCell(view, viewRow("new"), Model::ActionColumn, "&Install").menu,
              seen.menu);
    EXPECT_EQ((*io)[cell.row()]->action, Package::Install);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), cell);
    EXPECT_EQ(changed[0][1].toModelIndex(), cell);
    ASSERT_EQ(reported.count(), 1);
    EXPECT_EQ(reported[0][0].toInt(), cell.row());
    rightClickCell(view, viewRow("new"), Model::ActionColumn, "&No Action");
    EXPECT_EQ((*io)[cell.row()]->action, Package::NoAction);
    EXPECT_EQ(reported.count(), 2);
}

TEST_F(ViewTest, OtherMenuOffersBrowseOnlyOnTheRepositoryColumn)
{
    add({"a", "1-1", Package::Available});
    show();
    const QStringList describe{"&Describe"};
    const QStringList withBrowse{"&Describe", "Browse Repository"};
    // After the Repository column, the Name column hides Browse again.
    for (int column : {5, 3, 1, 2, 4, 6, 7, 8}) {
        const SeenMenu seen = rightClickCell(view, 0, column);
        EXPECT_EQ(seen.enabled, column == Model::RepositoryColumn ? withBrowse : describe)
            << column;
    }
    // Below the last row: no cell.
    EXPECT_EQ(rightClick(view, QPoint(5, view->viewport()->height() - 3)).entries, describe);
}

TEST_F(ViewTest, BrowseRepositoryOpensTheRowsRepositoryOrSaysItIsUnknown)
{
    BrowserRecorder browser;
    ASSERT_TRUE(browser.ok());
    QList<YumRepoEnabled> options;
    QHash<QString, bool> used;
    YumConfIO conf(options, used);
    conf.entries << Repo::Entry();
    conf.entries[0].id = "kuv-base";
    conf.entries[0].baseurl = "file:///srv/kuv-base/\nfile:///srv/kuv-other/";
    model->setYumConfIO(&conf);
    add({"a", "1-1", Package::Available, Package::Ordinary, 1000, 1000000000, "kuv-base"});
    add({"b", "1-1", Package::Installed, Package::Ordinary, 1000, 1000000000, "installed"});
    show();

    const QString browse = "Browse Repository";
    EXPECT_EQ(rightClickCell(view, viewRow("a"), Model::RepositoryColumn, browse).boxes,
              QStringList());
    EXPECT_EQ(browser.next(), QByteArray("file:///srv/kuv-base/"));
    EXPECT_EQ(rightClickCell(view, viewRow("b"), Model::RepositoryColumn, browse).boxes,
              QStringList{"Error: No configured repository has the identifier \"installed\"."});
    EXPECT_EQ(browser.count(), 1);
}

}
