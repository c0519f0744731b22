// The package table's model: cells, headers, the Action click cycle, the
// bulk marks and the guard around the engine's changes of its entries.
#include "app/packagetable/model.h"

#include <array>
#include <cstring>

#include <QWidget>

#include "app/packagetable/describe/dialog.h"
#include "engine/yumio.h"
#include "foundation/colors.h"
#include "foundation/share.h"
#include "repos/repobrowse.h"

namespace PackageTable
{

namespace
{

struct Header
{
    const char* text;
    const char* toolTip;
};

const Header headers[Model::ColumnCount] = {
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Action"),
     QT_TRANSLATE_NOOP("PackageTable::Model",
                       "Action to be performed on the package, if any: Update, Install, Remove")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "State"),
     QT_TRANSLATE_NOOP("PackageTable::Model",
                       "Indicates whether the package is Installed or not and, if installed, "
                       "whether it is Up-to-date or not")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Kind"),
     QT_TRANSLATE_NOOP("PackageTable::Model",
                       "Whether the package is an ordinary package, a suite of packages, or a "
                       "group of packages")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Name"),
     QT_TRANSLATE_NOOP("PackageTable::Model", "Name of the package")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Version"),
     QT_TRANSLATE_NOOP("PackageTable::Model",
                       "Version and release of the package as version-release;\n"
                       "If the Epoch is non-zero, includes it as epoch:version-release")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Repository"),
     QT_TRANSLATE_NOOP("PackageTable::Model",
                       "Repository from which the most recent version of the package is available")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Architecture"),
     QT_TRANSLATE_NOOP("PackageTable::Model",
                       "Architecture for which the package is applicable, or \"noarch\" for "
                       "general-purpose packages")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Size"),
     QT_TRANSLATE_NOOP("PackageTable::Model", "Size of the package")},
    {QT_TRANSLATE_NOOP("PackageTable::Model", "Build Time"),
     QT_TRANSLATE_NOOP("PackageTable::Model", "Date and time at which the package was created")},
};

QIcon shareIcon(const char* relative)
{
    return QIcon(Share::absolute(QString::fromLatin1(relative)));
}

} // namespace

Model::Model(YumIO* yumIO, QObject* parent)
    : HAbstractTableModel(parent),
      yumIO(yumIO),
      outOfDateIcon(shareIcon("icons/out-of-date.png")),
      upToDateIcon(shareIcon("icons/up-to-date.png")),
      noneBoxIcon(shareIcon("icons/noneBox.png")),
      updateBoxIcon(shareIcon("icons/updateBox.png")),
      installBoxIcon(shareIcon("icons/installBox.png")),
      removeBoxIcon(shareIcon("icons/removeBox.png")),
      suiteIcon(shareIcon("icons/suite.png")),
      groupIcon(shareIcon("icons/group.png")),
      packageIcon(shareIcon("icons/package.png")),
      updatableColor(Colors::error()),
      updatableDisabledColor(Colors::errorDisabled()),
      availableColor(Colors::minor()),
      availableDisabledColor(Colors::minorDisabled())
{
    qRegisterMetaType<Package::Entry*>("Package::Entry*");
}

// The description dialog belongs to its Qt parent.
Model::~Model() = default;

int Model::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || changing || !yumIO)
        return 0;
    return yumIO->count();
}

int Model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QModelIndex Model::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || column >= ColumnCount
        || row >= Model::rowCount())
        return QModelIndex();
    return createIndex(row, column);
}

namespace
{

// The fields of the Name to Build Time cells, in the table's order: what a
// row's visible text is made of.
using VisibleFields = std::array<const QString*, 6>;

VisibleFields visibleFields(const Package::Entry& entry)
{
    return {&entry.name,     &entry.verRel,   &entry.repo,
            &entry.arch,     &entry.sizeText, &entry.buildTimeText};
}

} // namespace

Package::Entry* Model::entry(int row) const
{
    if (changing || !yumIO || row < 0 || row >= yumIO->count())
        return nullptr;
    return (*yumIO)[row];
}

