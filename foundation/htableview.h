// A table view that sizes itself to its columns and a clamped number of
// rows, sorts on header clicks, and grows its window when its columns are
// fitted to their contents.
#pragma once

#include <QModelIndexList>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QVector>

class HTableView : public QTableView
{
public:
    // The height hint shows the model's rows at the first size hint, at
    // least minRows and at most maxRows; decorationPosition places the
    // cells' icons.
    HTableView(QStyleOptionViewItem::Position decorationPosition, int minRows, int maxRows,
               QWidget* parent);

    QSize sizeHint() const override;
    // The largest width of the delegates' size hints over every row of the
    // column (hidden and scrolled-away rows too), one more with the grid.
    int sizeHintForColumn(int column) const override;

    // The first index of every selected row, for rows whose items are
    // selectable, in the view's model (the proxy where there is one).
    QModelIndexList selectedRows() const;

    // Fits the columns, then lets the window grow to show them, up to nine
    // tenths of the screen; the window never shrinks.
    void resizeColumnsToContents();

    // Shows (column, order) in the header and sorts the model so.
    void sortByColumn(int column, Qt::SortOrder order);
    // For header clicks: the column the rows are sorted by turns its order
    // round, any other column sorts ascending.
    void sortByColumn(int column);

protected:
    QStyleOptionViewItem viewOptions() const override;

    // The model whose rows resizeColumnsToContents measures: the view's
    // own, under the view's root. A view behind a proxy may name the
    // source, measured from its top, so that rows the proxy hides count too.
    virtual const QAbstractItemModel* fittedModel() const;

    // Per column of columns, the largest width of the delegates' size hints
    // over the rows of model under root, without the grid line. model may
    // be the source behind the view's proxy, whose indexes the view does not
    // show: its cells are then asked through the column's delegate, since a
    // row's delegate belongs to a row of the view.
    QVector<int> widestInColumns(const QAbstractItemModel* model, const QModelIndex& root,
                                 const QVector<int>& columns) const;

private:
    QStyleOptionViewItem::Position decorationPosition;
    // Changed by the first size hint, which freezes the number of rows.
    mutable int minRows;
    mutable int maxRows;
    // The last sort made through sortByColumn, for models that cannot tell
    // how they are sorted; -1 before the first.
    int sortedColumn = -1;
    Qt::SortOrder sortedOrder = Qt::AscendingOrder;
    // While resizeColumnsToContents runs: each column's widest cell, -1
    // for a hidden column.
    QVector<int> fittedWidths;
};
