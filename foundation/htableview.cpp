// The sized, sortable table view.
#include "foundation/htableview.h"

#include <optional>

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSortFilterProxyModel>

#include "foundation/hitemdelegate.h"
#include "foundation/sizing.h"

HTableView::HTableView(QStyleOptionViewItem::Position decorationPosition, int minRows, int maxRows,
                       QWidget* parent)
    : QTableView(parent), decorationPosition(decorationPosition), minRows(minRows), maxRows(maxRows)
{
    // The delegate is owned by the view's parent widget; a view without a
    // parent owns it itself, so that it is not leaked.
    setItemDelegate(new HItemDelegate(parent ? static_cast<QObject*>(parent) : this));
}

QSize HTableView::sizeHint() const
{
    const QAbstractItemModel* model = this->model();
    if (!model)
        return QTableView::sizeHint();

    int rowCount = model->rowCount();
    if (minRows != maxRows) {
        // The height is settled once: a window does not jump as rows come
        // and go later.
        int rows = qMin(qMax(rowCount, minRows), maxRows);
        minRows = rows;
        maxRows = rows;
    }

    int fw = frameWidth();
    const QHeaderView* vertical = verticalHeader();
    const QHeaderView* horizontal = horizontalHeader();
    // The header's length is the columns' total width, whatever the scroll
    // position and even when the last column is hidden.
    int width = fw + (vertical->isHidden() ? 0 : vertical->sizeHint().width()) + horizontal->length()
                + Sizing::frameOnlyExtra(this) + verticalScrollBar()->sizeHint().width() + fw;
    // An empty model has no first row to measure; an empty row is as high
    // as the header's default.
    int rowHeight = rowCount > 0 ? this->rowHeight(0) : vertical->defaultSectionSize();
    int height = fw + (horizontal->isHidden() ? 0 : horizontal->sizeHint().height())
                 + minRows * rowHeight + fw;
    return QSize(width, height);
}

int HTableView::sizeHintForColumn(int column) const
{
    const QAbstractItemModel* model = this->model();
    if (!model)
        return -1;
    // While the columns are fitted, every column was measured in one go.
    int widest = column < fittedWidths.size() ? fittedWidths[column] : -1;
    // Every row, not only those in view, so that the width does not depend
    // on where the table is scrolled.
    if (widest < 0)
        widest = widestInColumns(model, rootIndex(), {column}).front();
    return showGrid() ? widest + 1 : widest;
}

const QAbstractItemModel* HTableView::fittedModel() const
{
    return model();
}

QVector<int> HTableView::widestInColumns(const QAbstractItemModel* model, const QModelIndex& root,
                                         const QVector<int>& columns) const
{
    QStyleOptionViewItem options = viewOptions();
    // The kit's delegate measures its cells all together, one column while
    // it reads the next; a cell with a delegate of its own is asked by
    // itself.
    const bool viewRows = model == this->model();
    const HItemDelegate* kit = dynamic_cast<const HItemDelegate*>(itemDelegate());
    std::optional<HItemDelegate::Batch> batch;
    if (kit)
        batch.emplace(*kit, options);
    QVector<int> widths;
    const int rows = model->rowCount(root);
    for (int column : columns) {
        QAbstractItemDelegate* columnDelegate = itemDelegateForColumn(column);
        if (!columnDelegate)
            columnDelegate = itemDelegate();
        QVector<QModelIndex> kitCells;
        int widest = 0;
        if (kit)
            kitCells.reserve(rows);
        for (int row = 0; row < rows; ++row) {
            QModelIndex index = model->index(row, column, root);
            const QAbstractItemDelegate* delegate = viewRows ? itemDelegate(index) : columnDelegate;
            if (!delegate)
                continue;
            if (delegate == kit)
                kitCells.append(index);
            else
                widest = qMax(widest, delegate->sizeHint(options, index).width());
        }
        if (kit)
            batch->add(kitCells);
        widths.append(widest);
    }
    if (kit) {
        const QVector<int> kitWidths = batch->finish();
        for (int i = 0; i < widths.size(); ++i)
            widths[i] = qMax(widths[i], kitWidths[i]);
    }
    return widths;
}

QStyleOptionViewItem HTableView::viewOptions() const
{
    QStyleOptionViewItem options = QTableView::viewOptions();
    options.decorationPosition = decorationPosition;
    options.showDecorationSelected = false;
    return options;
}

QModelIndexList HTableView::selectedRows() const
{
    QModelIndexList rows;
    const QItemSelectionModel* selection = selectionModel();
    const QAbstractItemModel* model = this->model();
    if (!selection || !model)
        return rows;
    for (const QItemSelectionRange& range : selection->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            QModelIndex index = model->index(row, range.left(), range.parent());
            if (range.model()->flags(index) & Qt::ItemIsSelectable)
                rows.append(index);
        }
    }
    return rows;
}

void HTableView::resizeColumnsToContents()
{
    const QAbstractItemModel* model = fittedModel();
    if (model) {
        const QModelIndex root = model == this->model() ? rootIndex() : QModelIndex();
        QVector<int> shown;
        for (int column = 0; column < model->columnCount(root); ++column)
            if (!isColumnHidden(column))
                shown.append(column);
        const QVector<int> widths = widestInColumns(model, root, shown);
        fittedWidths.fill(-1, model->columnCount(root));
        for (int i = 0; i < shown.size(); ++i)
            fittedWidths[shown[i]] = widths[i];
    }
    QTableView::resizeColumnsToContents();
    fittedWidths.clear();
    for (QWidget* widget = this; widget; widget = widget->parentWidget()) {
        widget->updateGeometry();
        if (widget->isWindow())
            break;
    }
    QWidget* top = window();
    top->resize(top->sizeHint().boundedTo(Sizing::screenCap(top)).expandedTo(top->size()));
}

void HTableView::sortByColumn(int column, Qt::SortOrder order)
{
    if (!model())
        return;
    sortedColumn = column;
    sortedOrder = order;
    horizontalHeader()->setSortIndicator(column, order);
    model()->sort(column, order);
}

void HTableView::sortByColumn(int column)
{
    if (!model())
        return;
    // The header cannot be asked what was sorted before the click: by the
    // time it reports the click it has already moved its indicator to the
    // clicked section and turned the order, whether the indicator shows or
    // not. A sort proxy knows how its rows are sorted, however that came
    // about; for other models the view's own record of its last sort serves.
    int currentColumn = sortedColumn;
    Qt::SortOrder currentOrder = sortedOrder;
    if (const QSortFilterProxyModel* proxy = qobject_cast<const QSortFilterProxyModel*>(model())) {
        currentColumn = proxy->sortColumn();
        currentOrder = proxy->sortOrder();
    }
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column == currentColumn)
        order = currentOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortByColumn(column, order);
}
