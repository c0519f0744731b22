// The package table's context menus, right-clicked in a shown view: what
// the Action menu offers by state and how its choice marks and reports the
// row, what the other columns' menu offers where, and browsing a row's
// repository from it.
#include "tests/app/packagetable/contextmenu_test.h"

#include <memory>
#include <utility>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "app/packagetable/view.h"
#include "common/browserrecorder.h"
#include "foundation/share.h"
#include "repos/entry.h"
#include "repos/yumconfio.h"
#include "tests/app/packagetable/packagetable_test.h"

namespace PackageTableTesting
{

PopupAnswerer::PopupAnswerer(QString choice)
    : choice(std::move(choice))
{
    connect(&timer, &QTimer::timeout, this, &PopupAnswerer::poll);
    timer.start(10);
}

void PopupAnswerer::poll()
{
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        if (box->isVisible()) {
            seen.boxes << box->windowTitle() + ": " + box->text();
            QTest::keyClick(box, Qt::Key_Escape);
        }
        return;
    }
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu)
        return;
    // A menu still open well after its answer (a click that chose nothing)
    // is closed, so that a test can never hang in it.
    if (answered.isValid()) {
        if (answered.elapsed() > 2000)
            menu->close();
        return;
    }
    answered.start();
    seen.opened = true;
    seen.menu = menu;
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions()) {
        if (!action->isVisible())
            continue;
        seen.entries << action->text();
        if (action->isEnabled())
            seen.enabled << action->text();
        if (action->isEnabled() && !choice.isEmpty() && action->text() == choice)
            chosen = action;
    }
    if (!chosen) {
        menu->close();
        return;
    }
    // Clicked from the event loop rather than from here: a timer does not
    // fire again while its own handler runs, and a message box the choice
    // opens must still be answered.
    const QPoint pos = menu->actionGeometry(chosen).center();
    QMetaObject::invokeMethod(
        menu, [menu, pos] { QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, pos); },
        Qt::QueuedConnection);
}

SeenMenu rightClick(PackageTable::View* view, const QPoint& pos, const QString& choice)
{
    PopupAnswerer answerer(choice);
    emit view->customContextMenuRequested(pos);
    return answerer.seen;
}

SeenMenu rightClickCell(PackageTable::View* view, int viewRow, int column, const QString& choice)
{
    const QModelIndex cell = view->sortFilterProxyModel()->index(viewRow, column);
    return rightClick(view, view->visualRect(cell).center(), choice);
}

}

using namespace PackageTableTesting;
using PackageTable::Model;
using PackageTable::View;

namespace
{

class ContextMenuTest : public PackageTableTest
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

    int viewRow(const QString& name) const
    {
        for (int row = 0; row < view->sortFilterProxyModel()->rowCount(); ++row)
            if (view->sortFilterProxyModel()->index(row, Model::NameColumn).data().toString()
                == name)
                return row;
        return -1;
    }

    Package::Action action(const QString& name) const { return (*io)[sourceRow(name)]->action; }

    std::unique_ptr<QWidget> window;
    View* view = nullptr;
};

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage();
}

TEST_F(ContextMenuTest, ActionMenuOffersWhatTheStateAllowsAndChangesNothingWhenClosed)
{
    add({"up", "1-1", Package::Updatable});
    add({"new", "1-1", Package::Available});
    add({"old", "1-1", Package::Installed});
    show();
    QSignalSpy reported(view, &View::stateChanged);

    const QStringList all{"&Update", "&Install", "&Remove", "&No Action"};
    const QList<QPair<QString, QStringList>> cases{
        {"up", {"&Update", "&Remove", "&No Action"}},
        {"new", {"&Install", "&No Action"}},
        {"old", {"&Remove", "&No Action"}},
        {"up", {"&Update", "&Remove", "&No Action"}},
    };
    QMenu* first = nullptr;
    for (const auto& c : cases) {
        const SeenMenu seen = rightClickCell(view, viewRow(c.first), Model::ActionColumn);
        ASSERT_TRUE(seen.opened) << c.first.toStdString();
        EXPECT_EQ(seen.entries, all) << c.first.toStdString();
        EXPECT_EQ(seen.enabled, c.second) << c.first.toStdString();
        // One menu, made on the first right-click and kept.
        if (!first)
            first = seen.menu;
        EXPECT_EQ(seen.menu, first);
    }
    EXPECT_EQ(reported.count(), 0);
    for (const char* name : {"up", "new", "old"})
        EXPECT_EQ(action(name), Package::NoAction) << name;

    // The share directory's icons beside the three actions, none beside the
    // fourth.
    ASSERT_NE(first, nullptr);
    const QList<QAction*> actions = first->actions();
    ASSERT_EQ(actions.size(), 4);
    const char* files[] = {"icons/update.png", "icons/install.png", "icons/remove.png"};
    for (int i = 0; i < 3; ++i) {
        const QImage expected = iconImage(QIcon(Share::absolute(files[i])));
        ASSERT_FALSE(expected.isNull()) << files[i];
        EXPECT_EQ(iconImage(actions[i]->icon()), expected) << files[i];
    }
    EXPECT_TRUE(actions[3]->icon().isNull());
}

