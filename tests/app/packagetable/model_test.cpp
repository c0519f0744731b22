// The package table model: cells by role, the Action click cycle, the bulk
// marks, the disabled colours, and the guard that keeps every view away
// from the entries while the engine replaces them.
#include "tests/app/packagetable/packagetable_test.h"

#include <atomic>

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSignalSpy>
#include <QThread>
#include <QWidget>

#include "app/packagetable/view.h"
#include "foundation/share.h"

using namespace PackageTableTesting;
using PackageTable::Model;

namespace
{

class ModelTest : public PackageTableTest
{
protected:
    QVariant cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return model->index(row, column).data(role);
    }

    // Whether the cell shows the share directory's icon of that name.
    bool showsIcon(int row, int column, const char* file) const
    {
        QVariant value = cell(row, column, Qt::DecorationRole);
        if (!value.canConvert<QIcon>())
            return false;
        QImage shown = value.value<QIcon>().pixmap(16, 16).toImage();
        QImage wanted = QIcon(Share::absolute(file)).pixmap(16, 16).toImage();
        return !wanted.isNull() && shown == wanted;
    }

    QString foregroundName(int row, int column) const
    {
        QVariant value = cell(row, column, Qt::ForegroundRole);
        return value.isValid() ? value.value<QColor>().name() : QString();
    }

    // The rows whose Action cell was reported changed, one per signal.
    static QList<int> changedActionRows(const QSignalSpy& spy)
    {
        QList<int> rows;
        for (const QList<QVariant>& arguments : spy) {
            QModelIndex from = arguments.at(0).toModelIndex();
            QModelIndex to = arguments.at(1).toModelIndex();
            EXPECT_EQ(from, to);
            EXPECT_EQ(from.column(), Model::ActionColumn);
            rows << from.row();
        }
        return rows;
    }
};

TEST_F(ModelTest, EmptyEngineShowsNineColumnsAndTheirHeaders)
{
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(model->columnCount(), 9);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Action");
    EXPECT_EQ(model->headerData(8, Qt::Horizontal).toString(), "Build Time");
    EXPECT_FALSE(model->headerData(9, Qt::Horizontal).isValid());
    EXPECT_FALSE(model->headerData(0, Qt::Vertical).isValid());
}

TEST_F(ModelTest, CellsShowTheEntrysTextsFromNameOn)
{
    add({"bash", "5.1-2", Package::Installed, Package::Ordinary, 2048, 1234, "updates", "noarch"});
    for (int column = 0; column < 3; ++column)
        EXPECT_FALSE(cell(0, column).isValid()) << column;
    EXPECT_EQ(cell(0, 3).toString(), "bash");
    EXPECT_EQ(cell(0, 4).toString(), "5.1-2");
    EXPECT_EQ(cell(0, 5).toString(), "updates");
    EXPECT_EQ(cell(0, 6).toString(), "noarch");
    EXPECT_EQ(cell(0, 7).toString(), "2048b");
    EXPECT_EQ(cell(0, 8).toString(), "t1234");
    EXPECT_FALSE(cell(0, 3, Qt::EditRole).isValid());
    EXPECT_FALSE(cell(0, 3, Qt::DecorationRole).isValid());
    EXPECT_FALSE(cell(0, 3, Qt::ToolTipRole).isValid());
}

TEST_F(ModelTest, TheActionIconAndTooltipFollowTheMark)
{
    Package::Entry* entry = add({"a", "2-1", Package::Updatable, Package::Suite});
    add({"b", "1-1", Package::Available, Package::Group});
    EXPECT_TRUE(showsIcon(0, 0, "icons/noneBox.png"));
    EXPECT_FALSE(cell(0, 0, Qt::ToolTipRole).isValid());
    const struct
    {
        Package::Action action;
        const char* icon;
        const char* tip;
    } marks[] = {{Package::Update, "icons/updateBox.png", "Update package"},
                 {Package::Install, "icons/installBox.png", "Install package"},
                 {Package::Remove, "icons/removeBox.png", "Remove package"}};
    for (const auto& mark : marks) {
        entry->action = mark.action;
        EXPECT_TRUE(showsIcon(0, 0, mark.icon)) << mark.icon;
        EXPECT_EQ(cell(0, 0, Qt::ToolTipRole).toString(), mark.tip);
    }
    EXPECT_TRUE(showsIcon(0, 1, "icons/out-of-date.png"));
    EXPECT_TRUE(showsIcon(0, 2, "icons/suite.png"));
    // A package that is not installed has no state icon, only its tooltip.
    EXPECT_FALSE(cell(1, 1, Qt::DecorationRole).isValid());
    EXPECT_EQ(cell(1, 1, Qt::ToolTipRole).toString(), "Package is available for installation");
    EXPECT_TRUE(showsIcon(1, 2, "icons/group.png"));
}

