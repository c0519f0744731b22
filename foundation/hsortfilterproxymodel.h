// A sort-filter proxy that compares cells by the type of their values and
// breaks ties on one fixed secondary column.
#pragma once

#include <QModelIndex>
#include <QSortFilterProxyModel>

class HSortFilterProxyModel : public QSortFilterProxyModel
{
public:
    HSortFilterProxyModel(int secondarySortColumn, QObject* parent);

    // The cell of the secondary column in index's row, from index's own
    // (source) model.
    QModelIndex createSecondarySortIndex(QModelIndex index) const;

protected:
    // Called with source indexes. The left value's type chooses the
    // comparison; equal cells outside the secondary column are ordered by
    // the secondary column, through this same virtual function.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    const int secondarySortColumn;
};
