// Test support for the package table: an engine whose entries the test
// makes itself (no interpreter: each entry holds a null object), and a
// source of Search-mode texts that records what it was asked.
#pragma once

#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "app/packagetable/model.h"
#include "app/packagetable/searchtexts.h"
#include "app/packagetable/sortfilterproxymodel.h"
#include "engine/package.h"
#include "engine/yumio.h"

// The engine's friend for tests; this executable's own, holding only what
// the package table's tests need.
class YumIOTestAccess
{
public:
    static Package::EntryList& entries(YumIO& io) { return io.entries; }
};

namespace PackageTableTesting
{

struct EntrySpec
{
    EntrySpec(QString name, QString verRel = QStringLiteral("1.0-1"),
              Package::State state = Package::Available, Package::Kind kind = Package::Ordinary,
              quint64 size = 1000, long buildTime = 1000000000,
              QString repo = QStringLiteral("base"), QString arch = QStringLiteral("x86_64"))
        : name(std::move(name)), verRel(std::move(verRel)), state(state), kind(kind), size(size),
          buildTime(buildTime), repo(std::move(repo)), arch(std::move(arch))
    {
    }

    QString name;
    QString verRel;
    Package::State state;
    Package::Kind kind;
    quint64 size;
    long buildTime;
    QString repo;
    QString arch;
};

// An entry as the collection makes it, with texts for its size and time.
Package::Entry* makeEntry(const EntrySpec& spec);

// Records every (entry name, field) asked for; answers from a table, empty
// where the table has nothing.
class FakeSearchTexts : public PackageTable::SearchTexts
{
public:
    QString text(const Package::Entry& entry, Field field) override;

    void set(const QString& name, Field field, const QString& text);

    QHash<QPair<QString, int>, QString> table;
    QList<QPair<QString, int>> asked;
};

// An engine with entries of the test's making, the model over it, and the
// proxy over the model.
class PackageTableTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    Package::Entry* add(const EntrySpec& spec);
    // Replaces every entry, as a re-collection does (with the model told
    // around it).
    void recollect(const QList<EntrySpec>& specs);

    // The proxy's Name column from top to bottom.
    QStringList shownNames() const;
    int sourceRow(const QString& name) const;

    std::unique_ptr<YumIO> io;
    std::unique_ptr<PackageTable::Model> model;
    std::unique_ptr<PackageTable::SortFilterProxyModel> proxy;
    FakeSearchTexts fakeTexts;
};

}
