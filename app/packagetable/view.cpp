// The package table widget.
#include "app/packagetable/view.h"

#include <climits>

#include <QEvent>
#include <QHeaderView>

#include "app/packagetable/actioncontextmenu.h"
#include "app/packagetable/model.h"
#include "app/packagetable/othercontextmenu.h"

namespace PackageTable
{

View::View(Model* model, StateFilter stateFilter, bool groups, YumIO* yumIO, QWidget* parent)
    : HTableView(QStyleOptionViewItem::Left, 10, INT_MAX, parent), packageModel(model)
{
    // The proxy belongs to the view's parent, as the delegate does; a view
    // without a parent keeps it itself.
    QObject* proxyParent = parent ? static_cast<QObject*>(parent) : this;
    proxy = new SortFilterProxyModel(stateFilter, groups, yumIO, proxyParent);
    proxy->setSourceModel(model);
    setModel(proxy);

    setShowGrid(false);
    setGridStyle(Qt::NoPen);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAlternatingRowColors(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->hide();

    QHeaderView* header = new QHeaderView(Qt::Horizontal, this);
    header->setSelectionBehavior(QAbstractItemView::SelectColumns);
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    setHorizontalHeader(header);

    // Suites, then groups, then ordinary packages.
    HTableView::sortByColumn(Model::KindColumn, Qt::AscendingOrder);

    connect(header, &QHeaderView::sectionClicked, this, &View::handleHorizontalHeaderClicked);
    connect(this, &QAbstractItemView::clicked, this, &View::handleActivated);
    connect(this, &QWidget::customContextMenuRequested, this,
            &View::handleCustomContextMenuRequested);
    // Connected after the view's own handlers, which update the current
    // index first.
    connect(proxy, &QAbstractItemModel::layoutChanged, this, &View::currentRowMayHaveGone);
    connect(proxy, &QAbstractItemModel::modelReset, this, &View::currentRowMayHaveGone);
}

SortFilterProxyModel* View::sortFilterProxyModel() const
{
    return proxy;
}

QModelIndexList View::selectedRows() const
{
    QModelIndexList rows = HTableView::selectedRows();
    for (QModelIndex& index : rows)
        index = proxy->mapToSource(index);
    return rows;
}

void View::setFilter(bool filter)
{
    proxy->setFilter(filter);
}

void View::groupsFilterChanged(bool groups)
{
    proxy->setGroupsFilter(groups);
}

void View::stateFilterChanged(StateFilter stateFilter)
{
    proxy->setStateFilter(stateFilter);
}

void View::filtersearch(const QString& text)
{
    proxy->setFilterRegExp(text);
}

void View::setMode(Mode mode)
{
    proxy->setMode(mode);
}

// The source model's rows are measured where they are: showing every row
// through the proxy and filtering again would re-sort all of them twice, and
// would lay out afresh rows that the user's marks were meant not to move.
// The cells are the same, the proxy only passes them on.
const QAbstractItemModel* View::fittedModel() const
{
    return packageModel;
}

void View::describe()
{
    packageModel->describe(proxy->mapToSource(currentIndex()), this);
}

void View::changeEvent(QEvent* e)
{
    HTableView::changeEvent(e);
    if (e->type() == QEvent::EnabledChange)
        packageModel->setEnabled(isEnabled());
}

void View::handleHorizontalHeaderClicked(int column)
{
    HTableView::sortByColumn(column);
}

void View::handleActivated(const QModelIndex& ix)
{
    const QModelIndex source = proxy->mapToSource(ix);
    if (source.column() != Model::ActionColumn)
        return;
    packageModel->toggleAction(source);
    emit stateChanged(source.row());
}

void View::handleCustomContextMenuRequested(const QPoint& pos)
{
    const QModelIndex source = proxy->mapToSource(indexAt(pos));
    const QPoint globalPos = viewport()->mapToGlobal(pos);
    if (source.column() == Model::ActionColumn) {
        // An action chosen from the menu counts as a click.
        if (runActionMenu(source, globalPos))
            emit stateChanged(source.row());
    } else {
        runOtherMenu(source, globalPos);
    }
}

bool View::runActionMenu(const QModelIndex& index, const QPoint& globalPos)
{
    if (!actionMenu)
        actionMenu = new ActionContextMenu(packageModel);
    return actionMenu->exec(index, globalPos) != nullptr;
}

bool View::runOtherMenu(const QModelIndex& index, const QPoint& globalPos)
{
    if (!otherMenu)
        otherMenu = new OtherContextMenu(packageModel, this);
    return otherMenu->exec(index, globalPos) != nullptr;
}

void View::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base scrolls the new current cell into view and repaints both
    // cells: without it, arrow keys move the current row out of sight.
    HTableView::currentChanged(current, previous);
    const int currentRow = proxy->mapToSource(current).row();
    const int previousRow = proxy->mapToSource(previous).row();
    reportedRow = currentRow;
    if (currentRow != previousRow)
        emit currentChanged(currentRow, previousRow);
}

// A re-filter or re-collection that takes the current row away leaves no
// current index and says nothing: the main window still has to hear of it,
// or "Describe" stays enabled for a row that is not there.
void View::currentRowMayHaveGone()
{
    const int currentRow = proxy->mapToSource(currentIndex()).row();
    if (currentRow == reportedRow)
        return;
    const int previousRow = reportedRow;
    reportedRow = currentRow;
    emit currentChanged(currentRow, previousRow);
}

}
