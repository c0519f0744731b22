// The table model base.
#include "foundation/habstracttablemodel.h"

HAbstractTableModel::HAbstractTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void HAbstractTableModel::forceSortColumnRediscovery()
{
    beginResetModel();
    endResetModel();
}
