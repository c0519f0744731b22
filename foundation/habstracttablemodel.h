// The common base of the program's table models.
#pragma once

#include <QAbstractTableModel>

class HAbstractTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit HAbstractTableModel(QObject* parent);

    // Resets the model, so that proxies and views drop their mappings and
    // sort afresh on the column they show as sorted.
    void forceSortColumnRediscovery();
};
