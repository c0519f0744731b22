// The package table's model: the engine's top-level entries (packages,
// suites, groups) as nine columns, and the one place where the user's marks
// are written into the entries.
#pragma once

#include <string>

#include <QColor>
#include <QIcon>
#include <QMetaType>
#include <QModelIndex>
#include <QModelIndexList>
#include <QVariant>

#include "engine/package.h"
#include "foundation/habstracttablemodel.h"

class QWidget;
class YumConfIO;
class YumIO;

// The Name, Version, Repository and Architecture cells give their entry as
// their Qt::UserRole value.
Q_DECLARE_METATYPE(Package::Entry*)

namespace PackageTable
{

namespace Describe
{
class Dialog;
}

class Model : public HAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        ActionColumn = 0,
        StateColumn = 1,
        KindColumn = 2,
        NameColumn = 3,
        VersionColumn = 4,
        RepositoryColumn = 5,
        ArchitectureColumn = 6,
        SizeColumn = 7,
        BuildTimeColumn = 8,
        ColumnCount = 9,
    };

    Model(YumIO* yumIO, QObject* parent);
    ~Model() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // As the table model's own, without asking the row and column counts
    // through virtual calls: a sort makes two indexes per comparison.
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void setYumConfIO(YumConfIO* yumConfIO);
    // Called by the view when it is enabled or disabled (busy).
    void setEnabled(bool enabled);

    // The engine is about to delete or replace its entries (clear, collect):
    // from here until endEntriesChange() or reset() the model has no rows
    // and reads no entry, so that a repaint meanwhile never touches an entry
    // that a worker is deleting. Views and proxies drop their rows now.
    void beginEntriesChange();
    // The entries are complete again: views and proxies read them afresh.
    void endEntriesChange();
    bool entriesChanging() const;
    // Views and proxies drop everything and read the entries afresh; also
    // ends a change begun with beginEntriesChange().
    void reset();

    // The entry of a source row; null outside the entries or while they
    // change.
    Package::Entry* entry(int row) const;
    // The display texts of the Name to Build Time cells of a row, joined by
    // single blanks: the row's text as the Filter mode matches it.
    QString visibleText(int row) const;
    // The same text of an entry as UTF-8, as QString::toUtf8 makes it,
    // appended to out.
    static void appendVisibleTextUtf8(const Package::Entry& entry, std::string& out);
    // Asks the memory for the blocks of the entry's visible text, so that
    // they are there by the time its text is made.
    static void prefetchVisibleText(const Package::Entry& entry);
    // A value that changes whenever a field of the row's visible text is
    // given a new value (assigned, not edited in place): made from the
    // fields' shared data blocks, not from the characters, so that it costs
    // no more than reading the entry. A text made earlier still holds while
    // it is equal.
    static quint64 visibleTextIdentity(const Package::Entry& entry);

    // The click on the Action cell: the next action of the cycle for the
    // entry's state.
    void toggleAction(const QModelIndex& index);
    void setAction(const QModelIndex& index, Package::Action action);
    // The entry's Package::State, or -1 when the row holds no entry.
    int getState(int row) const;

    void describe(const QModelIndex& index, QWidget* parent);
    void browse(const QModelIndex& index, QWidget* parent);

public slots:
    // The bulk marks.
    void setSelected(QModelIndexList indices);
    void setUpdateAll();
    void clearActions();

private:
    void actionChanged(int row);
    QVariant icon(const Package::Entry& entry, int column) const;
    QVariant toolTip(const Package::Entry& entry, int column) const;
    QVariant foreground(const Package::Entry& entry, int column) const;
    QVariant sortValue(Package::Entry* entry, int column) const;
    QString versionToolTip(const Package::Entry& entry) const;

    YumIO* yumIO;
    YumConfIO* yumConfIO = nullptr;
    Describe::Dialog* describeDialog = nullptr;
    bool enabled = true;
    bool changing = false;

    QIcon outOfDateIcon;
    QIcon upToDateIcon;
    QIcon noneBoxIcon;
    QIcon updateBoxIcon;
    QIcon installBoxIcon;
    QIcon removeBoxIcon;
    QIcon suiteIcon;
    QIcon groupIcon;
    QIcon packageIcon;

    QColor updatableColor;
    QColor updatableDisabledColor;
    // Installed rows keep the view's own text colours.
    QColor installedColor;
    QColor installedDisabledColor;
    QColor availableColor;
    QColor availableDisabledColor;
};

}
