// RepoEditor::Model: the repository editor's table over the configuration's
// entries, one row per repository section, with the session use flag and the
// permanent enabled flag as clickable check marks. Rows are the entries'
// places in YumConfIO::entries; the view sorts them through a proxy.
#pragma once

#include <QFont>
#include <QIcon>
#include <QModelIndex>
#include <QVariant>

#include "foundation/habstracttablemodel.h"

class QWidget;
class YumConfIO;
class YumIO;

namespace Repo
{
class Entry;
}

namespace RepoEditor
{

class Model : public HAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { UseColumn = 0, EnabledColumn = 1, IdColumn = 2, NameColumn = 3, ColumnCount = 4 };

    // Both are borrowed: the engine only answers yum's variables for
    // browsing; the store's entries and session flags are edited in place.
    Model(YumIO* yumIO, YumConfIO* yumConfIO, QObject* parent);

    // The font of an entry without an identifier: the view's, in italics.
    void setViewFont(const QFont& font);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The index of the row's first cell.
    QModelIndex createIndex(int row) const;
    // Every cell of the row changed.
    void dataChanged(int row);
    // The entry list was replaced: views drop their current row and
    // selection.
    void reset();
    // Removes the entry at row; parent is not used.
    bool removeRow(int row, const QModelIndex& parent = QModelIndex());
    // Appends a copy of the entry; its row.
    int addRow(const Repo::Entry& entry);

    // A click on the check marks. The session flag changes in memory only;
    // the enabled flag becomes the explicit opposite of what is in effect.
    void toggleUse(const QModelIndex& ix);
    void toggleEnabled(const QModelIndex& ix);
    void browse(const QModelIndex& ix, QWidget* parent);

    // Whether the entry is enabled when no session flag says otherwise: its
    // own enabled option, else yum.conf's default.
    static bool effectiveEnabled(const Repo::Entry& entry, const YumConfIO& conf);

signals:
    // Emitted in the GUI thread after a click changed a session flag.
    void useChanged();
    // Emitted in the GUI thread after a click changed an entry.
    void configChanged();

private:
    bool isRow(const QModelIndex& ix) const;
    bool usedFlag(const Repo::Entry& entry) const;

    YumIO* yumIO;
    YumConfIO* yumConfIO;
    QFont italicFont;
    QIcon noneIcon;
    QIcon checkIcon;
};

}
