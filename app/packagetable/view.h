// The package table widget: shows the package model through its own
// filter and sort proxy, turns clicks, context-menu requests and current-row
// changes into source-model operations and signals with source rows, and
// passes the main window's filter settings on to the proxy.
#pragma once

#include <QModelIndex>
#include <QModelIndexList>
#include <QPoint>
#include <QString>

#include "app/packagetable/sortfilterproxymodel.h"
#include "foundation/htableview.h"

class QEvent;
class YumIO;

namespace PackageTable
{

class ActionContextMenu;
class Model;
class OtherContextMenu;

class View : public HTableView
{
    Q_OBJECT

public:
    View(Model* model, StateFilter stateFilter, bool groups, YumIO* yumIO, QWidget* parent);

    // One index per selected row, each a source index.
    QModelIndexList selectedRows() const;

    void setFilter(bool filter);
    void groupsFilterChanged(bool groups);
    void stateFilterChanged(PackageTable::StateFilter stateFilter);
    void filtersearch(const QString& text);
    void setMode(PackageTable::Mode mode);

    SortFilterProxyModel* sortFilterProxyModel() const;

signals:
    // Source rows; -1 for no row.
    void currentChanged(int currentRow, int previousRow);
    // The action of the entry at this source row may have changed.
    void stateChanged(int row);

public slots:
    void describe();

protected:
    void changeEvent(QEvent* e) override;
    // The columns are fitted over every row of the source model, filtered
    // or not; the rows shown and their order stay as they are.
    const QAbstractItemModel* fittedModel() const override;

protected slots:
    void handleHorizontalHeaderClicked(int column);
    void handleActivated(const QModelIndex& ix);
    void handleCustomContextMenuRequested(const QPoint& pos);
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    // Run the context menus for a source index at a global position, making
    // each on its first use; whether an entry was chosen.
    bool runActionMenu(const QModelIndex& index, const QPoint& globalPos);
    bool runOtherMenu(const QModelIndex& index, const QPoint& globalPos);
    // After the rows were laid out anew or reset: the current row may have
    // gone without a current-index change being signalled.
    void currentRowMayHaveGone();

    // Not named model: that would hide the item view's model(), the proxy.
    Model* packageModel;
    SortFilterProxyModel* proxy;
    // Made on first use, without a parent, and kept for the process.
    ActionContextMenu* actionMenu = nullptr;
    OtherContextMenu* otherMenu = nullptr;
    // The source row last reported as current.
    int reportedRow = -1;
};

}
