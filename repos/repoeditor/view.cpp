// The repository table's view: sorting, clicks on the check marks, the
// context menu, and the translation of proxy rows into source rows.
#include "repos/repoeditor/view.h"

#include <QHeaderView>
#include <QPoint>
#include <QSet>
#include <QSortFilterProxyModel>

#include "repos/repoeditor/contextmenu.h"
#include "repos/repoeditor/model.h"

namespace RepoEditor
{

View::View(Model* model, QWidget* parent)
    : HTableView(QStyleOptionViewItem::Left, 1, 2147483647, parent)
    , model(model)
    , proxy(new QSortFilterProxyModel(parent ? static_cast<QObject*>(parent) : this))
{
    // Parented as the view's delegate is; a view without a parent owns it.
    proxy->setSourceModel(model);
    setModel(proxy);

    setShowGrid(false);
    setGridStyle(Qt::NoPen);
    setAlternatingRowColors(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setTabKeyNavigation(false);
    verticalHeader()->hide();

    auto* header = new QHeaderView(Qt::Horizontal, this);
    setHorizontalHeader(header);
    header->setSelectionBehavior(QAbstractItemView::SelectColumns);
    header->setStretchLastSection(true);
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    // A click on a header sorts. The table would also select the whole
    // column, which is every row, and Remove would then take every
    // repository; a drag along the header would do the same.
    disconnect(header, SIGNAL(sectionPressed(int)), this, SLOT(selectColumn(int)));
    disconnect(header, SIGNAL(sectionEntered(int)), this, SLOT(_q_selectColumn(int)));

    connect(header, &QHeaderView::sectionClicked, this, &View::handleHorizontalHeaderClicked);
    connect(this, &QAbstractItemView::clicked, this, &View::handleClicked);
    connect(this, &QWidget::customContextMenuRequested, this,
            &View::handleCustomContextMenuRequested);
    connect(this, &QAbstractItemView::doubleClicked, this, &View::handleActivated);

    resizeColumnsToContents();
}

View::~View()
{
    delete contextMenu;
}

QModelIndexList View::selectedRows() const
{
    QModelIndexList rows;
    for (const QModelIndex& ix : HTableView::selectedRows())
        rows.append(proxy->mapToSource(ix));
    return rows;
}

int View::currentRow() const
{
    const QModelIndex current = proxy->mapToSource(currentIndex());
    return current.isValid() ? current.row() : -1;
}

void View::setCurrentRow(int row)
{
    setCurrentIndex(proxy->mapFromSource(model->createIndex(row)));
}

ContextMenu* View::getContextMenu()
{
    if (!contextMenu)
        contextMenu = new ContextMenu(model, this);
    return contextMenu;
}

void View::handleHorizontalHeaderClicked(int column)
{
    sortByColumn(column);
}

void View::handleClicked(QModelIndex ix)
{
    if (ix.column() == Model::UseColumn)
        model->toggleUse(proxy->mapToSource(ix));
    else if (ix.column() == Model::EnabledColumn)
        model->toggleEnabled(proxy->mapToSource(ix));
}

void View::handleCustomContextMenuRequested(QPoint pos)
{
    const QModelIndex ix = proxy->mapToSource(indexAt(pos));
    // The check marks toggle on a click; they have no menu.
    if (ix.isValid() && (ix.column() == Model::UseColumn || ix.column() == Model::EnabledColumn))
        return;
    getContextMenu()->exec(ix, viewport()->mapToGlobal(pos));
}

void View::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base keeps the current cell in view and repaints the focus.
    HTableView::currentChanged(current, previous);
    const QModelIndex currentSource = proxy->mapToSource(current);
    const QModelIndex previousSource = proxy->mapToSource(previous);
    const int currentRow = currentSource.isValid() ? currentSource.row() : -1;
    const int previousRow = previousSource.isValid() ? previousSource.row() : -1;
    if (currentRow != previousRow)
        emit currentChanged(currentRow, previousRow);
}

void View::handleActivated(QModelIndex ix)
{
    emit activated(ix.isValid() ? proxy->mapToSource(ix) : QModelIndex());
}

}
