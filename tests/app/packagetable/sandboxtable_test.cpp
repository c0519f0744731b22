// The package table over a real collection: what it shows (rows, texts,
// order, column widths) under the filter row's settings, set against the
// table built and fitted the long way round.
#include "tests/app/mainwindow_test.h"

#include <regex.h>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QStringList>

#include "app/packagetable/searchtexts.h"

using A = MainWindowTestAccess;
using PackageTable::Model;
using PackageTable::SortFilterProxyModel;

namespace
{

// Every row a proxy shows, top to bottom: its sort values and its texts.
QStringList rowsOf(const QAbstractItemModel& proxy)
{
    QStringList rows;
    for (int row = 0; row < proxy.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < Model::ColumnCount; ++column) {
            const QModelIndex index = proxy.index(row, column);
            cells << (column <= Model::KindColumn ? index.data(Qt::UserRole).toString()
                                                  : index.data().toString());
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

std::vector<int> widthsOf(const PackageTable::View& view)
{
    std::vector<int> widths;
    for (int column = 0; column < Model::ColumnCount; ++column)
        widths.push_back(view.columnWidth(column));
    return widths;
}

// Fitting as it was done by showing every row: the filter off, the columns
// fitted over the proxy's rows (Qt's own fitting asks the view's size hint
// for each column, which measures the rows the proxy shows), the filter on
// again.
void fitWithTheFilterOff(PackageTable::View& view)
{
    SortFilterProxyModel* proxy = view.sortFilterProxyModel();
    const bool filter = proxy->getFilter();
    proxy->setFilter(false);
    static_cast<QTableView&>(view).resizeColumnsToContents();
    proxy->setFilter(filter);
}

// The names of the model's rows whose joined visible texts the extended
// expression matches, state and groups aside.
QStringList namesMatching(const Model& model, const QString& pattern)
{
    QStringList names;
    regex_t regex;
    if (regcomp(&regex, pattern.toStdString().c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
        ADD_FAILURE() << "the test's pattern does not compile: " << pattern.toStdString();
        return names;
    }
    for (int row = 0; row < model.rowCount(); ++row) {
        if (regexec(&regex, model.visibleText(row).toStdString().c_str(), 0, nullptr, 0) == 0)
            names << model.entry(row)->name;
    }
    regfree(&regex);
    names.sort();
    return names;
}

QStringList sortedNames(const QAbstractItemModel& proxy)
{
    QStringList names;
    for (int row = 0; row < proxy.rowCount(); ++row)
        names << proxy.index(row, Model::NameColumn).data().toString();
    names.sort();
    return names;
}

struct Setting
{
    PackageTable::StateFilter state;
    bool groups;
    PackageTable::Mode mode;
    QString pattern;
    int sortColumn;
    Qt::SortOrder order;
};

} // namespace

TEST_F(MainWindowSandboxTest, TableShowsTheRowsOrderAndWidthsOfAFreshTableFittedOverEveryRow)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    PackageTable::View* view = A::view(*window);
    Model* model = A::model(*window);
    const QAbstractItemModel& shown = *view->sortFilterProxyModel();

    // The start-up fitted the columns over the updatable rows alone on show:
    // fitting the long way gives the same widths and leaves the rows be.
    const std::vector<int> startWidths = widthsOf(*view);
    const QStringList startRows = rowsOf(shown);
    ASSERT_FALSE(startRows.isEmpty());
    fitWithTheFilterOff(*view);
    EXPECT_EQ(widthsOf(*view), startWidths);
    EXPECT_EQ(rowsOf(shown), startRows);

    const QList<Setting> settings = {
        {PackageTable::ViewUpdatable, false, PackageTable::Filter, ".*", Model::KindColumn,
         Qt::AscendingOrder},
        {PackageTable::ViewAll, true, PackageTable::Filter, "kuv-", Model::NameColumn,
         Qt::DescendingOrder},
        {PackageTable::ViewInstallable, false, PackageTable::Filter, "^kuv-[a-n]", Model::SizeColumn,
         Qt::AscendingOrder},
        {PackageTable::ViewRemovable, true, PackageTable::Filter, "[0-9] (base|installed) ",
         Model::VersionColumn, Qt::DescendingOrder},
        {PackageTable::ViewAll, false, PackageTable::Filter, "no-such-package", Model::KindColumn,
         Qt::AscendingOrder},
        {PackageTable::ViewAll, true, PackageTable::Search, "Served over", Model::RepositoryColumn,
         Qt::AscendingOrder},
        {PackageTable::ViewAll, false, PackageTable::Search, "tool\\.txt|Require the newer",
         Model::BuildTimeColumn, Qt::DescendingOrder},
        {PackageTable::ViewAll, true, PackageTable::Filter, ".*", Model::StateColumn,
         Qt::DescendingOrder},
    };
    bool hiddenRowWasWider = false;
    for (const Setting& setting : settings) {
        SCOPED_TRACE(QStringLiteral("state %1, groups %2, mode %3, pattern \"%4\", sort %5 %6")
                         .arg(setting.state).arg(setting.groups).arg(setting.mode)
                         .arg(setting.pattern).arg(setting.sortColumn).arg(setting.order)
                         .toStdString());
        A::stateCombo(*window)->setCurrentIndex(setting.state);
        A::groupsCheck(*window)->setChecked(setting.groups);
        A::modeCombo(*window)->setCurrentIndex(setting.mode);
        A::regexpEdit(*window)->setText(setting.pattern);
        A::filtersearch(*window);
        ASSERT_TRUE(window->isReady());
        view->sortByColumn(setting.sortColumn, setting.order);

        // The table as a proxy built afresh for these settings shows it.
        SortFilterProxyModel fresh(setting.state, setting.groups, engine(), nullptr);
        fresh.setMode(setting.mode);
        fresh.setFilterRegExp(setting.pattern);
        fresh.setSourceModel(model);
        fresh.sort(setting.sortColumn, setting.order);
        const QStringList rows = rowsOf(shown);
        EXPECT_EQ(rows, rowsOf(fresh));
        if (setting.mode == PackageTable::Filter && setting.state == PackageTable::ViewAll
            && setting.groups) {
            EXPECT_EQ(sortedNames(shown), namesMatching(*model, setting.pattern));
        }

        // The Resize road fits over every row and keeps the rows as shown;
        // the long way round gives the same widths and rows.
        view->resizeColumnsToContents();
        const std::vector<int> widths = widthsOf(*view);
        EXPECT_EQ(rowsOf(shown), rows);
        fitWithTheFilterOff(*view);
        EXPECT_EQ(widthsOf(*view), widths);
        EXPECT_EQ(rowsOf(shown), rows);
        for (int column = 0; column < Model::ColumnCount; ++column) {
            // The shown rows alone, as the view measures them outside a fit.
            if (view->HTableView::sizeHintForColumn(column) < widths[column]
                && view->horizontalHeader()->sectionSizeHint(column) < widths[column])
                hiddenRowWasWider = true;
        }
    }
    // Otherwise the widths above would not tell a fit over every row from a
    // fit over the shown ones.
    EXPECT_TRUE(hiddenRowWasWider);
}

// Search matches each field of a package by itself; the rows it shows, the
// first time and from the texts it keeps, are the ones whose fields,
// read and matched one by one, give a match. Those fields are each getter's
// own text, however many of them one engine call reads.
TEST_F(MainWindowSandboxTest, SearchShowsTheRowsWithAFieldTheExpressionMatches)
{
    ASSERT_TRUE(sandbox.fillKivrelCredentials());
    ASSERT_TRUE(sandbox.startKivrelServer());
    ASSERT_TRUE(start());
    Model* model = A::model(*window);
    const QAbstractItemModel& shown = *A::view(*window)->sortFilterProxyModel();
    A::stateCombo(*window)->setCurrentIndex(PackageTable::ViewAll);
    A::groupsCheck(*window)->setChecked(true);
    A::modeCombo(*window)->setCurrentIndex(PackageTable::Search);

    PackageTable::EngineSearchTexts fields(engine());
    auto namesWithAMatchingField = [&](const QString& pattern) {
        QStringList names;
        regex_t regex;
        if (regcomp(&regex, pattern.toStdString().c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
            ADD_FAILURE() << "the test's pattern does not compile: " << pattern.toStdString();
            return names;
        }
        for (int row = 0; row < model->rowCount(); ++row) {
            const Package::Entry* entry = model->entry(row);
            const QVector<PackageTable::SearchTexts::Field>& all =
                entry->kind == Package::Group ? PackageTable::SearchTexts::groupFields()
                                              : PackageTable::SearchTexts::packageFields();
            for (PackageTable::SearchTexts::Field field : all) {
                if (regexec(&regex, fields.text(*entry, field).toUtf8().constData(), 0, nullptr, 0)
                    == 0) {
                    names << entry->name;
                    break;
                }
            }
        }
        regfree(&regex);
        names.sort();
        return names;
    };

    // Optional characters and groups, and escapes, next to runs that every
    // match holds; the first pattern reads the fields, the later ones match
    // what was kept.
    for (const QString& pattern :
         {QString("Sandbox x?tool"), QString("kuv-oldtools?"), QString("Sandbox z*notes"),
          QString("Sandbox (kernel)?"), QString("Sandbox\\.? tool"), QString("kuv-ap{0,1}p"),
          QString("tool\\.txt"), QString("Served over"), QString("^kuv-k"),
          QString("^kuv-oldtool"), QString("Require the newer|kuv-lib")}) {
        SCOPED_TRACE(pattern.toStdString());
        A::regexpEdit(*window)->setText(pattern);
        A::filtersearch(*window);
        ASSERT_TRUE(window->isReady());
        const QStringList expected = namesWithAMatchingField(pattern);
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(sortedNames(shown), expected);
    }

    // The fields past those an entry keeps are read in two engine calls;
    // the texts are the ones each field's own getter gives.
    using Field = PackageTable::SearchTexts::Field;
    const QVector<Field>& order = PackageTable::SearchTexts::packageFields();
    int inRuns = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        const Package::Entry* entry = model->entry(row);
        if (entry->kind == Package::Group)
            continue;
        SCOPED_TRACE(entry->name.toStdString());
        QStringList texts;
        inRuns += engine()->getSearchTexts(*entry, 0, texts) ? 1 : 0;

        PackageTable::EngineSearchTexts inOrder(engine());
        QStringList read;
        for (Field field : order)
            read << inOrder.text(*entry, field);
        // Backwards, every field but the first of a run is read by itself.
        PackageTable::EngineSearchTexts backwards(engine());
        QStringList alone;
        for (int i = order.size() - 1; i >= 0; --i)
            alone.prepend(backwards.text(*entry, order[i]));
        alone[order.indexOf(Field::Description)] = engine()->getDescription(*entry);
        alone[order.indexOf(Field::Provides)] = engine()->getProvides(*entry);
        EXPECT_EQ(read, alone);
    }
    EXPECT_GT(inRuns, 3);
}

