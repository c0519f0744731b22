// Test support for the package table.
#include "tests/app/packagetable/packagetable_test.h"

#include <QModelIndex>

namespace PackageTableTesting
{

Package::Entry* makeEntry(const EntrySpec& spec)
{
    auto* entry = new Package::Entry(spec.name, spec.verRel, spec.repo, spec.arch, spec.size,
                                     QStringLiteral("%1b").arg(spec.size), QString(),
                                     spec.buildTime, QStringLiteral("t%1").arg(spec.buildTime),
                                     nullptr);
    entry->state = spec.state;
    entry->kind = spec.kind;
    if (spec.kind == Package::Group) {
        entry->verRel.clear();
        entry->repo.clear();
    }
    return entry;
}

QString FakeSearchTexts::text(const Package::Entry& entry, Field field)
{
    const QPair<QString, int> key(entry.name, int(field));
    asked.append(key);
    return table.value(key);
}

void FakeSearchTexts::set(const QString& name, Field field, const QString& text)
{
    table.insert(QPair<QString, int>(name, int(field)), text);
}

void PackageTableTest::SetUp()
{
    io = std::make_unique<YumIO>();
    model = std::make_unique<PackageTable::Model>(io.get(), nullptr);
    proxy = std::make_unique<PackageTable::SortFilterProxyModel>(PackageTable::ViewAll, true,
                                                                 io.get(), nullptr);
    proxy->setSourceModel(model.get());
    proxy->setSearchTexts(&fakeTexts);
}

void PackageTableTest::TearDown()
{
    proxy.reset();
    model.reset();
    io.reset();
}

Package::Entry* PackageTableTest::add(const EntrySpec& spec)
{
    model->beginEntriesChange();
    Package::Entry* entry = makeEntry(spec);
    YumIOTestAccess::entries(*io).append(entry);
    model->endEntriesChange();
    return entry;
}

void PackageTableTest::recollect(const QList<EntrySpec>& specs)
{
    model->beginEntriesChange();
    Package::EntryList& entries = YumIOTestAccess::entries(*io);
    entries.deleteAll();
    for (const EntrySpec& spec : specs)
        entries.append(makeEntry(spec));
    model->endEntriesChange();
}

QStringList PackageTableTest::shownNames() const
{
    QStringList names;
    for (int row = 0; row < proxy->rowCount(); ++row)
        names << proxy->index(row, PackageTable::Model::NameColumn).data().toString();
    return names;
}

int PackageTableTest::sourceRow(const QString& name) const
{
    for (int row = 0; row < io->count(); ++row)
        if ((*io)[row]->name == name)
            return row;
    return -1;
}

}