TEST_F(ModelTest, TheKindTooltipIsTheEnginesTextOfTheKind)
{
    const Package::Entry* entries[] = {add({"s", "1-1", Package::Installed, Package::Suite}),
                                       add({"g", "1-1", Package::Installed, Package::Group}),
                                       add({"o", "1-1", Package::Installed, Package::Ordinary})};
    const char* const texts[] = {"Suite of packages", "Group of packages", "Ordinary package"};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(cell(row, 2, Qt::ToolTipRole).toString(), texts[row]) << row;
        EXPECT_EQ(cell(row, 2, Qt::ToolTipRole).toString(), YumIO::getKind(*entries[row])) << row;
    }
    Package::Entry* odd = add({"x", "1-1", Package::Installed, Package::Ordinary});
    odd->kind = Package::Kind(3);
    EXPECT_FALSE(cell(3, 2, Qt::ToolTipRole).isValid());
}

TEST_F(ModelTest, SortValuesKeepTheirTypes)
{
    Package::Entry* entry = add({"big", "1-1", Package::Installed, Package::Suite,
                                 Q_UINT64_C(5000000000), -86400});
    entry->action = Package::Remove;
    EXPECT_EQ(cell(0, 0, Qt::UserRole), QVariant(int(Package::Remove)));
    EXPECT_EQ(cell(0, 1, Qt::UserRole), QVariant(int(Package::Installed)));
    EXPECT_EQ(cell(0, 2, Qt::UserRole), QVariant(int(Package::Suite)));
    for (int column = 3; column <= 6; ++column)
        EXPECT_EQ(cell(0, column, Qt::UserRole).value<Package::Entry*>(), entry) << column;
    QVariant size = cell(0, 7, Qt::UserRole);
    EXPECT_EQ(size.type(), QVariant::ULongLong);
    EXPECT_EQ(size.toULongLong(), Q_UINT64_C(5000000000));
    QVariant time = cell(0, 8, Qt::UserRole);
    EXPECT_EQ(time.type(), QVariant::LongLong);
    EXPECT_EQ(time.toLongLong(), -86400);
}

TEST_F(ModelTest, VersionTooltipListsTheAvailableVersionThenTheInstalledOnes)
{
    Package::Entry* updatable = add({"kernel", "6.1-3", Package::Updatable});
    Package::Entry* older = makeEntry({"kernel", "6.1-2", Package::Installed});
    older->next = makeEntry({"kernel", "6.1-1", Package::Installed});
    updatable->next = older;
    add({"vim", "9.0-1", Package::Installed});
    add({"emacs", "29-1", Package::Available});

    EXPECT_EQ(cell(0, 4, Qt::ToolTipRole).toString(),
              "Available: 6.1-3\nInstalled: 6.1-2\nInstalled: 6.1-1\n");
    EXPECT_FALSE(cell(1, 4, Qt::ToolTipRole).isValid());
    EXPECT_FALSE(cell(2, 4, Qt::ToolTipRole).isValid());
}

TEST_F(ModelTest, TextColoursFollowStateAndTurnPaleWhileDisabled)
{
    add({"u", "1-1", Package::Updatable});
    add({"a", "1-1", Package::Available});
    add({"i", "1-1", Package::Installed});

    for (int column = 2; column <= 8; ++column) {
        EXPECT_EQ(foregroundName(0, column), "#ff0000") << column;
        EXPECT_EQ(foregroundName(1, column), "#8b5a2b") << column;
        EXPECT_EQ(foregroundName(2, column), "") << column;
    }
    EXPECT_EQ(foregroundName(0, 0), "");
    EXPECT_EQ(foregroundName(0, 1), "");

    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->setEnabled(false);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), model->index(0, 2));
    EXPECT_EQ(changed[0][1].toModelIndex(), model->index(2, 8));
    EXPECT_EQ(foregroundName(0, 5), "#ffa9b8");
    EXPECT_EQ(foregroundName(1, 5), "#ffbd94");
    EXPECT_EQ(foregroundName(2, 5), "");

    model->setEnabled(false);
    EXPECT_EQ(changed.count(), 1);
    model->setEnabled(true);
    EXPECT_EQ(foregroundName(0, 5), "#ff0000");
    EXPECT_EQ(foregroundName(1, 5), "#8b5a2b");
}

