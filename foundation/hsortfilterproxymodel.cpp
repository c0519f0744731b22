// Type-aware sorting with a secondary column.
#include "foundation/hsortfilterproxymodel.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QVariant>

namespace {

// -1, 0 or 1 as left is less than, equal to or greater than right.
template <typename T>
int compare(const T& left, const T& right)
{
    if (left < right)
        return -1;
    if (right < left)
        return 1;
    return 0;
}

// The right value is brought to the left value's type; values of types
// without an order of their own (an empty cell, a bool) compare as text.
int compareByLeftType(const QVariant& left, const QVariant& right)
{
    switch (static_cast<int>(left.type())) {
    case QVariant::Int:
        return compare(left.toInt(), right.toInt());
    case QVariant::UInt:
        return compare(left.toUInt(), right.toUInt());
    case QVariant::LongLong:
        return compare(left.toLongLong(), right.toLongLong());
    case QVariant::ULongLong:
        return compare(left.toULongLong(), right.toULongLong());
    case QVariant::Double:
        return compare(left.toDouble(), right.toDouble());
    case QVariant::Char:
        return compare(left.toChar(), right.toChar());
    case QVariant::Date:
        return compare(left.toDate(), right.toDate());
    case QVariant::Time:
        return compare(left.toTime(), right.toTime());
    case QVariant::DateTime:
        return compare(left.toDateTime(), right.toDateTime());
    default:
        // QString's own order: code points, case-sensitive, not the locale's.
        return compare(left.toString(), right.toString());
    }
}

} // namespace

HSortFilterProxyModel::HSortFilterProxyModel(int secondarySortColumn, QObject* parent)
    : QSortFilterProxyModel(parent), secondarySortColumn(secondarySortColumn)
{
    // Rows stay where they are when a cell changes (an action is marked)
    // until the user sorts again; Qt 5 would re-sort at once by default.
    setDynamicSortFilter(false);
}

QModelIndex HSortFilterProxyModel::createSecondarySortIndex(QModelIndex index) const
{
    const QAbstractItemModel* model = index.model();
    if (!model)
        return QModelIndex();
    return model->index(index.row(), secondarySortColumn, QModelIndex());
}

bool HSortFilterProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    QVariant leftValue = left.model() ? left.model()->data(left, Qt::DisplayRole) : QVariant();
    QVariant rightValue = right.model() ? right.model()->data(right, Qt::DisplayRole) : QVariant();
    int order = compareByLeftType(leftValue, rightValue);
    if (order != 0)
        return order < 0;
    if (left.column() == secondarySortColumn)
        return false;
    QModelIndex leftSecondary = createSecondarySortIndex(left);
    QModelIndex rightSecondary = createSecondarySortIndex(right);
    // A secondary column the model does not have gives invalid indexes,
    // whose column is not the secondary one either: without this stop the
    // tie-break would recurse for ever.
    if (!leftSecondary.isValid() || !rightSecondary.isValid())
        return false;
    return lessThan(leftSecondary, rightSecondary);
}
