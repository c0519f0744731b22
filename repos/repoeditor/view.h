// RepoEditor::View: the repository table, sorted through a proxy, whose
// clicks on the check marks toggle them. Everything it reports is in source
// rows, the entries' places in the configuration's list.
#pragma once

#include <QModelIndex>
#include <QModelIndexList>

#include "foundation/htableview.h"

class QPoint;
class QSortFilterProxyModel;

namespace RepoEditor
{

class ContextMenu;
class Model;

class View : public HTableView
{
    Q_OBJECT

public:
    View(Model* model, QWidget* parent);
    // The context menu has no parent widget: it goes with the view.
    ~View() override;

    // The selected rows' indexes in the source model.
    QModelIndexList selectedRows() const;
    // The current source row, -1 when there is none.
    int currentRow() const;
    void setCurrentRow(int row);
    // Made on first use and kept.
    ContextMenu* getContextMenu();
    QSortFilterProxyModel* sortProxy() const { return proxy; }

signals:
    // Emitted in the GUI thread when the current source row changed; -1
    // stands for none.
    void currentChanged(int currentRow, int previousRow);
    // Emitted in the GUI thread on a double click, with the source index
    // (invalid over empty space).
    void activated(QModelIndex ix);

protected slots:
    void handleHorizontalHeaderClicked(int column);
    void handleClicked(QModelIndex ix);
    void handleCustomContextMenuRequested(QPoint pos);
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void handleActivated(QModelIndex ix);

private:
    Model* model;
    QSortFilterProxyModel* proxy;
    ContextMenu* contextMenu = nullptr;
};

}