TEST_F(ContextMenuTest, ChoosingAnActionMarksTheSourceRowAsAClickDoes)
{
    add({"a", "1-1", Package::Available});
    add({"b", "1-1", Package::Updatable});
    add({"c", "1-1", Package::Installed});
    // View rows differ from source rows.
    view->sortByColumn(Model::NameColumn, Qt::DescendingOrder);
    show();
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy reported(view, &View::stateChanged);
    const QModelIndex aCell = model->index(sourceRow("a"), Model::ActionColumn);

    ASSERT_TRUE(rightClickCell(view, viewRow("a"), Model::ActionColumn, "&Install").opened);
    EXPECT_EQ(action("a"), Package::Install);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), aCell);
    EXPECT_EQ(changed[0][1].toModelIndex(), aCell);
    ASSERT_EQ(reported.count(), 1);
    EXPECT_EQ(reported[0][0].toInt(), sourceRow("a"));
    EXPECT_EQ(view->sortFilterProxyModel()->index(viewRow("a"), Model::ActionColumn)
                  .data(Qt::ToolTipRole).toString(),
              "Install package");

    rightClickCell(view, viewRow("b"), Model::ActionColumn, "&Remove");
    EXPECT_EQ(action("b"), Package::Remove);
    ASSERT_EQ(reported.count(), 2);
    EXPECT_EQ(reported[1][0].toInt(), sourceRow("b"));

    // Any mark can be taken back, whatever the state.
    rightClickCell(view, viewRow("a"), Model::ActionColumn, "&No Action");
    EXPECT_EQ(action("a"), Package::NoAction);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(reported.count(), 3);

    // A disabled entry cannot be chosen: the menu closes with nothing done.
    const SeenMenu refused = rightClickCell(view, viewRow("c"), Model::ActionColumn, "&Install");
    EXPECT_TRUE(refused.opened);
    EXPECT_EQ(action("c"), Package::NoAction);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(reported.count(), 3);
}

TEST_F(ContextMenuTest, OtherMenuOffersBrowseOnlyOnTheRepositoryColumn)
{
    add({"a", "1-1", Package::Available});
    show();
    const QStringList describeOnly{"&Describe"};
    const QStringList withBrowse{"&Describe", "Browse Repository"};
    // The Repository column first, so that the next opening, on the Name
    // column, shows Browse hidden again.
    for (int column : {Model::RepositoryColumn, Model::NameColumn, Model::StateColumn,
                       Model::KindColumn, Model::VersionColumn, Model::ArchitectureColumn,
                       Model::SizeColumn, Model::BuildTimeColumn, Model::RepositoryColumn}) {
        const SeenMenu seen = rightClickCell(view, 0, column);
        ASSERT_TRUE(seen.opened) << column;
        const QStringList& expected = column == Model::RepositoryColumn ? withBrowse : describeOnly;
        EXPECT_EQ(seen.entries, expected) << column;
        EXPECT_EQ(seen.enabled, expected) << column;
    }
    // Below the last row: no cell, the same menu without Browse.
    const SeenMenu below = rightClick(view, QPoint(5, view->viewport()->height() - 3));
    ASSERT_TRUE(below.opened);
    EXPECT_EQ(below.entries, describeOnly);
}

TEST_F(ContextMenuTest, BrowseRepositoryOpensTheRowsRepositoryOrSaysItIsUnknown)
{
    BrowserRecorder browser;
    ASSERT_TRUE(browser.ok());
    QList<YumRepoEnabled> options;
    QHash<QString, bool> used;
    YumConfIO conf(options, used);
    Repo::Entry base;
    base.id = "kuv-base";
    base.baseurl = "file:///srv/kuv-base/\nfile:///srv/kuv-other/";
    conf.entries << base;
    model->setYumConfIO(&conf);
    add({"a", "1-1", Package::Available, Package::Ordinary, 1000, 1000000000, "kuv-base"});
    add({"b", "1-1", Package::Installed, Package::Ordinary, 1000, 1000000000, "installed"});
    show();

    const QString browse = "Browse Repository";
    SeenMenu seen = rightClickCell(view, viewRow("a"), Model::RepositoryColumn, browse);
    EXPECT_TRUE(seen.boxes.isEmpty()) << seen.boxes.join('\n').toStdString();
    EXPECT_EQ(browser.next(), QByteArray("file:///srv/kuv-base/"));

    seen = rightClickCell(view, viewRow("b"), Model::RepositoryColumn, browse);
    EXPECT_EQ(seen.boxes,
              QStringList{"Error: No configured repository has the identifier \"installed\"."});
    EXPECT_EQ(browser.count(), 1);
}

}