QString Model::visibleText(int row) const
{
    const Package::Entry* entry = this->entry(row);
    if (!entry)
        return QString();
    const VisibleFields fields = visibleFields(*entry);
    int size = int(fields.size()) - 1;
    for (const QString* field : fields)
        size += field->size();
    QString text;
    text.reserve(size);
    text += *fields[0];
    for (size_t i = 1; i < fields.size(); ++i) {
        text += QLatin1Char(' ');
        text += *fields[i];
    }
    return text;
}

namespace
{

// The most bytes a UTF-16 unit takes in UTF-8 (a surrogate pair takes four
// for two).
const int utf8PerUnit = 3;

// Writes text as UTF-8 from out on, a lone surrogate as '?', as
// QString::toUtf8 does, into room for utf8PerUnit bytes per unit; returns
// where it ends.
char* writeUtf8(char* out, const QString& text)
{
    const ushort* c = reinterpret_cast<const ushort*>(text.constData());
    const ushort* end = c + text.size();
    while (c < end) {
        // Names, versions and sizes are nearly always ASCII: four units at a
        // time while they are.
        if (end - c >= 4) {
            quint64 units;
            std::memcpy(&units, c, sizeof(units));
            if ((units & 0xff80ff80ff80ff80ull) == 0) {
                out[0] = char(c[0]);
                out[1] = char(c[1]);
                out[2] = char(c[2]);
                out[3] = char(c[3]);
                out += 4;
                c += 4;
                continue;
            }
        }
        uint u = *c++;
        if (u < 0x80) {
            *out++ = char(u);
            continue;
        }
        if (u < 0x800) {
            *out++ = char(0xc0 | (u >> 6));
        } else if (QChar::isSurrogate(u)) {
            if (!QChar::isHighSurrogate(u) || c == end || !QChar::isLowSurrogate(*c)) {
                *out++ = '?';
                continue;
            }
            u = QChar::surrogateToUcs4(ushort(u), *c++);
            *out++ = char(0xf0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3f));
            *out++ = char(0x80 | ((u >> 6) & 0x3f));
        } else {
            *out++ = char(0xe0 | (u >> 12));
            *out++ = char(0x80 | ((u >> 6) & 0x3f));
        }
        *out++ = char(0x80 | (u & 0x3f));
    }
    return out;
}

} // namespace

// Made straight into out's storage: room for the longest UTF-8 the fields
// can take, then cut to what was written.
void Model::appendVisibleTextUtf8(const Package::Entry& entry, std::string& out)
{
    const VisibleFields fields = visibleFields(entry);
    size_t room = 0;
    for (const QString* field : fields)
        room += size_t(field->size()) * utf8PerUnit + 1;
    const size_t start = out.size();
    out.resize(start + room);
    char* begin = &out[start];
    char* end = writeUtf8(begin, *fields[0]);
    for (size_t i = 1; i < fields.size(); ++i) {
        *end++ = ' ';
        end = writeUtf8(end, *fields[i]);
    }
    out.resize(start + size_t(end - begin));
}

void Model::prefetchVisibleText(const Package::Entry& entry)
{
    for (const QString* field : visibleFields(entry))
        __builtin_prefetch(const_cast<QString*>(field)->data_ptr());
}

quint64 Model::visibleTextIdentity(const Package::Entry& entry)
{
    // Each field's shared data, a new block at every assignment: read from
    // the entry alone, whereas the characters' address and the length live
    // in that block, one cache miss per field away. Only the data pointer
    // is read; nothing is changed.
    quint64 identity = 0;
    for (const QString* field : visibleFields(entry)) {
        const void* data = const_cast<QString*>(field)->data_ptr();
        identity = (identity ^ quint64(quintptr(data))) * 0x9e3779b97f4a7c15ull;
    }
    return identity;
}

QVariant Model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= ColumnCount)
        return QVariant();
    Package::Entry* entry = this->entry(index.row());
    if (!entry)
        return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case NameColumn:
            return entry->name;
        case VersionColumn:
            return entry->verRel;
        case RepositoryColumn:
            return entry->repo;
        case ArchitectureColumn:
            return entry->arch;
        case SizeColumn:
            return entry->sizeText;
        case BuildTimeColumn:
            return entry->buildTimeText;
        }
        return QVariant();
    case Qt::DecorationRole:
        return icon(*entry, column);
    case Qt::ToolTipRole:
        return toolTip(*entry, column);
    case Qt::ForegroundRole:
        return foreground(*entry, column);
    case Qt::UserRole:
        return sortValue(entry, column);
    }
    return QVariant();
}