TEST_F(ModelTest, ActionClicksCycleByState)
{
    Package::Entry* updatable = add({"u", "1-1", Package::Updatable});
    Package::Entry* available = add({"a", "1-1", Package::Available});
    Package::Entry* installed = add({"i", "1-1", Package::Installed});
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);

    QList<Package::Action> seen;
    for (int click = 0; click < 3; ++click) {
        model->toggleAction(model->index(0, 0));
        seen << updatable->action;
    }
    EXPECT_EQ(seen, (QList<Package::Action>{Package::Update, Package::Remove, Package::NoAction}));

    seen.clear();
    for (int click = 0; click < 2; ++click) {
        model->toggleAction(model->index(1, 0));
        seen << available->action;
    }
    EXPECT_EQ(seen, (QList<Package::Action>{Package::Install, Package::NoAction}));

    seen.clear();
    for (int click = 0; click < 2; ++click) {
        model->toggleAction(model->index(2, 5));
        seen << installed->action;
    }
    EXPECT_EQ(seen, (QList<Package::Action>{Package::Remove, Package::NoAction}));

    EXPECT_EQ(changedActionRows(changed), (QList<int>{0, 0, 0, 1, 1, 2, 2}));

    // Marks the cycle never makes (from the context menu) lead back to none.
    updatable->action = Package::Install;
    model->toggleAction(model->index(0, 0));
    EXPECT_EQ(updatable->action, Package::NoAction);
    available->action = Package::Remove;
    model->toggleAction(model->index(1, 0));
    EXPECT_EQ(available->action, Package::NoAction);
    installed->action = Package::Update;
    model->toggleAction(model->index(2, 0));
    EXPECT_EQ(installed->action, Package::NoAction);
}

TEST_F(ModelTest, MarksIgnoreIndexesWithoutAnEntry)
{
    add({"a", "1-1", Package::Available});
    add({"b", "1-1", Package::Available});
    QModelIndex stale = model->index(1, 0);
    recollect({{"c", "1-1", Package::Available}});
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);

    model->toggleAction(stale);
    model->toggleAction(QModelIndex());
    model->setAction(stale, Package::Install);
    model->setAction(QModelIndex(), Package::Install);
    model->setSelected({stale, QModelIndex()});
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ((*io)[0]->action, Package::NoAction);
    EXPECT_EQ(model->getState(1), -1);
    EXPECT_EQ(model->getState(-1), -1);
    EXPECT_EQ(model->getState(0), int(Package::Available));

    model->setAction(model->index(0, 8), Package::Install);
    EXPECT_EQ((*io)[0]->action, Package::Install);
    EXPECT_EQ(changedActionRows(changed), QList<int>{0});
}

TEST_F(ModelTest, SelectedMarksUpdateAndInstallAndLeaveInstalledAlone)
{
    Package::Entry* updatable = add({"u", "1-1", Package::Updatable});
    Package::Entry* available = add({"a", "1-1", Package::Available});
    Package::Entry* installed = add({"i", "1-1", Package::Installed});
    updatable->action = Package::Remove;
    available->action = Package::NoAction;
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);

    model->setSelected({model->index(2, 0), model->index(1, 3), model->index(0, 0)});
    EXPECT_EQ(updatable->action, Package::Update);
    EXPECT_EQ(available->action, Package::Install);
    EXPECT_EQ(installed->action, Package::NoAction);
    EXPECT_EQ(changedActionRows(changed), (QList<int>{1, 0}));
}

TEST_F(ModelTest, UpdateAllMarksEveryOutOfDateEntryEvenOverARemove)
{
    Package::Entry* first = add({"u1", "1-1", Package::Updatable});
    Package::Entry* available = add({"a", "1-1", Package::Available});
    Package::Entry* second = add({"u2", "1-1", Package::Updatable});
    Package::Entry* installed = add({"i", "1-1", Package::Installed});
    first->action = Package::Remove;
    second->action = Package::Update;
    installed->action = Package::Remove;
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);

    model->setUpdateAll();
    EXPECT_EQ(first->action, Package::Update);
    EXPECT_EQ(second->action, Package::Update);
    EXPECT_EQ(available->action, Package::NoAction);
    EXPECT_EQ(installed->action, Package::Remove);
    EXPECT_EQ(changedActionRows(changed), (QList<int>{0, 2}));
}

