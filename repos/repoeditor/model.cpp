// The repository table's model: cells, check marks and edits of the entry
// list in place.
#include "repos/repoeditor/model.h"

#include "foundation/share.h"
#include "repos/entry.h"
#include "repos/repobrowse.h"
#include "repos/repoeditor/filetext.h"
#include "repos/yumconfio.h"

namespace RepoEditor
{

Model::Model(YumIO* yumIO, YumConfIO* yumConfIO, QObject* parent)
    : HAbstractTableModel(parent)
    , yumIO(yumIO)
    , yumConfIO(yumConfIO)
    , noneIcon(Share::absolute(QStringLiteral("icons/noneBox.png")))
    , checkIcon(Share::absolute(QStringLiteral("icons/checkBox.png")))
{
}

void Model::setViewFont(const QFont& font)
{
    italicFont = font;
    italicFont.setItalic(true);
}

int Model::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : yumConfIO->entries.size();
}

int Model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool Model::isRow(const QModelIndex& ix) const
{
    return ix.isValid() && ix.row() < yumConfIO->entries.size() && ix.column() < ColumnCount;
}

bool Model::usedFlag(const Repo::Entry& entry) const
{
    return yumConfIO->used->value(entry.id, false);
}

bool Model::effectiveEnabled(const Repo::Entry& entry, const YumConfIO& conf)
{
    return entry.enabled == Repo::Entry::Yes
           || (entry.enabled == Repo::Entry::Default && conf.enabledDefault);
}

QVariant Model::data(const QModelIndex& index, int role) const
{
    if (!isRow(index))
        return QVariant();
    const Repo::Entry& entry = yumConfIO->entries.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == IdColumn)
            return entry.id.isEmpty() ? QStringLiteral("(new)") : FileText::shown(entry.id);
        if (column == NameColumn)
            return FileText::shown(entry.name);
        break;
    case Qt::DecorationRole:
        if (column == UseColumn)
            return usedFlag(entry) ? checkIcon : noneIcon;
        if (column == EnabledColumn)
            return effectiveEnabled(entry, *yumConfIO) ? checkIcon : noneIcon;
        break;
    case Qt::ToolTipRole:
        if (column == UseColumn)
            return usedFlag(entry) ? tr("Repository is enabled for this session")
                                   : tr("Repository is not enabled for this session");
        if (column == EnabledColumn)
            return effectiveEnabled(entry, *yumConfIO)
                       ? tr("Repository is configured to be enabled")
                       : tr("Repository is not configured to be enabled");
        break;
    case Qt::FontRole:
        if (column == IdColumn && entry.id.isEmpty())
            return italicFont;
        break;
    default:
        break;
    }
    return QVariant();
}

QVariant Model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole) {
        switch (section) {
        case UseColumn:
            return tr("Sess");
        case EnabledColumn:
            return tr("Perm");
        case IdColumn:
            return tr("Identifier");
        case NameColumn:
            return tr("Name");
        default:
            break;
        }
    } else if (role == Qt::ToolTipRole) {
        switch (section) {
        case UseColumn:
            return tr("Whether or not the repository is used during this session.\n"
                      "It overrides the persistent Enabled flag in the repository configuration.");
        case EnabledColumn:
            return tr("Whether or not the repository is configured to be enabled by default.\n"
                      "It can be overridden for a particular session.");
        case IdColumn:
            return tr("Unique identifier for the repository");
        case NameColumn:
            return tr("Description of the repository");
        default:
            break;
        }
    }
    return QVariant();
}

QModelIndex Model::createIndex(int row) const
{
    return index(row, 0);
}

void Model::dataChanged(int row)
{
    emit QAbstractItemModel::dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void Model::reset()
{
    forceSortColumnRediscovery();
}

bool Model::removeRow(int row, const QModelIndex&)
{
    beginRemoveRows(QModelIndex(), row, row);
    yumConfIO->entries.removeAt(row);
    endRemoveRows();
    return true;
}

int Model::addRow(const Repo::Entry& entry)
{
    const int row = yumConfIO->entries.size();
    beginInsertRows(QModelIndex(), row, row);
    yumConfIO->entries.append(entry);
    endInsertRows();
    return row;
}

void Model::toggleUse(const QModelIndex& ix)
{
    if (!isRow(ix))
        return;
    const QString& id = yumConfIO->entries.at(ix.row()).id;
    (*yumConfIO->used)[id] = !yumConfIO->used->value(id, false);
    const QModelIndex cell = index(ix.row(), UseColumn);
    emit QAbstractItemModel::dataChanged(cell, cell);
    emit useChanged();
}

void Model::toggleEnabled(const QModelIndex& ix)
{
    if (!isRow(ix))
        return;
    Repo::Entry& entry = yumConfIO->entries[ix.row()];
    entry.enabled = effectiveEnabled(entry, *yumConfIO) ? Repo::Entry::No : Repo::Entry::Yes;
    const QModelIndex cell = index(ix.row(), EnabledColumn);
    emit QAbstractItemModel::dataChanged(cell, cell);
    emit configChanged();
}

void Model::browse(const QModelIndex& ix, QWidget* parent)
{
    if (!isRow(ix))
        return;
    RepoBrowse::browse(parent, yumConfIO->entries.at(ix.row()), yumIO);
}

}