QVariant Model::icon(const Package::Entry& entry, int column) const
{
    switch (column) {
    case ActionColumn:
        switch (entry.action) {
        case Package::Update:
            return updateBoxIcon;
        case Package::Install:
            return installBoxIcon;
        case Package::Remove:
            return removeBoxIcon;
        case Package::NoAction:
            return noneBoxIcon;
        }
        break;
    case StateColumn:
        switch (entry.state) {
        case Package::Updatable:
            return outOfDateIcon;
        case Package::Installed:
            return upToDateIcon;
        case Package::Available:
            break;
        }
        break;
    case KindColumn:
        switch (entry.kind) {
        case Package::Suite:
            return suiteIcon;
        case Package::Group:
            return groupIcon;
        case Package::Ordinary:
            return packageIcon;
        }
        break;
    }
    return QVariant();
}

QVariant Model::toolTip(const Package::Entry& entry, int column) const
{
    switch (column) {
    case ActionColumn:
        switch (entry.action) {
        case Package::Update:
            return tr("Update package");
        case Package::Install:
            return tr("Install package");
        case Package::Remove:
            return tr("Remove package");
        case Package::NoAction:
            break;
        }
        break;
    case StateColumn:
        switch (entry.state) {
        case Package::Updatable:
            return tr("Package is available to update an out-of-date version");
        case Package::Available:
            return tr("Package is available for installation");
        case Package::Installed:
            return tr("Package is installed and up-to-date");
        }
        break;
    case KindColumn: {
        const QString kind = YumIO::getKind(entry);
        return kind.isEmpty() ? QVariant() : QVariant(kind);
    }
    case VersionColumn:
        if (entry.state == Package::Updatable)
            return versionToolTip(entry);
        break;
    }
    return QVariant();
}

// The entry's own version first, then the installed versions hung behind it.
QString Model::versionToolTip(const Package::Entry& entry) const
{
    QString text;
    for (const Package::Entry* node = &entry; node; node = node->next) {
        switch (node->state) {
        case Package::Updatable:
        case Package::Available:
            text += tr("Available: %1\n").arg(node->verRel);
            break;
        case Package::Installed:
            text += tr("Installed: %1\n").arg(node->verRel);
            break;
        }
    }
    return text;
}

QVariant Model::foreground(const Package::Entry& entry, int column) const
{
    if (column < KindColumn)
        return QVariant();
    QColor color;
    switch (entry.state) {
    case Package::Updatable:
        color = enabled ? updatableColor : updatableDisabledColor;
        break;
    case Package::Available:
        color = enabled ? availableColor : availableDisabledColor;
        break;
    case Package::Installed:
        color = enabled ? installedColor : installedDisabledColor;
        break;
    }
    // An invalid colour would paint black even in a disabled view: the
    // palette's own text colour applies instead.
    if (!color.isValid())
        return QVariant();
    return color;
}

QVariant Model::sortValue(Package::Entry* entry, int column) const
{
    switch (column) {
    case ActionColumn:
        return int(entry->action);
    case StateColumn:
        return int(entry->state);
    case KindColumn:
        return int(entry->kind);
    case NameColumn:
    case VersionColumn:
    case RepositoryColumn:
    case ArchitectureColumn:
        return QVariant::fromValue(entry);
    case SizeColumn:
        return QVariant::fromValue<quint64>(entry->size);
    case BuildTimeColumn:
        return QVariant::fromValue<qint64>(entry->buildTime);
    }
    return QVariant();
}

QVariant Model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return tr(headers[section].text);
    if (role == Qt::ToolTipRole)
        return tr(headers[section].toolTip);
    return QVariant();
}

void Model::setYumConfIO(YumConfIO* yumConfIO)
{
    this->yumConfIO = yumConfIO;
}