TEST_F(ModelTest, ClearActionsUnmarksEveryMarkedEntry)
{
    add({"u", "1-1", Package::Updatable});
    add({"a", "1-1", Package::Available});
    add({"i", "1-1", Package::Installed});
    (*io)[0]->action = Package::Update;
    (*io)[2]->action = Package::Remove;
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);

    model->clearActions();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ((*io)[row]->action, Package::NoAction);
    EXPECT_EQ(changedActionRows(changed), (QList<int>{0, 2}));
}

TEST_F(ModelTest, WhileEntriesChangeTheModelHasNoRowsAndReadsNoEntry)
{
    add({"a", "1-1", Package::Available});
    add({"b", "1-1", Package::Available});
    QModelIndex stale = model->index(1, 3);
    QSignalSpy aboutToReset(model.get(), &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy wasReset(model.get(), &QAbstractItemModel::modelReset);

    model->beginEntriesChange();
    model->beginEntriesChange();
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_TRUE(model->entriesChanging());
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(model->entry(0), nullptr);
    // The engine deletes its entries now; nothing may reach them.
    YumIOTestAccess::entries(*io).deleteAll();
    YumIOTestAccess::entries(*io).append(makeEntry({"c", "1-1", Package::Installed}));
    YumIOTestAccess::entries(*io).append(makeEntry({"d", "1-1", Package::Installed}));
    for (int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::ToolTipRole),
                     int(Qt::ForegroundRole), int(Qt::UserRole)})
        EXPECT_FALSE(stale.data(role).isValid()) << role;
    // The proxy keeps its old rows until the reset, but they lead nowhere.
    for (int column = 0; column < 9; ++column)
        EXPECT_FALSE(proxy->index(1, column).data().isValid());
    model->toggleAction(stale);
    EXPECT_EQ(model->getState(0), -1);
    EXPECT_EQ(wasReset.count(), 0);

    model->endEntriesChange();
    EXPECT_EQ(wasReset.count(), 1);
    EXPECT_FALSE(model->entriesChanging());
    EXPECT_EQ((*io)[1]->action, Package::NoAction);
    EXPECT_EQ(shownNames(), (QStringList{"c", "d"}));
    model->endEntriesChange();
    EXPECT_EQ(wasReset.count(), 1);
}

TEST_F(ModelTest, ResetEndsAChangeOrResetsByItself)
{
    add({"a", "1-1", Package::Available});
    QSignalSpy aboutToReset(model.get(), &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy wasReset(model.get(), &QAbstractItemModel::modelReset);

    model->beginEntriesChange();
    YumIOTestAccess::entries(*io).append(makeEntry({"b", "1-1", Package::Available}));
    model->reset();
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(wasReset.count(), 1);
    EXPECT_EQ(model->rowCount(), 2);

    YumIOTestAccess::entries(*io).append(makeEntry({"c", "1-1", Package::Available}));
    model->reset();
    EXPECT_EQ(aboutToReset.count(), 2);
    EXPECT_EQ(wasReset.count(), 2);
    EXPECT_EQ(shownNames(), (QStringList{"a", "b", "c"}));
}

// A worker deletes and refills the entries while the GUI thread keeps
// painting the table, as during a re-collection.
TEST_F(ModelTest, TablePaintsSafelyWhileAWorkerReplacesTheEntries)
{
    for (int i = 0; i < 200; ++i)
        YumIOTestAccess::entries(*io).append(
            makeEntry({QStringLiteral("old%1").arg(i), "1-1", Package::Available}));
    model->reset();
    QWidget window;
    auto* view = new PackageTable::View(model.get(), PackageTable::ViewAll, true, io.get(), &window);
    window.resize(600, 400);
    view->resize(600, 400);
    window.show();
    ASSERT_EQ(view->sortFilterProxyModel()->rowCount(), 200);

    model->beginEntriesChange();
    std::atomic<bool> done(false);
    std::unique_ptr<QThread> worker(QThread::create([this, &done]() {
        Package::EntryList& entries = YumIOTestAccess::entries(*io);
        while (!entries.isEmpty()) {
            delete entries.takeLast();
            QThread::usleep(50);
        }
        for (int i = 0; i < 300; ++i)
            entries.append(makeEntry({QStringLiteral("new%1").arg(i), "1-1", Package::Installed}));
        done = true;
    }));
    worker->start();
    int paints = 0;
    while (!done) {
        view->viewport()->repaint();
        ++paints;
    }
    worker->wait();
    model->endEntriesChange();

    EXPECT_GT(paints, 0);
    EXPECT_EQ(view->sortFilterProxyModel()->rowCount(), 300);
    EXPECT_EQ(view->sortFilterProxyModel()->index(0, 3).data().toString().left(3), "new");
}

}