void Model::setEnabled(bool enabled)
{
    if (this->enabled == enabled)
        return;
    this->enabled = enabled;
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, KindColumn), index(rows - 1, ColumnCount - 1),
                         {Qt::ForegroundRole});
}

void Model::beginEntriesChange()
{
    if (changing)
        return;
    beginResetModel();
    changing = true;
}

void Model::endEntriesChange()
{
    if (!changing)
        return;
    changing = false;
    endResetModel();
}

bool Model::entriesChanging() const
{
    return changing;
}

void Model::reset()
{
    if (!changing)
        beginResetModel();
    changing = false;
    endResetModel();
}

void Model::actionChanged(int row)
{
    QModelIndex cell = index(row, ActionColumn);
    emit dataChanged(cell, cell);
}

namespace
{

// The Action click cycles, one step per click:
//   updatable:  none -> Update -> Remove -> none
//   available:  none -> Install -> none
//   installed:  none -> Remove -> none
struct ActionStep
{
    Package::State state;
    Package::Action from;
    Package::Action to;
};

const ActionStep actionSteps[] = {
    {Package::Updatable, Package::NoAction, Package::Update},
    {Package::Updatable, Package::Update, Package::Remove},
    {Package::Updatable, Package::Remove, Package::NoAction},
    {Package::Available, Package::NoAction, Package::Install},
    {Package::Available, Package::Install, Package::NoAction},
    {Package::Installed, Package::NoAction, Package::Remove},
    {Package::Installed, Package::Remove, Package::NoAction},
};

// A mark off its state's cycle (set from the context menu) goes back to none.
Package::Action nextAction(Package::State state, Package::Action action)
{
    for (const ActionStep& step : actionSteps) {
        if (step.state == state && step.from == action)
            return step.to;
    }
    return Package::NoAction;
}

} // namespace

void Model::toggleAction(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    Package::Entry* entry = this->entry(index.row());
    if (!entry)
        return;
    entry->action = nextAction(entry->state, entry->action);
    actionChanged(index.row());
}

void Model::setAction(const QModelIndex& index, Package::Action action)
{
    if (!index.isValid() || index.column() >= ColumnCount)
        return;
    Package::Entry* entry = this->entry(index.row());
    if (!entry)
        return;
    entry->action = action;
    actionChanged(index.row());
}

int Model::getState(int row) const
{
    Package::Entry* entry = this->entry(row);
    return entry ? int(entry->state) : -1;
}

void Model::setSelected(QModelIndexList indices)
{
    for (const QModelIndex& index : indices) {
        if (!index.isValid())
            continue;
        Package::Entry* entry = this->entry(index.row());
        if (!entry)
            continue;
        if (entry->state == Package::Updatable)
            entry->action = Package::Update;
        else if (entry->state == Package::Available)
            entry->action = Package::Install;
        else
            continue;
        actionChanged(index.row());
    }
}

void Model::setUpdateAll()
{
    const int rows = rowCount();
    for (int row = 0; row < rows; ++row) {
        Package::Entry* entry = (*yumIO)[row];
        if (entry->state != Package::Updatable)
            continue;
        entry->action = Package::Update;
        actionChanged(row);
    }
}

void Model::clearActions()
{
    const int rows = rowCount();
    for (int row = 0; row < rows; ++row) {
        Package::Entry* entry = (*yumIO)[row];
        if (entry->action == Package::NoAction)
            continue;
        entry->action = Package::NoAction;
        actionChanged(row);
    }
}

void Model::describe(const QModelIndex& index, QWidget* parent)
{
    if (!index.isValid())
        return;
    Package::Entry* entry = this->entry(index.row());
    if (!entry)
        return;
    // One dialog, reused; the parent of the first request stays its parent.
    if (!describeDialog)
        describeDialog = new Describe::Dialog(parent);
    describeDialog->config(yumIO, *entry, yumConfIO);
    describeDialog->exec();
}

void Model::browse(const QModelIndex& index, QWidget* parent)
{
    const Package::Entry* entry = index.isValid() ? this->entry(index.row()) : nullptr;
    if (!entry)
        return;
    // A copy of the identifier: the box for an unknown one runs an event
    // loop.
    RepoBrowse::browse(parent, entry->repo, yumIO, yumConfIO);
}

}
